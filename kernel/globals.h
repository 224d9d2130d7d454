// Kernel-wide globals set once at start-up: the Multiboot information and
// the framebuffer in use (read by the fatal-exception square and start-up).
#ifndef TARN_KERNEL_GLOBALS_H
#define TARN_KERNEL_GLOBALS_H

#include "lib/types.h"

extern void* mboot_hdr;
extern u32* g_fb_addr;
extern u32 g_fb_width;
extern u32 g_fb_height;
extern u32 g_fb_pitch;
extern u8 g_fb_bpp;

#endif

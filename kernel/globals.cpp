// Storage of the kernel-wide start-up globals.
#include "kernel/globals.h"

void* mboot_hdr = nullptr;
u32* g_fb_addr = nullptr;
u32 g_fb_width = 0;
u32 g_fb_height = 0;
u32 g_fb_pitch = 0;
u8 g_fb_bpp = 0;

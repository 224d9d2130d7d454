// Kernel start-up helpers: the Multiboot information fields start-up reads,
// the framebuffer choice, the heap size, the text-buffer banner and the
// progress squares. kernelMain calls them in its fixed order.
#ifndef TARN_KERNEL_STARTUP_H
#define TARN_KERNEL_STARTUP_H

#include "lib/types.h"

class C64;

namespace startup {

// Multiboot (version 1) information: byte offsets of the fields read.
const u32 kMbiFlags = 0;          // u32; bit 12: framebuffer fields valid
const u32 kMbiMemUpper = 8;       // u32, KiB above 1 MiB
const u32 kMbiCmdline = 16;       // u32 physical address of a C string
const u32 kMbiFbAddr = 88;        // u64 physical address
const u32 kMbiFbPitch = 96;       // u32 bytes per scan line
const u32 kMbiFbWidth = 100;      // u32 pixels
const u32 kMbiFbHeight = 104;     // u32 pixels
const u32 kMbiFbBpp = 108;        // u8 bits per pixel
const u32 kMbiFlagFramebuffer = 1u << 12;
const u32 kMbiFlagCmdline = 1u << 2;

// The mode requested from the boot loader and, failing it, from the adapter.
const u32 kWantedWidth = 800;
const u32 kWantedHeight = 600;
const u8 kWantedBpp = 16;

// Field readers (unaligned-safe, little-endian).
u32 mbi_u32(const void* mbi, u32 offset);
u64 mbi_fb_addr(const void* mbi);

// True when the boot loader handed over a usable framebuffer: flag bit 12,
// non-zero address, at least 320 pixels wide, more than 14 bits per pixel.
bool multiboot_framebuffer_usable(const void* mbi);

// Sets g_fb_addr/_width/_height/_pitch/_bpp: the boot loader's framebuffer
// when usable, else the adapter's 800 x 600 x 16 mode, else whatever the
// Multiboot fields hold.
void choose_framebuffer(const void* mbi);

// The kernel command line the boot loader passed, or null without one.
const char* mbi_cmdline(const void* mbi);
// True when one of the command line's space-separated words is "c64":
// start in full C64 mode. A null line asks for nothing.
bool cmdline_requests_full_mode(const char* cmdline);

// Heap placement: 10 MiB up to 10 KiB short of the top of memory.
const u32 kHeapStart = 0xA00000;
const u32 kHeapTopReserve = 10240;
u32 heap_size(u32 mem_upper_kib);

// "TARN BOOT OK" in white on blue at the top of the VGA text buffer.
const u32 kVgaTextBuffer = 0xB8000;
void text_banner(volatile u16* text_buffer);

// Progress square n (1..4), 32 x 32 pixels in rows 0-31 of the framebuffer
// described by the g_fb_* globals; nothing when they cannot hold one.
void progress_square(int n);

// The key sink reaches the machine through c64ptr. A machine is published
// only once it is completely built and wired, and scan bytes still pending
// then (typed while no machine was complete) are dropped, with interrupts
// off; it is withdrawn before it is torn down.
void publish_machine(C64* machine);
void withdraw_machine();

// The published machine's 64 KiB of RAM (null while none is published), for
// debuggers and the system tests, which read it through QEMU.
extern const u8* volatile g_machine_ram;

}  // namespace startup

#endif

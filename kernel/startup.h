// Kernel start-up helpers: the framebuffer choice, the heap's place, the
// text-buffer banner and the progress squares. kernelMain calls them in its
// fixed order.
#ifndef TARN_KERNEL_STARTUP_H
#define TARN_KERNEL_STARTUP_H

#include "drivers/framebuffer/pixel_format.h"
#include "kernel/multiboot.h"
#include "lib/types.h"

namespace tarn {
class Screen;
}

namespace startup {

// The mode requested from the boot loader and, failing it, from the adapter.
const u32 kWantedWidth = 800;
const u32 kWantedHeight = 600;
const u8 kWantedBpp = 16;

// The framebuffer the kernel draws on.
struct Display {
    u8* video = nullptr;          // null: no framebuffer to draw on
    u32 width = 0, height = 0, pitch = 0;
    u8 bpp = 0;
    tarn::drivers::PixelFormat format;
    bool from_loader = false;     // the boot loader's, not the adapter's
};

// True when the boot loader handed over a framebuffer the kernel can drive:
// direct colour, below 4 GiB, a shape FramebufferScreen accepts.
bool loader_framebuffer_usable(const tarn::BootInfo& info);

// The boot loader's framebuffer when usable, else the adapter's 800 x 600 x
// 16 mode (QEMU's own loader sets none), else none. Sets the g_fb_* globals.
Display choose_framebuffer(const tarn::BootInfo& info);

// True when one of the command line's space-separated words is "c64":
// start in full C64 mode. A null line asks for nothing.
bool cmdline_requests_full_mode(const char* cmdline);

// The heap: the largest stretch of usable memory at or above lowest (the
// kernel's end) and below 4 GiB, its start 4 KiB aligned. Without memory
// information, 16 MiB is assumed (the least a PC running this has).
struct HeapRegion {
    u32 start = 0;
    u32 size = 0;
};
HeapRegion choose_heap(const tarn::BootInfo& info, u32 lowest);
// Bytes of usable memory below 4 GiB the boot loader reported.
u64 usable_memory(const tarn::BootInfo& info);

// "TARN BOOT OK" in white on blue at the top of the VGA text buffer.
const u32 kVgaTextBuffer = 0xB8000;
void text_banner(volatile u16* text_buffer);

// Progress square n (1..4), 32 x 32 pixels in rows 0-31: into the
// framebuffer the g_fb_* globals describe (nothing when they cannot hold
// one) until squares_on names a screen, then into its picture, presented.
void progress_square(int n);
void squares_on(tarn::Screen* screen);

}  // namespace startup

#endif

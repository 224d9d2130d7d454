// Video memory the display path writes, counted by the host build's video
// copy (tests/support/video_copy_host.cpp), on 32-bit framebuffers of two
// sizes: booting to READY (the console's start-up lines, then the machine's
// text view until READY.), and full mode presenting frames whose every line
// changes. Goals: boot to READY writes no more than about twice the
// framebuffer; a changing frame no more than the scaled picture itself.
#include <cstdio>
#include <vector>

#include "tests/support/headless_machine.h"
#include "tests/support/video_writes.h"

#include "c64/cia2.h"
#include "c64/memory.h"
#include "c64/raster_picture.h"
#include "c64/vic.h"
#include "drivers/framebuffer/framebuffer_screen.h"
#include "lib/stdio.h"
#include "lib/vga.h"

namespace {

using tarn::drivers::FramebufferScreen;
using tarn::drivers::PixelFormat;

struct CountedScreen {
    CountedScreen(u32 w, u32 h) : video(w * h), ram(FramebufferScreen::ram_bytes(w, h) / 4) {
        screen.attach(reinterpret_cast<u8*>(video.data()), w, h, w * 4, PixelFormat::standard(32),
                      reinterpret_cast<u8*>(ram.data()));
    }
    double framebuffers(uint64_t bytes) const { return double(bytes) / (video.size() * 4.0); }
    std::vector<u32> video, ram;
    FramebufferScreen screen;
};

// About the lines start-up prints before the machine starts.
void startup_lines() {
    printf("Tarn Operating System Starting...\n\nMemory: 127 MB usable, heap 124 MB @ 0x0034E000\n\n");
    for (int i = 0; i < 6; i++) printf("PCI BUS 00, DEVICE %02X, FUNCTION 00 = VENDOR 8086, DEVICE 1237\n", i);
    printf("Initializing interrupts..........[OK]\n\nAHCI: none\nNVMe: none\n");
    for (int i = 0; i < 4; i++) printf("ATA position %d: no device\n", i);
    printf("\nInitializing filesystem driver...[OK]\nDrive 8: no disk found\n");
    printf("Obtaining video mode.............[OK] Screen 800 X 600 X 32 - Pitch 3200 (boot loader)\n");
    printf("\nGetting date: 12/8/2026\nGetting time: 20:29:26");
}

void boot_to_ready(u32 w, u32 h) {
    CountedScreen counted(w, h);
    HeadlessMachine hm;
    vga_init(&counted.screen);
    hm.use_screen(&counted.screen);
    videowrites::reset();
    vga_clear();
    startup_lines();
    uint64_t console = videowrites::count().bytes;
    bool ready = hm.boot();
    uint64_t total = videowrites::count().bytes;
    std::fprintf(stdout, "boot to READY on %ux%ux32: %.2f x the framebuffer (console %.2f, machine %.2f)%s\n", w, h,
                counted.framebuffers(total), counted.framebuffers(console),
                counted.framebuffers(total - console), ready ? "" : "  [no READY]");
    vga_init(nullptr);
}

void changing_frames(u32 w, u32 h) {
    CountedScreen counted(w, h);
    Memory mem;
    Cia2 cia2;
    RasterPicture picture;
    Vic vic;
    mem.cia2(&cia2);
    mem.vic(&vic);
    vic.memory(&mem);
    vic.picture(&picture);
    for (int i = 0; i < 1000; i++) mem.write_byte_no_io(static_cast<u16>(0x0400 + i), static_cast<u8>(i));
    vic.write_register(0x11, 0x1B);
    vic.write_register(0x16, 0x08);
    vic.write_register(0x18, 0x14);
    auto frame = [&](int n) {
        vic.write_register(0x20, static_cast<u8>(n & 15));
        vic.write_register(0x21, static_cast<u8>((n + 3) & 15));
        for (int r = 0; r <= Vic::kLastLine; r++) vic.render_line(r);
        picture.present(&counted.screen);
    };
    frame(0);
    const int frames = 20;
    videowrites::reset();
    for (int n = 1; n <= frames; n++) frame(n);
    const int scale = picture.scale();
    const double scaled = double(RasterPicture::kVisibleWidth) * RasterPicture::kVisibleHeight * scale * scale * 4;
    std::fprintf(stdout, "full-mode frame, every line changing, %ux%ux32 (scale %d): %.2f x the scaled picture\n", w, h,
                scale, videowrites::count().bytes / frames / scaled);
}

}  // namespace

int main() {
    boot_to_ready(800, 600);
    boot_to_ready(1920, 1080);
    changing_frames(800, 600);
    changing_frames(1920, 1080);
    return 0;
}

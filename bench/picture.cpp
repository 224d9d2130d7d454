// Full mode's picture: raster frames rendered per second (312 lines of a
// text screen with eight sprites), and frames presented per second on an
// 800 x 600 x 16 memory framebuffer, for a still picture and for one whose
// every line changes between frames.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "c64/cia2.h"
#include "c64/memory.h"
#include "c64/raster_picture.h"
#include "c64/vic.h"
#include "drivers/framebuffer/framebuffer_screen.h"

namespace {

template <class Work>
double per_second(double seconds, Work work) {
    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    long n = 0;
    double elapsed = 0;
    while (elapsed < seconds) {
        for (int i = 0; i < 10; i++) work(n + i);
        n += 10;
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    }
    return n / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 2.0;
    std::vector<u16> fb(800 * 600);
    std::vector<u32> ram(tarn::drivers::FramebufferScreen::ram_bytes(800, 600) / 4 + 1);
    tarn::drivers::FramebufferScreen screen;
    screen.attach(reinterpret_cast<u8*>(fb.data()), 800, 600, 1600, tarn::drivers::PixelFormat::standard(16),
                  reinterpret_cast<u8*>(ram.data()));
    Memory mem;
    Cia2 cia2;
    RasterPicture picture;
    Vic vic;
    mem.cia2(&cia2);
    mem.vic(&vic);
    vic.memory(&mem);
    vic.picture(&picture);

    // A full text screen in every colour, eight sprites across it.
    for (int i = 0; i < 1000; i++) {
        mem.write_byte_no_io(static_cast<u16>(0x0400 + i), static_cast<u8>(i));
        mem.write_byte_no_io(static_cast<u16>(0xD800 + i), static_cast<u8>(i & 15));
    }
    for (int i = 0; i < 64; i++) mem.write_byte_no_io(static_cast<u16>(0x3000 + i), static_cast<u8>(0x5A ^ i));
    for (int n = 0; n < 8; n++) {
        mem.write_byte_no_io(static_cast<u16>(0x07F8 + n), 0xC0);
        vic.write_register(static_cast<u8>(2 * n), static_cast<u8>(30 + 36 * n));
        vic.write_register(static_cast<u8>(2 * n + 1), static_cast<u8>(60 + 16 * n));
        vic.write_register(static_cast<u8>(0x27 + n), static_cast<u8>(n + 1));
    }
    vic.write_register(0x15, 0xFF);
    vic.write_register(0x11, 0x1B);
    vic.write_register(0x16, 0x08);
    vic.write_register(0x18, 0x14);
    vic.write_register(0x20, 14);
    vic.write_register(0x21, 6);

    auto frame = [&](long) {
        for (int r = 0; r <= Vic::kLastLine; r++) vic.render_line(r);
    };
    double rendered = per_second(seconds, frame);
    std::printf("rendered frames: %.0f per second (%.0f x a PAL C64's 50.125)\n", rendered, rendered / 50.125);

    frame(0);
    picture.present(&screen);
    double still = per_second(seconds, [&](long) { picture.present(&screen); });
    std::printf("presented frames, still picture: %.0f per second\n", still);

    double changing = per_second(seconds, [&](long n) {
        vic.write_register(0x20, static_cast<u8>(n & 15));
        vic.write_register(0x21, static_cast<u8>((n + 3) & 15));
        frame(n);
        picture.present(&screen);
    });
    double changing_only = 1.0 / (1.0 / changing - 1.0 / rendered);
    std::printf("presented frames, every line changing: %.0f per second (presentation alone, rendering excluded)\n",
                changing_only);
    return 0;
}

// Console throughput on an 800 x 600 x 16 memory framebuffer: characters
// drawn (128 pixel writes each), full-screen scrolls (3,700 cells redrawn)
// and printf conversions.
#include <chrono>
#include <cstdio>
#include <vector>

#include "tests/support/console_reader.h"

#include "lib/stdio.h"
#include "lib/vga.h"

namespace {

constexpr u32 kWidth = 800;
constexpr u32 kHeight = 600;

template <class Work>
double seconds(Work work) {
    auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
    std::vector<u16> fb(kWidth * kHeight);
    consolereader::AttachConsole(fb.data(), kWidth, kHeight, kWidth * 2);
    vga_clear();

    // Characters without scrolling: 36 rows of 99, cleared between rounds.
    const int rounds = 200;
    double chars_s = seconds([] {
        for (int r = 0; r < rounds; r++) {
            vga_clear();
            for (int i = 0; i < 36 * 99; i++) putc(static_cast<u8>('!' + i % 90));
        }
    });
    double clear_s = seconds([] {
        for (int r = 0; r < rounds; r++) vga_clear();
    });
    double chars = static_cast<double>(rounds) * 36 * 99;
    std::fprintf(stdout, "characters: %.0f per second (%.2f us each, clears excluded)\n",
                chars / (chars_s - clear_s), (chars_s - clear_s) / chars * 1e6);

    // Newlines on the last row: each one scrolls the whole grid.
    vga_clear();
    for (int i = 0; i < 36; i++) putc('\n');
    const int scrolls = 500;
    double scroll_s = seconds([] {
        for (int i = 0; i < scrolls; i++) putc('\n');
    });
    std::fprintf(stdout, "scrolls: %.0f per second (%.2f ms each)\n", scrolls / scroll_s, scroll_s / scrolls * 1e3);

    // Formatted lines of the monitor's memory-dump kind.
    vga_clear();
    const int lines = 36 * 200;
    double fmt_s = seconds([] {
        for (int i = 0; i < lines; i++) {
            if (i % 36 == 0) vga_clear();
            printf("%04X: %02X %02X %02X %02X %d %s\n", i, i & 0xFF, 1, 2, 3, -i, "text");
        }
    });
    fmt_s -= seconds([] {
        for (int i = 0; i < lines; i += 36) vga_clear();
    });
    std::fprintf(stdout, "printf lines: %.0f per second\n", lines / fmt_s);
    return 0;
}

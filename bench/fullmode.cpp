// Cost of full C64 mode on the headless machine: emulated seconds per host
// second, unpaced, with every frame's 312 lines painted into the raster
// picture, one frame in ten presented (warp).
// BASIC runs a loop that scrolls the screen, so the chips and the painter
// work as they would under a program.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "c64/c64.h"
#include "c64/processor.h"
#include "c64/memory.h"
#include "tests/support/headless_machine.h"

namespace {

constexpr double kPalHz = 985248.0;
constexpr u16 kKeyCount = 0xC6;

void enter(HeadlessMachine& hm, const std::string& line) {
    for (char c : line + "\r") {
        for (int i = 0; i < 50 && hm.mem().read_byte_no_io(kKeyCount) >= 9; i++) hm.run_pass();
        hm.buffer_key(static_cast<u8>(c));
    }
    hm.run_passes(5);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 3.0;
    HeadlessMachine hm;
    hm.machine().full_mode(true);
    hm.run_passes(200);  // to READY
    enter(hm, "10 PRINT I:I=I+1:GOTO 10");
    enter(hm, "RUN");
    hm.machine().warp(true);

    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    u32 cycles0 = hm.cpu().cycles();
    long frames = 0;
    double elapsed = 0;
    while (elapsed < seconds) {
        for (int i = 0; i < 50; i++) hm.run_pass();
        frames += 50;
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    }
    double emulated = (hm.cpu().cycles() - cycles0) / kPalHz;
    bool running = hm.mem().read_byte_no_io(0x0400 + 40 * 24) != 0x20 || frames == 0;

    std::printf("full mode, unpaced, every line painted: %.0f frames/s = %.1f emulated s per host s (%.0fx real time)\n",
                frames / elapsed, emulated / elapsed, emulated / elapsed);
    return running ? 0 : 1;
}

// Cost of full C64 mode on the headless machine: emulated seconds per host
// second, unpaced, with every frame's 312 lines painted into the raster
// picture. BASIC runs a loop that scrolls the screen, so the chips and the
// painter work as they would under a program. Measured twice: in warp (one
// frame in ten presented; the SID clocks its voices but sends nothing), and
// at the real pace with three voices sounding through the filter into a
// 48 kHz sink (the headless machine's clock jumps over every wait, so the
// pace costs nothing). Each figure also per second of this process's
// processor time, which other work on a shared host does not dilute.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "c64/c64.h"
#include "c64/memory.h"
#include "c64/processor.h"
#include "c64/sid.h"
#include "tests/support/audio_capture.h"
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

// Runs frames for `seconds` of host time; prints and returns the real-time
// factor (emulated seconds per host second).
double measure(HeadlessMachine& hm, double seconds, const char* what) {
    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    std::clock_t cpu0 = std::clock();
    u32 cycles0 = hm.cpu().cycles();
    long frames = 0;
    double elapsed = 0;
    while (elapsed < seconds) {
        for (int i = 0; i < 50; i++) hm.run_pass();
        frames += 50;
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    }
    double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    double emulated = (hm.cpu().cycles() - cycles0) / kPalHz;
    std::printf("full mode, %s: %.0f frames/s = %.1f emulated s per host s (%.0fx real time; %.0fx per processor second)\n",
                what, frames / elapsed, emulated / elapsed, emulated / elapsed, emulated / cpu);
    return emulated / elapsed;
}

// Three voices (pulse, sawtooth, triangle) held, all through the low-pass
// filter at full resonance.
void chord(Memory& m) {
    const u8 voices[3][7] = {{0x00, 0x11, 0x00, 0x08, 0x41, 0x09, 0xF0},
                             {0x00, 0x16, 0x00, 0x08, 0x21, 0x09, 0xF0},
                             {0x00, 0x1B, 0x00, 0x08, 0x11, 0x09, 0xF0}};
    for (int v = 0; v < 3; v++)
        for (int r = 0; r < 7; r++) m.write_byte(static_cast<u16>(0xD400 + 7 * v + r), voices[v][r]);
    m.write_byte(0xD416, 0x40);  // cutoff about 1.5 kHz
    m.write_byte(0xD417, 0xF7);  // full resonance, all three voices filtered
    m.write_byte(0xD418, 0x1F);  // low-pass, volume 15
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
    measure(hm, seconds, "warp, unpaced, every line painted");

    hm.machine().warp(false);
    AudioCapture sink(48000, [&hm] { return hm.cpu().cycles() / kPalHz; });
    sink.keep = false;
    hm.machine().sid()->sink(&sink);
    chord(hm.mem());
    double factor = measure(hm, seconds, "paced, three voices and the filter into a 48 kHz sink");
    std::printf("  (goal: at least 100x real time)\n");
    bool sounded = sink.taken() > 0 && hm.machine().sid()->envelope(0).level() > 0;
    hm.machine().sid()->sink(nullptr);
    // The loop's last number stands on row 23 (a space for its sign first).
    bool running = hm.mem().read_byte_no_io(0x0400 + 40 * 23 + 1) != 0x20;
    if (!running || !sounded) std::printf("  the program stopped (%d) or the chord was not heard (%d)\n", !running, !sounded);
    return running && sounded && factor > 0 ? 0 : 1;
}

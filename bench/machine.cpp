// Speed of the whole headless machine in text mode: main-loop passes per
// second, each 12,000 6502 instructions, with BASIC printing and scrolling
// so the text view always has changed cells to draw (800 x 600 x 16 memory
// framebuffer). Measured three ways: a still screen; the display following
// the wall clock as in the kernel (a picture at most every 19 ms); and a
// picture after every single pass, the display's cost laid bare. Each
// figure is given per second of wall time and per second of the processor
// time the benchmark had, which a host shared with other work lowers less.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "c64/c64.h"
#include "tests/support/headless_machine.h"

namespace {

using steady = std::chrono::steady_clock;

struct Speed {
    double wall;  // passes a second of wall time
    double cpu;   // passes a second of this process's processor time
};

double cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// Passes per second over `seconds`; with `wall_clock` the machine's clock
// moves with real time, else by 20 ms a pass (every pass draws).
Speed passes_per_second(HeadlessMachine& hm, double seconds, bool wall_clock) {
    hm.ms_per_pass = wall_clock ? 0 : 20;
    double cpu_start = cpu_seconds();
    auto start = steady::now(), last = start;
    long passes = 0;
    double elapsed = 0;
    while (elapsed < seconds) {
        for (int i = 0; i < 20; i++) {
            if (wall_clock) {
                auto now = steady::now();
                auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count();
                if (ms > 0) {
                    hm.advance_ms(static_cast<uint32_t>(ms));
                    last += std::chrono::milliseconds(ms);
                }
            }
            hm.run_pass();
        }
        passes += 20;
        elapsed = std::chrono::duration<double>(steady::now() - start).count();
    }
    return {passes / elapsed, passes / (cpu_seconds() - cpu_start)};
}

// A real C64 runs about 1 million instructions a second at most: one pass
// stands for 12 ms of its time.
constexpr double kRealPassesPerSecond = 1e6 / C64::kStepsPerPass;

void report(const char* what, Speed s) {
    std::printf("machine, %-32s %6.0f passes/s = %6.1f million instructions/s = %5.1fx a real C64"
                " (%5.1fx per processor second)\n",
                what, s.wall, s.wall * C64::kStepsPerPass / 1e6, s.wall / kRealPassesPerSecond,
                s.cpu / kRealPassesPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 3.0;
    HeadlessMachine hm;
    if (!hm.boot()) {
        std::printf("machine did not reach READY\n");
        return 1;
    }

    // Still screen: only the emulation and the look for changed cells.
    Speed still = passes_per_second(hm, seconds / 3, false);

    hm.type("10 PRINT I:I=I+1:GOTO 10\n");
    hm.type("RUN\n");
    hm.run_passes(5);
    Speed refreshing = passes_per_second(hm, seconds, true);
    Speed every_pass = passes_per_second(hm, seconds, false);
    bool moving = !hm.screen_has("READY.") || hm.screen_has(" 1");

    report("display refreshing (wall clock):", refreshing);
    report("display drawn every pass:", every_pass);
    report("still screen:", still);
    return moving ? 0 : 1;
}

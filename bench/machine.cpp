// Speed of the whole headless machine: main-loop passes per second, each
// 12,000 6502 instructions, with BASIC scrolling the screen so the display
// is redrawn on every pass (800 x 600 x 16 memory framebuffer).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "c64/c64.h"
#include "tests/support/headless_machine.h"

namespace {

double passes_per_second(HeadlessMachine& hm, double seconds) {
    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    long passes = 0;
    double elapsed = 0;
    while (elapsed < seconds) {
        for (int i = 0; i < 20; i++) hm.run_pass();
        passes += 20;
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    }
    return passes / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 3.0;
    HeadlessMachine hm;
    if (!hm.boot()) {
        std::printf("machine did not reach READY\n");
        return 1;
    }

    // Still screen: only the emulation and the text-picture comparison.
    double still = passes_per_second(hm, seconds / 3);

    hm.type("10 PRINT I:I=I+1:GOTO 10\n");
    hm.type("RUN\n");
    hm.run_passes(5);
    C64::frame_counter(1000);  // past the always-redraw start
    double scrolling = passes_per_second(hm, seconds);
    bool moving = !hm.screen_has("READY.") || hm.screen_has(" 1");

    std::printf("machine, display refreshing: %.0f passes/s = %.1f million instructions/s\n", scrolling,
                scrolling * C64::kStepsPerPass / 1e6);
    std::printf("machine, still screen:       %.0f passes/s = %.1f million instructions/s\n", still,
                still * C64::kStepsPerPass / 1e6);
    // A real C64 runs about 1 million instructions/s at most; one pass stands
    // for 12 ms of its time.
    std::printf("speed relative to a real C64 (~83 passes/s): %.1fx\n", scrolling / 83.3);
    return moving ? 0 : 1;
}

// Full C64 mode's pace: one main-loop pass is one PAL frame, and each frame
// waits for its moment on the wall clock.
#ifndef TARN_C64_FRAME_PACER_H
#define TARN_C64_FRAME_PACER_H

#include "c64/pal.h"
#include "lib/types.h"

// Wall-clock deadlines of successive frames, 19,656 / 985,248 s apart
// (about 19.95 ms), kept in whole milliseconds plus an exact remainder so
// the long-run rate does not drift.
class FramePacer {
public:
    // Too far behind (the monitor was open, the host was busy) or ahead (the
    // clock jumped): start counting again from now instead of catching up.
    static constexpr u32 kMaxLagMs = 100;
    static constexpr u32 kMaxLeadMs = 100;

    void restart(u32 now_ms) {
        due_ms_ = now_ms;
        remainder_ = 0;
    }
    // Moves the deadline on by one frame and returns it.
    u32 next_deadline();
    // The milliseconds to wait at now_ms for the next frame, restarting when
    // the deadline is out of reach either way.
    u32 wait_ms(u32 now_ms);
    u32 due_ms() const { return due_ms_; }

private:
    u32 due_ms_ = 0;
    u32 remainder_ = 0;  // in 1/pal::kClockHz ms
};

#endif

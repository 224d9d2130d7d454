// Full mode's frame deadlines on the wall clock.
#include "c64/frame_pacer.h"

u32 FramePacer::next_deadline() {
    remainder_ += pal::kFrameCycles * 1000;
    due_ms_ += remainder_ / pal::kClockHz;
    remainder_ %= pal::kClockHz;
    return due_ms_;
}

u32 FramePacer::wait_ms(u32 now_ms) {
    i32 ahead = static_cast<i32>(next_deadline() - now_ms);
    if (ahead > static_cast<i32>(kMaxLeadMs) || ahead < -static_cast<i32>(kMaxLagMs)) {
        restart(now_ms);
        return 0;
    }
    return ahead > 0 ? static_cast<u32>(ahead) : 0;
}

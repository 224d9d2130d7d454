// Full C64 mode's main-loop pass: one PAL frame of 312 raster lines. On each
// line the processor runs the cycles the VIC leaves it, the VIC paints the
// line and the CIAs catch up; then the frame is shown and paced.
#include "c64/frame_loop.h"

#include "c64/c64.h"
#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/io.h"
#include "c64/key_matrix.h"
#include "c64/memory.h"
#include "c64/processor.h"
#include "c64/text_keys.h"
#include "c64/vic.h"
#include "lib/clock.h"

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

// ---- the machine's full-mode pass ----------------------------------------------

void C64::enter_mode(bool full) {
    full_mode_on = full;
    mem_->keyboard_table_patched(!full);
    key_matrix_->release_all();
    text_keys_->release_all();
    if (full) {
        g_face_active = 0;
        next_line_at_ = cpu_->cycles();
        pacer_.restart(clock_->milliseconds());
        warp_frames_ = 0;
    } else {
        g_face_active = 1;
        last_border = 0xFF;  // the text view is drawn afresh on the next pass
    }
}

bool C64::run_frame() {
    // Keys reach the matrix in order, one change a frame at most (frames
    // start exactly a frame's cycles apart).
    key_matrix_->advance(next_line_at_);

    for (int r = 0; r < static_cast<int>(pal::kLines); r++) {
        u32 budget = vic_->start_line(r);
        u32 line_start = next_line_at_;
        next_line_at_ += pal::kLineCycles;
        cpu_->run(line_start + budget);
        // On a badline the VIC holds the processor for the rest of the line.
        if (budget < pal::kLineCycles) cpu_->stall(pal::kLineCycles - budget);
        vic_->render_line(r);
        cia1_->catch_up();
        cia2_->catch_up();
    }
    io_->emulate();
    frame_ctr++;
    present_frame();
    if (!warp_) pace_frame();
    return !reset_requested;
}

void C64::present_frame() {
    if (warp_) {
        if (++warp_frames_ < kWarpPresentEvery) return;
        warp_frames_ = 0;
    }
    io_->screen_refresh();
}

void C64::pace_frame() {
    u32 wait = pacer_.wait_ms(clock_->milliseconds());
    if (wait) clock_->wait_until(pacer_.due_ms());
}

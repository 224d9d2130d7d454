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
#include "c64/vic.h"
#include "drivers/keyboard.h"
#include "hardwarecommunication/cpu_control.h"

namespace {
constexpr u32 kWaitRoundsPerMs = 4;   // interrupts other than the PIT's wake us too
constexpr u32 kWaitRoundsSpare = 16;
}  // namespace

u32 FramePacer::next_deadline() {
    remainder_ += kPalFrameCycles * 1000;
    due_ms_ += remainder_ / kPalClockHz;
    remainder_ %= kPalClockHz;
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

void wait_until_ms(u32 due_ms) {
    u32 rounds = (due_ms - current_milli) * kWaitRoundsPerMs + kWaitRoundsSpare;
    for (u32 i = 0; i < rounds && static_cast<i32>(current_milli - due_ms) < 0; i++)
        tarn::hardwarecommunication::cpu_wait_for_interrupt();
}

// ---- the machine's full-mode pass ----------------------------------------------

void C64::enter_mode(bool full) {
    full_mode_on = full;
    mem_->keyboard_table_patched(!full);
    key_matrix_->release_all();
    if (full) {
        g_face_active = 0;
        next_line_at_ = cpu_->cycles();
        pacer_.restart(current_milli);
        warp_frames_ = 0;
    } else {
        g_face_active = 1;
        last_border = 0xFF;  // the text view is drawn afresh on the next pass
    }
}

bool C64::run_frame() {
    // The keyboard interrupt's scan bytes go to the key matrix. The PS/2
    // port itself is left to the interrupt.
    drain_scan_ring(true);

    for (int r = 0; r < static_cast<int>(kPalLines); r++) {
        u32 budget = vic_->start_line(r);
        u32 line_start = next_line_at_;
        next_line_at_ += kPalLineCycles;
        cpu_->run(line_start + budget);
        // On a badline the VIC holds the processor for the rest of the line.
        if (budget < kPalLineCycles) cpu_->stall(kPalLineCycles - budget);
        vic_->render_line(r);
        cia1_->catch_up();
        cia2_->catch_up();
    }
    if (!io_->emulate()) return false;
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
    u32 wait = pacer_.wait_ms(current_milli);
    if (wait) wait_until_ms(pacer_.due_ms());
}

// Full C64 mode's main-loop pass: one PAL frame of 312 raster lines. On each
// line the processor runs from chip event to chip event (a CIA's interrupt,
// the line's end) around the VIC's bus windows, the CIAs catch up at each,
// and the VIC paints the line; then the frame is shown and paced.
#include "c64/c64.h"

#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/key_matrix.h"
#include "c64/memory.h"
#include "c64/processor.h"
#include "c64/raster_picture.h"
#include "c64/serial_bus.h"
#include "c64/text_keys.h"
#include "c64/text_view.h"
#include "c64/sid.h"
#include "c64/vic.h"
#include "lib/clock.h"

// ---- the machine's full-mode pass ----------------------------------------------

void C64::enter_mode(bool full) {
    full_mode_on = full;
    mem_->keyboard_table_patched(!full);
    sid_->use_wall_clock(!full);
    key_matrix_->release_all();
    text_keys_->release_all();
    // Each picture is drawn whole when its mode comes back.
    raster_->invalidate();
    text_view_->invalidate();
    drawn_once_ = false;
    if (!full) vic_->stop_clock();
    if (full) {
        next_line_at_ = cpu_->cycles();
        pacer_.restart(clock_->milliseconds());
        warp_frames_ = 0;
    }
}

bool C64::run_frame() {
    // Keys reach the matrix in order, one change a frame at most (frames
    // start exactly a frame's cycles apart).
    key_matrix_->advance(next_line_at_);

    for (int r = 0; r < static_cast<int>(pal::kLines); r++) {
        vic_->start_line(r, next_line_at_);
        next_line_at_ += pal::kLineCycles;
        cpu_->bus_windows(vic_->bus_windows(), vic_->bus_window_count());
        run_to(next_line_at_);
        vic_->render_line(r);
        sid_->catch_up();
    }
    cpu_->bus_windows(nullptr, 0);
    // Once a frame the CIAs catch up whether or not an event came (their
    // time of day moves on in steps of bounded length).
    cia1_->catch_up();
    cia2_->catch_up();
    serial_bus_->serve();
    // Warp's time runs unevenly: nothing of it is played.
    sid_->warp(warp_);
    sid_->flush();
    present_frame();
    if (!warp_) pace_frame();
    return !reset_requested;
}

namespace {
// The cycle of a CIA's next event, after bringing it up to the processor's
// present if that event has come. Between events a CIA stays where it was:
// it catches up by itself when a register is touched.
u32 next_cia_event(Cia& cia, u32 now) {
    u32 e = cia.next_event();
    if (static_cast<i32>(now - e) >= 0) {
        cia.catch_up();
        e = cia.next_event();
    }
    return e;
}
}  // namespace

// The processor runs to `end` in stretches that stop where a CIA's
// interrupt output is due, so the line reaches the core at its cycle.
// Only the processor changes a CIA's next event, so each is asked once
// after every stretch.
void C64::run_to(u32 end) {
    u32 e1 = next_cia_event(*cia1_, cpu_->cycles()), e2 = next_cia_event(*cia2_, cpu_->cycles());
    while (static_cast<i32>(cpu_->cycles() - end) < 0) {
        u32 stop = end;
        u32 now = cpu_->cycles();
        if (e1 - now < stop - now) stop = e1;
        if (e2 - now < stop - now) stop = e2;
        if (stop == now) stop = now + 1;  // an event of this very cycle: one instruction
        cpu_->run(stop);
        e1 = next_cia_event(*cia1_, cpu_->cycles());
        e2 = next_cia_event(*cia2_, cpu_->cycles());
    }
}

void C64::present_frame() {
    if (warp_) {
        if (++warp_frames_ < kWarpPresentEvery) return;
        warp_frames_ = 0;
    }
    raster_->present(screen_);
}

void C64::pace_frame() {
    u32 wait = pacer_.wait_ms(clock_->milliseconds());
    if (wait) clock_->wait_until(pacer_.due_ms());
}

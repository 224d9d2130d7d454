// One 6526 interval timer step, shared by CIA 1 and CIA 2: count down by the
// cycles elapsed and reload from the latch on underflow.
#ifndef TARN_C64_CIA_TIMER_H
#define TARN_C64_CIA_TIMER_H

#include "lib/types.h"

// Returns true when the timer underflowed with its interrupt enabled; the
// caller then raises its chip's interrupt line (IRQ for CIA 1, NMI for CIA 2).
inline bool cia_timer_step(u16& counter, u16 latch, bool enabled, u8 input_mode,
                           bool irq_enabled, bool& irq_triggered, u32 elapsed) {
    if (!enabled || input_mode != 0) return false;
    counter = static_cast<u16>(counter - elapsed);
    if (static_cast<i16>(counter) > 0) return false;
    counter = latch;
    if (!irq_enabled) return false;
    irq_triggered = true;
    return true;
}

// Interrupt control register as read: $80 plus one bit per latched timer flag.
inline u8 cia_interrupt_flags(bool timer_a, bool timer_b) {
    if (!timer_a && !timer_b) return 0;
    return static_cast<u8>(0x80 | (timer_a ? 1 : 0) | (timer_b ? 2 : 0));
}

#endif

// MOS 6526 CIA 2: VIC bank select on port A, timers raising NMI.
#ifndef TARN_C64_CIA2_H
#define TARN_C64_CIA2_H

#include "lib/types.h"

class Cpu;

class Cia2 {
public:
    Cia2() {}
    void cpu(Cpu* c) { cpu_ = c; }

    void write_register(u8 r, u8 v);
    u8 read_register(u8 r);
    bool emulate();
    // Port A bits 1-0 are inverted bank bits: 11 = $0000 ... 00 = $C000.
    u16 vic_base_address() const { return static_cast<u16>((static_cast<u8>(~pra_) & 3) * 16384u); }
    void reset_timer_a() { timer_a_counter_ = timer_a_latch_; }
    void reset_timer_b() { timer_b_counter_ = timer_b_latch_; }

private:
    Cpu* cpu_ = nullptr;
    u16 timer_a_latch_ = 0, timer_b_latch_ = 0;
    u16 timer_a_counter_ = 0, timer_b_counter_ = 0;
    bool timer_a_enabled_ = false, timer_b_enabled_ = false;
    bool timer_a_irq_enabled_ = false, timer_b_irq_enabled_ = false;
    bool timer_a_irq_triggered_ = false, timer_b_irq_triggered_ = false;
    u8 timer_a_input_mode_ = 0, timer_b_input_mode_ = 0;
    u32 prev_cpu_cycles_ = 0;
    u8 pra_ = 0xFF, prb_ = 0xFF;
};

#endif

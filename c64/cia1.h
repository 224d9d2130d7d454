// MOS 6526 CIA 1: keyboard matrix, joystick port 2, timers raising IRQ.
#ifndef TARN_C64_CIA1_H
#define TARN_C64_CIA1_H

#include "lib/types.h"

class Cpu;
class IO;

class Cia1 {
public:
    Cia1() {}
    void cpu(Cpu* c) { cpu_ = c; }
    void io(IO* i) { io_ = i; }

    void write_register(u8 r, u8 v);
    u8 read_register(u8 r);
    bool emulate();
    void reset_timer_a() { timer_a_counter_ = timer_a_latch_; }
    void reset_timer_b() { timer_b_counter_ = timer_b_latch_; }

private:
    u8 keyboard_scan();

    Cpu* cpu_ = nullptr;
    IO* io_ = nullptr;
    u16 timer_a_latch_ = 0, timer_b_latch_ = 0;
    u16 timer_a_counter_ = 0, timer_b_counter_ = 0;
    bool timer_a_enabled_ = false, timer_b_enabled_ = false;
    bool timer_a_irq_enabled_ = false, timer_b_irq_enabled_ = false;
    bool timer_a_irq_triggered_ = false, timer_b_irq_triggered_ = false;
    u8 timer_a_input_mode_ = 0, timer_b_input_mode_ = 0;
    u32 prev_cpu_cycles_ = 0;
    u8 pra_ = 0xFF, prb_ = 0xFF;
    u8 ddra_ = 0xFF, ddrb_ = 0;
};

#endif

// MOS 6526 CIA 2: VIC bank select on port A, timers raising NMI.
#include "c64/cia2.h"

#include "c64/cia_timer.h"
#include "c64/cpu.h"

namespace {
constexpr u8 kPra = 0x00;     // port A: VIC bank (bits 0-1, inverted), serial bus
constexpr u8 kPrb = 0x01;     // port B: user port
constexpr u8 kTaLo = 0x04;    // timer A low
constexpr u8 kTaHi = 0x05;    // timer A high
constexpr u8 kTbLo = 0x06;    // timer B low
constexpr u8 kTbHi = 0x07;    // timer B high
constexpr u8 kIcr = 0x0D;     // interrupt control
constexpr u8 kCra = 0x0E;     // control A
constexpr u8 kCrb = 0x0F;     // control B
}  // namespace

void Cia2::write_register(u8 r, u8 v) {
    switch (r & 0x0F) {
    case kPra: pra_ = v; break;
    case kPrb: prb_ = v; break;
    case kTaLo: timer_a_latch_ = static_cast<u16>((timer_a_latch_ & 0xFF00) | v); break;
    case kTaHi: timer_a_latch_ = static_cast<u16>((timer_a_latch_ & 0x00FF) | (v << 8)); break;
    case kTbLo: timer_b_latch_ = static_cast<u16>((timer_b_latch_ & 0xFF00) | v); break;
    case kTbHi: timer_b_latch_ = static_cast<u16>((timer_b_latch_ & 0x00FF) | (v << 8)); break;
    case kIcr:
        if (v & 0x01) timer_a_irq_enabled_ = (v & 0x80) != 0;
        if (v & 0x02) timer_b_irq_enabled_ = (v & 0x80) != 0;
        break;
    case kCra:
        timer_a_enabled_ = (v & 0x01) != 0;
        timer_a_input_mode_ = static_cast<u8>((v >> 5) & 1);
        if (v & 0x10) reset_timer_a();
        break;
    case kCrb:
        timer_b_enabled_ = (v & 0x01) != 0;
        timer_b_input_mode_ = static_cast<u8>((v & 0x20) | ((v >> 5) & 0x02));
        if (v & 0x10) reset_timer_b();
        break;
    default: break;  // no data direction registers, time of day or serial port
    }
}

u8 Cia2::read_register(u8 r) {
    switch (r & 0x0F) {
    case kPra: return pra_;
    case kPrb: return prb_;
    case kTaLo: return static_cast<u8>(timer_a_counter_ & 0xFF);
    case kTaHi: return static_cast<u8>(timer_a_counter_ >> 8);
    case kTbLo: return static_cast<u8>(timer_b_counter_ & 0xFF);
    case kTbHi: return static_cast<u8>(timer_b_counter_ >> 8);
    case kIcr: return cia_interrupt_flags(timer_a_irq_triggered_, timer_b_irq_triggered_);
    default: return 0;
    }
}

bool Cia2::emulate() {
    u32 now = cpu_ ? cpu_->cycles() : 0;
    u32 elapsed = now - prev_cpu_cycles_;
    if (cia_timer_step(timer_a_counter_, timer_a_latch_, timer_a_enabled_, timer_a_input_mode_,
                       timer_a_irq_enabled_, timer_a_irq_triggered_, elapsed) && cpu_)
        cpu_->nmi();
    if (cia_timer_step(timer_b_counter_, timer_b_latch_, timer_b_enabled_, timer_b_input_mode_,
                       timer_b_irq_enabled_, timer_b_irq_triggered_, elapsed) && cpu_)
        cpu_->nmi();
    // Read again: the interrupt entry just taken advanced the counter.
    prev_cpu_cycles_ = cpu_ ? cpu_->cycles() : 0;
    return true;
}

// MOS 6526 CIA 1: keyboard matrix, joystick port 2, timers raising IRQ.
#include "c64/cia1.h"

#include "c64/cia_timer.h"
#include "c64/cpu.h"
#include "c64/io.h"

namespace {
constexpr u8 kPra = 0x00;     // port A: keyboard columns, joystick 2
constexpr u8 kPrb = 0x01;     // port B: keyboard rows
constexpr u8 kDdra = 0x02;    // data direction A
constexpr u8 kDdrb = 0x03;    // data direction B
constexpr u8 kTaLo = 0x04;    // timer A low
constexpr u8 kTaHi = 0x05;    // timer A high
constexpr u8 kTbLo = 0x06;    // timer B low
constexpr u8 kTbHi = 0x07;    // timer B high
constexpr u8 kIcr = 0x0D;     // interrupt control
constexpr u8 kCra = 0x0E;     // control A
constexpr u8 kCrb = 0x0F;     // control B
}  // namespace

void Cia1::write_register(u8 r, u8 v) {
    switch (r & 0x0F) {
    case kPra: pra_ = v; break;
    case kDdra: ddra_ = v; break;
    case kDdrb: ddrb_ = v; break;
    case kTaLo: timer_a_latch_ = static_cast<u16>((timer_a_latch_ & 0xFF00) | v); break;
    case kTaHi: timer_a_latch_ = static_cast<u16>((timer_a_latch_ & 0x00FF) | (v << 8)); break;
    case kTbLo: timer_b_latch_ = static_cast<u16>((timer_b_latch_ & 0xFF00) | v); break;
    case kTbHi: timer_b_latch_ = static_cast<u16>((timer_b_latch_ & 0x00FF) | (v << 8)); break;
    case kIcr:
        // Bit 7 says set or clear for the mask bits named in bits 0-1.
        if (v & 0x01) timer_a_irq_enabled_ = (v & 0x80) != 0;
        if (v & 0x02) timer_b_irq_enabled_ = (v & 0x80) != 0;
        break;
    case kCra:  // bit 0 start, bit 4 force load, bit 5 count CNT pulses
        timer_a_enabled_ = (v & 0x01) != 0;
        timer_a_input_mode_ = static_cast<u8>((v >> 5) & 1);
        if (v & 0x10) reset_timer_a();
        break;
    case kCrb:  // bits 5-6 select the counting source; only 0 counts cycles
        timer_b_enabled_ = (v & 0x01) != 0;
        timer_b_input_mode_ = static_cast<u8>((v & 0x20) | ((v >> 5) & 0x02));
        if (v & 0x10) reset_timer_b();
        break;
    default: break;  // port B writes, time of day and serial port are not modelled
    }
}

// Only the highest selected column is read, as the KERNAL selects one at a time.
u8 Cia1::keyboard_scan() {
    if (pra_ == 0xFF) return 0xFF;
    if (pra_ == 0) return 0;
    int i = 7;
    while (pra_ & (1 << i)) i--;
    return io_ ? io_->keyboard_matrix_row(i) : 0xFF;
}

u8 Cia1::read_register(u8 r) {
    switch (r & 0x0F) {
    case kPra: {
        u8 joy = io_ ? io_->getJoystick(2) : 0;
        return static_cast<u8>((pra_ | static_cast<u8>(~ddra_)) - joy);
    }
    case kPrb: return keyboard_scan();
    case kDdra: return ddra_;
    case kDdrb: return ddrb_;
    case kTaLo: return static_cast<u8>(timer_a_counter_ & 0xFF);
    case kTaHi: return static_cast<u8>(timer_a_counter_ >> 8);
    case kTbLo: return static_cast<u8>(timer_b_counter_ & 0xFF);
    case kTbHi: return static_cast<u8>(timer_b_counter_ >> 8);
    case kIcr: return cia_interrupt_flags(timer_a_irq_triggered_, timer_b_irq_triggered_);
    default: return 0;
    }
}

bool Cia1::emulate() {
    u32 now = cpu_ ? cpu_->cycles() : 0;
    u32 elapsed = now - prev_cpu_cycles_;
    if (cia_timer_step(timer_a_counter_, timer_a_latch_, timer_a_enabled_, timer_a_input_mode_,
                       timer_a_irq_enabled_, timer_a_irq_triggered_, elapsed) && cpu_)
        cpu_->irq();
    if (cia_timer_step(timer_b_counter_, timer_b_latch_, timer_b_enabled_, timer_b_input_mode_,
                       timer_b_irq_enabled_, timer_b_irq_triggered_, elapsed) && cpu_)
        cpu_->irq();
    // Read again: the interrupt entry just taken advanced the counter.
    prev_cpu_cycles_ = cpu_ ? cpu_->cycles() : 0;
    return true;
}

// CIA 1 ($DC00): the keyboard matrix and both joysticks on its ports.
#include "c64/cia1.h"

#include "c64/control_ports.h"
#include "c64/processor.h"

namespace {
constexpr u8 kJoystickPort1 = 1;  // on port B, beside the keyboard rows
constexpr u8 kJoystickPort2 = 2;  // on port A, beside the keyboard columns
}  // namespace

Cia1::Cia1() {}

void Cia1::interrupt_line(bool asserted, u32 at) {
    if (processor()) processor()->set_irq(Processor::kIrqCia1, asserted, at);
}

void Cia1::write_register(u8 r, u8 v) {
    switch (r & 0x0F) {
    case kPra: pra_ = v; break;
    case kPrb: prb_ = v; break;
    case kDdra: ddra_ = v; break;
    case kDdrb: ddrb_ = v; break;
    default: write_common(r & 0x0F, v); break;
    }
    if (ports_ && ((r & 0x0F) == kPra || (r & 0x0F) == kDdra)) ports_->pot_switch(port_a());
}

u8 Cia1::read_register(u8 r) {
    switch (r & 0x0F) {
    case kPra: return port_a();
    case kPrb: return port_b();
    case kDdra: return ddra_;
    case kDdrb: return ddrb_;
    default: return read_common(r & 0x0F);
    }
}

// Input bits float high; a joystick 2 contact pulls its line low.
u8 Cia1::port_a() const {
    u8 joy = ports_ ? ports_->lines(kJoystickPort2) : 0;
    return static_cast<u8>((pra_ | static_cast<u8>(~ddra_)) & static_cast<u8>(~joy));
}

// A held key joins its column (a port A line driven low) to its row: the
// row reads low when any selected column has a key down in it.
u8 Cia1::port_b() {
    u8 v = static_cast<u8>(prb_ | static_cast<u8>(~ddrb_));
    if (!ports_) return timer_outputs(v);
    u8 columns = static_cast<u8>(pra_ | static_cast<u8>(~ddra_));
    for (int c = 0; c < 8; c++)
        if (!(columns & (1 << c))) v &= ports_->matrix_row(c);
    return timer_outputs(static_cast<u8>(v & static_cast<u8>(~ports_->lines(kJoystickPort1))));
}

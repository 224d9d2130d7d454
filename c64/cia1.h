// CIA 1 ($DC00): the keyboard matrix and both joysticks on its ports, PA6
// and PA7 choosing whose paddles the SID reads; its interrupt output is the
// processor's IRQ line.
#ifndef TARN_C64_CIA1_H
#define TARN_C64_CIA1_H

#include "c64/cia.h"
#include "lib/types.h"

class ControlPorts;

class Cia1 final : public Cia {
public:
    Cia1();
    void ports(ControlPorts* p) { ports_ = p; }

    void write_register(u8 r, u8 v);
    u8 read_register(u8 r);

protected:
    void interrupt_line(bool asserted, u32 at) override;

private:
    u8 port_a() const;
    u8 port_b();

    ControlPorts* ports_ = nullptr;
    u8 pra_ = 0xFF, prb_ = 0xFF;
    u8 ddra_ = 0xFF, ddrb_ = 0;
};

#endif

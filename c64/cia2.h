// CIA 2 ($DD00): the VIC bank and the serial bus on port A, the user port
// on port B; its interrupt output is the processor's NMI line.
#ifndef TARN_C64_CIA2_H
#define TARN_C64_CIA2_H

#include "c64/cia.h"
#include "lib/types.h"

class Cia2 final : public Cia {
public:
    Cia2();

    void write_register(u8 r, u8 v);
    u8 read_register(u8 r);
    // Port A bits 1-0 are inverted bank bits: 11 = $0000 ... 00 = $C000.
    u16 vic_base_address() const { return static_cast<u16>((static_cast<u8>(~port_a()) & 3) * 16384u); }

protected:
    void interrupt_line(bool asserted, u32 at) override;

private:
    // Input bits read high through their pull-ups.
    u8 port_a() const { return static_cast<u8>(pra_ | static_cast<u8>(~ddra_)); }
    u8 port_b() { return timer_outputs(static_cast<u8>(prb_ | static_cast<u8>(~ddrb_))); }

    u8 pra_ = 0xFF, prb_ = 0xFF;
    u8 ddra_ = 0x3F, ddrb_ = 0;
};

#endif

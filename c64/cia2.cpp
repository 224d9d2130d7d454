// CIA 2 ($DD00): VIC bank select, serial bus and user port.
#include "c64/cia2.h"

#include "c64/processor.h"

Cia2::Cia2() {}

void Cia2::interrupt_line(bool asserted, u32 at) {
    if (processor()) processor()->set_nmi(Processor::kNmiCia2, asserted, at);
}

void Cia2::write_register(u8 r, u8 v) {
    switch (r & 0x0F) {
    case kPra: pra_ = v; break;
    case kPrb: prb_ = v; break;
    case kDdra: ddra_ = v; break;
    case kDdrb: ddrb_ = v; break;
    default: write_common(r & 0x0F, v); break;
    }
}

u8 Cia2::read_register(u8 r) {
    switch (r & 0x0F) {
    case kPra: return port_a();
    case kPrb: return port_b();
    case kDdra: return ddra_;
    case kDdrb: return ddrb_;
    default: return read_common(r & 0x0F);
    }
}

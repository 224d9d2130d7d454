// 6510 register file with reset and interrupt entry, the chips' time base.
#include "c64/cpu.h"

#include "c64/memory.h"

namespace {
constexpr u16 kStackPage = 0x0100;
constexpr u16 kNmiVector = 0xFFFA;
constexpr u16 kResetVector = 0xFFFC;
constexpr u16 kIrqVector = 0xFFFE;
constexpr u8 kEntryCycles = 7;  // cycles of an interrupt entry sequence
}  // namespace

void Cpu::reset() {
    a_ = x_ = y_ = sp_ = 0;
    cf_ = zf_ = idf_ = dmf_ = of_ = nf_ = false;
    pc_ = mem_ ? mem_->read_word(kResetVector) : 0;
    cycles_ = 6;
}

void Cpu::push(u8 v) {
    if (mem_) mem_->write_byte(static_cast<u16>(kStackPage + sp_), v);
    sp_ = static_cast<u8>(sp_ - 1);
}

// Status: N V 1 B D I Z C (bit 7 .. bit 0).
u8 Cpu::flags() const {
    return static_cast<u8>((cf_ ? 0x01 : 0) | (zf_ ? 0x02 : 0) | (idf_ ? 0x04 : 0) | (dmf_ ? 0x08 : 0) |
                           0x10 | 0x20 | (of_ ? 0x40 : 0) | (nf_ ? 0x80 : 0));
}

void Cpu::irq() {
    if (idf_) return;
    push(static_cast<u8>(pc_ >> 8));
    push(static_cast<u8>(pc_ & 0xFF));
    push(static_cast<u8>(flags() & 0xEF));
    pc_ = mem_ ? mem_->read_word(kIrqVector) : 0;
    idf_ = true;
    tick(kEntryCycles);
}

void Cpu::nmi() {
    push(static_cast<u8>(pc_ >> 8));
    push(static_cast<u8>(pc_ & 0xFF));
    push(static_cast<u8>(flags() & 0xEF));
    pc_ = mem_ ? mem_->read_word(kNmiVector) : 0;
    tick(kEntryCycles);
}

// 6502 core: the IRQ level and NMI edge inputs, taken at instruction
// boundaries with the chip's one-instruction I-flag delay.
#include <gtest/gtest.h>

#include "tests/unit/core/bus.h"

namespace {

constexpr u16 kIrqHandler = 0x3000;  // NOPs; the NMI handler at $4000 too

Machine with_vectors(std::initializer_list<u8> code, u8 flags) {
    Machine m(0x0200, code);
    m.load(0xFFFA, {0x00, 0x40, 0x00, 0x00, 0x00, 0x30});
    for (int i = 0; i < 16; i++) m[static_cast<u16>(0x3000 + i)] = m[static_cast<u16>(0x4000 + i)] = 0xEA;
    m.c.flags = flags;
    return m;
}

u16 stacked_return(Machine& m) { return static_cast<u16>(m[0x01FE] | (m[0x01FF] << 8)); }

TEST(Interrupts, IrqLevelWaitsOneInstructionAfterCliAndRepeatsAfterRti) {
    Machine m = with_vectors({0x58, 0xEA, 0xEA, 0xEA}, 0x20 | CORE6502_I);  // CLI; NOPs
    core6502_set_irq(&m.c, CORE6502_IRQ_VIC, true);
    core6502_run(&m.c, 4);  // CLI, then the NOP after it still runs
    EXPECT_EQ(m.c.pc, 0x0202);
    core6502_run(&m.c, 5);  // the entry: 7 cycles, B clear, opcode $00
    EXPECT_EQ(m.c.pc, kIrqHandler);
    EXPECT_EQ(m.c.cycles, 11u);
    EXPECT_EQ(m.c.opcode, 0x00);
    EXPECT_EQ(stacked_return(m), 0x0202);
    EXPECT_EQ(m[0x01FD], 0x20);
    m[kIrqHandler] = 0x40;  // RTI's restored I counts at once: the held line re-enters
    core6502_run(&m.c, m.c.cycles + 7);
    EXPECT_EQ(m.c.pc, kIrqHandler);
    EXPECT_EQ(m.c.s, 0xFC);
    core6502_set_irq(&m.c, CORE6502_IRQ_VIC, false);  // acknowledged: RTI, NOP
    core6502_run(&m.c, m.c.cycles + 8);
    EXPECT_EQ(m.c.pc, 0x0203);
}

TEST(Interrupts, SeiStillLetsAPendingIrqInRightAfterIt) {
    Machine m = with_vectors({0x78, 0xEA}, 0x20);  // SEI; NOP
    core6502_set_irq(&m.c, CORE6502_IRQ_CIA1, true);  // held when SEI samples it
    m.step();
    core6502_run(&m.c, m.c.cycles + 1);
    EXPECT_EQ(m.c.pc, kIrqHandler);
    EXPECT_EQ(stacked_return(m), 0x0201);
    EXPECT_EQ(m[0x01FD], 0x24);  // pushed with SEI's I
}

TEST(Interrupts, NmiIsTakenOnceOnItsEdgeEvenWithIMasked) {
    Machine m = with_vectors({0xEA}, 0x20 | CORE6502_I);
    core6502_set_nmi(&m.c, CORE6502_NMI_CIA2, true);
    core6502_run(&m.c, 1);
    EXPECT_EQ(m.c.pc, 0x4000);
    core6502_set_nmi(&m.c, CORE6502_NMI_RESTORE, true);  // line already low: no edge
    core6502_run(&m.c, 20);
    EXPECT_EQ(m.c.s, 0xFC);
    core6502_set_nmi(&m.c, CORE6502_NMI_CIA2, false);
    core6502_set_nmi(&m.c, CORE6502_NMI_RESTORE, false);
    core6502_set_nmi(&m.c, CORE6502_NMI_RESTORE, true);  // released, then a new edge,
    core6502_run(&m.c, 24);  // sampled by the next instruction, entered after it
    EXPECT_EQ(m.c.pc, 0x4000);
    EXPECT_EQ(m.c.s, 0xF9);
}

}  // namespace

// 6502 core: the IRQ level and NMI edge inputs, taken at instruction
// boundaries with the chip's one-instruction I-flag delay.
#include <gtest/gtest.h>

#include "tests/unit/core/bus.h"

namespace {

constexpr u16 kHandler = 0x3000;
constexpr u16 kNmiHandler = 0x4000;

// Code at $0200, handlers of NOPs, I set, S = $FF.
Machine with_vectors(std::initializer_list<u8> code) {
    Machine m(0x0200, code);
    m[0xFFFE] = kHandler & 0xFF;
    m[0xFFFF] = kHandler >> 8;
    m[0xFFFA] = kNmiHandler & 0xFF;
    m[0xFFFB] = kNmiHandler >> 8;
    for (int i = 0; i < 16; i++) {
        m[static_cast<u16>(kHandler + i)] = 0xEA;
        m[static_cast<u16>(kNmiHandler + i)] = 0xEA;
    }
    m.c.flags = 0x20 | CORE6502_I;
    return m;
}

u16 stacked_return(Machine& m) { return static_cast<u16>(m[0x01FE] | (m[0x01FF] << 8)); }

TEST(Interrupts, CliLetsOneMoreInstructionRunBeforeAPendingIrq) {
    Machine m = with_vectors({0x58, 0xEA, 0xEA, 0xEA});  // CLI; NOP; NOP
    core6502_set_irq(&m.c, CORE6502_IRQ_VIC, true);
    core6502_run(&m.c, 2);  // CLI
    EXPECT_EQ(m.c.pc, 0x0201);
    core6502_run(&m.c, 4);  // not yet: the NOP after CLI runs first
    EXPECT_EQ(m.c.pc, 0x0202);
    core6502_run(&m.c, 5);  // then the entry: 7 cycles, B clear
    EXPECT_EQ(m.c.pc, kHandler);
    EXPECT_EQ(m.c.cycles, 4u + 7u);
    EXPECT_EQ(m.c.opcode, 0x00);
    EXPECT_EQ(stacked_return(m), 0x0202);
    EXPECT_EQ(m[0x01FD], 0x20);  // N V 1 B D I Z C = 0010 0000
    // The line is a level: while held it is taken again once I clears.
    m.load(kHandler, {0x40});  // RTI restores I clear and counts at once
    core6502_run(&m.c, m.c.cycles + 7);
    EXPECT_EQ(m.c.pc, kHandler);
    EXPECT_EQ(stacked_return(m), 0x0202);
    core6502_set_irq(&m.c, CORE6502_IRQ_VIC, false);
    m.load(kHandler, {0x40});
    core6502_run(&m.c, m.c.cycles + 8);  // RTI, NOP: released, not taken again
    EXPECT_EQ(m.c.pc, 0x0203);
}

TEST(Interrupts, SeiAndPlpStillLetAnIrqInRightAfterThem) {
    Machine m = with_vectors({0x78, 0xEA});  // SEI; NOP
    m.c.flags = 0x20;
    m.step();
    core6502_set_irq(&m.c, CORE6502_IRQ_CIA1, true);
    core6502_run(&m.c, m.c.cycles + 1);
    EXPECT_EQ(m.c.pc, kHandler);
    EXPECT_EQ(stacked_return(m), 0x0201);
    EXPECT_EQ(m[0x01FD] & CORE6502_I, CORE6502_I);  // pushed after SEI took effect

    m = with_vectors({0x28, 0xEA});  // PLP pulling I clear: one more instruction first
    m[0x01FF] = 0x00;
    m.c.s = 0xFE;
    core6502_set_irq(&m.c, CORE6502_IRQ_VIC, true);
    core6502_run(&m.c, 4);
    EXPECT_EQ(m.c.pc, 0x0201);
    core6502_run(&m.c, 6);
    EXPECT_EQ(m.c.pc, 0x0202);
    core6502_run(&m.c, 7);
    EXPECT_EQ(m.c.pc, kHandler);
    EXPECT_EQ(stacked_return(m), 0x0202);
}

TEST(Interrupts, NmiIsTakenOnceOnItsEdgeEvenWithIMasked) {
    Machine m = with_vectors({0xEA, 0xEA, 0xEA, 0xEA});
    core6502_set_nmi(&m.c, CORE6502_NMI_CIA2, true);
    core6502_run(&m.c, 1);
    EXPECT_EQ(m.c.pc, kNmiHandler);
    EXPECT_EQ(m.c.cycles, 7u);
    core6502_set_nmi(&m.c, CORE6502_NMI_RESTORE, true);  // line already low: no edge
    core6502_run(&m.c, 20);
    EXPECT_GT(m.c.pc, kNmiHandler);
    EXPECT_EQ(m.c.s, 0xFC);
    core6502_set_nmi(&m.c, CORE6502_NMI_CIA2, false);
    core6502_set_nmi(&m.c, CORE6502_NMI_RESTORE, false);
    core6502_set_nmi(&m.c, CORE6502_NMI_RESTORE, true);  // a new edge
    core6502_run(&m.c, 22);
    EXPECT_EQ(m.c.pc, kNmiHandler);
    EXPECT_EQ(m.c.s, 0xF9);
}

TEST(Interrupts, TakeInterruptHonoursTheSourceMask) {
    Machine m = with_vectors({0xEA});
    m.c.flags = 0x20;
    core6502_set_irq(&m.c, CORE6502_IRQ_VIC, true);
    EXPECT_FALSE(core6502_take_interrupt(&m.c, CORE6502_IRQ_TICK));
    EXPECT_EQ(m.c.pc, 0x0200);
    core6502_set_irq(&m.c, CORE6502_IRQ_TICK, true);
    EXPECT_TRUE(core6502_take_interrupt(&m.c, CORE6502_IRQ_TICK));
    EXPECT_EQ(m.c.pc, kHandler);
}

}  // namespace

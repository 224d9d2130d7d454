// 6502 core: stack frames of JSR/RTS, BRK/RTI, PHP/PLP, IRQ and reset.
#include <gtest/gtest.h>

#include "tests/unit/core/bus.h"

namespace {

TEST(Stack, JsrPushesLastByteAddressAndRtsReturnsAfterIt) {
    Machine m(0x0200, {0x20, 0x00, 0x30});
    m[0x3000] = 0x60;  // RTS
    EXPECT_EQ(m.step(), 6u);
    EXPECT_EQ(m.c.pc, 0x3000);
    EXPECT_EQ(m.c.s, 0xFD);
    EXPECT_EQ(m[0x01FF], 0x02);  // high byte first
    EXPECT_EQ(m[0x01FE], 0x02);  // $0202: the JSR's last byte
    EXPECT_EQ(m.step(), 6u);
    EXPECT_EQ(m.c.pc, 0x0203);
    EXPECT_EQ(m.c.s, 0xFF);
}

TEST(Stack, StackPointerWrapsWithinPageOne) {
    Machine m(0x0200, {0x48, 0x68});
    m.c.s = 0x00;
    m.c.a = 0x5A;
    m.step();
    EXPECT_EQ(m[0x0100], 0x5A);
    EXPECT_EQ(m.c.s, 0xFF);
    m.c.a = 0;
    m.step();
    EXPECT_EQ(m.c.a, 0x5A);
    EXPECT_EQ(m.c.s, 0x00);
}

TEST(Stack, PhpPushesBreakSetAndPlpForcesBits4And5) {
    Machine m(0x0200, {0x08, 0x28, 0x68});
    m.c.flags = 0x20 | CORE6502_C;
    m.step();
    EXPECT_EQ(m[0x01FF], 0x31);
    m[0x01FF] = 0xC3;
    m.step();  // PLP
    EXPECT_EQ(m.c.flags, 0xC3 | 0x30);
    EXPECT_EQ(m.c.s, 0xFF);
}

TEST(Stack, PlaSetsZeroAndNegative) {
    Machine m(0x0200, {0x68});
    m.c.s = 0xFE;
    m[0x01FF] = 0x80;
    EXPECT_EQ(m.step(), 4u);
    EXPECT_EQ(m.c.a, 0x80);
    EXPECT_TRUE(m.flag(CORE6502_N));
}

TEST(Stack, BrkSkipsPaddingByteAndRtiReturnsPastIt) {
    Machine m(0x0200, {0x00, 0xEA, 0xE8});
    m[0xFFFE] = 0x00;
    m[0xFFFF] = 0x40;
    m[0x4000] = 0x40;  // RTI
    m.c.flags = 0x20 | CORE6502_D | CORE6502_C;
    EXPECT_EQ(m.step(), 7u);
    EXPECT_EQ(m.c.pc, 0x4000);
    EXPECT_EQ(m[0x01FF], 0x02);
    EXPECT_EQ(m[0x01FE], 0x02);
    EXPECT_EQ(m[0x01FD], 0x20 | 0x10 | CORE6502_D | CORE6502_C);
    EXPECT_TRUE(m.flag(CORE6502_I));
    EXPECT_TRUE(m.flag(CORE6502_D));  // not cleared on entry
    EXPECT_EQ(m.step(), 6u);
    EXPECT_EQ(m.c.pc, 0x0202);
    EXPECT_FALSE(m.flag(CORE6502_I));
    EXPECT_TRUE(m.flag(CORE6502_B));
    EXPECT_EQ(m.c.s, 0xFF);
}

TEST(Stack, IrqPushesBreakClearAndIsDroppedWhileMasked) {
    Machine m(0x1234, {});
    m[0xFFFE] = 0x00;
    m[0xFFFF] = 0x50;
    m.c.flags = 0x30 | CORE6502_C;
    u32 cycles = m.c.cycles;
    core6502_irq(&m.c);
    EXPECT_EQ(m.c.pc, 0x5000);
    EXPECT_EQ(m[0x01FF], 0x12);
    EXPECT_EQ(m[0x01FE], 0x34);
    EXPECT_EQ(m[0x01FD], 0x21);  // B clear
    EXPECT_TRUE(m.flag(CORE6502_I));
    EXPECT_EQ(m.c.cycles, cycles + 7);
    EXPECT_EQ(m.c.s, 0xFC);
    // Masked: nothing happens, and nothing is held pending.
    core6502_irq(&m.c);
    EXPECT_EQ(m.c.pc, 0x5000);
    EXPECT_EQ(m.c.s, 0xFC);
    m.load(0x5000, {0x58, 0xEA});  // CLI; NOP
    m.steps(2);
    EXPECT_EQ(m.c.pc, 0x5002);
}

TEST(Stack, ResetReadsVectorKeepsRegistersAndClearsCycles) {
    Machine m(0x0200, {});
    m[0xFFFC] = 0xE2;
    m[0xFFFD] = 0xFC;
    m.c.a = 1;
    m.c.x = 2;
    m.c.y = 3;
    m.c.flags = 0x81;
    m.c.cycles = 999;
    g_bus.log_reads = true;
    core6502_reset(&m.c);
    EXPECT_EQ(m.c.pc, 0xFCE2);
    EXPECT_EQ(m.c.s, 0xFD);
    EXPECT_EQ(m.c.flags, 0x81 | 0x24);
    EXPECT_EQ(m.c.cycles, 0u);
    EXPECT_EQ(m.c.a, 1);
    EXPECT_EQ(m.c.x, 2);
    EXPECT_EQ(m.c.y, 3);
    const std::vector<u16> expected = {0x00FF, 0x00FF, 0x00FF, 0x0100, 0x01FF, 0x01FE, 0xFFFC, 0xFFFD};
    EXPECT_EQ(g_bus.reads, expected);
    EXPECT_TRUE(g_bus.writes.empty());
}

TEST(Stack, StepForcesBit5AndAccumulatesCycles) {
    Machine m(0x0200, {0xEA, 0xEA, 0x02});
    m.c.flags = 0x00;
    m.steps(3);
    EXPECT_EQ(m.c.flags & 0x20, 0x20);
    EXPECT_EQ(m.c.cycles, 6u);
    EXPECT_EQ(m.c.pc, 0x0202);  // $02 halts on itself
    EXPECT_TRUE(m.c.jammed);
}

}  // namespace

TEST(Stack, JsrPushesBeforeReadingTheTargetHighByte) {
    // JSR $1240 at $01FD with S = $FF: the push of PCH ($01) lands on the
    // operand's high byte before the chip reads it, so the jump goes to $0140.
    Machine m(0x01FD, {0x20, 0x40, 0x12});
    m.c.s = 0xFF;
    EXPECT_EQ(m.step(), 6u);
    EXPECT_EQ(m.c.pc, 0x0140);
    EXPECT_EQ(m[0x01FF], 0x01);
    EXPECT_EQ(m[0x01FE], 0xFF);  // return address $01FF: RTS resumes at $0200
    const std::vector<std::pair<u16, u8>> pushes = {{0x01FF, 0x01}, {0x01FE, 0xFF}};
    EXPECT_EQ(g_bus.writes, pushes);
}

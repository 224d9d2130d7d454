// 6502 core: the stable undocumented operations, the NOPs that read, and
// the halting opcodes.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/core/bus.h"

namespace {

constexpr u8 C = CORE6502_C, Z = CORE6502_Z, D = CORE6502_D, V = CORE6502_V, N = CORE6502_N;

Machine run_imm(u8 op, u8 a, u8 x, u8 imm, u8 flags) {
    Machine m(0x0200, {op, imm});
    m.c.a = a;
    m.c.x = x;
    m.c.flags = static_cast<u8>(0x20 | flags);
    EXPECT_EQ(m.step(), 2u);
    return m;
}

u8 nvzc(const Machine& m) { return m.c.flags & (N | V | Z | C); }

TEST(Undocumented, ImmediateOperations) {
    Machine m = run_imm(0x0B, 0xFF, 0, 0x80, 0);  // ANC: AND, C = N
    EXPECT_EQ(m.c.a, 0x80);
    EXPECT_EQ(nvzc(m), N | C);
    m = run_imm(0x2B, 0xFF, 0, 0x7F, C);
    EXPECT_EQ(m.c.a, 0x7F);
    EXPECT_EQ(nvzc(m), 0);
    m = run_imm(0x4B, 0x03, 0, 0xFF, 0);  // ALR: AND, LSR
    EXPECT_EQ(m.c.a, 0x01);
    EXPECT_EQ(nvzc(m), C);
    m = run_imm(0xCB, 0xF0, 0x3C, 0x10, 0);  // SBX: X = (A & X) - imm
    EXPECT_EQ(m.c.x, 0x20);
    EXPECT_EQ(nvzc(m), C);
    m = run_imm(0xCB, 0xF0, 0x3C, 0x40, C);
    EXPECT_EQ(m.c.x, 0xF0);
    EXPECT_EQ(m.c.a, 0xF0);
    EXPECT_EQ(nvzc(m), N);
    m = run_imm(0x8B, 0x00, 0xFF, 0xFF, 0);  // ANE: (A | $EE) & X & imm
    EXPECT_EQ(m.c.a, 0xEE);
    m = run_imm(0xAB, 0x01, 0x00, 0x0F, 0);  // LXA: A = X = (A | $EE) & imm
    EXPECT_EQ(m.c.a, 0x0F);
    EXPECT_EQ(m.c.x, 0x0F);
}

TEST(Undocumented, ArrInBinaryAndDecimal) {
    Machine m = run_imm(0x6B, 0xFF, 0, 0xFF, C);
    EXPECT_EQ(m.c.a, 0xFF);
    EXPECT_EQ(nvzc(m), N | C);  // C = bit 6, V = bit 6 ^ bit 5
    m = run_imm(0x6B, 0x40, 0, 0xFF, 0);
    EXPECT_EQ(m.c.a, 0x20);
    EXPECT_EQ(nvzc(m), V);
    m = run_imm(0x6B, 0xFF, 0, 0xFF, D);  // $7F, both digits corrected
    EXPECT_EQ(m.c.a, 0xD5);
    EXPECT_EQ(nvzc(m), C);
    m = run_imm(0x6B, 0x22, 0, 0xFF, D | C);  // $91: no correction; N = old C
    EXPECT_EQ(m.c.a, 0x91);
    EXPECT_EQ(nvzc(m), N);
}

TEST(Undocumented, RraAndIsbAddAndSubtractInDecimal) {
    Machine m(0x0200, {0x67, 0x10, 0xE7, 0x11});  // RRA $10; ISB $11
    m[0x10] = 0x02;
    m[0x11] = 0x10;
    m.c.a = 0x09;
    m.c.flags |= D;
    m.step();  // ROR: $01, C = 0; 09 + 01 = 10
    EXPECT_EQ(m.c.a, 0x10);
    m.c.flags |= C;
    m.step();  // INC: $11; 10 - 11 = 99 with borrow
    EXPECT_EQ(m[0x11], 0x11);
    EXPECT_EQ(m.c.a, 0x99);
    EXPECT_FALSE(m.flag(C));
}

TEST(Undocumented, LasAndTheHighByteStores) {
    Machine m(0x0200, {0xBB, 0x00, 0x30});  // LAS $3000,Y
    m[0x3000] = 0x3C;
    m.c.s = 0xF0;
    m.step();
    EXPECT_TRUE(m.c.a == 0x30 && m.c.x == 0x30 && m.c.s == 0x30);

    m = Machine(0x0200, {0x9E, 0x00, 0x12, 0x9C, 0xF0, 0x20, 0x9F, 0x00, 0x12, 0x9B, 0x80, 0x12});
    m.c.x = 0xFF;
    m.c.y = 0x05;
    EXPECT_EQ(m.step(), 5u);  // SHX $1200,Y: X & $13
    EXPECT_EQ(m[0x1205], 0x13);
    m.c.x = 0x20;
    m.c.y = 0x0F;
    m.step();  // SHY $20F0,X crosses: $0F & $21 = $01 is also the target's high byte
    EXPECT_EQ(m[0x0110], 0x01);
    EXPECT_EQ(m[0x2110], 0x00);
    m.c.a = 0xFF;
    m.c.x = 0x0F;
    m.c.y = 0x00;
    m.step();  // SHA $1200,Y: A & X & $13
    EXPECT_EQ(m[0x1200], 0x03);
    m.c.a = 0xF3;
    m.c.x = 0x3F;
    m.c.y = 0x10;
    m.step();  // TAS $1280,Y: S = A & X, stores S & $13
    EXPECT_EQ(m.c.s, 0x33);
    EXPECT_EQ(m[0x1290], 0x13);

    m = Machine(0x0200, {0x93, 0x40});  // SHA ($40),Y
    m[0x40] = 0x00;
    m[0x41] = 0x12;
    m.c.a = m.c.x = 0xFF;
    m.c.y = 0x01;
    EXPECT_EQ(m.step(), 6u);
    EXPECT_EQ(m[0x1201], 0x13);
}

TEST(Undocumented, NopsReadTheirOperandAndPayForPageCrossing) {
    Machine m(0x0200, {0x04, 0x33, 0x1C, 0xF0, 0x10, 0x0C, 0x00, 0xD0});
    m.c.x = 0x20;
    g_bus.log_reads = true;
    EXPECT_EQ(m.step(), 3u);  // NOP $33
    EXPECT_EQ(m.step(), 5u);  // NOP $10F0,X: page crossed
    EXPECT_EQ(m.step(), 4u);  // NOP $D000
    for (u16 a : {0x0033, 0x1110, 0xD000})
        EXPECT_NE(std::find(g_bus.reads.begin(), g_bus.reads.end(), a), g_bus.reads.end()) << std::hex << a;
    EXPECT_EQ(m.c.pc, 0x0208);
    EXPECT_TRUE(g_bus.writes.empty());
}

TEST(Undocumented, HaltingOpcodesStopUntilReset) {
    for (u8 op : {0x02, 0x12, 0x22, 0x32, 0x42, 0x52, 0x62, 0x72, 0x92, 0xB2, 0xD2, 0xF2}) {
        Machine m(0x0200, {0xE8, op, 0xE8});  // INX; halt; INX
        m[0xFFFC] = 0x00;
        m[0xFFFD] = 0x02;
        m[0xFFFE] = 0x00;
        m[0xFFFF] = 0x30;
        m.steps(5);
        EXPECT_TRUE(m.c.jammed) << std::hex << int(op);
        EXPECT_EQ(m.c.x, 1);
        EXPECT_EQ(m.c.pc, 0x0201);
        core6502_set_irq(&m.c, CORE6502_IRQ_VIC, true);
        core6502_set_nmi(&m.c, CORE6502_NMI_RESTORE, true);
        EXPECT_EQ(core6502_run(&m.c, m.c.cycles + 1000), 1000u);  // time passes, nothing runs
        EXPECT_EQ(m.c.pc, 0x0201);
        EXPECT_EQ(m.c.s, 0xFF);
        core6502_reset(&m.c);
        EXPECT_FALSE(m.c.jammed);
        m.step();
        EXPECT_EQ(m.c.x, 2);
    }
}

}  // namespace

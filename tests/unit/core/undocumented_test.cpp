// 6502 core: the stable undocumented operations, the NOPs that read, and
// the halting opcodes.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/core/bus.h"

namespace {

constexpr u8 C = CORE6502_C, Z = CORE6502_Z, D = CORE6502_D, V = CORE6502_V, N = CORE6502_N;

TEST(Undocumented, ImmediateOperations) {
    struct Case { u8 op, a, x, imm, flags, a_out, x_out, nvzc; };
    const Case cases[] = {
        {0x0B, 0xFF, 0x00, 0x80, 0, 0x80, 0x00, N | C},      // ANC: AND, C = N
        {0x2B, 0xFF, 0x00, 0x7F, C, 0x7F, 0x00, 0},
        {0x4B, 0x03, 0x00, 0xFF, 0, 0x01, 0x00, C},          // ALR: AND, LSR
        {0xCB, 0xF0, 0x3C, 0x10, 0, 0xF0, 0x20, C},          // SBX: X = (A & X) - imm
        {0xCB, 0xF0, 0x3C, 0x40, C, 0xF0, 0xF0, N},
        {0x8B, 0x00, 0xFF, 0xFF, 0, 0xEE, 0xFF, N},          // ANE: (A | $EE) & X & imm
        {0xAB, 0x01, 0x00, 0x0F, 0, 0x0F, 0x0F, 0},          // LXA: A = X = (A | $EE) & imm
        {0x6B, 0xFF, 0x00, 0xFF, C, 0xFF, 0x00, N | C},      // ARR: C = bit 6, V = bit 6 ^ bit 5
        {0x6B, 0x40, 0x00, 0xFF, 0, 0x20, 0x00, V},
        {0x6B, 0xFF, 0x00, 0xFF, D, 0xD5, 0x00, C},          // decimal: both digits corrected
        {0x6B, 0x22, 0x00, 0xFF, D | C, 0x91, 0x00, N},      // N = old C
    };
    for (const Case& k : cases) {
        Machine m(0x0200, {k.op, k.imm});
        m.c.a = k.a;
        m.c.x = k.x;
        m.c.flags = static_cast<u8>(0x20 | k.flags);
        EXPECT_EQ(m.step(), 2u);
        EXPECT_EQ(m.c.a, k.a_out) << std::hex << int(k.op) << " " << int(k.a);
        EXPECT_EQ(m.c.x, k.x_out) << std::hex << int(k.op) << " " << int(k.a);
        EXPECT_EQ(m.c.flags & (N | V | Z | C), k.nvzc) << std::hex << int(k.op) << " " << int(k.a);
    }
}

TEST(Undocumented, RraAndIsbAddAndSubtractInDecimal) {
    Machine m(0x0200, {0x67, 0x10, 0x38, 0xE7, 0x11});  // RRA $10; SEC; ISB $11
    m[0x10] = 0x02;
    m[0x11] = 0x10;
    m.c.a = 0x09;
    m.c.flags |= D;
    m.step();  // $01 with C = 0: 09 + 01 = 10
    EXPECT_EQ(m.c.a, 0x10);
    m.steps(2);  // $11: 10 - 11 = 99, borrow
    EXPECT_EQ(m.c.a, 0x99);
    EXPECT_FALSE(m.flag(C));
}

TEST(Undocumented, LasAndTheHighByteStores) {
    // LAS $3000,Y; SHX $1200,Y; SHY $20F0,X; SHA $1200,Y; TAS $1280,Y; SHA ($40),Y
    Machine m(0x0200, {0xBB, 0x00, 0x30, 0x9E, 0x00, 0x12, 0x9C, 0xF0, 0x20, 0x9F, 0x00, 0x12,
                       0x9B, 0x80, 0x12, 0x93, 0x40});
    m.load(0x40, {0x00, 0x12});
    m[0x3000] = 0x3C;
    m.c.s = 0xF0;
    m.step();
    EXPECT_TRUE(m.c.a == 0x30 && m.c.x == 0x30 && m.c.s == 0x30);
    m.c.x = 0xFF, m.c.y = 0x05;
    EXPECT_EQ(m.step(), 5u);
    EXPECT_EQ(m[0x1205], 0x13);  // X & ($12 + 1)
    m.c.x = 0x20, m.c.y = 0x0F;
    m.step();                    // crosses: $0F & $21 = $01 is also the target's high byte
    EXPECT_EQ(m[0x0110], 0x01);
    EXPECT_EQ(m[0x2110], 0x00);
    m.c.a = 0xFF, m.c.x = 0x0F, m.c.y = 0x00;
    m.step();
    EXPECT_EQ(m[0x1200], 0x03);  // A & X & $13
    m.c.a = 0xF3, m.c.x = 0x3F, m.c.y = 0x10;
    m.step();
    EXPECT_EQ(m.c.s, 0x33);      // S = A & X, stored & $13
    EXPECT_EQ(m[0x1290], 0x13);
    m.c.a = 0xFF, m.c.x = 0xFF, m.c.y = 0x01;
    EXPECT_EQ(m.step(), 6u);
    EXPECT_EQ(m[0x1201], 0x13);
}

TEST(Undocumented, NopsReadTheirOperandAndPayForPageCrossing) {
    Machine m(0x0200, {0x04, 0x33, 0x1C, 0xF0, 0x10});  // NOP $33; NOP $10F0,X
    m.c.x = 0x20;
    g_bus.log_reads = true;
    EXPECT_EQ(m.step(), 3u);
    EXPECT_EQ(m.step(), 5u);
    for (u16 a : {0x0033, 0x1110})
        EXPECT_NE(std::find(g_bus.reads.begin(), g_bus.reads.end(), a), g_bus.reads.end()) << std::hex << a;
}

TEST(Undocumented, HaltingOpcodesStopUntilReset) {
    for (u8 op : {0x02, 0x12, 0x22, 0x32, 0x42, 0x52, 0x62, 0x72, 0x92, 0xB2, 0xD2, 0xF2}) {
        Machine m(0x0200, {0xE8, op, 0xE8});  // INX; halt; INX
        m.load(0xFFFC, {0x00, 0x02});
        m.steps(5);
        core6502_set_irq(&m.c, CORE6502_IRQ_VIC, true);
        core6502_set_nmi(&m.c, CORE6502_NMI_RESTORE, true);
        EXPECT_EQ(core6502_run(&m.c, m.c.cycles + 1000), 1000u);  // time passes, nothing runs
        EXPECT_TRUE(m.c.x == 1 && m.c.pc == 0x0201 && m.c.s == 0xFF) << std::hex << int(op);
        core6502_reset(&m.c);
        m.step();
        EXPECT_EQ(m.c.x, 2) << std::hex << int(op);
    }
}

}  // namespace

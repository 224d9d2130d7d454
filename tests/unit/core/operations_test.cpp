// 6502 core: flag rules of each operation family and read-modify-write buses.
#include <gtest/gtest.h>

#include "tests/unit/core/bus.h"

namespace {

constexpr u8 C = CORE6502_C, Z = CORE6502_Z, V = CORE6502_V, N = CORE6502_N, D = CORE6502_D;

// Runs `op #imm` with A and carry preset; returns the machine.
Machine imm_op(u8 op, u8 a, u8 operand, bool carry, bool decimal = false) {
    Machine m(0x0200, {op, operand});
    m.c.a = a;
    if (carry) m.c.flags |= C;
    if (decimal) m.c.flags |= D;
    m.step();
    return m;
}

TEST(Operations, LoadsAndTransfersSetZeroAndNegative) {
    Machine m(0x0200, {0xA9, 0x00, 0xA2, 0x80, 0xA0, 0x01, 0x8A, 0x98, 0xAA, 0xA8, 0xBA, 0x9A});
    m.c.flags |= Z | N;
    m.step();  // LDA #0
    EXPECT_TRUE(m.flag(Z));
    EXPECT_FALSE(m.flag(N));
    m.step();  // LDX #$80
    EXPECT_FALSE(m.flag(Z));
    EXPECT_TRUE(m.flag(N));
    m.step();  // LDY #1
    EXPECT_FALSE(m.flag(Z) || m.flag(N));
    m.step();  // TXA
    EXPECT_EQ(m.c.a, 0x80);
    EXPECT_TRUE(m.flag(N));
    m.step();  // TYA
    EXPECT_EQ(m.c.a, 0x01);
    EXPECT_FALSE(m.flag(N));
    m.step();  // TAX
    EXPECT_EQ(m.c.x, 0x01);
    m.step();  // TAY
    EXPECT_EQ(m.c.y, 0x01);
    m.c.s = 0x00;
    m.step();  // TSX
    EXPECT_EQ(m.c.x, 0x00);
    EXPECT_TRUE(m.flag(Z));
    m.c.x = 0x80;
    u8 before = m.c.flags;
    m.step();  // TXS changes no flag
    EXPECT_EQ(m.c.s, 0x80);
    EXPECT_EQ(m.c.flags, before);
}

TEST(Operations, AdcSetsCarryAndOverflow) {
    Machine m = imm_op(0x69, 0x7F, 0x01, false);
    EXPECT_EQ(m.c.a, 0x80);
    EXPECT_TRUE(m.flag(V));
    EXPECT_TRUE(m.flag(N));
    EXPECT_FALSE(m.flag(C));
    m = imm_op(0x69, 0xFF, 0x01, false);
    EXPECT_EQ(m.c.a, 0x00);
    EXPECT_TRUE(m.flag(C));
    EXPECT_TRUE(m.flag(Z));
    EXPECT_FALSE(m.flag(V));
    m = imm_op(0x69, 0x80, 0x80, true);
    EXPECT_EQ(m.c.a, 0x01);
    EXPECT_TRUE(m.flag(C));
    EXPECT_TRUE(m.flag(V));
}

TEST(Operations, SbcBorrowsThroughCarry) {
    Machine m = imm_op(0xE9, 0x00, 0x01, true);
    EXPECT_EQ(m.c.a, 0xFF);
    EXPECT_FALSE(m.flag(C));
    EXPECT_TRUE(m.flag(N));
    EXPECT_FALSE(m.flag(V));
    m = imm_op(0xE9, 0x10, 0x01, false);  // borrow in
    EXPECT_EQ(m.c.a, 0x0E);
    EXPECT_TRUE(m.flag(C));
    m = imm_op(0xE9, 0x80, 0x01, true);
    EXPECT_EQ(m.c.a, 0x7F);
    EXPECT_TRUE(m.flag(V));
    m = imm_op(0xEB, 0x05, 0x05, true);  // second SBC immediate
    EXPECT_EQ(m.c.a, 0x00);
    EXPECT_TRUE(m.flag(Z));
    EXPECT_TRUE(m.flag(C));
}

TEST(Operations, CompareSetsCarryZeroNegative) {
    Machine m = imm_op(0xC9, 0x40, 0x40, false);
    EXPECT_TRUE(m.flag(C) && m.flag(Z));
    EXPECT_FALSE(m.flag(N));
    m = imm_op(0xC9, 0x40, 0x41, true);
    EXPECT_FALSE(m.flag(C) || m.flag(Z));
    EXPECT_TRUE(m.flag(N));
    m = imm_op(0xC9, 0x01, 0xFF, false);  // 1 - $FF = 2: N clear, C clear
    EXPECT_FALSE(m.flag(C) || m.flag(N));
    Machine x(0x0200, {0xE0, 0x10, 0xC0, 0x20});
    x.c.x = 0x10;
    x.c.y = 0x30;
    x.step();
    EXPECT_TRUE(x.flag(C) && x.flag(Z));
    x.step();
    EXPECT_TRUE(x.flag(C));
    EXPECT_FALSE(x.flag(Z));
}

TEST(Operations, LogicalOpsAndBit) {
    EXPECT_EQ(imm_op(0x09, 0xF0, 0x0F, false).c.a, 0xFF);
    EXPECT_EQ(imm_op(0x29, 0xF0, 0x3C, false).c.a, 0x30);
    Machine e = imm_op(0x49, 0xFF, 0xFF, false);
    EXPECT_EQ(e.c.a, 0x00);
    EXPECT_TRUE(e.flag(Z));
    Machine b(0x0200, {0x24, 0x10});
    b[0x10] = 0xC0;
    b.c.a = 0x01;
    b.step();
    EXPECT_TRUE(b.flag(Z) && b.flag(N) && b.flag(V));
    EXPECT_EQ(b.c.a, 0x01);
    Machine b2(0x0200, {0x2C, 0x00, 0x30});
    b2[0x3000] = 0x01;
    b2.c.a = 0x01;
    b2.c.flags |= N | V;
    b2.step();
    EXPECT_FALSE(b2.flag(Z) || b2.flag(N) || b2.flag(V));
}

TEST(Operations, IncrementsAndDecrementsWrap) {
    Machine m(0x0200, {0xE6, 0x10, 0xC6, 0x11, 0xE8, 0x88, 0xCA, 0xC8});
    m[0x10] = 0xFF;
    m[0x11] = 0x01;
    m.c.x = 0x7F;
    m.c.y = 0x00;
    m.step();
    EXPECT_EQ(m[0x10], 0x00);
    EXPECT_TRUE(m.flag(Z));
    m.step();
    EXPECT_EQ(m[0x11], 0x00);
    EXPECT_TRUE(m.flag(Z));
    m.step();  // INX
    EXPECT_EQ(m.c.x, 0x80);
    EXPECT_TRUE(m.flag(N));
    m.step();  // DEY
    EXPECT_EQ(m.c.y, 0xFF);
    EXPECT_TRUE(m.flag(N));
    m.step();  // DEX
    EXPECT_EQ(m.c.x, 0x7F);
    EXPECT_FALSE(m.flag(N));
    m.step();  // INY
    EXPECT_EQ(m.c.y, 0x00);
    EXPECT_TRUE(m.flag(Z));
}

TEST(Operations, ShiftsAndRotatesOnAccumulator) {
    Machine m(0x0200, {0x0A, 0x4A, 0x2A, 0x6A});
    m.c.a = 0x81;
    m.step();  // ASL: $02, C=1
    EXPECT_EQ(m.c.a, 0x02);
    EXPECT_TRUE(m.flag(C));
    EXPECT_FALSE(m.flag(N) || m.flag(Z));
    m.c.a = 0x01;
    m.step();  // LSR: 0, C=1, Z
    EXPECT_EQ(m.c.a, 0x00);
    EXPECT_TRUE(m.flag(C) && m.flag(Z));
    m.c.a = 0x40;
    m.step();  // ROL with C=1: $81, C=0, N
    EXPECT_EQ(m.c.a, 0x81);
    EXPECT_FALSE(m.flag(C));
    EXPECT_TRUE(m.flag(N));
    m.c.flags |= C;
    m.c.a = 0x02;
    m.step();  // ROR with C=1: $81, C=0
    EXPECT_EQ(m.c.a, 0x81);
    EXPECT_FALSE(m.flag(C));
    EXPECT_TRUE(m.flag(N));
    EXPECT_TRUE(g_bus.writes.empty());
}

TEST(Operations, FlagInstructionsTouchOneFlag) {
    Machine m(0x0200, {0x38, 0xF8, 0x78, 0x18, 0xD8, 0x58, 0xB8});
    m.c.flags |= V;
    m.step();
    EXPECT_TRUE(m.flag(C));
    m.step();
    EXPECT_TRUE(m.flag(D));
    m.step();
    EXPECT_TRUE(m.flag(CORE6502_I));
    m.step();
    EXPECT_FALSE(m.flag(C));
    m.step();
    EXPECT_FALSE(m.flag(D));
    m.step();
    EXPECT_FALSE(m.flag(CORE6502_I));
    EXPECT_TRUE(m.flag(V));
    m.step();
    EXPECT_FALSE(m.flag(V));
    EXPECT_EQ(m.c.flags, 0x20);
}

TEST(Operations, RolAndRorWriteOldValueThenResult) {
    Machine m(0x0200, {0x2E, 0x19, 0xD0, 0x66, 0x10});
    m[0xD019] = 0x81;
    m[0x10] = 0x02;
    m.step();
    ASSERT_EQ(g_bus.writes.size(), 2u);
    EXPECT_EQ(g_bus.writes[0], std::make_pair(u16(0xD019), u8(0x81)));
    EXPECT_EQ(g_bus.writes[1], std::make_pair(u16(0xD019), u8(0x02)));
    EXPECT_TRUE(m.flag(C));
    g_bus.writes.clear();
    m.step();  // ROR $10 with C=1
    ASSERT_EQ(g_bus.writes.size(), 2u);
    EXPECT_EQ(g_bus.writes[0].second, 0x02);
    EXPECT_EQ(g_bus.writes[1].second, 0x81);
}

TEST(Operations, ReadModifyWriteReadsOnceThenWritesOldValueAndResult) {
    // ASL LSR ROL ROR INC DEC SLO RLA SRE RRA DCP ISB, each on $D019 = $42
    // with C clear: one read of the target, the old value, then the result.
    const u8 ops[] = {0x0E, 0x4E, 0x2E, 0x6E, 0xEE, 0xCE, 0x0F, 0x2F, 0x4F, 0x6F, 0xCF, 0xEF};
    const u8 results[] = {0x84, 0x21, 0x84, 0x21, 0x43, 0x41, 0x84, 0x84, 0x21, 0x21, 0x41, 0x43};
    for (int i = 0; i < 12; i++) {
        Machine m(0x0200, {ops[i], 0x19, 0xD0});
        m[0xD019] = 0x42;
        g_bus.log_reads = true;
        EXPECT_EQ(m.step(), 6u);
        std::vector<u16> target_reads;
        for (u16 r : g_bus.reads)
            if (r == 0xD019) target_reads.push_back(r);
        EXPECT_EQ(target_reads.size(), 1u) << std::hex << int(ops[i]);
        const std::vector<std::pair<u16, u8>> writes = {{0xD019, 0x42}, {0xD019, results[i]}};
        EXPECT_EQ(g_bus.writes, writes) << std::hex << int(ops[i]);
    }
}

TEST(Operations, SloShiftsMemoryThenOrs) {
    Machine m(0x0200, {0x07, 0x10});
    m[0x10] = 0x81;
    m.c.a = 0x10;
    m.step();
    EXPECT_EQ(m[0x10], 0x02);
    EXPECT_EQ(m.c.a, 0x12);
    EXPECT_TRUE(m.flag(C));
    EXPECT_EQ(g_bus.writes.size(), 2u);
}

TEST(Operations, RlaRotatesThenAndsWithTwoWrites) {
    Machine m(0x0200, {0x27, 0x10});
    m[0x10] = 0x80;
    m.c.a = 0xFF;
    m.c.flags |= C;
    m.step();
    EXPECT_EQ(m[0x10], 0x01);
    EXPECT_EQ(m.c.a, 0x01);
    EXPECT_TRUE(m.flag(C));
    ASSERT_EQ(g_bus.writes.size(), 2u);
    EXPECT_EQ(g_bus.writes[0].second, 0x80);
}

TEST(Operations, SreShiftsThenEorsWithTwoWrites) {
    Machine m(0x0200, {0x47, 0x10});
    m[0x10] = 0x03;
    m.c.a = 0x01;
    m.step();
    EXPECT_EQ(m[0x10], 0x01);
    EXPECT_EQ(m.c.a, 0x00);
    EXPECT_TRUE(m.flag(Z) && m.flag(C));
    EXPECT_EQ(g_bus.writes.size(), 2u);
}

TEST(Operations, RraRotatesThenAddsWithNewCarry) {
    Machine m(0x0200, {0x67, 0x10});
    m[0x10] = 0x03;  // ROR: $01, C=1
    m.c.a = 0x10;
    m.step();
    EXPECT_EQ(m[0x10], 0x01);
    EXPECT_EQ(m.c.a, 0x12);  // $10 + $01 + 1
    EXPECT_FALSE(m.flag(C));
    EXPECT_EQ(g_bus.writes.size(), 2u);
}

TEST(Operations, DcpAndIsbCombineWithCompareAndSubtract) {
    Machine m(0x0200, {0xC7, 0x10, 0xE7, 0x11});
    m[0x10] = 0x41;
    m[0x11] = 0x0F;
    m.c.a = 0x40;
    m.step();
    EXPECT_EQ(m[0x10], 0x40);
    EXPECT_TRUE(m.flag(Z) && m.flag(C));
    m.step();  // ISB: $10, A = $40 - $10 - 0
    EXPECT_EQ(m[0x11], 0x10);
    EXPECT_EQ(m.c.a, 0x30);
    EXPECT_TRUE(m.flag(C));
}

TEST(Operations, SaxStoresAndOfAandXWithoutFlags) {
    Machine m(0x0200, {0x87, 0x10, 0x8F, 0x00, 0x30});
    m.c.a = 0xF0;
    m.c.x = 0x3C;
    u8 flags = m.c.flags;
    m.steps(2);
    EXPECT_EQ(m[0x10], 0x30);
    EXPECT_EQ(m[0x3000], 0x30);
    EXPECT_EQ(m.c.flags, flags);
}

TEST(Operations, GetAndPutValueFollowTheMode) {
    Machine m(0x0200, {});
    m.c.opcode = 0x0A;  // ASL A
    m.c.a = 0x12;
    EXPECT_EQ(core6502_get_value(&m.c), 0x12);
    core6502_put_value(&m.c, 0x34);
    EXPECT_EQ(m.c.a, 0x34);
    m.c.opcode = 0x06;  // ASL zp
    m.c.ea = 0x0050;
    m[0x50] = 0x77;
    EXPECT_EQ(core6502_get_value(&m.c), 0x77);
    core6502_put_value(&m.c, 0x99);
    EXPECT_EQ(m[0x50], 0x99);
    EXPECT_EQ(m.c.a, 0x34);
}

}  // namespace

// 6502 core: addressing modes, NMOS wrap quirks and page-cross cycles.
#include <gtest/gtest.h>

#include "tests/unit/core/bus.h"

namespace {

TEST(Addressing, ImmediateZeroPageAndAbsoluteLoadTheRightBytes) {
    Machine m(0x0200, {0xA9, 0x11, 0xA5, 0x40, 0xAD, 0x34, 0x12});
    m[0x40] = 0x22;
    m[0x1234] = 0x33;
    EXPECT_EQ(m.step(), 2u);
    EXPECT_EQ(m.c.a, 0x11);
    EXPECT_EQ(m.step(), 3u);
    EXPECT_EQ(m.c.a, 0x22);
    EXPECT_EQ(m.step(), 4u);
    EXPECT_EQ(m.c.a, 0x33);
    EXPECT_EQ(m.c.pc, 0x0207);
}

TEST(Addressing, ZeroPageIndexedWrapsInsideZeroPage) {
    // LDA $F0,X with X=$20 reads $0010; LDX $F0,Y with Y=$11 reads $0001.
    Machine m(0x0200, {0xB5, 0xF0, 0xB6, 0xF0});
    m.c.x = 0x20;
    m.c.y = 0x11;
    m[0x0010] = 0x5A;
    m[0x0110] = 0xEE;
    m[0x0001] = 0x6B;
    EXPECT_EQ(m.step(), 4u);
    EXPECT_EQ(m.c.a, 0x5A);
    EXPECT_EQ(m.step(), 4u);
    EXPECT_EQ(m.c.x, 0x6B);
}

TEST(Addressing, JmpIndirectTakesHighByteFromSamePage) {
    Machine m(0x0200, {0x6C, 0xFF, 0x10});
    m[0x10FF] = 0x34;
    m[0x1000] = 0x12;
    m[0x1100] = 0x99;
    EXPECT_EQ(m.step(), 5u);
    EXPECT_EQ(m.c.pc, 0x1234);
}

TEST(Addressing, IndirectYPointerHighByteWrapsToZero) {
    Machine m(0x0200, {0xB1, 0xFF});
    m[0x00FF] = 0x00;
    m[0x0000] = 0x30;
    m[0x0100] = 0x77;  // would be used without the wrap
    m[0x3005] = 0xAB;
    m.c.y = 5;
    m.step();
    EXPECT_EQ(m.c.a, 0xAB);
}

TEST(Addressing, IndexedIndirectPointerWrapsInZeroPage) {
    // LDA ($FE,X) with X=1: pointer at $FF/$00.
    Machine m(0x0200, {0xA1, 0xFE});
    m.c.x = 1;
    m[0x00FF] = 0x10;
    m[0x0000] = 0x40;
    m[0x4010] = 0xC3;
    EXPECT_EQ(m.step(), 6u);
    EXPECT_EQ(m.c.a, 0xC3);
    // ($FF,X) with X=$81 wraps the pointer address itself: Z=$80.
    Machine n(0x0200, {0xA1, 0xFF});
    n.c.x = 0x81;
    n[0x0080] = 0x00;
    n[0x0081] = 0x50;
    n[0x5000] = 0x3C;
    n.step();
    EXPECT_EQ(n.c.a, 0x3C);
}

TEST(Addressing, AbsoluteIndexedWrapsAt64K) {
    Machine m(0x0200, {0xBD, 0xF0, 0xFF});
    m.c.x = 0x20;
    m[0x0010] = 0x42;
    m.step();
    EXPECT_EQ(m.c.a, 0x42);
}

TEST(Addressing, PageCrossAddsCycleOnlyForPenaltyModes) {
    Machine m(0x0200, {0xBD, 0xF0, 0x10,   // LDA $10F0,X  X=$20 -> 5
                       0xBD, 0x00, 0x10,   // LDA $1000,X -> 4
                       0x9D, 0xF0, 0x10,   // STA $10F0,X -> 5
                       0x9D, 0x00, 0x10,   // STA $1000,X -> 5
                       0xB9, 0xF0, 0x10,   // LDA $10F0,Y Y=$20 -> 5
                       0x99, 0xF0, 0x10,   // STA $10F0,Y -> 5
                       0xB1, 0x80,         // LDA ($80),Y crossing -> 6
                       0x91, 0x80,         // STA ($80),Y -> 6
                       0xB1, 0x82});       // LDA ($82),Y not crossing -> 5
    m.c.x = 0x20;
    m.c.y = 0x20;
    m[0x80] = 0xF0;
    m[0x81] = 0x10;
    m[0x82] = 0x00;
    m[0x83] = 0x10;
    EXPECT_EQ(m.step(), 5u);
    EXPECT_EQ(m.step(), 4u);
    EXPECT_EQ(m.step(), 5u);
    EXPECT_EQ(m.step(), 5u);
    EXPECT_EQ(m.step(), 5u);
    EXPECT_EQ(m.step(), 5u);
    EXPECT_EQ(m.step(), 6u);
    EXPECT_EQ(m.step(), 6u);
    EXPECT_EQ(m.step(), 5u);
}

TEST(Addressing, PenaltyIsChargedByTheModeEvenForUndocumentedOps) {
    // LAX $10F0,Y (absy_p) pays; SLO $10F0,Y (absy) does not.
    Machine m(0x0200, {0xBF, 0xF0, 0x10, 0x1B, 0xF0, 0x10});
    m.c.y = 0x20;
    m[0x1110] = 0x81;
    EXPECT_EQ(m.step(), 5u);
    EXPECT_EQ(m.c.a, 0x81);
    EXPECT_EQ(m.c.x, 0x81);
    EXPECT_EQ(m.step(), 7u);
}

TEST(Addressing, BranchCyclesDependOnTakenAndPageCross) {
    // At $02FC: BNE +2 not taken (2), BEQ +0 taken same page (3),
    // at $0300... use a second machine for the cross.
    Machine m(0x0200, {0xD0, 0x02, 0xF0, 0x00});
    m.c.flags |= CORE6502_Z;
    EXPECT_EQ(m.step(), 2u);
    EXPECT_EQ(m.c.pc, 0x0202);
    EXPECT_EQ(m.step(), 3u);
    EXPECT_EQ(m.c.pc, 0x0204);

    Machine f(0x02FD, {0xF0, 0x05});  // pc after operand $02FF, target $0304
    f.c.flags |= CORE6502_Z;
    EXPECT_EQ(f.step(), 4u);
    EXPECT_EQ(f.c.pc, 0x0304);

    Machine b(0x0300, {0x10, 0xFC});  // BPL -4: $0302 - 4 = $02FE
    EXPECT_EQ(b.step(), 4u);
    EXPECT_EQ(b.c.pc, 0x02FE);
}

TEST(Addressing, EveryBranchTestsItsFlag) {
    struct Case { u8 op; u8 flag; bool on_set; };
    const Case cases[] = {
        {0x90, CORE6502_C, false}, {0xB0, CORE6502_C, true}, {0xD0, CORE6502_Z, false},
        {0xF0, CORE6502_Z, true},  {0x10, CORE6502_N, false}, {0x30, CORE6502_N, true},
        {0x50, CORE6502_V, false}, {0x70, CORE6502_V, true},
    };
    for (const Case& k : cases) {
        for (int set = 0; set < 2; set++) {
            Machine m(0x0200, {k.op, 0x10});
            if (set) m.c.flags |= k.flag;
            m.step();
            bool taken = (set != 0) == k.on_set;
            EXPECT_EQ(m.c.pc, taken ? 0x0212 : 0x0202) << std::hex << int(k.op) << " set=" << set;
        }
    }
}

TEST(Addressing, UndocumentedNopsHaveTheirLengthAndCycles) {
    struct Case { u8 op; u16 len; u32 cycles; };
    const Case cases[] = {
        {0x1A, 1, 2}, {0xFA, 1, 2}, {0x80, 2, 2}, {0x89, 2, 2}, {0xE2, 2, 2}, {0x04, 2, 3},
        {0x14, 2, 4}, {0x0C, 3, 4}, {0x1C, 3, 5},  // $FFFF + X crosses a page
    };
    for (const Case& k : cases) {
        Machine m(0x0200, {k.op, 0xFF, 0xFF});
        m.c.a = 0x12;
        m.c.x = 0x34;
        m.c.y = 0x56;
        u8 flags = m.c.flags;
        EXPECT_EQ(m.step(), k.cycles) << std::hex << int(k.op);
        EXPECT_EQ(m.c.pc, 0x0200 + k.len) << std::hex << int(k.op);
        EXPECT_EQ(m.c.a, 0x12);
        EXPECT_EQ(m.c.x, 0x34);
        EXPECT_EQ(m.c.y, 0x56);
        EXPECT_EQ(m.c.flags, flags);
        EXPECT_TRUE(g_bus.writes.empty()) << std::hex << int(k.op);
    }
}

TEST(Addressing, NopReadsItsOperandFromMemory) {
    Machine m(0x0200, {0x0C, 0x00, 0xD0});  // NOP $D000
    g_bus.log_reads = true;
    m.step();
    EXPECT_EQ(g_bus.reads, (std::vector<u16>{0x0200, 0x0201, 0x0202, 0xD000}));
}

TEST(Addressing, TableHasAllEntriesWithPlausibleCycles) {
    for (int i = 0; i < 256; i++) {
        EXPECT_NE(core6502_opcodes[i].mode, nullptr) << i;
        EXPECT_NE(core6502_opcodes[i].op, nullptr) << i;
        EXPECT_GE(core6502_opcodes[i].cycles, 2) << i;
        EXPECT_LE(core6502_opcodes[i].cycles, 8) << i;
    }
}

}  // namespace

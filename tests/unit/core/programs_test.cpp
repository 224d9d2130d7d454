// 6502 core: whole hand-assembled programs run to their expected results.
#include <gtest/gtest.h>

#include "tests/unit/core/bus.h"

namespace {

// Runs until pc reaches `stop` or the step budget runs out.
bool run_until(Machine& m, u16 stop, int budget = 1000000) {
    while (budget-- > 0) {
        if (m.c.pc == stop) return true;
        m.step();
    }
    return false;
}

TEST(Programs, MultiplyBySubroutineShiftAndAdd) {
    // $0200: LDA #13; STA $10; LDA #11; STA $11; JSR $0300; BRK-free end at $020D.
    // $0300: 8x8 -> 16 multiply of $10 * $11 into $12 (lo) / $13 (hi).
    Machine m(0x0200, {0xA9, 0x0D, 0x85, 0x10, 0xA9, 0x0B, 0x85, 0x11, 0x20, 0x00, 0x03, 0xEA});
    m.load(0x0300, {
        0xA9, 0x00,        // LDA #0
        0x85, 0x13,        // STA $13 (hi)
        0xA2, 0x08,        // LDX #8
        0x46, 0x10,        // loop: LSR $10
        0x90, 0x03,        // BCC skip
        0x18,              // CLC
        0x65, 0x11,        // ADC $11
        0x6A,              // skip: ROR A
        0x66, 0x13,        // ROR $13
        0xCA,              // DEX
        0xD0, 0xF3,        // BNE loop
        0x85, 0x12,        // STA $12  (A holds the high byte, $13 the low)
        0x60,              // RTS
    });
    ASSERT_TRUE(run_until(m, 0x020B));
    u16 product = static_cast<u16>(m[0x13] | (m[0x12] << 8));
    EXPECT_EQ(product, 13 * 11);
}

TEST(Programs, CopyLoopWithIndirectIndexedAddressing) {
    Machine m(0x0200, {
        0xA0, 0x00,        // LDY #0
        0xB1, 0x20,        // loop: LDA ($20),Y
        0x91, 0x22,        // STA ($22),Y
        0xC8,              // INY
        0xC0, 0x40,        // CPY #$40
        0xD0, 0xF7,        // BNE loop
        0xEA,
    });
    m[0x20] = 0xF0;  // source $10F0 (crosses into $1100)
    m[0x21] = 0x10;
    m[0x22] = 0x00;
    m[0x23] = 0x40;
    for (int i = 0; i < 0x40; i++) m[static_cast<u16>(0x10F0 + i)] = static_cast<u8>(i * 3 + 1);
    ASSERT_TRUE(run_until(m, 0x020B));
    for (int i = 0; i < 0x40; i++) EXPECT_EQ(m[static_cast<u16>(0x4000 + i)], static_cast<u8>(i * 3 + 1));
}

TEST(Programs, SixteenBitCountdownCountsExactCycles) {
    Machine m(0x0200, {
        0xA2, 0x00,        // LDX #0
        0xA0, 0x04,        // LDY #4
        0xCA,              // loop: DEX
        0xD0, 0xFD,        // BNE loop
        0x88,              // DEY
        0xD0, 0xFA,        // BNE loop
        0xEA,
    });
    ASSERT_TRUE(run_until(m, 0x020A));
    // 2+2 + 4 * (256 * (2+3) - 1 + 2 + 3) - 1 = 4 + 4*1284 - 1
    EXPECT_EQ(m.c.cycles, 4u + 4u * 1284u - 1u);
    EXPECT_EQ(m.c.x, 0);
    EXPECT_EQ(m.c.y, 0);
}

TEST(Programs, RecursiveFibonacciThroughTheStack) {
    // fib(n) in A with X as scratch; result accumulated in $10/$11.
    // $0200: LDA #12; JSR fib; NOP
    // fib: CMP #2; BCC base; PHA; SEC; SBC #1; JSR fib; PLA; PHA; SEC; SBC #2;
    //      JSR fib; PLA; RTS
    // base: CLC; ADC $10; STA $10; BCC done; INC $11; done: RTS
    Machine m(0x0200, {0xA9, 0x0C, 0x20, 0x00, 0x03, 0xEA});
    m.load(0x0300, {
        0xC9, 0x02,        // $0300 CMP #2
        0x90, 0x12,        // $0302 BCC base ($0316)
        0x48,              // $0304 PHA
        0x38,              // SEC
        0xE9, 0x01,        // SBC #1
        0x20, 0x00, 0x03,  // JSR fib
        0x68,              // PLA
        0x48,              // PHA
        0x38,              // SEC
        0xE9, 0x02,        // SBC #2
        0x20, 0x00, 0x03,  // JSR fib
        0x68,              // PLA
        0x60,              // $0315 RTS
        0x18,              // $0316 base: CLC
        0x65, 0x10,        // ADC $10
        0x85, 0x10,        // STA $10
        0x90, 0x02,        // BCC done
        0xE6, 0x11,        // INC $11
        0x60,              // done: RTS
    });
    ASSERT_TRUE(run_until(m, 0x0205));
    // Sum of fib(0)/fib(1) leaves: fib(12) = 144 (leaf values 0 and 1).
    EXPECT_EQ(m[0x10] | (m[0x11] << 8), 144);
    EXPECT_EQ(m.c.s, 0xFF);
}

}  // namespace

// 6502 core: decimal mode against worked BCD sums and differences, and a
// ca65 program that counts in BCD.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "tests/unit/core/bus.h"

namespace {

constexpr u8 C = CORE6502_C, Z = CORE6502_Z, D = CORE6502_D, V = CORE6502_V, N = CORE6502_N;

struct Case {
    u8 a, m, carry_in;
    u8 result;
    u8 flags;  // expected N V Z C
};

void run_cases(u8 opcode, const std::vector<Case>& cases) {
    for (const Case& k : cases) {
        Machine m(0x0200, {opcode, k.m});
        m.c.a = k.a;
        m.c.flags = static_cast<u8>(0x20 | D | (k.carry_in ? C : 0));
        m.step();
        EXPECT_EQ(m.c.a, k.result) << std::hex << int(k.a) << " " << int(k.m) << " c" << int(k.carry_in);
        EXPECT_EQ(m.c.flags & (N | V | Z | C), k.flags)
            << std::hex << int(k.a) << " " << int(k.m) << " c" << int(k.carry_in);
        EXPECT_TRUE(m.flag(D));
    }
}

TEST(Decimal, AdcAddsBcdDigitsWithNmosFlags) {
    run_cases(0x69, {
        {0x99, 0x01, 0, 0x00, C | N},  // 99+1 = 100; Z follows the binary $9A
        {0x58, 0x46, 1, 0x05, C | N | V},  // 58+46+1 = 105
        {0x12, 0x34, 0, 0x46, 0},
        {0x15, 0x26, 0, 0x41, 0},
        {0x81, 0x92, 0, 0x73, C | V},  // 81+92 = 173
        {0x99, 0x99, 1, 0x99, C | V},  // 99+99+1 = 199
        {0x09, 0x01, 0, 0x10, 0},
        {0x79, 0x00, 1, 0x80, N | V},  // N and V from the uncorrected high digit
        {0x00, 0x00, 0, 0x00, Z},
        {0x50, 0x50, 0, 0x00, C | N | V},  // 50+50 = 100, binary $A0 not zero
    });
}

TEST(Decimal, SbcSubtractsBcdDigitsWithBinaryFlags) {
    run_cases(0xE9, {
        {0x00, 0x01, 1, 0x99, N},      // 0-1 borrows: 99
        {0x46, 0x12, 1, 0x34, C},
        {0x40, 0x13, 1, 0x27, C},
        {0x32, 0x02, 0, 0x29, C},      // borrow in
        {0x21, 0x34, 1, 0x87, N},      // 21-34 = -13: 87 with borrow
        {0x12, 0x21, 1, 0x91, N},
        {0x50, 0x50, 1, 0x00, Z | C},
        {0x80, 0x01, 1, 0x79, C | V},  // binary $80-$01 overflows
    });
    run_cases(0xEB, {{0x46, 0x12, 1, 0x34, C}});
}

// Counts 12345 times: a three-byte BCD counter up from 0 with ADC, another
// down from 100000 with SBC, the loop count kept in binary with DEC.
TEST(Decimal, Ca65ProgramCountsInBcd) {
    FILE* f = std::fopen(TARN_BINARY_DIR "/core_programs/bcd_count.bin", "rb");
    ASSERT_NE(f, nullptr) << "bcd_count.bin not assembled";
    Machine m(0x0200);
    size_t n = std::fread(&g_bus.mem[0x0200], 1, 0x1000, f);
    std::fclose(f);
    ASSERT_GT(n, 10u);
    const u16 done = 0x0203;  // the program parks in JMP * there
    for (long i = 0; i < 2000000 && m.c.pc != done; i++) m.step();
    ASSERT_EQ(m.c.pc, done);
    EXPECT_EQ(m[0x10], 0x45);  // up: 012345, low byte first
    EXPECT_EQ(m[0x11], 0x23);
    EXPECT_EQ(m[0x12], 0x01);
    EXPECT_EQ(m[0x13], 0x55);  // down: 087655
    EXPECT_EQ(m[0x14], 0x76);
    EXPECT_EQ(m[0x15], 0x08);
}

}  // namespace

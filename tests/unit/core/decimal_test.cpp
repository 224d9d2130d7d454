// 6502 core: decimal mode against worked BCD sums and differences, and a
// ca65 program that counts in BCD.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/unit/core/bus.h"

namespace {

constexpr u8 C = CORE6502_C, Z = CORE6502_Z, D = CORE6502_D, V = CORE6502_V, N = CORE6502_N;

TEST(Decimal, AdcAndSbcWorkInBcdWithNmosFlags) {
    struct Case { u8 op, a, m, carry, result, nvzc; };
    const Case cases[] = {
        {0x69, 0x99, 0x01, 0, 0x00, C | N},      // 99+1 = 100; Z follows the binary $9A
        {0x69, 0x58, 0x46, 1, 0x05, C | N | V},  // 58+46+1 = 105
        {0x69, 0x15, 0x26, 0, 0x41, 0},
        {0x69, 0x81, 0x92, 0, 0x73, C | V},      // 81+92 = 173
        {0x69, 0x99, 0x99, 1, 0x99, C | V},      // 99+99+1 = 199
        {0x69, 0x79, 0x00, 1, 0x80, N | V},      // N, V from the uncorrected high digit
        {0x69, 0x50, 0x50, 0, 0x00, C | N | V},
        {0xE9, 0x00, 0x01, 1, 0x99, N},          // 0-1 borrows; flags of the binary $FF
        {0xE9, 0x40, 0x13, 1, 0x27, C},
        {0xE9, 0x32, 0x02, 0, 0x29, C},          // borrow in
        {0xE9, 0x21, 0x34, 1, 0x87, N},
        {0xE9, 0x50, 0x50, 1, 0x00, Z | C},
        {0xE9, 0x80, 0x01, 1, 0x79, C | V},
        {0xEB, 0x46, 0x12, 1, 0x34, C},
    };
    for (const Case& k : cases) {
        Machine m(0x0200, {k.op, k.m});
        m.c.a = k.a;
        m.c.flags = static_cast<u8>(0x20 | D | (k.carry ? C : 0));
        m.step();
        EXPECT_EQ(m.c.a, k.result) << std::hex << int(k.a) << " " << int(k.m);
        EXPECT_EQ(m.c.flags & (N | V | Z | C), k.nvzc) << std::hex << int(k.a) << " " << int(k.m);
    }
}

TEST(Decimal, Ca65ProgramCountsInBcd) {
    FILE* f = std::fopen(TARN_BINARY_DIR "/core_programs/bcd_count.bin", "rb");
    ASSERT_NE(f, nullptr) << "bcd_count.bin not assembled";
    Machine m(0x0200);
    ASSERT_GT(std::fread(&g_bus.mem[0x0200], 1, 0x1000, f), 10u);
    std::fclose(f);
    for (long i = 0; i < 2000000 && m.c.pc != 0x0203; i++) m.step();  // parks at $0203
    ASSERT_EQ(m.c.pc, 0x0203);
    // 12345 counted up from 000000 and down from 100000, low byte first.
    EXPECT_EQ(std::vector<u8>(&g_bus.mem[0x10], &g_bus.mem[0x16]),
              (std::vector<u8>{0x45, 0x23, 0x01, 0x55, 0x76, 0x08}));
}

}  // namespace

// 6502 core: the RDY input halts read cycles and lets write cycles go on,
// so an instruction that is writing when RDY falls finishes its writes.
#include <gtest/gtest.h>

#include "tests/unit/core/bus.h"

namespace {

// RDY low in cycles 3-9; the instruction starts at cycle 0.
u32 cycles_with_rdy_low_from(std::initializer_list<u8> code, u32 from) {
    Machine m(0x0200, code);
    m.c.rdy_from = from;
    m.c.rdy_until = 10;
    core6502_run(&m.c, 1);
    return m.c.cycles;
}

TEST(Rdy, ReadCyclesWaitForTheWindowsEndAndWritesGoOn) {
    // LDA $1000: reads only; its last read (cycle 3) waits until 10.
    EXPECT_EQ(cycles_with_rdy_low_from({0xAD, 0x00, 0x10}, 3), 11u);
    // STA $1000 writes in cycle 3: done at 4, untouched.
    EXPECT_EQ(cycles_with_rdy_low_from({0x8D, 0x00, 0x10}, 3), 4u);
    // INC $1000 (reads 0-3, writes 4-5): RDY from 4 finds it writing.
    EXPECT_EQ(cycles_with_rdy_low_from({0xEE, 0x00, 0x10}, 4), 6u);
    // From 3 its last read waits: 7 cycles more.
    EXPECT_EQ(cycles_with_rdy_low_from({0xEE, 0x00, 0x10}, 3), 13u);
    // JSR pushes in cycles 3 and 4, then reads in 5: from 3 it waits at 5.
    EXPECT_EQ(cycles_with_rdy_low_from({0x20, 0x00, 0x30}, 3), 11u);
}

TEST(Rdy, AnInstructionStartingInTheWindowWaitsAtItsFetch) {
    Machine m(0x0200, {0x8D, 0x00, 0x10, 0xEA});  // STA $1000; NOP
    m.c.rdy_from = 3;
    m.c.rdy_until = 10;
    core6502_run(&m.c, 5);
    EXPECT_EQ(m.c.pc, 0x0204);
    EXPECT_EQ(m.c.cycles, 12u);  // STA 0-3, NOP fetched at 10
    EXPECT_EQ(m[0x1000], 0u);
}

}  // namespace

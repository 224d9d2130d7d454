// Cpu register file: reset, interrupt entry frames and the cycle counter.
#include <gtest/gtest.h>

#include "c64/cpu.h"
#include "c64/memory.h"

namespace {

struct Fixture {
    Memory mem;
    Cpu cpu;
    Fixture() {
        cpu.memory(&mem);
        cpu.reset();
    }
};

TEST(Cpu, ResetLoadsKernalVectorAndSixCycles) {
    Fixture f;
    EXPECT_EQ(f.cpu.pc(), f.mem.read_word(0xFFFC));
    EXPECT_EQ(f.cpu.cycles(), 6u);
    EXPECT_EQ(f.cpu.sp(), 0);
    EXPECT_EQ(f.cpu.a(), 0);
    EXPECT_FALSE(f.cpu.idf());
    EXPECT_EQ(f.cpu.flags(), 0x30);
}

TEST(Cpu, NmiPushesFrameAtOwnStackPointer) {
    Fixture f;
    f.cpu.pc(0xFCE2);
    f.cpu.nmi();
    EXPECT_EQ(f.mem.read_byte(0x0100), 0xFC);
    EXPECT_EQ(f.mem.read_byte(0x01FF), 0xE2);
    EXPECT_EQ(f.mem.read_byte(0x01FE), 0x20);
    EXPECT_EQ(f.cpu.sp(), 0xFD);
    EXPECT_EQ(f.cpu.pc(), f.mem.read_word(0xFFFA));
    EXPECT_EQ(f.cpu.cycles(), 13u);
}

TEST(Cpu, OnlyTheFirstIrqIsAccepted) {
    Fixture f;
    f.cpu.irq();
    EXPECT_EQ(f.cpu.sp(), 0xFD);
    EXPECT_EQ(f.cpu.cycles(), 13u);
    EXPECT_TRUE(f.cpu.idf());
    EXPECT_EQ(f.cpu.pc(), f.mem.read_word(0xFFFE));
    f.cpu.irq();
    EXPECT_EQ(f.cpu.sp(), 0xFD);
    EXPECT_EQ(f.cpu.cycles(), 13u);
}

TEST(Cpu, NmiAfterIrqPushesStatusWithInterruptDisable) {
    Fixture f;
    f.cpu.irq();
    f.cpu.nmi();
    EXPECT_EQ(f.mem.read_byte(0x01FB), 0x24);
    EXPECT_EQ(f.cpu.cycles(), 20u);
}

TEST(Cpu, NmisAreAlwaysAcceptedAndWrapTheStack) {
    Fixture f;
    for (int i = 0; i < 4; i++) f.cpu.nmi();
    EXPECT_EQ(f.cpu.sp(), 0xF4);
    EXPECT_EQ(f.cpu.cycles(), 6u + 28u);
    f.cpu.tick(3);
    EXPECT_EQ(f.cpu.cycles(), 37u);
    f.cpu.push(0xAB);
    EXPECT_EQ(f.mem.read_byte(0x01F4), 0xAB);
    EXPECT_EQ(f.cpu.sp(), 0xF3);
}

}  // namespace

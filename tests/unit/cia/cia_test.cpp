// CIA 1 and CIA 2: ports, keyboard scan, joystick, timers and interrupt flags.
#include <gtest/gtest.h>

#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/cpu.h"
#include "c64/io.h"
#include "c64/memory.h"

namespace {

struct Bench {
    Memory mem;
    Cpu cpu;
    IO io;
    Cia1 cia1;
    Cia2 cia2;
    Bench() {
        cpu.memory(&mem);
        cpu.reset();
        cia1.cpu(&cpu);
        cia1.io(&io);
        cia2.cpu(&cpu);
    }
};

TEST(Cia1, PortAReadSubtractsJoystickBits) {
    Bench b;
    EXPECT_EQ(b.cia1.read_register(0), 0xFF);
    b.io.OnKeyDown(0);  // no-op on the stub; joystick stays 0
    b.cia1.write_register(0, 0x7F);
    EXPECT_EQ(b.cia1.read_register(0), 0x7F);
    b.cia1.write_register(2, 0x0F);  // input bits read high
    EXPECT_EQ(b.cia1.read_register(0), 0xFF);
    EXPECT_EQ(b.cia1.read_register(2), 0x0F);
    b.cia1.write_register(3, 0x55);
    EXPECT_EQ(b.cia1.read_register(3), 0x55);
}

TEST(Cia1, KeyboardScanReadsHighestSelectedColumn) {
    Bench b;
    // Stub IO: every row reads $FF (no key). Port A decides only which row.
    b.cia1.write_register(0, 0xFF);
    EXPECT_EQ(b.cia1.read_register(1), 0xFF);
    b.cia1.write_register(0, 0x00);
    EXPECT_EQ(b.cia1.read_register(1), 0x00);
    b.cia1.write_register(0, 0xFD);
    EXPECT_EQ(b.cia1.read_register(1), b.io.keyboard_matrix_row(1));
    b.cia1.write_register(1, 0x12);  // port B writes ignored
    EXPECT_EQ(b.cia1.read_register(1), b.io.keyboard_matrix_row(1));
}

TEST(Cia1, InterruptMaskFollowsSetClearBit) {
    Bench b;
    b.cia1.write_register(4, 0x01);
    b.cia1.write_register(5, 0x00);
    b.cia1.write_register(13, 0x81);
    b.cia1.write_register(13, 0x01);  // clear A's mask again
    b.cia1.write_register(14, 0x11);
    b.cpu.tick(5);
    b.cia1.emulate();
    EXPECT_EQ(b.cia1.read_register(13), 0x00);
    EXPECT_FALSE(b.cpu.idf());
    b.cia1.write_register(13, 0x81);
    b.cia1.write_register(13, 0x02);  // names only B: A stays enabled
    b.cpu.tick(5);
    b.cia1.emulate();
    EXPECT_EQ(b.cia1.read_register(13), 0x81);
    EXPECT_TRUE(b.cpu.idf());  // IRQ went to the Cpu
    EXPECT_EQ(b.cia1.read_register(13), 0x81);  // reading does not clear
}

TEST(Cia1, TimerLoadsLatchCountsCyclesAndReloads) {
    Bench b;
    b.cia1.emulate();  // sync to the current cycle count
    b.cia1.write_register(4, 0x00);
    b.cia1.write_register(5, 0x10);
    b.cia1.write_register(14, 0x11);
    EXPECT_EQ(b.cia1.read_register(4), 0x00);
    EXPECT_EQ(b.cia1.read_register(5), 0x10);
    b.cia1.emulate();  // no cycles passed: unchanged
    EXPECT_EQ(b.cia1.read_register(5), 0x10);
    b.cpu.tick(0x20);
    b.cia1.emulate();
    EXPECT_EQ(b.cia1.read_register(4), 0xE0);
    EXPECT_EQ(b.cia1.read_register(5), 0x0F);
    // Counting source other than cycles: frozen.
    b.cia1.write_register(14, 0x21);
    b.cpu.tick(0x10);
    b.cia1.emulate();
    EXPECT_EQ(b.cia1.read_register(4), 0xE0);
    // Stopped: frozen; underflow reloads from the latch.
    b.cia1.write_register(14, 0x01);
    b.cpu.tick(200);
    b.cpu.tick(200);
    for (int i = 0; i < 11; i++) b.cpu.tick(255);
    b.cia1.emulate();  // 0x0FE0 - 3205 = 0x035B
    EXPECT_EQ(b.cia1.read_register(5), 0x03);
    b.cia1.write_register(4, 0x00);
    b.cia1.write_register(5, 0x01);
    for (int i = 0; i < 4; i++) b.cpu.tick(255);
    b.cia1.emulate();  // goes below zero -> reload $0100
    EXPECT_EQ(b.cia1.read_register(5), 0x01);
    EXPECT_EQ(b.cia1.read_register(4), 0x00);
    EXPECT_EQ(b.cia1.read_register(13), 0x00);  // masked: no flag
}

TEST(Cia1, TimerBInputModeUsesBits5And6) {
    Bench b;
    b.cia1.emulate();
    b.cia1.write_register(6, 0x00);
    b.cia1.write_register(7, 0x20);
    b.cia1.write_register(15, 0x51);  // bit 6 set: counts timer A, not cycles
    b.cpu.tick(10);
    b.cia1.emulate();
    EXPECT_EQ(b.cia1.read_register(7), 0x20);
    EXPECT_EQ(b.cia1.read_register(6), 0x00);
    b.cia1.write_register(15, 0x01);
    b.cpu.tick(10);
    b.cia1.emulate();
    EXPECT_EQ(b.cia1.read_register(6), 0xF6);
}

TEST(Cia1, ZeroLatchUnderflowsOnEveryCall) {
    Bench b;
    b.cia1.write_register(6, 0);
    b.cia1.write_register(7, 0);
    b.cia1.write_register(13, 0x82);
    b.cia1.write_register(15, 0x11);
    b.cia1.emulate();
    EXPECT_EQ(b.cia1.read_register(13), 0x82);
    EXPECT_EQ(b.cpu.cycles(), 13u);  // first IRQ accepted by the Cpu
    b.cia1.emulate();
    EXPECT_EQ(b.cpu.cycles(), 13u);  // later ones are not
}

TEST(Cia2, PortsAndVicBank) {
    Bench b;
    EXPECT_EQ(b.cia2.vic_base_address(), 0x0000);
    b.cia2.write_register(0, 0x97);
    EXPECT_EQ(b.cia2.vic_base_address(), 0x0000);
    b.cia2.write_register(0, 0x96);
    EXPECT_EQ(b.cia2.vic_base_address(), 0x4000);
    b.cia2.write_register(0, 0x95);
    EXPECT_EQ(b.cia2.vic_base_address(), 0x8000);
    b.cia2.write_register(0, 0x94);
    EXPECT_EQ(b.cia2.vic_base_address(), 0xC000);
    EXPECT_EQ(b.cia2.read_register(0), 0x94);
    b.cia2.write_register(1, 0x3C);
    EXPECT_EQ(b.cia2.read_register(1), 0x3C);
    b.cia2.write_register(2, 0x3F);  // no direction registers
    EXPECT_EQ(b.cia2.read_register(2), 0x00);
    EXPECT_EQ(b.cia2.read_register(9), 0x00);
}

TEST(Cia2, TimerUnderflowRaisesNmiEveryTime) {
    Bench b;
    b.cia2.emulate();  // sync to the Cpu's cycle count
    b.cia2.write_register(4, 0xFF);
    b.cia2.write_register(5, 0xFF);  // $FFFF reads negative: underflows each call
    b.cia2.write_register(13, 0x81);
    b.cia2.write_register(14, 0x11);
    b.cia2.emulate();
    b.cia2.emulate();
    EXPECT_EQ(b.cpu.sp(), 0xFA);  // two NMI frames of three bytes
    EXPECT_EQ(b.cpu.cycles(), 20u);
    EXPECT_EQ(b.cia2.read_register(13), 0x81);
    b.cia2.reset_timer_a();
    EXPECT_EQ(b.cia2.read_register(5), 0xFF);
}

}  // namespace

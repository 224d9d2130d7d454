// CIA 1 and CIA 2 as 6526s: ports, keyboard matrix, timers, interrupt
// control and the time-of-day clock, on the processor's cycle counter with
// the interrupt outputs on its lines.
#include <gtest/gtest.h>

#include "c64/c64.h"
#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/control_ports.h"
#include "c64/memory.h"
#include "c64/processor.h"

namespace {

constexpr u32 kTenth = 98525;  // cycles, rounded up

struct Bench {
    Memory mem;
    Processor cpu{&mem};
    ControlPorts ports;
    Cia1 cia1;
    Cia2 cia2;
    Bench() {
        cpu.reset();
        cia1.cpu(&cpu);
        cia1.ports(&ports);
        cia2.cpu(&cpu);
    }
    // Lets n cycles pass on the time base.
    void pass(u32 n) {
        cpu.stall(n);
        cia1.catch_up();
        cia2.catch_up();
    }
    bool irq() const { return (cpu.irq_lines() & Processor::kIrqCia1) != 0; }
};

TEST(Cia1, PortsReadOutputsInputsAndJoystickAndEveryColumnSelected) {
    Bench b;
    EXPECT_EQ(b.cia1.read_register(0), 0xFF);
    b.cia1.write_register(0, 0x7F);
    EXPECT_EQ(b.cia1.read_register(0), 0x7F);
    b.cia1.write_register(2, 0x0F);  // input bits read high
    EXPECT_EQ(b.cia1.read_register(0), 0xFF);
    b.ports.joystick(2, ControlPorts::kJoyDown);  // joystick 2 down on port A bit 1
    EXPECT_EQ(b.cia1.read_register(0), 0xFD);
    b.ports.joystick(2, 0);

    b.cia1.write_register(2, 0xFF);
    b.ports.press(0x0A, true);  // A: column 1, row 2
    b.ports.press(0x11, true);  // R: column 2, row 1
    b.cia1.write_register(0, 0xFD);
    EXPECT_EQ(b.cia1.read_register(1), 0xFB);
    b.cia1.write_register(0, 0xFB);
    EXPECT_EQ(b.cia1.read_register(1), 0xFD);
    b.cia1.write_register(0, 0xF9);  // both columns: both rows
    EXPECT_EQ(b.cia1.read_register(1), 0xF9);
    b.cia1.write_register(0, 0x00);  // every column: only the held keys
    EXPECT_EQ(b.cia1.read_register(1), 0xF9);
    b.cia1.write_register(0, 0xFF);
    EXPECT_EQ(b.cia1.read_register(1), 0xFF);
    b.cia1.write_register(3, 0x0F);  // port B bits as outputs read the latch
    b.cia1.write_register(1, 0x05);
    EXPECT_EQ(b.cia1.read_register(1), 0xF5);
}

TEST(Cia1, TimerCountsLatchPlusOneCyclesContinuousAndOneShot) {
    Bench b;
    b.cia1.write_register(4, 0x00);
    b.cia1.write_register(5, 0x10);  // stopped: the counter takes the latch
    b.pass(1);
    EXPECT_EQ(b.cia1.read_register(5), 0x10);
    b.cia1.write_register(14, 0x11);  // counting two cycles after the start
    b.pass(0x20);
    EXPECT_EQ(b.cia1.read_register(4), 0xE2);
    EXPECT_EQ(b.cia1.read_register(5), 0x0F);
    b.cia1.write_register(14, 0x00);  // stopped two cycles later: frozen
    b.pass(500);
    EXPECT_EQ(b.cia1.read_register(4), 0xE0);

    // Continuous: every latch + 1 cycles; the flag latches, masked or not,
    // a cycle after the counter's 0.
    b.cia1.write_register(4, 99);
    b.cia1.write_register(5, 0);
    b.cia1.write_register(14, 0x11);
    b.pass(101);
    EXPECT_EQ(b.cia1.read_register(4), 0);
    EXPECT_EQ(b.cia1.read_register(13), 0x00);
    b.pass(1);
    EXPECT_EQ(b.cia1.read_register(4), 99);
    EXPECT_EQ(b.cia1.read_register(13), 0x01);
    b.pass(1000);
    EXPECT_EQ(b.cia1.read_register(4), 99);
    EXPECT_EQ(b.cia1.read_register(14), 0x01);  // still running, load bit not kept

    // One-shot: one underflow, then stopped at the latch.
    b.cia1.write_register(14, 0x19);
    b.pass(250);
    EXPECT_EQ(b.cia1.read_register(13), 0x01);
    EXPECT_EQ(b.cia1.read_register(14), 0x08);
    EXPECT_EQ(b.cia1.read_register(4), 99);
}

TEST(Cia1, InterruptControlMasksLatchesAndClearsOnRead) {
    Bench b;
    b.cia1.write_register(4, 9);
    b.cia1.write_register(5, 0);
    b.cia1.write_register(13, 0x81);
    b.cia1.write_register(13, 0x01);  // A's mask cleared again
    b.cia1.write_register(13, 0x82);  // B's set: A's stays clear
    b.cia1.write_register(14, 0x11);
    b.pass(12);                       // underflow 11 cycles after the start
    EXPECT_FALSE(b.irq());
    b.cia1.write_register(13, 0x81);  // enabling a latched source pulls the line
    EXPECT_FALSE(b.irq());
    b.pass(1);                        // in the next cycle
    EXPECT_TRUE(b.irq());
    EXPECT_EQ(b.cia1.read_register(13), 0x81);
    EXPECT_FALSE(b.irq());            // reading acknowledges
    EXPECT_EQ(b.cia1.read_register(13), 0x00);
    b.pass(10);
    EXPECT_TRUE(b.irq());
    b.cia1.read_register(13);
    EXPECT_FALSE(b.irq());
}

TEST(Cia2, PortAChoosesTheVicBankThroughItsDirections) {
    Bench b;
    EXPECT_EQ(b.cia2.vic_base_address(), 0x0000);
    b.cia2.write_register(0, 0x96);
    EXPECT_EQ(b.cia2.vic_base_address(), 0x4000);
    b.cia2.write_register(0, 0x95);
    EXPECT_EQ(b.cia2.vic_base_address(), 0x8000);
    b.cia2.write_register(0, 0x94);
    EXPECT_EQ(b.cia2.vic_base_address(), 0xC000);
    b.cia2.write_register(2, 0x00);  // bank lines as inputs: pulled up to bank 0
    EXPECT_EQ(b.cia2.vic_base_address(), 0x0000);
    EXPECT_EQ(b.cia2.read_register(0), 0xFF);
}

TEST(Cia1, TimeOfDayCountsInBcdWithPmAndWrapsAtTwelve) {
    Bench b;
    b.cia1.write_register(14, 0x80);  // 50 Hz input
    b.cia1.write_register(11, 0x91);  // 11 PM: the clock stops
    b.cia1.write_register(10, 0x59);
    b.cia1.write_register(9, 0x59);
    b.pass(3 * kTenth);
    EXPECT_EQ(b.cia1.read_register(8), 0x00);  // still stopped
    b.cia1.write_register(8, 0x08);             // runs again
    b.pass(kTenth);
    EXPECT_EQ(b.cia1.read_register(8), 0x09);
    b.pass(kTenth);
    EXPECT_EQ(b.cia1.read_register(11), 0x12);  // midnight: 12 AM
    EXPECT_EQ(b.cia1.read_register(10), 0x00);
    EXPECT_EQ(b.cia1.read_register(9), 0x00);
    EXPECT_EQ(b.cia1.read_register(8), 0x00);
    b.cia1.write_register(11, 0x12);
    b.cia1.write_register(10, 0x59);
    b.cia1.write_register(9, 0x59);
    b.cia1.write_register(8, 0x09);
    b.pass(kTenth);
    EXPECT_EQ(b.cia1.read_register(11), 0x01);  // 12 -> 1, still AM
    b.cia1.read_register(8);

    // 60 Hz setting on the 50 Hz input: six ticks a tenth.
    b.cia1.write_register(14, 0x00);
    b.cia1.write_register(8, 0x00);
    b.pass(10 * kTenth);
    EXPECT_EQ(b.cia1.read_register(8), 0x08);
}

TEST(Cia1, TimeOfDayLatchesOnHoursReadAndRaisesAlarm) {
    Bench b;
    b.cia1.write_register(14, 0x80);
    b.cia1.write_register(15, 0x80);  // alarm 1:00:02.0
    b.cia1.write_register(11, 0x01);
    b.cia1.write_register(10, 0x00);
    b.cia1.write_register(9, 0x02);
    b.cia1.write_register(8, 0x00);
    b.cia1.write_register(15, 0x00);
    b.cia1.write_register(11, 0x01);
    b.cia1.write_register(10, 0x00);
    b.cia1.write_register(9, 0x01);
    b.cia1.write_register(8, 0x05);
    b.cia1.write_register(13, 0x84);

    EXPECT_EQ(b.cia1.read_register(11), 0x01);  // latched from here ...
    b.pass(4 * kTenth);
    EXPECT_EQ(b.cia1.read_register(9), 0x01);
    EXPECT_EQ(b.cia1.read_register(8), 0x05);   // ... to the tenths read
    EXPECT_EQ(b.cia1.read_register(8), 0x09);
    EXPECT_FALSE(b.irq());
    b.pass(kTenth);
    EXPECT_TRUE(b.irq());
    EXPECT_EQ(b.cia1.read_register(13), 0x84);
    EXPECT_EQ(b.cia1.read_register(9), 0x02);
}

// With its interrupt enabled the alarm is an event: run from event to
// event as full mode runs, the line falls at the very tick that reaches
// the alarm. The 50 Hz input ticks at ceil(k x 985248 / 50) cycles from
// cycle 0; set at cycle 0, the time reaches .1 at tick 5: cycle 98525.
TEST(Cia1, AlarmInterruptsAtItsMainsTick) {
    Bench b;
    b.cia1.write_register(14, 0x80);
    b.cia1.write_register(15, 0x80);  // alarm 1:00:00.1
    b.cia1.write_register(11, 0x01);
    b.cia1.write_register(10, 0x00);
    b.cia1.write_register(9, 0x00);
    b.cia1.write_register(8, 0x01);
    b.cia1.write_register(15, 0x00);  // time 1:00:00.0 from cycle 0
    b.cia1.write_register(11, 0x01);
    b.cia1.write_register(10, 0x00);
    b.cia1.write_register(9, 0x00);
    b.cia1.write_register(8, 0x00);
    b.cia1.write_register(13, 0x84);
    ASSERT_EQ(b.cpu.cycles(), 0u);
    for (int i = 0; i < 10 && !b.irq(); i++) b.pass(b.cia1.next_event() - b.cpu.cycles());
    ASSERT_TRUE(b.irq());
    EXPECT_EQ(b.cpu.cycles(), 98525u);
    EXPECT_EQ(b.cpu.state().irq_since, 98525u);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "drivers/keyboard.h"
#include "hardwarecommunication/interrupts.h"
#include "kernel/gdt.h"
#include "tests/support/sim_pic.h"
#include "tests/support/simbus.h"
#include "tests/support/sim_ps2.h"

using tarn::GlobalDescriptorTable;
using tarn::Key;
using tarn::KeyEvent;
using tarn::drivers::KeyboardDriver;
using tarn::hardwarecommunication::InterruptManager;
using simbus::R8;
using simbus::W8;

namespace {

using Events = std::vector<std::pair<bool, Key>>;

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        simbus::bus().attach(&pic);
        simbus::bus().attach(&ps2);
        gdt = new GlobalDescriptorTable();
        manager = new InterruptManager(0x20, gdt->CodeSegmentSelector(), nullptr);
        manager->Activate();
    }
    void TearDown() override {
        delete manager;
        delete gdt;
        simbus::bus().reset();
    }

    // Delivers IRQ 1 through the dispatcher, as the entry stub would.
    void interrupt() { InterruptManager::HandleInterrupt(0x21, 0x1000); }

    // Queues the bytes and raises one interrupt per byte; an 0xE0 prefix
    // and its follower arrive together, as on the wire.
    void type(std::vector<uint8_t> bytes) {
        ps2.queue(bytes);
        for (int i = 0; i < 1000 && ps2.pending(); ++i) interrupt();
        ASSERT_FALSE(ps2.pending());
    }

    // The key events queued so far, as (down?, key).
    Events events() {
        Events out;
        KeyEvent e;
        while (keys.next(&e)) out.emplace_back(e.down, e.key);
        return out;
    }

    simbus::SimPic pic;
    simbus::SimPs2 ps2{false};  // attached by the fixture, after the PIC
    GlobalDescriptorTable* gdt = nullptr;
    InterruptManager* manager = nullptr;
    tarn::KeyQueue keys;
};

}  // namespace

TEST_F(Keyboard, RegistersForInterrupt0x21) {
    KeyboardDriver kbd(manager, &keys);
    EXPECT_EQ(manager->HandlerAt(0x21), &kbd);
    EXPECT_EQ(kbd.InterruptNumber(), 0x21);
}

TEST_F(Keyboard, ActivateDrainsThenEnablesPortInterruptAndScanning) {
    KeyboardDriver kbd(manager, &keys);
    ps2.queue({0xAA, 0x55});   // leftovers from the firmware
    ps2.set_config(0x70);      // clock off (bit 4), translation, no interrupt
    simbus::bus().clear_log();
    kbd.Activate();
    std::vector<simbus::Access> expected = {
        R8(0x64, 0x01), R8(0x60, 0xAA), R8(0x64, 0x01), R8(0x60, 0x55), R8(0x64, 0x00),
        W8(0x64, 0xAE), W8(0x64, 0x20), R8(0x60, 0x70), W8(0x64, 0x60), W8(0x60, 0x61),
        W8(0x60, 0xF4),
    };
    EXPECT_EQ(simbus::bus().log(), expected);
    EXPECT_EQ(ps2.config(), 0x61);
    EXPECT_TRUE(ps2.scanning());
}

TEST_F(Keyboard, ControllerThatNeverAnswersDoesNotHangActivate) {
    KeyboardDriver kbd(manager, &keys);
    simbus::bus().detach(&ps2);  // floating bus: status reads 0xFF
    simbus::bus().clear_log();
    kbd.Activate();
    // Still goes on to program the controller after a bounded drain.
    const auto& log = simbus::bus().log();
    ASSERT_GE(log.size(), 6u);
    std::vector<simbus::Access> tail(log.end() - 6, log.end());
    std::vector<simbus::Access> expected = {W8(0x64, 0xAE), W8(0x64, 0x20), R8(0x60, 0xFF),
                                            W8(0x64, 0x60), W8(0x60, 0xEF), W8(0x60, 0xF4)};
    EXPECT_EQ(tail, expected);
    EXPECT_LT(simbus::bus().log().size(), 1000u);
}

TEST_F(Keyboard, EachInterruptTakesOneByteAndEventsQueueInOrder) {
    KeyboardDriver kbd(manager, &keys);
    type({0x1E, 0x9E});
    EXPECT_EQ(events(), (Events{{true, Key::A}, {false, Key::A}}));
    EXPECT_EQ(pic.master.eoi_count, 2);
    // The E0 prefix and its follower by two interrupts; a plain key after
    // them is not extended.
    ps2.queue({0xE0});
    interrupt();
    EXPECT_TRUE(events().empty());
    type({0x48, 0x48});
    EXPECT_EQ(events(), (Events{{true, Key::Up}, {true, Key::Keypad8}}));
}

TEST_F(Keyboard, BytesThatNameNoKeyQueueNothing) {
    KeyboardDriver kbd(manager, &keys);
    type({0xFA, 0x00, 0x59, 0xE0, 0x2A, 0xE0, 0x6F});  // acknowledge, error, unused codes, fake shift
    EXPECT_TRUE(events().empty());
}

TEST_F(Keyboard, WithoutAQueueBytesAreReadAndDropped) {
    KeyboardDriver kbd(manager, nullptr);
    type({0x1E, 0xE0, 0x4B});
    EXPECT_EQ(ps2.data_reads(), 3);
}

TEST_F(Keyboard, InterruptWithEmptyOutputBufferReadsNothing) {
    KeyboardDriver kbd(manager, &keys);
    simbus::bus().clear_log();
    interrupt();
    EXPECT_TRUE(simbus::bus().log_for(0x60).empty());
    EXPECT_TRUE(events().empty());
}

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
using tarn::drivers::KeyboardDriver;
using tarn::drivers::KeyboardEventHandler;
using tarn::hardwarecommunication::InterruptManager;
using simbus::R8;
using simbus::W8;

namespace {

// Records every event as (down?, code).
class RecordingSink : public KeyboardEventHandler {
public:
    void OnKeyDown(uint8_t code) override { events.emplace_back(true, code); }
    void OnKeyUp(uint8_t code) override { events.emplace_back(false, code); }
    std::vector<std::pair<bool, uint8_t>> events;
};

using Events = std::vector<std::pair<bool, uint8_t>>;

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        simbus::bus().attach(&pic);
        simbus::bus().attach(&ps2);
        gdt = new GlobalDescriptorTable();
        manager = new InterruptManager(0x20, gdt, nullptr);
        manager->Activate();
        g_scan_head = 0;
        g_scan_tail = 0;
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

    std::vector<uint8_t> ring() const {
        std::vector<uint8_t> out;
        for (uint32_t i = g_scan_tail; i != g_scan_head; ++i) out.push_back(g_scan_ring[i & 0xFF]);
        return out;
    }

    simbus::SimPic pic;
    simbus::SimPs2 ps2{false};  // attached by the fixture, after the PIC
    GlobalDescriptorTable* gdt = nullptr;
    InterruptManager* manager = nullptr;
    RecordingSink sink;
};

}  // namespace

TEST_F(Keyboard, RegistersForInterrupt0x21) {
    KeyboardDriver kbd(manager, &sink);
    EXPECT_EQ(manager->HandlerAt(0x21), &kbd);
    EXPECT_EQ(kbd.InterruptNumber(), 0x21);
}

TEST_F(Keyboard, ActivateDrainsThenEnablesPortInterruptAndScanning) {
    KeyboardDriver kbd(manager, &sink);
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
    KeyboardDriver kbd(manager, &sink);
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

TEST_F(Keyboard, PressAndReleaseOfADeliverDownThenUp) {
    KeyboardDriver kbd(manager, &sink);
    type({0x1E, 0x9E});
    EXPECT_EQ(sink.events, (Events{{true, 0x41}, {false, 0x41}}));
    EXPECT_EQ(ring(), (std::vector<uint8_t>{0x1E, 0x9E}));
    EXPECT_EQ(pic.master.eoi_count, 2);
}

TEST_F(Keyboard, ExtendedCursorLeftDeliversItsCodeAndBothBytesEnterTheRing) {
    KeyboardDriver kbd(manager, &sink);
    type({0xE0, 0x4B, 0xE0, 0xCB});
    EXPECT_EQ(sink.events, (Events{{true, 250}, {false, 250}}));
    EXPECT_EQ(ring(), (std::vector<uint8_t>{0xE0, 0x4B, 0xE0, 0xCB}));
}

TEST_F(Keyboard, ExtendedPairSplitOverTwoInterrupts) {
    KeyboardDriver kbd(manager, &sink);
    ps2.queue({0xE0});
    interrupt();
    EXPECT_TRUE(sink.events.empty());
    ps2.queue({0x48});  // Up, by its own interrupt
    interrupt();
    type({0x1E});       // a plain key afterwards is not extended
    EXPECT_EQ(sink.events, (Events{{true, 253}, {true, 0x41}}));
    EXPECT_EQ(ring(), (std::vector<uint8_t>{0xE0, 0x48, 0x1E}));
}

TEST_F(Keyboard, AllExtendedCursorKeysAndHome) {
    KeyboardDriver kbd(manager, &sink);
    type({0xE0, 0x47, 0xE0, 0x48, 0xE0, 0x4D, 0xE0, 0x50, 0xE0, 0xD0});
    EXPECT_EQ(sink.events, (Events{{true, 252}, {true, 253}, {true, 251}, {true, 254}, {false, 254}}));
}

TEST_F(Keyboard, OtherExtendedKeysAreIgnored) {
    KeyboardDriver kbd(manager, &sink);
    type({0xE0, 0x1C, 0xE0, 0x9C, 0xE0, 0x52, 0xE0, 0x1D});  // keypad Enter, Insert, right Ctrl
    EXPECT_TRUE(sink.events.empty());
    EXPECT_EQ(ring().size(), 8u);
}

TEST_F(Keyboard, IgnoredKeysStillEnterTheRing) {
    KeyboardDriver kbd(manager, &sink);
    type({0x3A, 0xBA, 0x56, 0xD6, 0x4C, 0xCC, 0xFA});  // Caps Lock, the 102nd key, keypad 5, ACK
    EXPECT_TRUE(sink.events.empty());
    EXPECT_EQ(ring(), (std::vector<uint8_t>{0x3A, 0xBA, 0x56, 0xD6, 0x4C, 0xCC, 0xFA}));
}

TEST_F(Keyboard, ShiftsAndKeypadAsteriskAllDeliver42) {
    KeyboardDriver kbd(manager, &sink);
    type({0x2A, 0x36, 0x37, 0xAA});
    EXPECT_EQ(sink.events, (Events{{true, 42}, {true, 42}, {true, 42}, {false, 42}}));
}

TEST_F(Keyboard, HotKeysDeliverTheirCodes) {
    KeyboardDriver kbd(manager, &sink);
    type({0x01, 0x43, 0x44, 0x58, 0x57, 0xD7, 0x3B, 0x42});
    EXPECT_EQ(sink.events, (Events{{true, 1}, {true, 2}, {true, 3}, {true, 4}, {true, 5}, {false, 5}, {true, 241},
                                   {true, 248}}));
}

TEST_F(Keyboard, WithoutAHandlerBytesStillEnterTheRing) {
    KeyboardDriver kbd(manager, nullptr);
    type({0x1E, 0xE0, 0x4B});
    // No decoding, so the follower of the prefix is taken by its own interrupt.
    EXPECT_EQ(ring(), (std::vector<uint8_t>{0x1E, 0xE0, 0x4B}));
}

TEST_F(Keyboard, InterruptWithEmptyOutputBufferReadsNothing) {
    KeyboardDriver kbd(manager, &sink);
    simbus::bus().clear_log();
    interrupt();
    EXPECT_TRUE(simbus::bus().log_for(0x60).empty());
    EXPECT_EQ(g_scan_head, 0u);
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(Keyboard, RingWrapsOverTheOldestBytes) {
    KeyboardDriver kbd(manager, &sink);
    g_scan_head = 0xFFFFFFFE;  // the counter itself wraps too
    g_scan_tail = 0xFFFFFFFE;
    for (int i = 0; i < 300; ++i) {
        ps2.queue({static_cast<uint8_t>(i & 0x7F)});
        interrupt();
    }
    EXPECT_EQ(g_scan_head, 300u - 2u);
    // The newest byte sits just behind the head.
    EXPECT_EQ(g_scan_ring[(g_scan_head - 1) & 0xFF], 299 & 0x7F);
    EXPECT_EQ(g_scan_ring[(g_scan_head - 256) & 0xFF], (300 - 256) & 0x7F);
}

TEST_F(Keyboard, RingPushPublishesTheByteBeforeTheHead) {
    keyboard_ring_push(0x42);
    keyboard_ring_push(0x43);
    EXPECT_EQ(g_scan_head, 2u);
    EXPECT_EQ(g_scan_ring[0], 0x42);
    EXPECT_EQ(g_scan_ring[1], 0x43);
    EXPECT_EQ(g_scan_tail, 0u);  // the writer never moves the tail
}

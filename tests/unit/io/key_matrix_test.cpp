// Full mode's key matrix: scan bytes in, C64 matrix keys, joystick bits and
// RESTORE out.
#include <gtest/gtest.h>

#include <initializer_list>
#include <set>

#include "c64/io.h"
#include "c64/key_matrix.h"
#include "c64/memory.h"
#include "c64/processor.h"

namespace {

// Matrix positions (port A line * 8 + port B bit) used below.
constexpr int kDel = 0x00, kCrsrRight = 0x02, kF1 = 0x04, kCrsrDown = 0x07, kA = 0x0A, kLeftShift = 0x0F;
constexpr int k6 = 0x13, k7 = 0x18, kColon = 0x2D, kAt = 0x2E, kPlus = 0x28, kPound = 0x30, kHome = 0x33;
constexpr int kRightShift = 0x34, kUpArrow = 0x36, k2 = 0x3B, kCommodore = 0x3D, kRunStop = 0x3F;

class KeyMatrixTest : public ::testing::Test {
protected:

    // Bytes at a time far enough from the last change of each key.
    void keys(std::initializer_list<u8> bytes) {
        for (u8 b : bytes) {
            now += KeyMatrix::kLeastHold;
            ASSERT_TRUE(km.scan_byte(b, now));
        }
    }
    std::set<int> held() const {
        std::set<int> s;
        for (int i = 0; i < 8; i++)
            for (int j = 0; j < 8; j++)
                if (!((io.keyboard_matrix_row(i) >> j) & 1)) s.insert(8 * i + j);
        return s;
    }

    IO io;
    Memory mem;
    Processor cpu{&mem};
    KeyMatrix km{&io, &cpu};
    u32 now = 0;
};

TEST_F(KeyMatrixTest, ShiftedPcKeysPressTheKeyThatMakesTheirCharacter) {
    struct Case { std::initializer_list<u8> press; std::set<int> want; };
    const Case cases[] = {
        {{0x1E}, {kA}},                                   // a
        {{0x2A, 0x1E}, {kA, kLeftShift}},                 // Shift+a
        {{0x36, 0x1E}, {kA, kRightShift}},                // right Shift+a
        {{0x2A, 0x03}, {kAt}},                            // Shift+2: @ without SHIFT
        {{0x2A, 0x28}, {k2, kLeftShift}},                 // Shift+': " is SHIFT+2
        {{0x28}, {k7, kLeftShift}},                       // ': SHIFT+7
        {{0x2A, 0x27}, {kColon}},                         // Shift+;: colon
        {{0x2A, 0x0D}, {kPlus}},                          // Shift+=: plus
        {{0x2A, 0x08}, {k6, kLeftShift}},                 // Shift+7: & is SHIFT+6
        {{0x2A, 0x07}, {kUpArrow}},                       // Shift+6: ^ is the up-arrow
        {{0x2B}, {kPound}}, {{0x0F}, {kRunStop}}, {{0x38}, {kCommodore}}, {{0x0E}, {kDel}},
        {{0x3C}, {kF1, kLeftShift}},                      // F2
        {{0xE0, 0x48}, {kCrsrDown, kLeftShift}},          // Up
        {{0xE0, 0x4B}, {kCrsrRight, kLeftShift}},         // Left
        {{0x2A, 0xE0, 0x4D}, {kCrsrRight}},               // Shift+Right still goes right
        {{0x2A, 0xE0, 0x47}, {kHome, kLeftShift}},        // Shift+Home: CLR
        {{0xE0, 0x52}, {kDel, kLeftShift}},               // Insert
        {{0xE0, 0x53}, {kUpArrow}},                       // Delete
    };
    for (const Case& c : cases) {
        keys(c.press);
        EXPECT_EQ(held(), c.want) << int(*(c.press.end() - 1));
        km.release_all();
        EXPECT_TRUE(held().empty());
    }
}

TEST_F(KeyMatrixTest, EachKeyReleasesWhatItsPressPressed) {
    keys({0x1E, 0x2A, 0x03});  // a, Shift, 2 (@: SHIFT let go while held)
    EXPECT_EQ(held(), (std::set<int>{kA, kAt}));
    keys({0x03});              // the keyboard's repeat changes nothing
    keys({0xAA});              // Shift up: @ stays as it was pressed
    EXPECT_EQ(held(), (std::set<int>{kA, kAt}));
    keys({0x2A});
    EXPECT_EQ(held(), (std::set<int>{kA, kAt}));
    keys({0x83});              // 2 up: SHIFT comes back with the PC key
    EXPECT_EQ(held(), (std::set<int>{kA, kLeftShift}));
    keys({0xE0, 0xAA, 0xE0, 0x2A});  // the keyboard's own shift wrappers
    EXPECT_EQ(held(), (std::set<int>{kA, kLeftShift}));
    keys({0xE1, 0x1D, 0x45, 0xE1, 0x9D, 0xC5});  // Pause
    keys({0x9E, 0xAA, 0x9E});
    EXPECT_TRUE(held().empty());
    EXPECT_FALSE(km.holds_anything());
}

TEST_F(KeyMatrixTest, KeypadJoystickHoldsEachDirectionOnItsOwn) {
    keys({0x48, 0x4B, 0x52});  // 8, 4, 0
    EXPECT_EQ(io.getJoystick(2), 0x01 | 0x04 | 0x10);
    keys({0xC8});              // up released: left and fire stay
    EXPECT_EQ(io.getJoystick(2), 0x04 | 0x10);
    keys({0x51, 0xE0, 0x1D});  // 3 (down right), right Ctrl
    EXPECT_EQ(io.getJoystick(2), 0x04 | 0x02 | 0x08 | 0x10);
    keys({0xD2});              // 0 up; right Ctrl still fires
    EXPECT_EQ(io.getJoystick(2), 0x04 | 0x02 | 0x08 | 0x10);
    keys({0x46, 0xC6});        // Scroll Lock: port 1
    EXPECT_EQ(km.joystick_port(), 1);
    EXPECT_EQ(io.getJoystick(1), 0x04 | 0x02 | 0x08 | 0x10);
    EXPECT_EQ(io.getJoystick(2), 0);
    keys({0xCB, 0xD1, 0xE0, 0x9D});
    EXPECT_EQ(io.getJoystick(1), 0);
    EXPECT_TRUE(held().empty());
}

TEST_F(KeyMatrixTest, RestoreHoldsTheNmiLine) {
    keys({0x43});  // F9
    EXPECT_TRUE(cpu.nmi_lines() & Processor::kNmiRestore);
    keys({0xC3});
    EXPECT_FALSE(cpu.nmi_lines() & Processor::kNmiRestore);
    keys({0xE0, 0x49});  // Page Up
    EXPECT_TRUE(cpu.nmi_lines() & Processor::kNmiRestore);
    km.release_all();
    EXPECT_FALSE(cpu.nmi_lines() & Processor::kNmiRestore);
}

TEST_F(KeyMatrixTest, AQuickTapIsHeldForAFrame) {
    now = 100000;
    ASSERT_TRUE(km.scan_byte(0x1E, now));
    EXPECT_FALSE(km.scan_byte(0x9E, now + 100));  // waits: the caller offers it again
    EXPECT_EQ(held(), std::set<int>{kA});
    EXPECT_TRUE(km.scan_byte(0x30, now + 100));   // another key is not held up by it
    EXPECT_TRUE(km.scan_byte(0x9E, now + KeyMatrix::kLeastHold));
    EXPECT_EQ(held().count(kA), 0u);
    EXPECT_TRUE(km.scan_byte(0x1E, now + KeyMatrix::kLeastHold + 1, 200));  // a long queue does not wait
}

}  // namespace

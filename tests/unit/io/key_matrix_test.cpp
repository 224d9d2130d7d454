// Full mode's key matrix: PC key events in, C64 matrix keys, joystick bits
// and RESTORE out, one change a frame.
#include <gtest/gtest.h>

#include <initializer_list>
#include <set>

#include "c64/control_ports.h"
#include "c64/key_matrix.h"
#include "c64/memory.h"
#include "c64/processor.h"

using tarn::Key;
using tarn::KeyEvent;

namespace {

// Matrix positions (port A line * 8 + port B bit) used below.
constexpr int kDel = 0x00, kCrsrRight = 0x02, kF1 = 0x04, kCrsrDown = 0x07, kA = 0x0A, kLeftShift = 0x0F;
constexpr int k6 = 0x13, k7 = 0x18, kB = 0x1C, kColon = 0x2D, kAt = 0x2E, kPlus = 0x28, kPound = 0x30, kHome = 0x33;
constexpr int kRightShift = 0x34, kUpArrow = 0x36, k2 = 0x3B, kCommodore = 0x3D, kRunStop = 0x3F;

KeyEvent dn(Key k) { return {k, true}; }
KeyEvent up(Key k) { return {k, false}; }

class KeyMatrixTest : public ::testing::Test {
protected:
    // Events queued at once, then as many frames as they take.
    void keys(std::initializer_list<KeyEvent> events) {
        for (KeyEvent e : events) km.key(e);
        for (int i = 0; i < 64 && km.waiting(); i++) {
            now += KeyMatrix::kLeastHold;
            km.advance(now);
        }
        ASSERT_EQ(km.waiting(), 0u);
    }
    std::set<int> held() const {
        std::set<int> s;
        for (int p = 0; p < 64; p++)
            if (ports.held(static_cast<u8>(p))) s.insert(p);
        return s;
    }

    ControlPorts ports;
    Memory mem;
    Processor cpu{&mem};
    KeyMatrix km{&ports, &cpu};
    u32 now = 0;
};

TEST_F(KeyMatrixTest, ShiftedPcKeysPressTheKeyThatMakesTheirCharacter) {
    struct Case { std::initializer_list<KeyEvent> press; std::set<int> want; };
    const Key S = Key::LeftShift;
    const Case cases[] = {
        {{dn(Key::A)}, {kA}},
        {{dn(S), dn(Key::A)}, {kA, kLeftShift}},
        {{dn(Key::RightShift), dn(Key::A)}, {kA, kRightShift}},
        {{dn(S), dn(Key::Digit2)}, {kAt}},                 // @ without SHIFT
        {{dn(S), dn(Key::Apostrophe)}, {k2, kLeftShift}},  // " is SHIFT+2
        {{dn(Key::Apostrophe)}, {k7, kLeftShift}},         // ' is SHIFT+7
        {{dn(S), dn(Key::Semicolon)}, {kColon}},
        {{dn(S), dn(Key::Equal)}, {kPlus}},
        {{dn(S), dn(Key::Digit7)}, {k6, kLeftShift}},      // & is SHIFT+6
        {{dn(S), dn(Key::Digit6)}, {kUpArrow}},            // ^ is the up-arrow
        {{dn(Key::Backslash)}, {kPound}}, {{dn(Key::Tab)}, {kRunStop}},
        {{dn(Key::LeftAlt)}, {kCommodore}}, {{dn(Key::Backspace)}, {kDel}},
        {{dn(Key::F2)}, {kF1, kLeftShift}},
        {{dn(Key::Up)}, {kCrsrDown, kLeftShift}},
        {{dn(Key::Left)}, {kCrsrRight, kLeftShift}},
        {{dn(S), dn(Key::Right)}, {kCrsrRight}},           // Shift+Right still goes right
        {{dn(S), dn(Key::Home)}, {kHome, kLeftShift}},     // CLR
        {{dn(Key::Insert)}, {kDel, kLeftShift}},
        {{dn(Key::Delete)}, {kUpArrow}},
    };
    for (const Case& c : cases) {
        keys(c.press);
        EXPECT_EQ(held(), c.want) << int((c.press.end() - 1)->key);
        km.release_all();
        EXPECT_TRUE(held().empty());
    }
}

TEST_F(KeyMatrixTest, EachKeyReleasesWhatItsPressPressed) {
    keys({dn(Key::A), dn(Key::LeftShift), dn(Key::Digit2)});  // @: SHIFT let go while held
    EXPECT_EQ(held(), (std::set<int>{kA, kAt}));
    keys({dn(Key::Digit2)});   // the keyboard's repeat changes nothing
    keys({up(Key::LeftShift)});  // @ stays as it was pressed
    EXPECT_EQ(held(), (std::set<int>{kA, kAt}));
    keys({dn(Key::LeftShift)});
    EXPECT_EQ(held(), (std::set<int>{kA, kAt}));
    keys({up(Key::Digit2)});   // SHIFT comes back with the PC key
    EXPECT_EQ(held(), (std::set<int>{kA, kLeftShift}));
    keys({dn(Key::Pause), up(Key::Pause), up(Key::A), up(Key::LeftShift), up(Key::A)});
    EXPECT_TRUE(held().empty());
    EXPECT_FALSE(km.holds_anything());
}

TEST_F(KeyMatrixTest, KeypadJoystickHoldsEachDirectionOnItsOwn) {
    keys({dn(Key::Keypad8), dn(Key::Keypad4), dn(Key::Keypad0)});
    EXPECT_EQ(ports.joystick(2), 0x01 | 0x04 | 0x10);
    keys({up(Key::Keypad8)});  // left and fire stay
    EXPECT_EQ(ports.joystick(2), 0x04 | 0x10);
    keys({dn(Key::Keypad3), dn(Key::RightControl)});
    EXPECT_EQ(ports.joystick(2), 0x04 | 0x02 | 0x08 | 0x10);
    keys({up(Key::Keypad0)});  // right Ctrl still fires
    EXPECT_EQ(ports.joystick(2), 0x04 | 0x02 | 0x08 | 0x10);
    keys({dn(Key::ScrollLock), dn(Key::ScrollLock), up(Key::ScrollLock)});  // port 1; the repeat swaps nothing
    EXPECT_EQ(km.joystick_port(), 1);
    EXPECT_EQ(ports.joystick(1), 0x04 | 0x02 | 0x08 | 0x10);
    EXPECT_EQ(ports.joystick(2), 0);
    keys({up(Key::Keypad4), up(Key::Keypad3), up(Key::RightControl)});
    EXPECT_EQ(ports.joystick(1), 0);
    EXPECT_TRUE(held().empty());
}

TEST_F(KeyMatrixTest, RestoreHoldsTheNmiLine) {
    keys({dn(Key::F9)});
    EXPECT_TRUE(cpu.nmi_lines() & Processor::kNmiRestore);
    keys({up(Key::F9)});
    EXPECT_FALSE(cpu.nmi_lines() & Processor::kNmiRestore);
    keys({dn(Key::PageUp)});
    EXPECT_TRUE(cpu.nmi_lines() & Processor::kNmiRestore);
    km.release_all();
    EXPECT_FALSE(cpu.nmi_lines() & Processor::kNmiRestore);
}

TEST_F(KeyMatrixTest, ChangesReachTheMatrixInOrderAFrameApart) {
    // Shift+; then a letter, typed faster than the KERNAL scans: each state
    // (SHIFT alone, the colon, SHIFT again, nothing, B) stands for a frame,
    // in order; SHIFT moves a moment before the colon appears and after it
    // goes.
    for (KeyEvent e : {dn(Key::LeftShift), dn(Key::Semicolon), dn(Key::Semicolon), up(Key::Semicolon),
                       up(Key::LeftShift), dn(Key::B)})
        km.key(e);
    now = 100000;
    const std::set<int> states[] = {{kLeftShift}, {}, {kColon}, {}, {kLeftShift}, {}, {kB}};
    const bool steps[] = {false, true, false, true, false, false, false};
    for (size_t i = 0; i < sizeof steps; i++) {
        u32 hold = steps[i] ? KeyMatrix::kStepHold : KeyMatrix::kLeastHold;
        km.advance(now);
        EXPECT_EQ(held(), states[i]) << i;
        km.advance(now + hold - 1);  // nothing more while it stands
        EXPECT_EQ(held(), states[i]) << i;
        now += hold;
    }
    EXPECT_EQ(km.waiting(), 0u);
}

TEST_F(KeyMatrixTest, NoChangeMovesShiftAndAnotherKeyAtOnce) {
    // The KERNAL reads the columns one after another; a change between two
    // of its reads must not show it a key with the other state's SHIFT.
    const Key S = Key::LeftShift;
    for (Key k : {Key::Semicolon, Key::Equal, Key::Digit2, Key::Digit6, Key::Digit8, Key::Minus,
                  Key::Apostrophe, Key::Digit7, Key::F2, Key::Up, Key::Right, Key::A})
        for (bool shifted : {false, true}) {
            if (shifted) km.key(dn(S));
            km.key(dn(k));
            km.key(up(k));
            if (shifted) km.key(up(S));
        }
    auto shift_of = [&] { return ports.held(kLeftShift) || ports.held(kRightShift); };
    std::set<int> before = held();
    bool shift_before = shift_of();
    for (int line = 0; line < 200000 && km.waiting(); line++) {
        now += 63;
        km.advance(now);
        std::set<int> keys = held();
        bool shift = shift_of();
        keys.erase(kLeftShift), keys.erase(kRightShift);
        before.erase(kLeftShift), before.erase(kRightShift);
        EXPECT_FALSE(keys != before && shift != shift_before) << "line " << line;
        before = keys, shift_before = shift;
    }
    EXPECT_EQ(km.waiting(), 0u);
    EXPECT_TRUE(held().empty());
}

}  // namespace

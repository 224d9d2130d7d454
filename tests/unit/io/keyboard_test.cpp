// Text mode's keyboard: typed characters wait for room in the KERNAL's
// buffer; RUN/STOP, RESTORE, the shifted cursor and function keys go to the
// matrix and the cursor keys to joystick 2, as CIA 1 reads them.
#include <gtest/gtest.h>

#include <string>

#include "c64/cia1.h"
#include "c64/control_ports.h"
#include "c64/memory.h"
#include "c64/processor.h"
#include "c64/text_keys.h"

using tarn::Key;

namespace {

constexpr u16 kKeyCount = 0xC6, kKeyBuffer = 0x0277;

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        cia1.cpu(&cpu);
        cia1.ports(&ports);
    }
    void down(Key k) { keys.key({k, true}); }
    void up(Key k) { keys.key({k, false}); }
    void tap(Key k) {
        down(k);
        up(k);
    }
    bool held(int line, int bit) const { return ports.held(static_cast<u8>(line * 8 + bit)); }
    bool all_released() const {
        for (int i = 0; i < 8; i++)
            if (ports.matrix_row(i) != 0xFF) return false;
        return true;
    }
    std::string buffer() {
        std::string s;
        for (int i = 0; i < mem.read_byte(kKeyCount); i++) s += static_cast<char>(mem.read_byte(kKeyBuffer + i));
        return s;
    }
    void take_buffer() { mem.write_byte(kKeyCount, 0); }

    Memory mem;
    Processor cpu{&mem};
    ControlPorts ports;
    Cia1 cia1;
    TextKeys keys{&ports, &cpu, &mem};
};

TEST_F(Keyboard, CharactersWaitInOrderForRoomInTheKernalBuffer) {
    mem.write_byte(kKeyCount, 0);
    for (Key k : {Key::H, Key::E, Key::L, Key::L, Key::O, Key::Space, Key::W, Key::O, Key::R, Key::L, Key::D})
        tap(k);
    down(Key::LeftShift);
    tap(Key::Digit1);  // !
    up(Key::LeftShift);
    tap(Key::Enter);
    keys.pass_ran();
    EXPECT_EQ(buffer(), "HELLO WORL");  // ten fit
    EXPECT_EQ(keys.waiting(), 3u);
    EXPECT_EQ(mem.read_byte(0xCB), 0x40);  // no matrix key held for the scan
    take_buffer();
    keys.pass_ran();
    EXPECT_EQ(buffer(), "D!\r");
    EXPECT_EQ(keys.waiting(), 0u);
}

TEST_F(Keyboard, ShiftFollowsTheLastShiftEventAndKeysWithoutCharacterTypeNothing) {
    mem.write_byte(kKeyCount, 0);
    down(Key::LeftShift);
    down(Key::RightShift);
    up(Key::RightShift);
    tap(Key::Digit1);
    for (Key k : {Key::F1, Key::LeftControl, Key::Home, Key::Escape, Key::CapsLock}) tap(k);
    tap(Key::Backspace);
    keys.pass_ran();
    EXPECT_EQ(buffer(), std::string("1\x08"));
    EXPECT_EQ(TextKeys::character(Key::Q, false), 'Q');
    EXPECT_EQ(TextKeys::character(Key::Q, true), 'Q');
    EXPECT_EQ(TextKeys::character(Key::KeypadEnter, false), 13);
}

TEST_F(Keyboard, CursorAndShiftedFunctionKeysPressTheMatrixWithShift) {
    down(Key::Up);
    EXPECT_TRUE(held(0, 7));  // CRSR down ...
    EXPECT_TRUE(held(1, 7));  // ... with left SHIFT
    EXPECT_EQ(ports.joystick(2), ControlPorts::kJoyUp);
    up(Key::Up);
    EXPECT_TRUE(all_released());
    EXPECT_EQ(ports.joystick(2), 0);
    down(Key::Keypad4);  // the keypad as the cursor keys
    EXPECT_TRUE(held(0, 2));
    up(Key::Keypad4);
    down(Key::LeftShift);
    const struct { Key key; int bit; } fkeys[] = {{Key::F2, 4}, {Key::F4, 5}, {Key::F6, 6}, {Key::F8, 3}};
    for (auto k : fkeys) {
        down(k.key);
        EXPECT_TRUE(held(0, k.bit));
        EXPECT_TRUE(held(1, 7));
        up(k.key);
        EXPECT_TRUE(all_released());  // although PC Shift is still down
    }
}

TEST_F(Keyboard, ShiftIsFireAndAnyReleaseCentresTheStick) {
    down(Key::Right);
    down(Key::Down);
    down(Key::LeftShift);
    EXPECT_EQ(ports.joystick(2), ControlPorts::kJoyRight | ControlPorts::kJoyDown | ControlPorts::kJoyFire);
    EXPECT_FALSE(held(0, 2));  // right and down steer only
    up(Key::A);
    EXPECT_EQ(ports.joystick(2), 0);
    // CIA 1 sees the stick on port A.
    down(Key::Up);
    cia1.write_register(0x02, 0xFF);
    cia1.write_register(0x00, 0xFF);
    EXPECT_EQ(cia1.read_register(0x00), 0xFF - 0x01);
}

TEST_F(Keyboard, RestoreHoldsTheNmiLineAndATabTapOutlastsTheNextJiffy) {
    for (Key k : {Key::F9, Key::PageUp}) {
        down(k);
        EXPECT_EQ(cpu.nmi_lines(), Processor::kNmiRestore) << int(k);
        up(k);
        EXPECT_EQ(cpu.nmi_lines(), 0);
    }
    tap(Key::Tab);
    EXPECT_TRUE(held(7, 7));  // RUN/STOP
    keys.pass_ran();
    EXPECT_TRUE(held(7, 7));
    keys.pass_ran();
    EXPECT_TRUE(all_released());
    // CIA 1 reads it: line 7 selected, bit 7 low.
    down(Key::Tab);
    cia1.write_register(0x02, 0xFF);
    cia1.write_register(0x03, 0x00);
    cia1.write_register(0x00, static_cast<u8>(~0x80));
    EXPECT_EQ(cia1.read_register(0x01), 0x7F);
}

}  // namespace

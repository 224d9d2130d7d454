// The USB mouse as the 1351: what a 1351 reader (delta of successive POT
// values, modulo 128, halved) makes of the POT lines must add up to the
// mouse's movement, however large one report's movement is; buttons and
// pads on the joystick lines.
#include <gtest/gtest.h>

#include "host/game_ports.h"

using tarn::GamePort;
using tarn::host::PcGamePorts;

namespace {

// The 1351's proportional mode as its documentation describes reading it:
// the change of bits 1-6, taken as a signed 7-bit value and halved.
int reader_delta(int now, int before) {
    int d = (now - before) & 0x7F;
    return d < 0x40 ? d / 2 : -((0x80 - d) / 2);
}

}  // namespace

TEST(GamePorts, MouseMovementReachesA1351ReaderWholeAndButtonsTheJoystickLines) {
    PcGamePorts ports;
    EXPECT_FALSE(ports.sample(1).pots);  // no mouse yet: POT lines left alone
    ports.Present(true);
    ports.Pointer(100, -70, tarn::drivers::usb::kButtonLeft);
    GamePort p = ports.sample(1);
    ASSERT_TRUE(p.pots);
    EXPECT_EQ(p.joystick, 0x10);         // left button: fire
    EXPECT_EQ(p.pot_x & 0x81, 0);        // only bits 1-6 carry the position
    int x = 0, y = 0, last_x = p.pot_x, last_y = p.pot_y;
    x += reader_delta(p.pot_x, 0);
    y += reader_delta(p.pot_y, 0);
    for (int i = 0; i < 10; i++) {
        p = ports.sample(1);
        x += reader_delta(p.pot_x, last_x);
        y += reader_delta(p.pot_y, last_y);
        last_x = p.pot_x;
        last_y = p.pot_y;
    }
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 70);  // moved away from the user: the 1351 counts up
    ports.Pointer(0, 0, tarn::drivers::usb::kButtonRight);
    EXPECT_EQ(ports.sample(1).joystick, 0x01);  // right button: up

    tarn::drivers::usb::PadState left_fire{false, false, true, false, true};
    ports.Pad(0, left_fire);
    EXPECT_EQ(ports.sample(2).joystick, 0x14);  // the first pad in port 2
    ports.Pad(1, tarn::drivers::usb::PadState{true, false, false, false, false});
    EXPECT_EQ(ports.sample(1).joystick, 0x01 | 0x01);

    ports.Present(false);
    EXPECT_FALSE(ports.sample(1).pots);  // the mouse left
    ports.Present(true);
    ports.mouse_enabled(false);
    ports.Pointer(5, 5, tarn::drivers::usb::kButtonLeft);
    p = ports.sample(1);
    EXPECT_FALSE(p.pots);
    EXPECT_EQ(p.joystick, 0x01);  // the pad alone
    EXPECT_TRUE(PcGamePorts::MouseOff("c64 mouse=off"));
    EXPECT_FALSE(PcGamePorts::MouseOff("mouse=offline"));
    EXPECT_FALSE(PcGamePorts::MouseOff(nullptr));
}

// Game ports on the PC: the USB mouse as the 1351 in port 1 (its position
// modulo 64 on POT X and Y in bits 1-6, the left button on fire, the right
// on up) and the USB pads as joysticks, the first in port 2, the second in
// port 1. The mouse can be switched off (kernel command line: mouse=off).
#ifndef TARN_HOST_GAME_PORTS_H
#define TARN_HOST_GAME_PORTS_H

#include "drivers/usb/usb_events.h"
#include "lib/game_ports.h"
#include "lib/types.h"

namespace tarn {
namespace host {

class PcGamePorts : public GamePortSource {
public:
    // The most the POT position moves in one sample: the 1351's readers take
    // a change of more than half of 64 for one the other way.
    static constexpr i32 kStepMost = 24;

    void mouse_enabled(bool on) { mouse_on_ = on; }
    bool mouse_enabled() const { return mouse_on_; }
    // A mouse came or left; the POT lines carry its position while one is there.
    void Present(bool present);
    // A mouse moved (x right, y down, in its counts) with these buttons.
    void Pointer(i32 dx, i32 dy, u8 buttons);
    // Pad 0 or 1 is held this way.
    void Pad(u8 pad, const drivers::usb::PadState& state);

    GamePort sample(int port) override;

    // The words of a kernel command line ask for the mouse to be off.
    static bool MouseOff(const char* cmdline);

private:
    bool mouse_on_ = true;
    int mice_ = 0;
    i32 x_ = 0, y_ = 0;               // position as the POT lines show it
    i32 owed_x_ = 0, owed_y_ = 0;     // movement not shown yet
    u8 buttons_ = 0;
    u8 pads_[2] = {};                 // joystick bits of each pad
};

}  // namespace host
}  // namespace tarn

#endif

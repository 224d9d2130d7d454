// USB mouse and pads to the C64's control ports.
#include "host/game_ports.h"

namespace tarn {
namespace host {

namespace {
const u8 kUp = 0x01, kDown = 0x02, kLeft = 0x04, kRight = 0x08, kFire = 0x10;

i32 step(i32* owed) {
    i32 s = *owed > PcGamePorts::kStepMost ? PcGamePorts::kStepMost
            : *owed < -PcGamePorts::kStepMost ? -PcGamePorts::kStepMost
                                              : *owed;
    *owed -= s;
    return s;
}

// Bits 1-6 carry the position modulo 64; bit 0, noise on a real mouse, is
// kept still.
u8 pot(i32 position) { return static_cast<u8>((position & 63) << 1); }
}  // namespace

void PcGamePorts::Present(bool present) {
    mice_ += present ? 1 : -1;
    if (mice_ < 0) mice_ = 0;
    if (!mice_) buttons_ = 0;
}

void PcGamePorts::Pointer(i32 dx, i32 dy, u8 buttons) {
    owed_x_ += dx;
    owed_y_ -= dy;  // the 1351 counts up as the mouse moves away
    buttons_ = buttons;
}

void PcGamePorts::Pad(u8 pad, const drivers::usb::PadState& s) {
    if (pad > 1) return;
    pads_[pad] = static_cast<u8>((s.up ? kUp : 0) | (s.down ? kDown : 0) | (s.left ? kLeft : 0) |
                                 (s.right ? kRight : 0) | (s.fire ? kFire : 0));
}

GamePort PcGamePorts::sample(int port) {
    GamePort p{};
    if (port == 2) {
        p.joystick = pads_[0];
        return p;
    }
    if (port != 1) return p;
    p.joystick = pads_[1];
    if (!mouse_on_ || !mice_) return p;
    x_ += step(&owed_x_);
    y_ += step(&owed_y_);
    p.pots = true;
    p.pot_x = pot(x_);
    p.pot_y = pot(y_);
    if (buttons_ & drivers::usb::kButtonLeft) p.joystick |= kFire;
    if (buttons_ & drivers::usb::kButtonRight) p.joystick |= kUp;
    return p;
}

bool PcGamePorts::MouseOff(const char* cmdline) {
    static const char kWord[] = "mouse=off";
    if (!cmdline) return false;
    for (const char* p = cmdline; *p; p++) {
        if (p != cmdline && p[-1] != ' ') continue;
        u32 k = 0;
        while (kWord[k] && p[k] == kWord[k]) k++;
        if (!kWord[k] && (p[k] == 0 || p[k] == ' ')) return true;
    }
    return false;
}

}  // namespace host
}  // namespace tarn

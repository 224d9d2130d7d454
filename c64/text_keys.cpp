// Text mode's keyboard: characters through the KERNAL's buffer, a few keys
// on the matrix.
#include "c64/text_keys.h"

#include "c64/control_ports.h"
#include "c64/kernal.h"
#include "c64/memory.h"
#include "c64/processor.h"
#include "lib/us_layout.h"

using tarn::Key;

namespace {

// Matrix positions (port A line * 8 + port B bit) the keys here press.
constexpr u8 kCrsrRight = 0x02, kF7 = 0x03, kF1 = 0x04, kF3 = 0x05, kF5 = 0x06, kCrsrDown = 0x07;
constexpr u8 kLeftShift = 0x0F, kRunStop = 0x3F;
constexpr u8 kNone = 0xFF;

constexpr u8 kReturn = 13;
constexpr u8 kBackspace = 8;  // the screen editor ignores it

// What the matrix and the stick do for a key: the C64 key it presses (with
// left SHIFT when `shifted`) and the joystick bits it sets.
struct Press {
    u8 position;
    bool shifted;
    u8 joystick;
};

// The grey cursor keys and the keypad (Num Lock off) steer the stick and
// move the C64's cursor where the screen editor has a key for it.
Press press_for(Key key) {
    switch (key) {
    case Key::Up: case Key::Keypad8: return {kCrsrDown, true, ControlPorts::kJoyUp};
    case Key::Left: case Key::Keypad4: return {kCrsrRight, true, ControlPorts::kJoyLeft};
    case Key::Right: case Key::Keypad6: return {kNone, false, ControlPorts::kJoyRight};
    case Key::Down: case Key::Keypad2: return {kNone, false, ControlPorts::kJoyDown};
    case Key::F2: return {kF1, true, 0};
    case Key::F4: return {kF3, true, 0};
    case Key::F6: return {kF5, true, 0};
    case Key::F8: return {kF7, true, 0};
    default: return {kNone, false, 0};
    }
}

bool is_restore(Key key) { return key == Key::F9 || key == Key::PageUp; }

}  // namespace

u8 TextKeys::character(Key key, bool shift) {
    if (key == Key::Enter || key == Key::KeypadEnter) return kReturn;
    if (key == Key::Backspace) return kBackspace;
    if (key == Key::KeypadAsterisk) return '*';
    char c = tarn::us_character(key, shift);
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return static_cast<u8>(c);
}

void TextKeys::key(tarn::KeyEvent event) {
    if (tarn::is_shift(event.key)) {
        shift_ = event.down;
        // Shift doubles as the stick's fire button.
        if (event.down) ports_->joystick(2, ports_->joystick(2) | ControlPorts::kJoyFire);
    }
    // Any release centres the stick and lets go of fire.
    if (!event.down) ports_->joystick(2, 0);
    if (press(event.key, event.down) || !event.down) return;
    u8 ch = character(event.key, shift_);
    if (ch == 0) return;
    if (waiting() == kWaiting) return;  // more than anyone types ahead
    waiting_[head_++ % kWaiting] = ch;
}

// The keys that act on the matrix, the stick or RESTORE; true when `key`
// is one of them.
bool TextKeys::press(Key key, bool down) {
    if (key == Key::ScrollLock) return true;
    if (is_restore(key)) {
        // RESTORE is not in the matrix: it pulls the processor's NMI line.
        cpu_->set_nmi(Processor::kNmiRestore, down);
        return true;
    }
    if (key == Key::Tab) {
        // RUN/STOP stays on the matrix in text mode: the KERNAL's own scan
        // must see it for BASIC to break.
        if (down) {
            ports_->press(kRunStop, true);
            run_stop_hold_passes_ = kRunStopHoldPasses;
            run_stop_release_due_ = false;
        } else if (run_stop_hold_passes_ > 0) {
            run_stop_release_due_ = true;
        } else {
            ports_->press(kRunStop, false);
        }
        return true;
    }
    Press p = press_for(key);
    if (p.position == kNone && p.joystick == 0) return false;
    if (down) ports_->joystick(2, ports_->joystick(2) | p.joystick);
    if (p.position != kNone) {
        ports_->press(p.position, down);
        if (p.shifted) ports_->press(kLeftShift, down);
    }
    return true;
}

void TextKeys::pass_ran() {
    if (run_stop_hold_passes_ > 0 && --run_stop_hold_passes_ == 0) {
        if (run_stop_release_due_) ports_->press(kRunStop, false);
        run_stop_release_due_ = false;
    }
    while (tail_ != head_ && mem_->read_byte(kernal::kKeyCount) < kernal::kKeyBufferSize)
        type_one(waiting_[tail_++ % kWaiting]);
}

// One character into the KERNAL's buffer, which has room for it.
void TextKeys::type_one(u8 ch) {
    u8 n = mem_->read_byte(kernal::kKeyCount);
    mem_->write_byte(static_cast<u16>(kernal::kKeyBuffer + n), ch);
    mem_->write_byte(kernal::kKeyCount, static_cast<u8>(n + 1));
    // No matrix key is held: the KERNAL's scan must not repeat or re-decode.
    mem_->write_byte(kernal::kCurrentKey, kernal::kNoKey);
    mem_->write_byte(kernal::kLastKey, kernal::kNoKey);
    mem_->write_byte(kernal::kRepeatFlag, kernal::kNoKey);
}

void TextKeys::release_all() {
    ports_->release_all();
    cpu_->set_nmi(Processor::kNmiRestore, false);
    run_stop_hold_passes_ = 0;
    run_stop_release_due_ = false;
    shift_ = false;
}

// Full mode's keyboard: PC keys on the C64's keyboard matrix and joysticks.
//
// A US PC key types the character on its legend: where the C64 has that
// character on another key, or with SHIFT where the PC has none (or the
// other way round), the PC key presses that C64 key and forces SHIFT on or
// off while it is held. Keys without a US character carry the C64's own
// keys: Backspace INST/DEL, Home CLR/HOME, Tab RUN/STOP, left Alt C=, the
// backslash (and the extra key of ISO keyboards) the pound sign, Delete the
// up-arrow, the backquote the left-arrow.
#include "c64/key_matrix.h"

#include "c64/control_ports.h"
#include "c64/processor.h"

using tarn::Key;
using tarn::KeyEvent;

namespace {

// Matrix positions: CIA 1 port A line (the column the KERNAL selects) times
// eight plus the port B bit that reads the key.
enum C64Key : u8 {
    kDel = 0x00, kReturn, kCrsrRight, kF7, kF1, kF3, kF5, kCrsrDown,
    k3 = 0x08, kW, kA, k4, kZ, kS, kE, kLeftShift,
    k5 = 0x10, kR, kD, k6, kC, kF, kT, kX,
    k7 = 0x18, kY, kG, k8, kB, kH, kU, kV,
    k9 = 0x20, kI, kJ, k0, kM, kK, kO, kN,
    kPlus = 0x28, kP, kL, kMinus, kPeriod, kColon, kAt, kComma,
    kPound = 0x30, kAsterisk, kSemicolon, kHome, kRightShift, kEquals, kUpArrow, kSlash,
    k1 = 0x38, kLeftArrow, kCtrl, k2, kSpace, kCommodore, kQ, kRunStop,
    kNone = 0xFF,
};

// What a press does to the C64's SHIFT keys.
enum Shift : u8 {
    kKeep = 0,    // SHIFT follows the PC's Shift keys
    kForce = 1,   // SHIFT held
    kRemove = 2,  // SHIFT let go
};

struct KeyMap {
    u8 plain, plain_shift;      // without PC Shift
    u8 shifted, shifted_shift;  // with PC Shift
};

constexpr KeyMap same(u8 key) { return {key, kKeep, key, kKeep}; }
constexpr KeyMap forced(u8 key) { return {key, kForce, key, kForce}; }
constexpr KeyMap none() { return {kNone, kKeep, kNone, kKeep}; }

// The letters A..Z, in usage order.
const u8 kLetters[26] = {kA, kB, kC, kD, kE, kF, kG, kH, kI, kJ, kK, kL, kM,
                         kN, kO, kP, kQ, kR, kS, kT, kU, kV, kW, kX, kY, kZ};

KeyMap key_map(Key key) {
    if (key >= Key::A && key <= Key::Z) return same(kLetters[static_cast<u8>(key) - static_cast<u8>(Key::A)]);
    switch (key) {
    case Key::Digit1: return same(k1);
    case Key::Digit2: return {k2, kKeep, kAt, kRemove};          // 2 @
    case Key::Digit3: return same(k3);
    case Key::Digit4: return same(k4);
    case Key::Digit5: return same(k5);
    case Key::Digit6: return {k6, kKeep, kUpArrow, kRemove};     // 6 ^
    case Key::Digit7: return {k7, kKeep, k6, kForce};            // 7 &
    case Key::Digit8: return {k8, kKeep, kAsterisk, kRemove};    // 8 *
    case Key::Digit9: return {k9, kKeep, k8, kForce};            // 9 (
    case Key::Digit0: return {k0, kKeep, k9, kForce};            // 0 )
    case Key::Minus: return {kMinus, kKeep, kLeftArrow, kRemove};  // - _
    case Key::Equal: return {kEquals, kKeep, kPlus, kRemove};    // = +
    case Key::Backspace: return same(kDel);
    case Key::Tab: return same(kRunStop);
    case Key::LeftBracket: return forced(kColon);                // [ {
    case Key::RightBracket: return forced(kSemicolon);           // ] }
    case Key::Enter: case Key::KeypadEnter: return same(kReturn);
    case Key::LeftControl: return same(kCtrl);
    case Key::Semicolon: return {kSemicolon, kKeep, kColon, kRemove};  // ; :
    case Key::Apostrophe: return {k7, kForce, k2, kForce};       // ' "
    case Key::Grave: return same(kLeftArrow);                    // ` ~
    case Key::Backslash: case Key::NonUsBackslash: return same(kPound);
    case Key::Comma: return same(kComma);                        // , <
    case Key::Period: case Key::KeypadPeriod: return same(kPeriod);  // . >
    case Key::Slash: case Key::KeypadSlash: return same(kSlash);  // / ?
    case Key::KeypadAsterisk: return same(kAsterisk);
    case Key::KeypadMinus: return same(kMinus);
    case Key::KeypadPlus: return same(kPlus);
    case Key::LeftAlt: return same(kCommodore);
    case Key::Space: return same(kSpace);
    case Key::F1: return same(kF1);
    case Key::F2: return forced(kF1);
    case Key::F3: return same(kF3);
    case Key::F4: return forced(kF3);
    case Key::F5: return same(kF5);
    case Key::F6: return forced(kF5);
    case Key::F7: return same(kF7);
    case Key::F8: return forced(kF7);
    case Key::Home: return same(kHome);                          // with Shift CLR
    case Key::Up: return forced(kCrsrDown);
    case Key::Left: return forced(kCrsrRight);
    case Key::Right: return {kCrsrRight, kRemove, kCrsrRight, kRemove};
    case Key::Down: return {kCrsrDown, kRemove, kCrsrDown, kRemove};
    case Key::Insert: return forced(kDel);                       // INST
    case Key::Delete: return same(kUpArrow);
    default: return none();
    }
}

// The numeric keypad as a joystick.
u8 keypad_joystick(Key key) {
    switch (key) {
    case Key::Keypad7: return ControlPorts::kJoyUp | ControlPorts::kJoyLeft;
    case Key::Keypad8: return ControlPorts::kJoyUp;
    case Key::Keypad9: return ControlPorts::kJoyUp | ControlPorts::kJoyRight;
    case Key::Keypad4: return ControlPorts::kJoyLeft;
    case Key::Keypad5: return ControlPorts::kJoyFire;
    case Key::Keypad6: return ControlPorts::kJoyRight;
    case Key::Keypad1: return ControlPorts::kJoyDown | ControlPorts::kJoyLeft;
    case Key::Keypad2: return ControlPorts::kJoyDown;
    case Key::Keypad3: return ControlPorts::kJoyDown | ControlPorts::kJoyRight;
    case Key::Keypad0: return ControlPorts::kJoyFire;
    case Key::RightControl: return ControlPorts::kJoyFire;
    default: return 0;
    }
}

bool is_restore(Key key) { return key == Key::F9 || key == Key::PageUp; }

}  // namespace

void KeyMatrix::key(KeyEvent event) {
    if (head_ - tail_ == kWaiting) return;  // more than anyone types ahead
    waiting_[head_++ % kWaiting] = event;
}

void KeyMatrix::advance(u32 now) {
    while (step_pending_ || tail_ != head_) {
        bool due = !changed_once_ || static_cast<i32>(now - changed_at_) >= static_cast<i32>(hold_);
        if (step_pending_) {
            if (!due) return;
            step_pending_ = false;
            show(next_);
            changed_at_ = now;
            hold_ = kLeastHold;
            continue;
        }
        KeyEvent event = waiting_[tail_ % kWaiting];
        if (changes(event)) {
            if (!due) return;
            changed_once_ = true;
            changed_at_ = now;
            if (event.down) press(event.key);
            else release(event.key);
            publish();
        }
        tail_++;
    }
}

// A press of a key not held, or a release of one that is. The keyboard
// repeats the press of a held key: nothing changes.
bool KeyMatrix::changes(KeyEvent event) const {
    bool held = find(event.key) >= 0 || (event.key == Key::LeftShift && left_shift_) ||
                (event.key == Key::RightShift && right_shift_);
    return event.down != held;
}

// Records what a newly pressed key holds. Keys that hold nothing are not
// recorded, except Scroll Lock, whose repeats must not swap the ports again.
void KeyMatrix::press(Key key) {
    bool shift = left_shift_ || right_shift_;
    Held h = {key, kNone, kKeep, 0, false};
    if (key == Key::LeftShift) {
        left_shift_ = true;
    } else if (key == Key::RightShift) {
        right_shift_ = true;
    } else if (is_restore(key)) {
        h.restore = true;
    } else if (key == Key::ScrollLock) {
        port_ = port_ == 2 ? 1 : 2;
    } else if (keypad_joystick(key)) {
        h.joystick = keypad_joystick(key);
    } else {
        KeyMap m = key_map(key);
        h.position = shift ? m.shifted : m.plain;
        h.shift = shift ? m.shifted_shift : m.plain_shift;
    }
    bool holds = h.position != kNone || h.joystick || h.restore || key == Key::ScrollLock;
    if (!holds || count_ == kMaxHeld) return;  // more keys than a keyboard reports
    held_[count_++] = h;
}

void KeyMatrix::release(Key key) {
    if (key == Key::LeftShift) left_shift_ = false;
    if (key == Key::RightShift) right_shift_ = false;
    int i = find(key);
    if (i < 0) return;
    for (; i + 1 < count_; i++) held_[i] = held_[i + 1];
    count_--;
}

int KeyMatrix::find(Key key) const {
    for (int i = 0; i < count_; i++)
        if (held_[i].key == key) return i;
    return -1;
}

void KeyMatrix::release_all() {
    tail_ = head_;
    step_pending_ = false;
    if (!count_ && !restore_ && !left_shift_ && !right_shift_) return;
    count_ = 0;
    left_shift_ = right_shift_ = false;
    show(compose());
}

// The matrix and sticks from every held key. SHIFT follows the PC's Shift
// keys unless the most recently pressed key that forces it on or off is
// still held.
KeyMatrix::Picture KeyMatrix::compose() const {
    Picture p = {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0, false};
    u8 shift = kKeep;
    for (int i = 0; i < count_; i++) {
        const Held& h = held_[i];
        if (h.position != kNone) p.rows[h.position >> 3] &= static_cast<u8>(~(1 << (h.position & 7)));
        if (h.shift != kKeep) shift = h.shift;
        p.joystick |= h.joystick;
        p.restore = p.restore || h.restore;
    }
    bool left = shift == kForce || (shift == kKeep && left_shift_);
    bool right = shift == kKeep && right_shift_;
    if (left) p.rows[kLeftShift >> 3] &= static_cast<u8>(~(1 << (kLeftShift & 7)));
    if (right) p.rows[kRightShift >> 3] &= static_cast<u8>(~(1 << (kRightShift & 7)));
    return p;
}

namespace {

constexpr u8 kShiftBits[8] = {0, 1u << (kLeftShift & 7), 0, 0, 0, 0, 1u << (kRightShift & 7), 0};
static_assert(kLeftShift >> 3 == 1 && kRightShift >> 3 == 6, "SHIFT keys' columns");

}  // namespace

// Shows the composed matrix; when SHIFT and another key change together,
// shows first the keys both pictures hold with the SHIFT of the picture
// that has more keys, and the whole new picture kStepHold later.
void KeyMatrix::publish() {
    Picture want = compose();
    Picture step = want;
    bool keys_differ = false, shift_differs = false, adds = false;
    for (int i = 0; i < 8; i++) {
        u8 keys_now = static_cast<u8>(shown_.rows[i] | kShiftBits[i]);
        u8 keys_want = static_cast<u8>(want.rows[i] | kShiftBits[i]);
        keys_differ = keys_differ || keys_now != keys_want;
        shift_differs = shift_differs || ((shown_.rows[i] ^ want.rows[i]) & kShiftBits[i]);
        adds = adds || (keys_now & ~keys_want);  // a bit going low is a key going down
        step.rows[i] = static_cast<u8>(keys_now | keys_want);
    }
    if (!keys_differ || !shift_differs) {
        show(want);
        return;
    }
    const Picture& shift_from = adds ? want : shown_;
    for (int i = 0; i < 8; i++)
        step.rows[i] = static_cast<u8>((step.rows[i] & ~kShiftBits[i]) | (shift_from.rows[i] & kShiftBits[i]));
    show(step);
    next_ = want;
    step_pending_ = true;
    hold_ = kStepHold;
}

void KeyMatrix::show(const Picture& p) {
    for (int i = 0; i < 8; i++) ports_->matrix_row(i, p.rows[i]);
    ports_->joystick(port_, p.joystick);
    ports_->joystick(port_ == 2 ? 1 : 2, 0);
    // RESTORE pulls the NMI line while held; the core takes the edge.
    if (p.restore != restore_ && cpu_) cpu_->set_nmi(Processor::kNmiRestore, p.restore);
    restore_ = p.restore;
    shown_ = p;
}

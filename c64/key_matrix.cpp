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

#include "c64/io.h"
#include "c64/processor.h"

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

// Joystick bits, active high: ---F RLDU.
constexpr u8 kJoyUp = 0x01, kJoyDown = 0x02, kJoyLeft = 0x04, kJoyRight = 0x08, kJoyFire = 0x10;

// Scan bytes with a meaning beyond the table.
constexpr u8 kPrefixExtended = 0xE0;
constexpr u8 kPrefixPause = 0xE1;     // E1 1D 45 and E1 9D C5: two bytes follow
constexpr u8 kReleased = 0x80;
constexpr u8 kScanLeftShift = 0x2A;
constexpr u8 kScanRightShift = 0x36;
constexpr u8 kScanF9 = 0x43;
constexpr u8 kScanScrollLock = 0x46;
constexpr u16 kExtended = 0x100;
constexpr u16 kExtRightCtrl = kExtended | 0x1D;
constexpr u16 kExtPageUp = kExtended | 0x49;

struct KeyMap {
    u8 plain, plain_shift;      // without PC Shift
    u8 shifted, shifted_shift;  // with PC Shift
};

constexpr KeyMap same(u8 key) { return {key, kKeep, key, kKeep}; }
constexpr KeyMap none() { return {kNone, kKeep, kNone, kKeep}; }

// Set-1 make codes 0x00-0x58 (US layout).
const KeyMap kKeys[0x59] = {
    /* 00 */ none(), none(),                          // -, Esc (monitor)
    /* 02 */ same(k1), {k2, kKeep, kAt, kRemove},     // 1 !   2 @
    /* 04 */ same(k3), same(k4), same(k5),            // 3 #   4 $   5 %
    /* 07 */ {k6, kKeep, kUpArrow, kRemove},          // 6 ^
    /* 08 */ {k7, kKeep, k6, kForce},                 // 7 &
    /* 09 */ {k8, kKeep, kAsterisk, kRemove},         // 8 *
    /* 0A */ {k9, kKeep, k8, kForce},                 // 9 (
    /* 0B */ {k0, kKeep, k9, kForce},                 // 0 )
    /* 0C */ {kMinus, kKeep, kLeftArrow, kRemove},    // - _
    /* 0D */ {kEquals, kKeep, kPlus, kRemove},        // = +
    /* 0E */ same(kDel), same(kRunStop),              // Backspace, Tab
    /* 10 */ same(kQ), same(kW), same(kE), same(kR), same(kT), same(kY), same(kU), same(kI),
    /* 18 */ same(kO), same(kP),
    /* 1A */ {kColon, kForce, kColon, kForce},        // [ {
    /* 1B */ {kSemicolon, kForce, kSemicolon, kForce},  // ] }
    /* 1C */ same(kReturn), same(kCtrl),              // Enter, left Ctrl
    /* 1E */ same(kA), same(kS),
    /* 20 */ same(kD), same(kF), same(kG), same(kH), same(kJ), same(kK), same(kL),
    /* 27 */ {kSemicolon, kKeep, kColon, kRemove},    // ; :
    /* 28 */ {k7, kForce, k2, kForce},                // ' "
    /* 29 */ same(kLeftArrow),                        // ` ~
    /* 2A */ none(),                                  // left Shift
    /* 2B */ same(kPound),                            // \ |
    /* 2C */ same(kZ), same(kX), same(kC), same(kV),
    /* 30 */ same(kB), same(kN), same(kM), same(kComma), same(kPeriod), same(kSlash),  // , < . > / ?
    /* 36 */ none(),                                  // right Shift
    /* 37 */ same(kAsterisk),                         // keypad *
    /* 38 */ same(kCommodore), same(kSpace), none(),  // left Alt, Space, Caps Lock
    /* 3B */ same(kF1), {kF1, kForce, kF1, kForce},   // F1, F2
    /* 3D */ same(kF3), {kF3, kForce, kF3, kForce},
    /* 3F */ same(kF5), {kF5, kForce, kF5, kForce},
    /* 41 */ same(kF7), {kF7, kForce, kF7, kForce},
    /* 43 */ none(), none(), none(), none(),          // F9, F10, Num Lock, Scroll Lock
    /* 47 */ none(), none(), none(),                  // keypad 7 8 9: joystick
    /* 4A */ same(kMinus),                            // keypad -
    /* 4B */ none(), none(), none(),                  // keypad 4 5 6: joystick
    /* 4E */ same(kPlus),                             // keypad +
    /* 4F */ none(), none(), none(), none(),          // keypad 1 2 3 0: joystick
    /* 53 */ same(kPeriod),                           // keypad .
    /* 54 */ none(), none(),
    /* 56 */ same(kPound),                            // the extra key of ISO keyboards
    /* 57 */ none(), none(),                          // F11, F12
};

// Keys after an E0 prefix.
KeyMap extended_key(u8 make) {
    switch (make) {
    case 0x1C: return same(kReturn);                          // keypad Enter
    case 0x35: return same(kSlash);                           // keypad /
    case 0x47: return same(kHome);                            // Home; with Shift CLR
    case 0x48: return {kCrsrDown, kForce, kCrsrDown, kForce};   // Up
    case 0x4B: return {kCrsrRight, kForce, kCrsrRight, kForce}; // Left
    case 0x4D: return {kCrsrRight, kRemove, kCrsrRight, kRemove};
    case 0x50: return {kCrsrDown, kRemove, kCrsrDown, kRemove};
    case 0x52: return {kDel, kForce, kDel, kForce};           // Insert: INST
    case 0x53: return same(kUpArrow);                         // Delete
    default: return none();
    }
}

// The numeric keypad as a joystick.
u8 keypad_joystick(u8 make) {
    switch (make) {
    case 0x47: return kJoyUp | kJoyLeft;    // 7
    case 0x48: return kJoyUp;               // 8
    case 0x49: return kJoyUp | kJoyRight;   // 9
    case 0x4B: return kJoyLeft;             // 4
    case 0x4C: return kJoyFire;             // 5
    case 0x4D: return kJoyRight;            // 6
    case 0x4F: return kJoyDown | kJoyLeft;  // 1
    case 0x50: return kJoyDown;             // 2
    case 0x51: return kJoyDown | kJoyRight; // 3
    case 0x52: return kJoyFire;             // 0
    default: return 0;
    }
}

}  // namespace

bool KeyMatrix::scan_byte(u8 byte, u32 now, u32 backlog) {
    if (skip_) {
        skip_--;
        return true;
    }
    if (byte == kPrefixExtended) {
        prefix_ = kPrefixExtended;
        return true;
    }
    if (byte == kPrefixPause) {
        skip_ = 2;
        return true;
    }
    u16 key = static_cast<u16>((byte & ~kReleased) | (prefix_ == kPrefixExtended ? kExtended : 0));
    bool released = (byte & kReleased) != 0;
    // The keyboard repeats the make code of a held key: nothing changes.
    bool held = find(key) >= 0 || (key == kScanLeftShift && left_shift_) || (key == kScanRightShift && right_shift_);
    if (!released && held) {
        prefix_ = 0;
        return true;
    }
    if (released != held) {  // a release of a key not held: nothing changes
        prefix_ = 0;
        return true;
    }
    if ((i32)(now - changed_at_[key]) < (i32)kLeastHold && backlog < 128) return false;
    prefix_ = 0;
    changed_at_[key] = now;
    if (released) release(key);
    else press(key);
    publish();
    return true;
}

// Records what a newly pressed key holds. Keys that hold nothing are not
// recorded, except Scroll Lock, whose repeats must not swap the ports again.
void KeyMatrix::press(u16 key) {
    bool shift = left_shift_ || right_shift_;
    Held h = {key, kNone, kKeep, 0, false};
    if (key == kScanLeftShift || key == kScanRightShift) {
        (key == kScanLeftShift ? left_shift_ : right_shift_) = true;
    } else if (key == kScanF9 || key == kExtPageUp) {
        h.restore = true;
    } else if (key == kScanScrollLock) {
        port_ = port_ == 2 ? 1 : 2;
    } else if (key == kExtRightCtrl) {
        h.joystick = kJoyFire;
    } else if (!(key & kExtended) && keypad_joystick(static_cast<u8>(key))) {
        h.joystick = keypad_joystick(static_cast<u8>(key));
    } else {
        KeyMap m = (key & kExtended) ? extended_key(static_cast<u8>(key)) : key < 0x59 ? kKeys[key] : none();
        h.position = shift ? m.shifted : m.plain;
        h.shift = shift ? m.shifted_shift : m.plain_shift;
    }
    bool holds = h.position != kNone || h.joystick || h.restore || key == kScanScrollLock;
    if (!holds || count_ == kMaxHeld) return;  // more keys than a keyboard reports
    held_[count_++] = h;
}

void KeyMatrix::release(u16 key) {
    if (key == kScanLeftShift) left_shift_ = false;
    if (key == kScanRightShift) right_shift_ = false;
    int i = find(key);
    if (i < 0) return;
    for (; i + 1 < count_; i++) held_[i] = held_[i + 1];
    count_--;
}

int KeyMatrix::find(u16 key) const {
    for (int i = 0; i < count_; i++)
        if (held_[i].key == key) return i;
    return -1;
}

void KeyMatrix::release_all() {
    if (!count_ && !restore_) return;
    count_ = 0;
    left_shift_ = right_shift_ = false;
    prefix_ = 0;
    skip_ = 0;
    publish();
}

// The matrix and sticks from every held key. SHIFT follows the PC's Shift
// keys unless the most recently pressed key that forces it on or off is
// still held.
void KeyMatrix::publish() {
    u8 rows[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    u8 joystick = 0;
    bool restore = false;
    u8 shift = kKeep;
    for (int i = 0; i < count_; i++) {
        const Held& h = held_[i];
        if (h.position != kNone) rows[h.position >> 3] &= static_cast<u8>(~(1 << (h.position & 7)));
        if (h.shift != kKeep) shift = h.shift;
        joystick |= h.joystick;
        restore = restore || h.restore;
    }
    bool left = shift == kForce || (shift == kKeep && left_shift_);
    bool right = shift == kKeep && right_shift_;
    if (left) rows[kLeftShift >> 3] &= static_cast<u8>(~(1 << (kLeftShift & 7)));
    if (right) rows[kRightShift >> 3] &= static_cast<u8>(~(1 << (kRightShift & 7)));
    for (int i = 0; i < 8; i++) io_->keyboard_matrix_row(i, rows[i]);
    io_->joystick(port_, joystick);
    io_->joystick(port_ == 2 ? 1 : 2, 0);
    // RESTORE pulls the NMI line while held; the core takes the edge.
    if (restore != restore_ && cpu_) cpu_->set_nmi(Processor::kNmiRestore, restore);
    restore_ = restore;
}

// Full mode's keyboard: PC keys (raw set-1 scan bytes) pressed and released
// on the C64's keyboard matrix and joysticks, which CIA 1 reads. Each held
// PC key is tracked on its own: its release lets go of exactly what its
// press pressed.
#ifndef TARN_C64_KEY_MATRIX_H
#define TARN_C64_KEY_MATRIX_H

#include "lib/types.h"

class IO;
class Processor;

class KeyMatrix {
public:
    // A key changes at most once in this many cycles (a PAL frame, longer
    // than the KERNAL's 1/60 s scan), so a press and release that reach the
    // machine together are still seen by a program that scans the keyboard.
    static constexpr u32 kLeastHold = 19656;
    static constexpr int kMaxHeld = 16;

    KeyMatrix(IO* io, Processor* cpu) : io_(io), cpu_(cpu) {}

    // One byte from the keyboard at cycle now. False when the byte changes a
    // key that changed less than kLeastHold cycles ago: nothing is done and
    // the caller offers it again later. backlog: bytes still waiting after
    // this one; a long queue is taken without waiting.
    bool scan_byte(u8 byte, u32 now, u32 backlog = 0);
    // Lets go of every key, stick and RESTORE (leaving full mode).
    void release_all();
    bool holds_anything() const { return count_ != 0; }
    // Port of the keypad joystick, 2 or 1 (Scroll Lock swaps).
    u8 joystick_port() const { return port_; }

private:
    struct Held {
        u16 key;       // make code, 0x100 set for E0-prefixed keys
        u8 position;   // matrix position (column * 8 + row bit), or none
        u8 shift;      // what the press does to SHIFT
        u8 joystick;   // joystick bits, active high: ---F RLDU
        bool restore;
    };
    void press(u16 key);
    void release(u16 key);
    void publish();
    int find(u16 key) const;

    IO* io_;
    Processor* cpu_;
    u8 prefix_ = 0;       // 0xE0 after an extended prefix; E1 sequences skip bytes
    u8 skip_ = 0;
    bool left_shift_ = false, right_shift_ = false;
    bool restore_ = false;
    u8 port_ = 2;
    Held held_[kMaxHeld] = {};
    int count_ = 0;
    u32 changed_at_[512] = {};  // cycle of each key's last change
};

#endif

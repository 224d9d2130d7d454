// Full mode's keyboard: PC keys pressed and released on the C64's keyboard
// matrix and joysticks, which CIA 1 reads. Key events wait in arrival order
// and reach the matrix one change at a time, each held for at least a
// frame, so that every state is seen by one of the KERNAL's scans (a press
// of Shift, then of a key, then their releases). A change that moves SHIFT
// and a key at once goes in two steps, SHIFT's side first for a press and
// the key's for a release, so no scan can read the new key with the old
// SHIFT (a scan reads the columns one after another). Each held PC key is
// tracked on its own: its release lets go of exactly what its press pressed.
#ifndef TARN_C64_KEY_MATRIX_H
#define TARN_C64_KEY_MATRIX_H

#include "c64/pal.h"
#include "lib/key_event.h"
#include "lib/types.h"

class ControlPorts;
class Processor;

class KeyMatrix {
public:
    // Cycles between two changes: a PAL frame, longer than the 1/60 s
    // between the KERNAL's scans.
    static constexpr u32 kLeastHold = pal::kFrameCycles;
    // Cycles the first step of a two-step change stands: longer than one
    // scan of the matrix takes the KERNAL (about 1,500 cycles).
    static constexpr u32 kStepHold = pal::kFrameCycles / 4;
    static constexpr int kMaxHeld = 16;
    static constexpr u32 kWaiting = 256;  // events that can wait

    KeyMatrix(ControlPorts* ports, Processor* cpu) : ports_(ports), cpu_(cpu) {}

    // A PC key event, queued behind the others.
    void key(tarn::KeyEvent event);
    // Applies the waiting events in order at cycle `now`: each change of
    // the matrix waits until kLeastHold cycles after the one before; events
    // that change nothing (repeats, releases of keys not held) go at once.
    void advance(u32 now);
    // Lets go of every key, stick and RESTORE and forgets what waits
    // (leaving full mode).
    void release_all();
    bool holds_anything() const { return count_ != 0; }
    // Events and steps still to reach the matrix.
    u32 waiting() const { return head_ - tail_ + (step_pending_ ? 1 : 0); }
    // Port of the keypad joystick, 2 or 1 (Scroll Lock swaps).
    u8 joystick_port() const { return port_; }

private:
    struct Held {
        tarn::Key key;
        u8 position;   // matrix position (column * 8 + row bit), or none
        u8 shift;      // what the press does to SHIFT
        u8 joystick;   // joystick bits, active high: ---F RLDU
        bool restore;
    };
    bool changes(tarn::KeyEvent event) const;
    void press(tarn::Key key);
    void release(tarn::Key key);
    // What the matrix shows: the keys' rows, SHIFT's bits included.
    struct Picture {
        u8 rows[8];
        u8 joystick;
        bool restore;
    };
    void publish();
    Picture compose() const;
    void show(const Picture& p);
    int find(tarn::Key key) const;

    ControlPorts* ports_;
    Processor* cpu_;
    bool left_shift_ = false, right_shift_ = false;
    bool restore_ = false;
    u8 port_ = 2;
    Held held_[kMaxHeld] = {};
    int count_ = 0;
    bool changed_once_ = false;
    u32 changed_at_ = 0;  // cycle of the last change
    u32 hold_ = kLeastHold;  // how long the last change stands
    Picture shown_ = {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0, false};
    Picture next_ = {};  // the second step of a two-step change
    bool step_pending_ = false;
    tarn::KeyEvent waiting_[kWaiting] = {};
    u32 head_ = 0, tail_ = 0;
};

#endif

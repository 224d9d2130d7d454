// Text mode's keyboard. Typed characters wait in arrival order and go into
// the KERNAL's keyboard buffer as it makes room, so none is lost however
// fast they come or however long a program keeps the buffer full. The few
// keys that must be seen on the keyboard matrix (RUN/STOP, RESTORE, the
// shifted cursor and function keys) and the cursor keys as joystick 2 are
// pressed there directly.
#ifndef TARN_C64_TEXT_KEYS_H
#define TARN_C64_TEXT_KEYS_H

#include "lib/key_event.h"
#include "lib/types.h"

class ControlPorts;
class Memory;
class Processor;

class TextKeys {
public:
    static constexpr u32 kWaiting = 256;  // characters that can wait
    // Two passes of 12,000 instructions outlast the 16,667 between ticks.
    static constexpr u8 kRunStopHoldPasses = 2;

    TextKeys(ControlPorts* ports, Processor* cpu, Memory* mem) : ports_(ports), cpu_(cpu), mem_(mem) {}

    void key(tarn::KeyEvent event);
    // After each pass: waiting characters into the KERNAL's buffer while it
    // has room, and a RUN/STOP tap let go once the KERNAL's scan had time
    // to see it.
    void pass_ran();
    // Lets go of the matrix, the stick and RESTORE (leaving text mode); the
    // waiting characters are kept.
    void release_all();
    bool shift() const { return shift_; }
    u32 waiting() const { return head_ - tail_; }

    // The character a PC key types in text mode (PETSCII, letters in their
    // unshifted capitals), 0 for keys that type none.
    static u8 character(tarn::Key key, bool shift);

private:
    bool press(tarn::Key key, bool down);
    void type_one(u8 ch);

    ControlPorts* ports_;
    Processor* cpu_;
    Memory* mem_;
    bool shift_ = false;  // the last Shift event was a press
    u8 run_stop_hold_passes_ = 0;
    bool run_stop_release_due_ = false;
    u8 waiting_[kWaiting] = {};
    u32 head_ = 0, tail_ = 0;
};

#endif

// The characters on a US PC keyboard's keys: what a key types, without and
// with Shift. Text mode and the monitor type through it; the key matrix
// places keys by position instead.
#ifndef TARN_LIB_US_LAYOUT_H
#define TARN_LIB_US_LAYOUT_H

#include "lib/key_event.h"
#include "lib/types.h"

namespace tarn {

// The ASCII character on the key (letters in lower case, upper case with
// Shift), or 0 for keys that carry none (Enter, Backspace, Tab, the
// function, cursor and modifier keys, the keypad).
char us_character(Key key, bool shift);

inline bool is_shift(Key key) { return key == Key::LeftShift || key == Key::RightShift; }

}  // namespace tarn

#endif

// PS/2 scan code set 1 to key events: the one place PC scan codes are
// decoded. Make codes name a key, the same code with bit 7 set releases it;
// E0 introduces the keys added with the 101-key keyboard, E1 the Pause key.
#ifndef TARN_DRIVERS_KEYBOARD_DECODER_H
#define TARN_DRIVERS_KEYBOARD_DECODER_H

#include "lib/key_event.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

class ScanSet1Decoder {
public:
    // Takes the next byte from the keyboard; true when it completes an event,
    // stored in *event. Prefix bytes, bytes of keys without a name and the
    // keyboard's own replies complete nothing.
    bool take(u8 byte, KeyEvent* event);
    // Forgets a half-received sequence.
    void reset() {
        extended_ = false;
        pause_bytes_ = 0;
    }

    // The key a set-1 make code names, without and with the E0 prefix;
    // Key::None for codes that name none.
    static Key key_for(u8 make);
    static Key extended_key_for(u8 make);

private:
    bool extended_ = false;  // the byte before was E0
    u8 pause_bytes_ = 0;     // bytes still to come of an E1 sequence
};

}  // namespace drivers
}  // namespace tarn

#endif

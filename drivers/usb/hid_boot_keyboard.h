// Boot-protocol keyboard reports (modifier bits, a reserved byte, up to six
// key usages) turned into key downs and ups by comparing each report with
// the one before; and the typematic repeat a PC keyboard makes by itself
// but a USB keyboard leaves to the host.
#ifndef TARN_DRIVERS_USB_HID_BOOT_KEYBOARD_H
#define TARN_DRIVERS_USB_HID_BOOT_KEYBOARD_H

#include "lib/key_event.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class BootKeyboardReport {
public:
    static constexpr u32 kReportBytes = 8;
    // Eight modifiers, six keys let go and six pressed.
    static constexpr int kMaxEvents = 20;

    // The changes since the last report, releases before presses, into out;
    // returns how many. A short report or the keyboard's roll-over error
    // (too many keys at once) changes nothing.
    int Apply(const u8* report, u32 length, KeyEvent* out);
    // Releases of everything held (the keyboard left); returns how many.
    int ReleaseAll(KeyEvent* out);

private:
    u8 last_[kReportBytes] = {};
};

class Typematic {
public:
    static constexpr u32 kDelayMs = 500;   // held this long before the first repeat
    static constexpr u32 kRepeatMs = 33;   // then about thirty a second

    void Down(Key key, u32 now);
    void Up(Key key);
    // The key to repeat now (Key::None when none is due).
    Key Due(u32 now);

private:
    Key key_ = Key::None;
    u32 next_ = 0;
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

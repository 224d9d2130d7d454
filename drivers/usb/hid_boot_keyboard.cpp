// Boot keyboard reports to key events; typematic repeat.
#include "drivers/usb/hid_boot_keyboard.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
const u8 kErrorRollOver = 0x01;
const u8 kFirstKey = 0x04;        // usages 0x00-0x03 are no key or an error
const u8 kLastKey = 0x65;         // the last usage a PC keyboard has
const u8 kFirstModifier = 0xE0;   // left Control; bit n of byte 0 is 0xE0 + n

bool is_key(u8 usage) { return usage >= kFirstKey && usage <= kLastKey; }

bool holds(const u8* report, u8 usage) {
    for (u32 i = 2; i < BootKeyboardReport::kReportBytes; i++)
        if (report[i] == usage) return true;
    return false;
}

bool repeats(Key key) {
    return key != Key::CapsLock && key != Key::NumLock && key != Key::ScrollLock &&
           static_cast<u8>(key) < kFirstModifier;
}
}  // namespace

int BootKeyboardReport::Apply(const u8* report, u32 length, KeyEvent* out) {
    if (length < kReportBytes) return 0;
    for (u32 i = 2; i < kReportBytes; i++)
        if (report[i] == kErrorRollOver) return 0;
    int n = 0;
    u8 released = static_cast<u8>(last_[0] & ~report[0]);
    u8 pressed = static_cast<u8>(report[0] & ~last_[0]);
    for (u8 bit = 0; bit < 8; bit++)
        if (released & (1 << bit)) out[n++] = KeyEvent{static_cast<Key>(kFirstModifier + bit), false};
    for (u32 i = 2; i < kReportBytes; i++)
        if (is_key(last_[i]) && !holds(report, last_[i])) out[n++] = KeyEvent{static_cast<Key>(last_[i]), false};
    for (u8 bit = 0; bit < 8; bit++)
        if (pressed & (1 << bit)) out[n++] = KeyEvent{static_cast<Key>(kFirstModifier + bit), true};
    for (u32 i = 2; i < kReportBytes; i++)
        if (is_key(report[i]) && !holds(last_, report[i])) out[n++] = KeyEvent{static_cast<Key>(report[i]), true};
    for (u32 i = 0; i < kReportBytes; i++) last_[i] = report[i];
    return n;
}

int BootKeyboardReport::ReleaseAll(KeyEvent* out) {
    u8 none[kReportBytes] = {};
    return Apply(none, kReportBytes, out);
}

void Typematic::Down(Key key, u32 now) {
    if (!repeats(key)) return;
    key_ = key;
    next_ = now + kDelayMs;
}

void Typematic::Up(Key key) {
    if (key == key_) key_ = Key::None;
}

Key Typematic::Due(u32 now) {
    if (key_ == Key::None || static_cast<i32>(now - next_) < 0) return Key::None;
    next_ = now + kRepeatMs;
    return key_;
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

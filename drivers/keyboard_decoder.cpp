// PS/2 scan code set 1 to key events.
#include "drivers/keyboard_decoder.h"

namespace tarn {
namespace drivers {

namespace {
const u8 kPrefixExtended = 0xE0;
const u8 kPrefixPause = 0xE1;     // E1 1D 45 on press, E1 9D C5 on release
const u8 kPauseBytes = 2;
const u8 kReleaseBit = 0x80;
// E0 2A / E0 36 (and their releases) are the "fake shifts" a keyboard sends
// around Print Screen and the grey cursor block; they are no key.
const u8 kFakeLeftShift = 0x2A;
const u8 kFakeRightShift = 0x36;

// Set-1 make codes 0x00..0x58, US positions.
const Key kSet1[0x59] = {
    /* 00 */ Key::None, Key::Escape, Key::Digit1, Key::Digit2, Key::Digit3, Key::Digit4, Key::Digit5, Key::Digit6,
    /* 08 */ Key::Digit7, Key::Digit8, Key::Digit9, Key::Digit0, Key::Minus, Key::Equal, Key::Backspace, Key::Tab,
    /* 10 */ Key::Q, Key::W, Key::E, Key::R, Key::T, Key::Y, Key::U, Key::I,
    /* 18 */ Key::O, Key::P, Key::LeftBracket, Key::RightBracket, Key::Enter, Key::LeftControl, Key::A, Key::S,
    /* 20 */ Key::D, Key::F, Key::G, Key::H, Key::J, Key::K, Key::L, Key::Semicolon,
    /* 28 */ Key::Apostrophe, Key::Grave, Key::LeftShift, Key::Backslash, Key::Z, Key::X, Key::C, Key::V,
    /* 30 */ Key::B, Key::N, Key::M, Key::Comma, Key::Period, Key::Slash, Key::RightShift, Key::KeypadAsterisk,
    /* 38 */ Key::LeftAlt, Key::Space, Key::CapsLock, Key::F1, Key::F2, Key::F3, Key::F4, Key::F5,
    /* 40 */ Key::F6, Key::F7, Key::F8, Key::F9, Key::F10, Key::NumLock, Key::ScrollLock, Key::Keypad7,
    /* 48 */ Key::Keypad8, Key::Keypad9, Key::KeypadMinus, Key::Keypad4, Key::Keypad5, Key::Keypad6, Key::KeypadPlus, Key::Keypad1,
    /* 50 */ Key::Keypad2, Key::Keypad3, Key::Keypad0, Key::KeypadPeriod, Key::PrintScreen, Key::None, Key::NonUsBackslash, Key::F11,
    /* 58 */ Key::F12,
};
}  // namespace

Key ScanSet1Decoder::key_for(u8 make) { return make < sizeof(kSet1) ? kSet1[make] : Key::None; }

Key ScanSet1Decoder::extended_key_for(u8 make) {
    switch (make) {
    case 0x1C: return Key::KeypadEnter;
    case 0x1D: return Key::RightControl;
    case 0x35: return Key::KeypadSlash;
    case 0x37: return Key::PrintScreen;
    case 0x38: return Key::RightAlt;
    case 0x46: return Key::Pause;  // Ctrl+Break
    case 0x47: return Key::Home;
    case 0x48: return Key::Up;
    case 0x49: return Key::PageUp;
    case 0x4B: return Key::Left;
    case 0x4D: return Key::Right;
    case 0x4F: return Key::End;
    case 0x50: return Key::Down;
    case 0x51: return Key::PageDown;
    case 0x52: return Key::Insert;
    case 0x53: return Key::Delete;
    case 0x5B: return Key::LeftGui;
    case 0x5C: return Key::RightGui;
    case 0x5D: return Key::Application;
    default: return Key::None;
    }
}

bool ScanSet1Decoder::take(u8 byte, KeyEvent* event) {
    if (pause_bytes_) {
        // Pause sends no release when let go: its press sequence is taken as
        // a press, its second sequence (bytes with bit 7 set) as the release.
        if (--pause_bytes_) return false;
        *event = {Key::Pause, (byte & kReleaseBit) == 0};
        return true;
    }
    if (byte == kPrefixPause) {
        pause_bytes_ = kPauseBytes;
        extended_ = false;
        return false;
    }
    if (byte == kPrefixExtended) {
        extended_ = true;
        return false;
    }
    bool extended = extended_;
    extended_ = false;
    u8 make = byte & static_cast<u8>(~kReleaseBit);
    if (extended && (make == kFakeLeftShift || make == kFakeRightShift)) return false;
    Key key = extended ? extended_key_for(make) : key_for(make);
    if (key == Key::None) return false;
    *event = {key, (byte & kReleaseBit) == 0};
    return true;
}

}  // namespace drivers
}  // namespace tarn

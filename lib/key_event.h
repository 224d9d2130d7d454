// PC key events, the one set of key names every key source produces and
// every consumer (text mode, the key matrix, the monitor) reads. Keys are
// named by their USB HID usage on the keyboard page: a USB keyboard reports
// them as they are and the PS/2 decoder maps its scan codes onto them.
#ifndef TARN_LIB_KEY_EVENT_H
#define TARN_LIB_KEY_EVENT_H

#include "lib/types.h"

namespace tarn {

enum class Key : u8 {
    None = 0x00,
    A = 0x04, B, C, D, E, F, G, H, I, J, K, L, M,
    N, O, P, Q, R, S, T, U, V, W, X, Y, Z,          // 0x1D
    Digit1 = 0x1E, Digit2, Digit3, Digit4, Digit5,
    Digit6, Digit7, Digit8, Digit9, Digit0,         // 0x27
    Enter = 0x28,
    Escape = 0x29,
    Backspace = 0x2A,
    Tab = 0x2B,
    Space = 0x2C,
    Minus = 0x2D,
    Equal = 0x2E,
    LeftBracket = 0x2F,
    RightBracket = 0x30,
    Backslash = 0x31,
    NonUsHash = 0x32,
    Semicolon = 0x33,
    Apostrophe = 0x34,
    Grave = 0x35,
    Comma = 0x36,
    Period = 0x37,
    Slash = 0x38,
    CapsLock = 0x39,
    F1 = 0x3A, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12,  // 0x45
    PrintScreen = 0x46,
    ScrollLock = 0x47,
    Pause = 0x48,
    Insert = 0x49,
    Home = 0x4A,
    PageUp = 0x4B,
    Delete = 0x4C,
    End = 0x4D,
    PageDown = 0x4E,
    Right = 0x4F,
    Left = 0x50,
    Down = 0x51,
    Up = 0x52,
    NumLock = 0x53,
    KeypadSlash = 0x54,
    KeypadAsterisk = 0x55,
    KeypadMinus = 0x56,
    KeypadPlus = 0x57,
    KeypadEnter = 0x58,
    Keypad1 = 0x59, Keypad2, Keypad3, Keypad4, Keypad5,
    Keypad6, Keypad7, Keypad8, Keypad9, Keypad0,    // 0x62
    KeypadPeriod = 0x63,
    NonUsBackslash = 0x64,  // the ISO key left of Z
    Application = 0x65,
    LeftControl = 0xE0,
    LeftShift = 0xE1,
    LeftAlt = 0xE2,
    LeftGui = 0xE3,
    RightControl = 0xE4,
    RightShift = 0xE5,
    RightAlt = 0xE6,
    RightGui = 0xE7,
};

struct KeyEvent {
    Key key;
    bool down;  // false: released
};

}  // namespace tarn

#endif

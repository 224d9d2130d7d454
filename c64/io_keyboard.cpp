// Host bridge, keyboard side: PC key codes to the C64 keyboard matrix and
// joystick port 2, read by CIA 1.
#include "c64/io.h"

#include "c64/c64.h"
#include "c64/processor.h"

namespace {

// PC key codes with a meaning of their own here.
constexpr u8 kKeyRestore = 0x02;      // F9
constexpr u8 kKeyPageUp = 0xF9;       // also RESTORE
constexpr u8 kKeyRunStop = 0x0F;      // Tab
constexpr u8 kKeyShift = 0x2A;        // either Shift, keypad *
constexpr u8 kKeyScrollLock = 0x90;
constexpr u8 kKeyF2 = 0xF2;
constexpr u8 kKeyF4 = 0xF4;
constexpr u8 kKeyF6 = 0xF6;
constexpr u8 kKeyF8 = 0xF8;
constexpr u8 kKeyLeft = 0xFA;
constexpr u8 kKeyRight = 0xFB;
constexpr u8 kKeyUp = 0xFD;
constexpr u8 kKeyDown = 0xFE;

// Joystick byte, active high: ---F RLDU
constexpr u8 kJoyUp = 0x01;
constexpr u8 kJoyDown = 0x02;
constexpr u8 kJoyLeft = 0x04;
constexpr u8 kJoyRight = 0x08;
constexpr u8 kJoyFire = 0x10;

// Matrix positions (byte, bit) the combination keys press.
constexpr int kRowSpecial = 0;        // byte 0: DEL RETURN CRSR-R F7 F1 F3 F5 CRSR-D
constexpr int kBitCrsrRight = 2;
constexpr int kBitCrsrDown = 7;
constexpr int kRowLeftShift = 1;      // byte 1 bit 7: left SHIFT
constexpr int kBitLeftShift = 7;
constexpr int kRowRunStop = 7;        // byte 7 bit 7: RUN/STOP
constexpr int kBitRunStop = 7;
// Two passes of 12,000 instructions outlast the 16,667 between ticks.
constexpr u8 kRunStopHoldPasses = 2;

// Shifted function key to the matrix bit of its unshifted key in byte 0.
int function_key_bit(u8 code) {
    switch (code) {
    case kKeyF2: return 4;  // F1
    case kKeyF4: return 5;  // F3
    case kKeyF6: return 6;  // F5
    case kKeyF8: return 3;  // F7
    default: return -1;
    }
}

}  // namespace

const u8 IO::kbd[8][8] = {
    {0x0E, 0x0A, 0xFB, 0xF7, 0xF1, 0xF3, 0xF5, 0xFE},  // DEL RETURN CRSR-R F7 F1 F3 F5 CRSR-D
    {'3', 'W', 'A', '4', 'Z', 'S', 'E', 0x2A},         // ... left SHIFT
    {'5', 'R', 'D', '6', 'C', 'F', 'T', 'X'},
    {'7', 'Y', 'G', '8', 'B', 'H', 'U', 'V'},
    {'9', 'I', 'J', '0', 'M', 'K', 'O', 'N'},
    {0x2B, 'P', 'L', '-', '.', ';', '[', ','},         // + P L - . : @ ,
    {0x5C, ']', '\'', 0xFC, 0x2A, '=', 0x2B, '/'},     // pound * ; HOME right-SHIFT = up-arrow /
    {'1', '`', 0x1D, '2', 0x20, 0xFF, 'Q', 0x0F},      // 1 left-arrow CTRL 2 SPACE C= Q RUN/STOP
};

void IO::init_keyboard() {
    for (u8& b : keyboard_matrix_) b = 0xFF;
    joystick1_ = 0;
    joystick2_ = 0;
}

// Active low: a held key clears its bit.
void IO::set_matrix_bit(int row, int bit, bool down) {
    if (down) keyboard_matrix_[row] &= static_cast<u8>(~(1 << bit));
    else keyboard_matrix_[row] |= static_cast<u8>(1 << bit);
}

void IO::press_matrix(u8 code, bool down) {
    for (int i = 0; i < 8; i++)
        for (int j = 0; j < 8; j++)
            if (kbd[i][j] == code) set_matrix_bit(i, j, down);
}

void IO::OnKeyDown(u8 code) {
    if (code == kKeyScrollLock) return;
    if (code == kKeyShift) joystick2_ |= kJoyFire;
    if (code == kKeyRight) joystick2_ |= kJoyRight;
    if (code == kKeyDown) joystick2_ |= kJoyDown;
    if (code == kKeyUp) {
        joystick2_ |= kJoyUp;
        set_matrix_bit(kRowSpecial, kBitCrsrDown, true);
        set_matrix_bit(kRowLeftShift, kBitLeftShift, true);
        return;
    }
    if (code == kKeyLeft) {
        joystick2_ |= kJoyLeft;
        set_matrix_bit(kRowSpecial, kBitCrsrRight, true);
        set_matrix_bit(kRowLeftShift, kBitLeftShift, true);
        return;
    }
    int fbit = function_key_bit(code);
    if (fbit >= 0) {
        set_matrix_bit(kRowSpecial, fbit, true);
        set_matrix_bit(kRowLeftShift, kBitLeftShift, true);
        return;
    }
    // RESTORE is not in the matrix: it pulls the processor's NMI line.
    if (code == kKeyRestore || code == kKeyPageUp) {
        if (cpu_) cpu_->set_nmi(Processor::kNmiRestore, true);
        return;
    }
    // RUN/STOP stays on the matrix in text mode too: the KERNAL's own scan
    // must see it for BASIC to break.
    if (code == kKeyRunStop) {
        set_matrix_bit(kRowRunStop, kBitRunStop, true);
        run_stop_hold_passes_ = kRunStopHoldPasses;
        run_stop_release_due_ = false;
        return;
    }
    // The face types ordinary keys through the KERNAL buffer.
    if (g_face_active) return;
    press_matrix(code, true);
}

void IO::OnKeyUp(u8 code) {
    // Any release centres the stick and lets go of fire.
    joystick2_ = 0;
    if (code == kKeyUp) {
        set_matrix_bit(kRowSpecial, kBitCrsrDown, false);
        set_matrix_bit(kRowLeftShift, kBitLeftShift, false);
        return;
    }
    if (code == kKeyLeft) {
        set_matrix_bit(kRowSpecial, kBitCrsrRight, false);
        set_matrix_bit(kRowLeftShift, kBitLeftShift, false);
        return;
    }
    int fbit = function_key_bit(code);
    if (fbit >= 0) {
        set_matrix_bit(kRowSpecial, fbit, false);
        set_matrix_bit(kRowLeftShift, kBitLeftShift, false);
        return;
    }
    if (code == kKeyRestore || code == kKeyPageUp) {
        if (cpu_) cpu_->set_nmi(Processor::kNmiRestore, false);
        return;
    }
    if (code == kKeyRunStop && run_stop_hold_passes_ > 0) {
        run_stop_release_due_ = true;
        return;
    }
    press_matrix(code, false);
}

void IO::text_pass_ran() {
    if (run_stop_hold_passes_ == 0 || --run_stop_hold_passes_ > 0) return;
    if (run_stop_release_due_) set_matrix_bit(kRowRunStop, kBitRunStop, false);
    run_stop_release_due_ = false;
}

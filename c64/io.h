// The emulated machine's bridge to the host: display, keyboard, LOAD/SAVE.
// (Interface stub: the contract operations other components call.)
#ifndef TARN_C64_IO_H
#define TARN_C64_IO_H

#include "lib/types.h"

class Cpu;
class Memory;
namespace kestrel {
namespace drivers { class SerialDriver; class RTCDriver; }
namespace filesystem { class Fat32; }
}

class IO {
public:
    IO();
    void cpu(Cpu* c) { cpu_ = c; }
    void memory(Memory* m) { mem_ = m; }
    void fat32(kestrel::filesystem::Fat32* f) { fat32_ = f; }
    void serial(kestrel::drivers::SerialDriver* s) { serial_ = s; }
    void rtc(kestrel::drivers::RTCDriver* r) { rtc_ = r; }

    void screen_update_pixel(int x, int y, int colour);
    void screen_draw_rect(int x, int y, int n, int colour);
    void screen_draw_border(int y, int colour);
    void screen_refresh();

    u8 keyboard_matrix_row(int row) { return keyboard_matrix_[row & 7]; }
    u8 getJoystick(u8 port) { return port == 1 ? joystick1_ : port == 2 ? joystick2_ : 0; }
    void OnKeyDown(u8 code);
    void OnKeyUp(u8 code);
    // Serves a LOAD or SAVE request left by the patched KERNAL in $0002
    // (4 = LOAD, 5 = SAVE). Called once per main-loop pass, and at once when
    // the trap stores the request.
    bool emulate();
    void file_load();
    void file_save();

    u8 frame_skip() const { return frame_skip_; }
    void frame_skip(u8 n) { frame_skip_ = n; }

private:
    Cpu* cpu_ = nullptr;
    Memory* mem_ = nullptr;
    u8 keyboard_matrix_[8];
    u8 joystick1_ = 0, joystick2_ = 0;
    kestrel::filesystem::Fat32* fat32_ = nullptr;
    kestrel::drivers::SerialDriver* serial_ = nullptr;
    kestrel::drivers::RTCDriver* rtc_ = nullptr;
    u8 frame_skip_ = 0;
};

#endif

// The C64 machine: owns and wires the chips and runs the main loop. What it
// needs from the PC comes through narrow interfaces the host implements:
// key events, a clock, the framebuffer, the sound output and the volume.
#ifndef TARN_C64_C64_H
#define TARN_C64_C64_H

#include "c64/face_node.h"
#include "c64/frame_loop.h"
#include "lib/key_event.h"
#include "lib/types.h"

namespace tarn {
class Clock;
class KeySource;
}

class Processor;
class Cia1;
class Cia2;
class ControlPorts;
class Memory;
class IO;
class KeyMatrix;
class Sid;
class TextKeys;
class Vic;
class Monitor;

class C64 {
public:
    static constexpr u32 kStepsPerPass = 12000;  // 6502 instructions a pass
    static constexpr u32 kAlwaysRefreshPasses = 119;
    static constexpr u32 kMaxKeysPerPass = 512;

    // The PC's side, none of it owned; all of it outlives the machine.
    struct Host {
        tarn::KeySource* keys;
        tarn::Clock* clock;
    };

    explicit C64(const Host& host);
    ~C64();
    C64(const C64&) = delete;
    C64& operator=(const C64&) = delete;

    // The main loop: returns on a reset request.
    void start();
    // Asks the loop to enter the monitor at its next pass.
    void stop();

    // start() is begin_run() followed by run_pass() until it returns false.
    void begin_run();
    bool run_pass();

    Processor* cpu() const { return cpu_; }
    Cia1* cia1() const { return cia1_; }
    Cia2* cia2() const { return cia2_; }
    Memory* mem() const { return mem_; }
    IO* io() const { return io_; }
    Sid* sid() const { return sid_; }
    Vic* vic() const { return vic_; }
    Monitor* monitor() const { return monitor_; }
    KeyMatrix* key_matrix() const { return key_matrix_; }
    TextKeys* text_keys() const { return text_keys_; }
    ControlPorts* ports() const { return ports_; }
    bool is_running() const { return running; }
    bool is_reset_requested() const { return reset_requested; }
    // Full C64 mode: the chips on the processor's clock, the VIC's picture
    // and the keyboard matrix. Off is text mode, the default. The mode
    // outlives the machine, so a reset keeps it; set before begin_run() it
    // is the mode the machine starts in.
    bool full_mode() const { return full_mode_on; }
    void full_mode(bool on) { enter_mode(on); }
    // F11: switch modes at the start of the next pass.
    void request_mode_switch() { mode_switch_requested = true; }
    // Warp (F12 in full mode): frames unpaced, one picture in kWarpPresentEvery.
    static constexpr u32 kWarpPresentEvery = 10;
    bool warp() const { return warp_; }
    void warp(bool on) { warp_ = on; }

    // Main-loop state kept across machines for the whole kernel run.
    static u32 frame_counter() { return frame_ctr; }
    static void frame_counter(u32 n) { frame_ctr = n; }
    // Back to the state of a fresh kernel run (test harnesses start each
    // run from here).
    static void forget_run_state();

private:
    void take_keys();
    bool hot_key(tarn::KeyEvent event);
    void run_monitor();
    // Full mode (frame_loop.cpp).
    void enter_mode(bool full);
    bool run_frame();
    void run_to(u32 end);
    void present_frame();
    void pace_frame();

    static u8 last_border;
    static u8 last_bg;
    static u32 frame_ctr;
    static bool draw_due;  // the text picture changed since it was last drawn
    static bool full_mode_on;

    tarn::KeySource* keys_;
    tarn::Clock* clock_;
    bool running = true;
    Processor* cpu_;
    Cia1* cia1_;
    Cia2* cia2_;
    Memory* mem_;
    IO* io_;
    Sid* sid_;
    Vic* vic_;
    Monitor* monitor_;
    ControlPorts* ports_;
    KeyMatrix* key_matrix_;
    TextKeys* text_keys_;
    bool reset_requested = false;
    bool mode_switch_requested = false;
    bool warp_ = false;
    u32 next_line_at_ = 0;  // core cycle at which the next raster line starts
    u32 warp_frames_ = 0;
    FramePacer pacer_;
};

extern u8 g_face_screen[kFaceCells];
extern u8 g_face_screen_reverse[kFaceCells];
extern volatile int g_face_active;
extern FaceNode g_c64_face;

#endif

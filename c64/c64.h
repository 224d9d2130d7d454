// The C64 machine: owns and wires the chips, runs the main loop, and the
// kernel event sinks that feed it keys and timer ticks.
#ifndef TARN_C64_C64_H
#define TARN_C64_C64_H

#include "c64/face_node.h"
#include "c64/frame_loop.h"
#include "drivers/keyboard.h"
#include "drivers/pit.h"
#include "lib/types.h"

class Processor;
class Cia1;
class Cia2;
class Memory;
class IO;
class KeyMatrix;
class Sid;
class Vic;
class Monitor;

class C64 {
public:
    static constexpr u32 kStepsPerPass = 12000;  // 6502 instructions a pass
    static constexpr int kPollLimit = 16;        // PS/2 bytes read a pass
    static constexpr u32 kAlwaysRefreshPasses = 119;

    C64();
    ~C64();
    C64(const C64&) = delete;
    C64& operator=(const C64&) = delete;

    // The main loop: returns on a reset request or a failing chip.
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

    // Scan code (set 1, & 0x7F) to character, plain and shifted.
    static const u8 kmap[128];
    static const u8 kmap_shift[128];

    // Called once a pass: the host's devices that are polled (USB).
    static void (*host_poll)();

    // Main-loop state kept across machines for the whole kernel run.
    static u32 frame_counter() { return frame_ctr; }
    static void frame_counter(u32 n) { frame_ctr = n; }
    static bool shift_held() { return shift_down; }
    // Back to the state of a fresh kernel run (test harnesses start each
    // run from here).
    static void forget_run_state();

private:
    friend class IOKeyboardEventHandler;

    void poll_keyboard();
    void drain_scan_ring(bool type_keys);
    // Full mode (frame_loop.cpp).
    void enter_mode(bool full);
    bool run_frame();
    void present_frame();
    void pace_frame();

    static u8 last_border;
    static u8 last_bg;
    static bool shift_down;
    static u32 frame_ctr;
    static bool draw_due;  // the text picture changed since it was last drawn
    static bool full_mode_on;

    volatile bool running;
    Processor* cpu_;
    Cia1* cia1_;
    Cia2* cia2_;
    Memory* mem_;
    IO* io_;
    Sid* sid_;
    Vic* vic_;
    Monitor* monitor_;
    KeyMatrix* key_matrix_;
    bool after_prefix_ = false;  // text mode: the next scan byte follows an E0
    volatile bool reset_requested;
    volatile bool mode_switch_requested = false;
    volatile bool warp_ = false;
    u32 next_line_at_ = 0;  // core cycle at which the next raster line starts
    u32 warp_frames_ = 0;
    FramePacer pacer_;
};

// Routes key events: Esc to and from the monitor, F10 reset, F12 frame skip,
// everything else to the machine's IO or, in monitor mode, to the monitor.
class IOKeyboardEventHandler : public tarn::drivers::KeyboardEventHandler {
public:
    IOKeyboardEventHandler() : monitor_mode(false) {}
    void OnKeyDown(u8 code) override;
    void OnKeyUp(u8 code) override;
    bool in_monitor_mode() const { return monitor_mode; }

private:
    volatile bool monitor_mode;
};

// Counts timer ticks into current_milli.
class IOPITEventHandler : public tarn::drivers::PITEventHandler {
public:
    void OnTick() override;
};

extern C64* volatile c64ptr;
extern volatile u32 current_milli;
extern u8 g_face_screen[kFaceCells];
extern u8 g_face_screen_reverse[kFaceCells];
extern volatile int g_face_active;
extern FaceNode g_c64_face;

#endif

// The C64 machine: owns and wires the chips and runs the main loop. What it
// needs from the PC comes through narrow interfaces the host implements:
// key events, a clock, the screen, the sound output and the volume.
#ifndef TARN_C64_C64_H
#define TARN_C64_C64_H

#include "c64/frame_pacer.h"
#include "lib/key_event.h"
#include "lib/types.h"

namespace tarn {
class Clock;
class GamePortSource;
class KeySource;
class Screen;
}

class Cia1;
class Cia2;
class ControlPorts;
class KeyMatrix;
class Memory;
class Monitor;
class Processor;
class RasterPicture;
class SerialBus;
class Sid;
class TextKeys;
class TextView;
class Vic;

class C64 {
public:
    // Text mode: a pass is a batch of instructions, and the KERNAL's jiffy
    // interrupt comes every so many instructions, counted across passes.
    static constexpr u32 kStepsPerPass = 12000;
    static constexpr u32 kStepsPerTick = 16667;
    static constexpr u32 kMaxKeysPerPass = 512;
    // Text mode shows its picture at most this often; with frame skipping
    // (F12) ten times less often.
    static constexpr u32 kDrawIntervalMs = 19;
    // After a reset the picture waits for the KERNAL's start-up (its RAM
    // test, then the VIC's colours and the cleared screen: about 560,000
    // instructions), so the screen goes from what it showed straight to the
    // C64's and is written once instead of three times.
    static constexpr u32 kStartupPasses = 600000 / kStepsPerPass;
    static constexpr u32 kFrameSkipFactor = 10;
    // Warp (F12 in full mode): frames unpaced, one picture in kWarpPresentEvery.
    static constexpr u32 kWarpPresentEvery = 10;

    // The PC's side, none of it owned; all of it outlives the machine. A
    // null screen leaves the machine without a picture.
    struct Host {
        tarn::KeySource* keys;
        tarn::Clock* clock;
        tarn::Screen* screen;
        tarn::GamePortSource* game_ports = nullptr;  // mice and pads; null: none
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
    Sid* sid() const { return sid_; }
    Vic* vic() const { return vic_; }
    Monitor* monitor() const { return monitor_; }
    SerialBus* serial_bus() const { return serial_bus_; }
    TextView* text_view() const { return text_view_; }
    RasterPicture* raster() const { return raster_; }
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
    bool warp() const { return warp_; }
    void warp(bool on) { warp_ = on; }
    // F12 in text mode: draw fewer pictures.
    bool frame_skip() const { return frame_skip_; }
    void frame_skip(bool on) { frame_skip_ = on; }

    // Draws on another screen from now on (both pictures whole at first).
    void screen(tarn::Screen* screen);

    // Sound off (the SID keeps running); kept across resets like the mode.
    static bool sound_muted() { return sound_muted_on; }
    void mute(bool on);

    // Back to the state of a fresh kernel run (test harnesses start each
    // run from here).
    static void forget_run_state();

private:
    void take_keys();
    // The PC's mice and pads onto the control ports and the SID's POT lines.
    void sample_game_ports();
    bool hot_key(tarn::KeyEvent event);
    void run_monitor();
    void run_instructions(u32 count);
    void draw_text_view();
    // Full mode (full_mode.cpp).
    void enter_mode(bool full);
    bool run_frame();
    void run_to(u32 end);
    void present_frame();
    void pace_frame();

    static bool full_mode_on;
    static bool sound_muted_on;

    tarn::KeySource* keys_;
    tarn::Clock* clock_;
    tarn::Screen* screen_;
    tarn::GamePortSource* game_ports_;
    bool running = true;
    Processor* cpu_;
    Cia1* cia1_;
    Cia2* cia2_;
    Memory* mem_;
    Sid* sid_;
    Vic* vic_;
    Monitor* monitor_;
    ControlPorts* ports_;
    KeyMatrix* key_matrix_;
    TextKeys* text_keys_;
    SerialBus* serial_bus_;
    TextView* text_view_;
    RasterPicture* raster_;
    bool reset_requested = false;
    bool mode_switch_requested = false;
    bool warp_ = false;
    bool frame_skip_ = false;
    u32 steps_ = 0;        // text mode: instructions since the last tick
    u32 drawn_at_ = 0;     // text mode: clock reading of the last picture
    bool drawn_once_ = false;
    u32 startup_passes_ = 0;  // passes still before text mode's first picture
    u32 next_line_at_ = 0;  // core cycle at which the next raster line starts
    u32 warp_frames_ = 0;
    FramePacer pacer_;
};

#endif

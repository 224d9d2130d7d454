// The C64 machine: owns and wires the chips and runs the main loop.
#include "c64/c64.h"

#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/control_ports.h"
#include "c64/key_matrix.h"
#include "c64/memory.h"
#include "c64/monitor.h"
#include "c64/processor.h"
#include "c64/raster_picture.h"
#include "c64/serial_bus.h"
#include "c64/sid.h"
#include "c64/text_keys.h"
#include "c64/text_view.h"
#include "c64/vic.h"
#include "lib/clock.h"
#include "lib/game_ports.h"
#include "lib/key_queue.h"

using tarn::Key;
using tarn::KeyEvent;

namespace {

// The patched KERNAL stored a serial-bus request: serve it before the
// trap's next instruction reads the result.
void serve_bus_request(void* bus) { static_cast<SerialBus*>(bus)->serve(); }

bool toggle_sound(void* machine) {
    static_cast<C64*>(machine)->mute(!C64::sound_muted());
    return C64::sound_muted();
}

}  // namespace

bool C64::full_mode_on = false;
bool C64::sound_muted_on = false;

C64::C64(const Host& host)
    : keys_(host.keys), clock_(host.clock), screen_(host.screen), game_ports_(host.game_ports) {
    mem_ = new Memory();
    cpu_ = new Processor(mem_);
    cia1_ = new Cia1();
    cia2_ = new Cia2();
    vic_ = new Vic();
    sid_ = new Sid();
    monitor_ = new Monitor();
    ports_ = new ControlPorts();
    key_matrix_ = new KeyMatrix(ports_, cpu_);
    text_keys_ = new TextKeys(ports_, cpu_, mem_);
    serial_bus_ = new SerialBus(mem_);
    text_view_ = new TextView(mem_, vic_);
    raster_ = new RasterPicture();

    vic_->memory(mem_);
    vic_->cpu(cpu_);
    vic_->picture(raster_);
    cia1_->cpu(cpu_);
    cia1_->ports(ports_);
    cia2_->cpu(cpu_);
    mem_->vic(vic_);
    mem_->cia1(cia1_);
    mem_->cia2(cia2_);
    mem_->sid(sid_);
    sid_->clocks(cpu_, clock_);
    sid_->pot_lines(ports_);
    sid_->muted(sound_muted_on);
    monitor_->mem(mem_);
    monitor_->cpu(cpu_);
    monitor_->sound_switch(toggle_sound, this);
    mem_->trap_hook(serve_bus_request, serial_bus_);
}

C64::~C64() {
    delete raster_;
    delete text_view_;
    delete serial_bus_;
    delete text_keys_;
    delete key_matrix_;
    delete ports_;
    delete monitor_;
    delete sid_;
    delete vic_;
    delete cia2_;
    delete cia1_;
    delete cpu_;
    delete mem_;
}

void C64::forget_run_state() {
    full_mode_on = false;
    sound_muted_on = false;
}

void C64::stop() { running = false; }

void C64::mute(bool on) {
    sound_muted_on = on;
    sid_->muted(on);
}

void C64::screen(tarn::Screen* screen) {
    screen_ = screen;
    raster_->invalidate();
    text_view_->invalidate();
    drawn_once_ = false;
}

void C64::start() {
    begin_run();
    while (run_pass()) {
    }
}

void C64::begin_run() {
    cpu_->reset();
    steps_ = 0;
    startup_passes_ = kStartupPasses;
    enter_mode(full_mode_on);
}

bool C64::run_pass() {
    take_keys();
    sample_game_ports();
    if (!running) {
        run_monitor();
        return !reset_requested;
    }
    if (reset_requested) return false;
    if (startup_passes_) startup_passes_--;
    if (mode_switch_requested) {
        mode_switch_requested = false;
        enter_mode(!full_mode_on);
    }
    if (full_mode_on) return run_frame();
    run_instructions(kStepsPerPass);
    text_keys_->pass_ran();
    // The CIAs count the processor's cycles in text mode too.
    cia1_->catch_up();
    cia2_->catch_up();
    serial_bus_->serve();
    draw_text_view();
    sid_->flush();
    return !reset_requested;
}

// Text mode's pace: instructions one by one, the jiffy interrupt after
// every kStepsPerTick of them (dropped by the core while I is set).
void C64::run_instructions(u32 count) {
    while (count) {
        u32 n = kStepsPerTick - steps_;
        if (n > count) n = count;
        cpu_->steps(n);
        count -= n;
        steps_ += n;
        if (steps_ == kStepsPerTick) {
            steps_ = 0;
            cpu_->tick();
        }
    }
}

// The text view at most every kDrawIntervalMs of the wall clock: the
// machine never waits for the picture, and a change not shown yet is shown
// by a later pass.
void C64::draw_text_view() {
    if (startup_passes_) return;
    u32 now = clock_->milliseconds();
    u32 interval = kDrawIntervalMs * (frame_skip_ ? kFrameSkipFactor : 1);
    if (drawn_once_ && now - drawn_at_ < interval) return;
    text_view_->draw(screen_);
    drawn_at_ = now;
    drawn_once_ = true;
}

// Every key that has come: the machine's own keys act at once, the rest go
// to the mode's keyboard in order. Esc and F10 stop the taking: what was
// typed after them belongs to the monitor, or to nobody. The count is
// bounded, so a keyboard that never stops sending cannot hold the machine.
void C64::take_keys() {
    KeyEvent event;
    for (u32 n = 0; n < kMaxKeysPerPass && keys_->next(&event); n++)
        if (!hot_key(event)) return;
}

// The devices' joystick lines on the control ports; a mouse's position on
// the port's POT lines (nothing plugged in reads $FF there).
void C64::sample_game_ports() {
    if (!game_ports_) return;
    tarn::GamePort one = game_ports_->sample(1);
    tarn::GamePort two = game_ports_->sample(2);
    ports_->devices(1, one.joystick);
    ports_->devices(2, two.joystick);
    ports_->pots(1, one.pots ? one.pot_x : 0xFF, one.pots ? one.pot_y : 0xFF);
    ports_->pots(2, two.pots ? two.pot_x : 0xFF, two.pots ? two.pot_y : 0xFF);
}

// Esc opens the monitor, F10 resets, F11 switches modes, F12 toggles frame
// skipping (warp in full mode), Pause switches the sound off and on.
// Returns false once the keys must stop.
bool C64::hot_key(KeyEvent event) {
    switch (event.key) {
    case Key::Escape:
        if (!event.down) return true;
        running = false;
        return false;
    case Key::F10:
        if (!event.down) return true;
        reset_requested = true;
        return false;
    case Key::F11:
        if (event.down) mode_switch_requested = true;
        return true;
    case Key::F12:
        if (!event.down) return true;
        if (full_mode_on) warp_ = !warp_;
        else frame_skip_ = !frame_skip_;
        return true;
    case Key::Pause:
        if (event.down) mute(!sound_muted_on);
        return true;
    default:
        if (full_mode_on) key_matrix_->key(event);
        else text_keys_->key(event);
        return true;
    }
}

// The monitor has the keyboard until Esc; keys held when it opened are let
// go, and the machine goes on where it stood (or resets on F10).
void C64::run_monitor() {
    key_matrix_->release_all();
    text_keys_->release_all();
    if (monitor_->run(keys_, clock_)) reset_requested = true;
    // The monitor drew over the screen: both pictures are drawn afresh.
    raster_->invalidate();
    text_view_->invalidate();
    drawn_once_ = false;
    running = true;
}

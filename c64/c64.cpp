// The C64 machine: owns and wires the chips and runs the main loop.
#include "c64/c64.h"

#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/control_ports.h"
#include "c64/io.h"
#include "c64/key_matrix.h"
#include "c64/memory.h"
#include "c64/monitor.h"
#include "c64/processor.h"
#include "c64/sid.h"
#include "c64/text_keys.h"
#include "c64/vic.h"
#include "lib/key_queue.h"

using tarn::Key;
using tarn::KeyEvent;

namespace {

// The patched KERNAL stored a LOAD or SAVE request: serve it before the
// trap's next instruction reads the result.
void serve_file_request(void* ctx) { static_cast<IO*>(ctx)->emulate(); }

}  // namespace

u8 g_face_screen[kFaceCells];
u8 g_face_screen_reverse[kFaceCells];
volatile int g_face_active = 0;
FaceNode g_c64_face;

u8 C64::last_border = 0xFF;
u8 C64::last_bg = 0xFF;
u32 C64::frame_ctr = 0;
bool C64::draw_due = false;
bool C64::full_mode_on = false;

C64::C64(const Host& host) : keys_(host.keys), clock_(host.clock) {
    io_ = new IO();
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

    vic_->memory(mem_);
    vic_->cpu(cpu_);
    vic_->io(io_);
    cia1_->cpu(cpu_);
    cia1_->ports(ports_);
    cia2_->cpu(cpu_);
    io_->memory(mem_);
    io_->clock(clock_);
    mem_->vic(vic_);
    mem_->cia1(cia1_);
    mem_->cia2(cia2_);
    mem_->sid(sid_);
    monitor_->io(io_);
    monitor_->mem(mem_);
    monitor_->cpu(cpu_);
    mem_->trap_hook(serve_file_request, io_);
}

C64::~C64() {
    // The face must not keep pointing at freed objects.
    if (g_c64_self.mem == mem_) {
        g_c64_self.mem = nullptr;
        g_c64_self.cpu = nullptr;
    }
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
    delete io_;
}

void C64::forget_run_state() {
    last_border = 0xFF;
    last_bg = 0xFF;
    frame_ctr = 0;
    draw_due = false;
    full_mode_on = false;
    for (u8& c : g_face_screen) c = 0;
    for (u8& r : g_face_screen_reverse) r = 0;
}

void C64::stop() { running = false; }

void C64::start() {
    begin_run();
    while (run_pass()) {
    }
}

void C64::begin_run() {
    face_bind_c64(&g_c64_face, cpu_, mem_);
    face_realize(&g_c64_face);
    enter_mode(full_mode_on);
}

bool C64::run_pass() {
    take_keys();
    if (!running) {
        run_monitor();
        return !reset_requested;
    }
    if (reset_requested) return false;
    if (mode_switch_requested) {
        mode_switch_requested = false;
        enter_mode(!full_mode_on);
    }
    if (full_mode_on) return run_frame();
    face_tick_steps(&g_c64_face, kStepsPerPass);
    text_keys_->pass_ran();
    face_tick_observe(&g_c64_face);

    bool changed = false;
    for (int i = 0; i < kFaceCells; i++) {
        if (g_c64_face.text[i] != g_face_screen[i] || g_face_reverse[i] != g_face_screen_reverse[i]) {
            g_face_screen[i] = g_c64_face.text[i];
            g_face_screen_reverse[i] = g_face_reverse[i];
            changed = true;
        }
    }

    // The CIAs count the processor's cycles in text mode too.
    cia1_->catch_up();
    cia2_->catch_up();
    io_->emulate();

    if (g_vic_border != last_border || g_vic_backgnd != last_bg) {
        last_border = g_vic_border;
        last_bg = g_vic_backgnd;
        changed = true;
    }
    frame_ctr++;
    // A change the frame skipping passed over stays due until it is drawn.
    if (changed) draw_due = true;
    if ((draw_due || frame_ctr <= kAlwaysRefreshPasses) && io_->screen_refresh()) draw_due = false;
    return !reset_requested;
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

// Esc opens the monitor, F10 resets, F11 switches modes, F12 toggles frame
// skipping (warp in full mode). Returns false once the keys must stop.
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
        else io_->frame_skip(io_->frame_skip() == IO::kFrameSkip ? 0 : IO::kFrameSkip);
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
    io_->invalidate_picture();  // the monitor drew over the screen
    last_border = 0xFF;         // the text view is drawn afresh
    running = true;
}

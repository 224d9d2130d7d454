// The C64 machine: owns and wires the chips, runs the main loop, and the
// kernel event sinks that feed it keys and timer ticks.
#include "c64/c64.h"

#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/io.h"
#include "c64/key_matrix.h"
#include "c64/memory.h"
#include "c64/monitor.h"
#include "c64/processor.h"
#include "c64/sid.h"
#include "c64/vic.h"
#include "hardwarecommunication/cpu_control.h"

using tarn::hardwarecommunication::cpu_disable_interrupts;
using tarn::hardwarecommunication::cpu_enable_interrupts;

namespace {

constexpr u8 kScanLeftShift = 0x2A;
constexpr u8 kScanRightShift = 0x36;
constexpr u8 kScanReleased = 0x80;     // set-1 break codes have bit 7 set
constexpr u8 kScanExtended = 0xE0;     // prefix of the cursor block and others

constexpr u8 kKeyEscape = 1;
constexpr u8 kKeyReset = 3;            // F10
constexpr u8 kKeyFrameSkip = 4;        // F12: frame skipping, or warp in full mode
constexpr u8 kKeyModeSwitch = 5;       // F11

// The patched KERNAL stored a LOAD or SAVE request: serve it before the
// trap's next instruction reads the result.
void serve_file_request(void* ctx) { static_cast<IO*>(ctx)->emulate(); }

}  // namespace

C64* volatile c64ptr = nullptr;
volatile u32 current_milli = 0;
u8 g_face_screen[kFaceCells];
u8 g_face_screen_reverse[kFaceCells];
volatile int g_face_active = 0;
FaceNode g_c64_face;

u8 C64::last_border = 0xFF;
u8 C64::last_bg = 0xFF;
bool C64::shift_down = false;
u32 C64::frame_ctr = 0;
bool C64::draw_due = false;
bool C64::full_mode_on = false;
void (*C64::host_poll)() = nullptr;

// Scan code (set 1) to character; 0 types nothing. Esc (the monitor's key)
// and Tab (RUN/STOP on the keyboard matrix) type nothing.
const u8 C64::kmap[128] = {
    0, 0, '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '-', '=', 8, 0,  // 00
    'q', 'w', 'e', 'r', 't', 'y', 'u', 'i', 'o', 'p', '[', ']', 13, 0, 'a', 's',  // 10
    'd', 'f', 'g', 'h', 'j', 'k', 'l', ';', '\'', '`', 0, '\\', 'z', 'x', 'c', 'v',  // 20
    'b', 'n', 'm', ',', '.', '/', 0, '*', 0, ' ', 0, 0, 0, 0, 0, 0,  // 30
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 40
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 50
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 60
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 70
};
const u8 C64::kmap_shift[128] = {
    0, 0, '!', '@', '#', '$', '%', '^', '&', '*', '(', ')', '_', '+', 8, 0,  // 00
    'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', '{', '}', 13, 0, 'A', 'S',  // 10
    'D', 'F', 'G', 'H', 'J', 'K', 'L', ':', '"', '~', 0, '|', 'Z', 'X', 'C', 'V',  // 20
    'B', 'N', 'M', '<', '>', '?', 0, '*', 0, ' ', 0, 0, 0, 0, 0, 0,  // 30
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 40
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 50
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 60
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 70
};

C64::C64() : running(true), reset_requested(false) {
    io_ = new IO();
    mem_ = new Memory();
    cpu_ = new Processor(mem_);
    cia1_ = new Cia1();
    cia2_ = new Cia2();
    vic_ = new Vic();
    sid_ = new Sid();
    monitor_ = new Monitor();
    key_matrix_ = new KeyMatrix(io_, cpu_);

    vic_->memory(mem_);
    vic_->cpu(cpu_);
    vic_->io(io_);
    cia1_->cpu(cpu_);
    cia1_->io(io_);
    cia2_->cpu(cpu_);
    io_->cpu(cpu_);
    io_->memory(mem_);
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
    delete cpu_;
    delete mem_;
    delete cia1_;
    delete cia2_;
    delete vic_;
    delete sid_;
    delete io_;
    delete monitor_;
    delete key_matrix_;
}

void C64::forget_run_state() {
    last_border = 0xFF;
    last_bg = 0xFF;
    shift_down = false;
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
    if (host_poll) host_poll();
    if (!running) {
        monitor_->Start();
        io_->invalidate_picture();  // the monitor drew over the screen
        // What was typed in the monitor, and the Esc that left it, was the
        // monitor's: none of it reaches the C64.
        drain_scan_ring(false);
        running = true;
        return true;
    }
    if (mode_switch_requested) {
        mode_switch_requested = false;
        enter_mode(!full_mode_on);
    }
    if (full_mode_on) return run_frame();
    poll_keyboard();
    face_tick_steps(&g_c64_face, kStepsPerPass);
    io_->text_pass_ran();
    face_tick_observe(&g_c64_face);

    bool changed = false;
    for (int i = 0; i < kFaceCells; i++) {
        if (g_c64_face.text[i] != g_face_screen[i] || g_face_reverse[i] != g_face_screen_reverse[i]) {
            g_face_screen[i] = g_c64_face.text[i];
            g_face_screen_reverse[i] = g_face_reverse[i];
            changed = true;
        }
    }
    drain_scan_ring(true);

    // The CIAs count the processor's cycles in text mode too.
    cia1_->catch_up();
    cia2_->catch_up();
    if (!io_->emulate()) return false;

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

// Takes what the controller holds whose interrupt edge was lost. The
// driver's own routine reads it, so each byte reaches the ring and the key
// handler once, as from the interrupt; interrupts stay off meanwhile, or one
// arriving between the status and the data read would take the byte and
// leave the data read the latch's repeat of it.
void C64::poll_keyboard() {
    for (int i = 0; i < kPollLimit; i++) {
        cpu_disable_interrupts();
        bool took = keyboard_poll_byte();
        cpu_enable_interrupts();
        if (!took) break;
    }
}

void C64::drain_scan_ring(bool type_keys) {
    cpu_disable_interrupts();
    u32 head = g_scan_head;
    cpu_enable_interrupts();
    if (full_mode_on && !type_keys) {
        g_scan_tail = head;
        key_matrix_->release_all();
        return;
    }
    if (full_mode_on) {
        // A byte the matrix cannot take yet stays in the ring for the next pass.
        while (g_scan_tail != head &&
               key_matrix_->scan_byte(g_scan_ring[g_scan_tail & 0xFF], cpu_->cycles(), head - g_scan_tail - 1))
            g_scan_tail = g_scan_tail + 1;
        return;
    }
    key_matrix_->release_all();
    while (g_scan_tail != head) {
        u8 byte = g_scan_ring[g_scan_tail & 0xFF];
        g_scan_tail = g_scan_tail + 1;
        // Extended keys (cursor block, keypad Enter) type nothing here.
        if (after_prefix_) {
            after_prefix_ = false;
            continue;
        }
        if (byte == kScanExtended) {
            after_prefix_ = true;
            continue;
        }
        u8 code = byte & 0x7F;
        bool released = (byte & kScanReleased) != 0;
        if (code == kScanLeftShift || code == kScanRightShift) {
            shift_down = !released;
            continue;
        }
        if (released || !type_keys) continue;
        u8 ch = shift_down ? kmap_shift[code] : kmap[code];
        if (ch) face_key(&g_c64_face, ch);
    }
}

// ---- kernel event sinks -------------------------------------------------------

void IOKeyboardEventHandler::OnKeyDown(u8 code) {
    C64* machine = c64ptr;
    if (!machine) return;  // no complete machine to take the key
    if (code == kKeyReset) {
        machine->reset_requested = true;
        return;
    }
    if (code == kKeyEscape) {
        if (monitor_mode) {
            monitor_mode = false;
            machine->monitor_->Stop();
        } else {
            monitor_mode = true;
            machine->stop();
        }
        return;
    }
    if (code == kKeyModeSwitch) {
        machine->request_mode_switch();
        return;
    }
    if (machine->full_mode() && !monitor_mode) {
        if (code == kKeyFrameSkip) {
            machine->warp_ = !machine->warp_;
            return;
        }
    }
    if (code == kKeyFrameSkip)
        machine->io_->frame_skip(machine->io_->frame_skip() == IO::kFrameSkip ? 0 : IO::kFrameSkip);
    // Full mode's keys reach the C64 through the key matrix.
    if (monitor_mode) machine->monitor_->OnKeyDown(code);
    else if (!machine->full_mode()) machine->io_->OnKeyDown(code);
}

void IOKeyboardEventHandler::OnKeyUp(u8 code) {
    C64* machine = c64ptr;
    if (!machine) return;
    if (monitor_mode) machine->monitor_->OnKeyUp(code);
    else if (!machine->full_mode()) machine->io_->OnKeyUp(code);
}

void IOPITEventHandler::OnTick() { current_milli = current_milli + 1; }

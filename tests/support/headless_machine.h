// The headless machine: a whole C64 (real ROMs, every chip, the monitor) on
// the screen the kernel console uses, over an 800 x 600 x 16 memory
// framebuffer, driven pass by pass by the test.
//
// What it stands in for: the host's machine loop, the PC's clock and its
// interrupts. Keys go through the real PS/2 keyboard driver (IRQ 1 dispatched
// through the interrupt manager on the simulated bus) into the key queue,
// which the machine reads through the host's own key source, exactly as on
// the PC. The clock moves only when the test says so: by ms_per_pass
// (default 20) before every pass, and to the end of every wait the machine
// makes, so nothing ever waits.
//
// API (all members of HeadlessMachine):
//   HeadlessMachine hm;               // builds the machine, begin_run()
//   hm.run_pass()                     // one main-loop pass; false once the
//                                     // machine has ended (F10)
//   hm.run_passes(n)                  // up to n passes; returns how many ran
//   hm.run_until_text("READY.", max)  // passes until the text view shows it
//   hm.boot()                         // run_until_text("READY.", 2000)
//   hm.type("PRINT 2+2\n")            // PS/2 set-1 make/break codes (Shift
//                                     // where needed), each byte one IRQ 1;
//                                     // after every 8 keys it runs passes
//                                     // until the KERNAL has taken them
//   hm.type_and_run("LIST\n", passes) // type, then run passes for the result
//   hm.press_key(key) / hm.release_key(key) / hm.tap_key(key)
//                                     // one PC key by its name (tarn::Key)
//   hm.scan(bytes)                    // raw scan bytes, one IRQ per byte
//   hm.queue_for_poll(bytes)          // bytes left in the controller for the
//                                     // key source's own poll (no interrupt)
//   hm.interrupt_keyboard()           // one IRQ 1, whatever the controller holds
//   hm.screen_text()                  // 25 rows of 40 chars the text view shows
//   hm.screen_has("4")                // any row contains the text
//   hm.row(r)                         // one row, trailing spaces kept
//   hm.console()                      // ConsoleReader over the framebuffer: the
//                                     // kernel console (monitor output) as text
//   hm.pixel(x, y)                    // RGB565 of the framebuffer pixel
//   hm.cell_pixel(col, row, l, k)     // top-left pixel of glyph dot (l, k) of a text cell
//   HeadlessMachine::colour(c)        // RGB565 of C64 colour c as shown
//   hm.attach_fat32(fs)               // drive 8's and the monitor's volume
//   hm.game_ports(source)             // the mice and pads the machine samples
//                                     // (rebuilds the machine: boot again)
//   hm.monitor_script(text)           // keys the monitor gets while it waits,
//   hm.monitor_script_key(key)        // one event per wait; when they run
//                                     // dry the test fails (monitor_ran_dry())
//                                     // and Esc leaves the monitor, so
//                                     // nothing hangs
//   hm.in_monitor()                   // the monitor has the keyboard
//   hm.rebuild()                      // what the host does after start()
//                                     // returns: destroy, build a fresh C64,
//                                     // begin_run()
//   hm.machine(), mem(), cpu(), vic(), monitor(), ps2(), keys(), screen()
//   hm.advance_ms(n), hm.now_ms(), hm.ms_per_pass
#ifndef TARN_TESTS_SUPPORT_HEADLESS_MACHINE_H
#define TARN_TESTS_SUPPORT_HEADLESS_MACHINE_H

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "c64/c64.h"
#include "host/pc_keys.h"
#include "lib/clock.h"
#include "lib/key_event.h"
#include "lib/key_queue.h"
#include "tests/support/console_reader.h"
#include "tests/support/sim_ps2.h"

class Memory;
class Monitor;
class Processor;
class Vic;
namespace tarn {
class GlobalDescriptorTable;
namespace hardwarecommunication { class InterruptManager; }
namespace drivers { class KeyboardDriver; }
namespace filesystem { class Fat32; }
}

class HeadlessMachine {
public:
    static constexpr uint32_t kWidth = 800;
    static constexpr uint32_t kHeight = 600;
    static constexpr uint32_t kPitch = kWidth * 2;

    HeadlessMachine();
    ~HeadlessMachine();
    HeadlessMachine(const HeadlessMachine&) = delete;
    HeadlessMachine& operator=(const HeadlessMachine&) = delete;

    // ---- running ------------------------------------------------------------
    bool run_pass();
    int run_passes(int n);
    bool run_until_text(const std::string& text, int max_passes);
    bool boot() { return run_until_text("READY.", 2000); }
    bool ended() const { return ended_; }
    void rebuild();
    void advance_ms(uint32_t ms) { clock_.now += ms; }
    uint32_t now_ms() const { return clock_.now; }
    uint32_t ms_per_pass = 20;

    // ---- keyboard -----------------------------------------------------------
    void type(const std::string& text);
    void type_and_run(const std::string& text, int passes) {
        type(text);
        run_passes(passes);
    }
    void press_key(tarn::Key key);
    void release_key(tarn::Key key);
    void tap_key(tarn::Key key) {
        press_key(key);
        release_key(key);
    }
    void scan(const std::vector<uint8_t>& bytes);
    void queue_for_poll(const std::vector<uint8_t>& bytes) { ps2_.queue(bytes); }
    void interrupt_keyboard();
    // Puts a character straight into the KERNAL's keyboard buffer, as text
    // mode types (in either mode); false when the buffer is full.
    bool buffer_key(uint8_t petscii);
    // Key events not yet taken by the machine, and characters or matrix
    // changes it holds back until the C64 has room or time for them.
    uint32_t keys_pending();
    // Scan bytes (make/break, Shift included) that type one character in
    // text mode; empty when no key gives it.
    static std::vector<uint8_t> scan_codes_for(char ch);
    // Make code of a key (E0-prefixed for the extended keys).
    static std::vector<uint8_t> make_code_for(tarn::Key key);

    // ---- the monitor --------------------------------------------------------
    void monitor_script(const std::string& text);
    void monitor_script_key(tarn::Key key);
    bool monitor_ran_dry() const { return monitor_ran_dry_; }
    int monitor_waits() const { return monitor_waits_; }
    bool in_monitor() const { return !machine_->is_running(); }

    // ---- what it shows ------------------------------------------------------
    std::vector<std::string> screen_text() const;
    std::string row(int r) const;
    bool screen_has(const std::string& text) const;
    consolereader::ConsoleReader console() const {
        return consolereader::ConsoleReader(fb_.data(), kWidth, kHeight, kPitch);
    }
    uint16_t pixel(uint32_t x, uint32_t y) const { return fb_[y * kWidth + x]; }
    uint16_t cell_pixel(int col, int row, int l, int k) const;
    static uint16_t colour(uint8_t c64_colour);
    void fill_framebuffer(uint16_t rgb);
    // The machine draws on another screen from now on (the test keeps it).
    void use_screen(tarn::Screen* screen) {
        screen_ = screen;
        machine_->screen(screen);
    }
    std::vector<uint16_t>& framebuffer() { return fb_; }

    // ---- parts -----------------------------------------------------------------
    void attach_fat32(tarn::filesystem::Fat32* fs);
    void game_ports(tarn::GamePortSource* source) {
        game_ports_ = source;
        rebuild();
    }
    C64& machine() { return *machine_; }
    Memory& mem() { return *machine_->mem(); }
    Processor& cpu() { return *machine_->cpu(); }
    Vic& vic() { return *machine_->vic(); }
    Monitor& monitor() { return *machine_->monitor(); }
    simbus::SimPs2& ps2() { return ps2_; }
    tarn::KeyQueue& keys() { return queue_; }
    tarn::Clock& clock() { return clock_; }
    tarn::Screen& screen() { return *screen_; }

private:
    // Time stands still unless the test moves it; a wait jumps to its end.
    struct TestClock : tarn::Clock {
        uint32_t now = 1000;
        uint32_t milliseconds() override { return now; }
        void wait_until(uint32_t due) override {
            if (static_cast<int32_t>(due - now) > 0) now = due;
        }
    };

    void build();
    static void poll_devices();

    std::vector<uint16_t> fb_;
    simbus::SimPs2 ps2_{false};
    tarn::KeyQueue queue_;
    TestClock clock_;
    tarn::Screen* screen_ = nullptr;
    std::unique_ptr<tarn::GlobalDescriptorTable> gdt_;
    std::unique_ptr<tarn::hardwarecommunication::InterruptManager> interrupts_;
    std::unique_ptr<tarn::drivers::KeyboardDriver> keyboard_;
    std::unique_ptr<tarn::host::PcKeys> machine_keys_;
    std::unique_ptr<C64> machine_;
    tarn::filesystem::Fat32* fat32_ = nullptr;
    tarn::GamePortSource* game_ports_ = nullptr;
    bool ended_ = false;
    int typed_since_pass_ = 0;
    std::deque<std::vector<uint8_t>> monitor_keys_;
    bool monitor_ran_dry_ = false;
    int monitor_waits_ = 0;
    static HeadlessMachine* current_;
};

#endif

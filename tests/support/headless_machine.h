// The headless machine: a whole C64 (real ROMs, every chip, IO, Monitor) on
// an 800 x 600 x 16 memory framebuffer, driven pass by pass by the test.
//
// What it stands in for: kernelMain's outer loop and the interrupts. Keys go
// through the real PS/2 keyboard driver (IRQ 1 dispatched through the
// interrupt manager on the simulated bus), so the scan bytes enter
// g_scan_ring and the key codes reach IOKeyboardEventHandler exactly as on
// the PC. The millisecond counter (current_milli) advances only when the test
// says so: by ms_per_pass (default 20) before every pass, so the display's
// frame pacing never waits.
//
// API (all members of HeadlessMachine):
//   HeadlessMachine hm;               // builds the machine, publishes c64ptr,
//                                     // calls begin_run() (face bound, realised)
//   hm.run_pass()                     // one main-loop pass; false once the
//                                     // machine has ended (F10 or a chip failed)
//   hm.run_passes(n)                  // up to n passes; returns how many ran
//   hm.run_until_text("READY.", max)  // passes until the text view shows it
//   hm.boot()                         // run_until_text("READY.", 2000)
//   hm.type("PRINT 2+2\n")            // PS/2 set-1 make/break codes (Shift
//                                     // where needed), each byte one IRQ 1;
//                                     // after every 8 keys it runs passes
//                                     // until the KERNAL has taken them
//   hm.type_and_run("LIST\n", passes) // type, then run passes for the result
//   hm.press_key(code) / hm.release_key(code) / hm.tap_key(code)
//                                     // one key by its driver key code
//                                     // (1 Esc, 3 F10, 4 F12, 2 F9, 250.. arrows)
//   hm.scan(bytes)                    // raw scan bytes, one IRQ per byte
//   hm.queue_for_poll(bytes)          // bytes left in the controller for the
//                                     // main loop's own poll (no interrupt)
//   hm.interrupt_keyboard()           // one IRQ 1, whatever the controller holds
//   hm.screen_text()                  // 25 rows of 40 chars from g_face_screen
//   hm.screen_has("4")                // any row contains the text
//   hm.row(r)                         // one row, trailing spaces kept
//   hm.console()                      // ConsoleReader over the framebuffer: the
//                                     // kernel console (monitor output) as text
//   hm.pixel(x, y)                    // RGB565 of the framebuffer pixel
//   hm.cell_pixel(col, row, l, k)     // top-left pixel of glyph dot (l, k) of a text cell
//   hm.attach_fat32(fs)               // IO::fat32 and Monitor::fat32
//   hm.monitor_script(text_or_codes)  // keys the monitor's idle hook delivers,
//                                     // one event per wait pass; when it runs
//                                     // dry the hook records a failure
//                                     // (monitor_ran_dry()) and leaves the
//                                     // monitor with Esc so nothing hangs
//   hm.rebuild()                      // what kernelMain does after start()
//                                     // returns: destroy, build a fresh C64,
//                                     // re-publish it, begin_run()
//   hm.machine(), io(), mem(), cpu(), vic(), monitor(), handler(), ps2()
//   hm.advance_ms(n), hm.ms_per_pass
#ifndef TARN_TESTS_SUPPORT_HEADLESS_MACHINE_H
#define TARN_TESTS_SUPPORT_HEADLESS_MACHINE_H

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "c64/c64.h"
#include "c64/io.h"
#include "tests/support/console_reader.h"
#include "tests/support/sim_ps2.h"

class Monitor;
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
    void advance_ms(uint32_t ms);
    uint32_t ms_per_pass = 20;

    // ---- keyboard -----------------------------------------------------------
    void type(const std::string& text);
    void type_and_run(const std::string& text, int passes) {
        type(text);
        run_passes(passes);
    }
    void press_key(uint8_t code);
    void release_key(uint8_t code);
    void tap_key(uint8_t code) {
        press_key(code);
        release_key(code);
    }
    void scan(const std::vector<uint8_t>& bytes);
    void queue_for_poll(const std::vector<uint8_t>& bytes) { ps2_.queue(bytes); }
    void interrupt_keyboard();
    // Scan bytes (make/break, Shift included) that type one character; empty
    // when no key gives it.
    static std::vector<uint8_t> scan_codes_for(char ch);
    // Make code of a driver key code (E0-prefixed for the extended keys).
    static std::vector<uint8_t> make_code_for(uint8_t code);

    // ---- the monitor --------------------------------------------------------
    void monitor_script(const std::string& text);
    void monitor_script_key(uint8_t code);
    bool monitor_ran_dry() const { return monitor_ran_dry_; }
    int monitor_waits() const { return monitor_waits_; }

    // ---- what it shows ------------------------------------------------------
    std::vector<std::string> screen_text() const;
    std::string row(int r) const;
    bool screen_has(const std::string& text) const;
    consolereader::ConsoleReader console() const {
        return consolereader::ConsoleReader(fb_.data(), kWidth, kHeight, kPitch);
    }
    uint16_t pixel(uint32_t x, uint32_t y) const { return fb_[y * kWidth + x]; }
    uint16_t cell_pixel(int col, int row, int l, int k) const {
        return pixel(IO::kTextOrigin + IO::kCellWidth * col + 2 * l, IO::kTextOrigin + IO::kCellHeight * row + 2 * k);
    }
    void fill_framebuffer(uint16_t rgb);
    std::vector<uint16_t>& framebuffer() { return fb_; }

    // ---- parts -----------------------------------------------------------------
    void attach_fat32(tarn::filesystem::Fat32* fs);
    C64& machine() { return *machine_; }
    IO& io() { return *machine_->io(); }
    Memory& mem() { return *machine_->mem(); }
    Processor& cpu() { return *machine_->cpu(); }
    Vic& vic() { return *machine_->vic(); }
    Monitor& monitor() { return *machine_->monitor(); }
    IOKeyboardEventHandler& handler() { return handler_; }
    simbus::SimPs2& ps2() { return ps2_; }

private:
    void build();
    static void idle_hook();

    std::vector<uint16_t> fb_;
    simbus::SimPs2 ps2_{false};
    IOKeyboardEventHandler handler_;
    std::unique_ptr<tarn::GlobalDescriptorTable> gdt_;
    std::unique_ptr<tarn::hardwarecommunication::InterruptManager> interrupts_;
    std::unique_ptr<tarn::drivers::KeyboardDriver> keyboard_;
    std::unique_ptr<C64> machine_;
    tarn::filesystem::Fat32* fat32_ = nullptr;
    bool ended_ = false;
    int typed_since_pass_ = 0;
    std::deque<std::vector<uint8_t>> monitor_keys_;
    bool monitor_ran_dry_ = false;
    int monitor_waits_ = 0;
    static HeadlessMachine* current_;
};

#endif

// The headless machine: a whole C64 on a memory framebuffer, driven pass by
// pass, with keys delivered through the real keyboard driver.
#include "tests/support/headless_machine.h"

#include <gtest/gtest.h>

#include "c64/io.h"
#include "c64/memory.h"
#include "c64/monitor.h"
#include "drivers/keyboard.h"
#include "hardwarecommunication/interrupts.h"
#include "kernel/gdt.h"
#include "tests/support/simbus.h"

using tarn::GlobalDescriptorTable;
using tarn::drivers::KeyboardDriver;
using tarn::hardwarecommunication::InterruptManager;

namespace {
constexpr uint8_t kIrqBase = 0x20;
constexpr uint8_t kKeyboardVector = kIrqBase + 1;
constexpr uint8_t kScanShift = 0x2A;
constexpr uint8_t kBreak = 0x80;
constexpr uint8_t kPrefixExtended = 0xE0;
constexpr uint8_t kKeyEscape = 1;
constexpr int kTypeAhead = 8;        // keys typed before waiting for the KERNAL
constexpr uint16_t kKeyCount = 0xC6;  // characters in the KERNAL keyboard buffer
}  // namespace

HeadlessMachine* HeadlessMachine::current_ = nullptr;

HeadlessMachine::HeadlessMachine() : fb_(kWidth * kHeight, 0) {
    simbus::bus().reset();
    simbus::bus().set_logging(false);
    simbus::bus().attach(&ps2_);
    gdt_.reset(new GlobalDescriptorTable());
    interrupts_.reset(new InterruptManager(kIrqBase, gdt_.get(), nullptr));
    keyboard_.reset(new KeyboardDriver(interrupts_.get(), &handler_));
    interrupts_->Activate();
    g_scan_head = 0;
    g_scan_tail = 0;
    current_milli = 1000;
    C64::forget_run_state();
    g_face_active = 0;
    current_ = this;
    Monitor::idle_hook = &HeadlessMachine::idle_hook;
    // The kernel console shares the framebuffer, as after start-up.
    consolereader::AttachConsole(fb_.data(), kWidth, kHeight, kPitch);
    build();
}

HeadlessMachine::~HeadlessMachine() {
    consolereader::DetachConsole();
    c64ptr = nullptr;
    machine_.reset();
    Monitor::idle_hook = nullptr;
    current_ = nullptr;
    keyboard_.reset();
    interrupts_->Deactivate();
    interrupts_.reset();
    gdt_.reset();
    simbus::bus().detach(&ps2_);
    simbus::bus().reset();
}

// What kernelMain does for each machine, in its order.
void HeadlessMachine::build() {
    machine_.reset(new C64());
    c64ptr = machine_.get();
    machine_->io()->init_display(reinterpret_cast<u32*>(fb_.data()), kWidth, kHeight, kPitch, 16);
    if (fat32_) attach_fat32(fat32_);
    ended_ = false;
    machine_->begin_run();
}

void HeadlessMachine::rebuild() {
    // No key may reach a machine under rebuild.
    c64ptr = nullptr;
    machine_.reset();
    build();
}

void HeadlessMachine::attach_fat32(tarn::filesystem::Fat32* fs) {
    fat32_ = fs;
    machine_->io()->fat32(fs);
    machine_->monitor()->fat32(fs);
}

void HeadlessMachine::advance_ms(uint32_t ms) { current_milli = current_milli + ms; }

bool HeadlessMachine::run_pass() {
    if (ended_) return false;
    advance_ms(ms_per_pass);
    typed_since_pass_ = 0;
    if (!machine_->run_pass()) ended_ = true;
    return !ended_;
}

int HeadlessMachine::run_passes(int n) {
    int done = 0;
    while (done < n && run_pass()) done++;
    return done;
}

bool HeadlessMachine::run_until_text(const std::string& text, int max_passes) {
    for (int i = 0; i < max_passes; i++) {
        if (screen_has(text)) return true;
        if (!run_pass()) return screen_has(text);
    }
    return screen_has(text);
}

// ---- keyboard ------------------------------------------------------------------

void HeadlessMachine::interrupt_keyboard() { InterruptManager::HandleInterrupt(kKeyboardVector, 0x1000); }

void HeadlessMachine::scan(const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); i++) {
        ps2_.queue(bytes[i]);
        // The prefix and its follower arrive together, as on the wire.
        if (bytes[i] == kPrefixExtended && i + 1 < bytes.size()) ps2_.queue(bytes[++i]);
        interrupt_keyboard();
    }
}

std::vector<uint8_t> HeadlessMachine::scan_codes_for(char ch) {
    uint8_t c = static_cast<uint8_t>(ch);
    if (ch == '\n') c = 13;
    if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c + 0x20);  // C64 letters are unshifted
    for (uint8_t code = 1; code < 0x80; code++)
        if (C64::kmap[code] == c) return {code, static_cast<uint8_t>(code | kBreak)};
    for (uint8_t code = 1; code < 0x80; code++)
        if (C64::kmap_shift[code] == c)
            return {kScanShift, code, static_cast<uint8_t>(code | kBreak), static_cast<uint8_t>(kScanShift | kBreak)};
    return {};
}

std::vector<uint8_t> HeadlessMachine::make_code_for(uint8_t code) {
    for (uint8_t make = 1; make < 0x80; make++)
        if (tarn::drivers::keyboard_key_code(make) == code) return {make};
    for (uint8_t make = 1; make < 0x80; make++)
        if (tarn::drivers::keyboard_extended_key_code(make) == code) return {kPrefixExtended, make};
    return {};
}

// A typist who waits for the KERNAL: the C64 keeps only ten characters in
// its buffer, so after every eight keys the machine runs until it has taken
// them.
void HeadlessMachine::type(const std::string& text) {
    for (char ch : text) {
        std::vector<uint8_t> bytes = scan_codes_for(ch);
        EXPECT_FALSE(bytes.empty()) << "no key types '" << ch << "'";
        scan(bytes);
        if (++typed_since_pass_ < kTypeAhead) continue;
        run_pass();
        for (int i = 0; i < 50 && !ended_ && mem().read_byte_no_io(kKeyCount) != 0; i++) run_pass();
    }
}

void HeadlessMachine::press_key(uint8_t code) {
    std::vector<uint8_t> make = make_code_for(code);
    EXPECT_FALSE(make.empty()) << "no key sends code " << int(code);
    scan(make);
}

void HeadlessMachine::release_key(uint8_t code) {
    std::vector<uint8_t> bytes = make_code_for(code);
    EXPECT_FALSE(bytes.empty()) << "no key sends code " << int(code);
    if (bytes.empty()) return;
    bytes.back() |= kBreak;
    scan(bytes);
}

// ---- the monitor -----------------------------------------------------------------

void HeadlessMachine::monitor_script(const std::string& text) {
    for (char ch : text) {
        std::vector<uint8_t> bytes = scan_codes_for(ch);
        EXPECT_FALSE(bytes.empty()) << "no key types '" << ch << "'";
        for (uint8_t b : bytes) monitor_keys_.push_back({b});
    }
}

void HeadlessMachine::monitor_script_key(uint8_t code) {
    std::vector<uint8_t> make = make_code_for(code);
    EXPECT_FALSE(make.empty()) << "no key sends code " << int(code);
    if (make.empty()) return;
    monitor_keys_.push_back(make);
    make.back() |= kBreak;
    monitor_keys_.push_back(make);
}

// One key event per wait pass of Monitor::Start, as interrupts would arrive.
void HeadlessMachine::idle_hook() {
    HeadlessMachine* self = current_;
    if (!self) return;
    self->monitor_waits_++;
    if (self->monitor_keys_.empty()) {
        self->monitor_ran_dry_ = true;
        ADD_FAILURE() << "the monitor waited for a key the script does not have";
        // Leave the monitor so the test ends instead of hanging.
        self->handler_.OnKeyDown(kKeyEscape);
        return;
    }
    std::vector<uint8_t> bytes = self->monitor_keys_.front();
    self->monitor_keys_.pop_front();
    self->ps2_.queue(bytes);
    self->interrupt_keyboard();
}

// ---- what it shows -------------------------------------------------------------------

std::string HeadlessMachine::row(int r) const {
    std::string s;
    for (int col = 0; col < 40; col++) s += static_cast<char>(g_face_screen[40 * r + col]);
    return s;
}

std::vector<std::string> HeadlessMachine::screen_text() const {
    std::vector<std::string> rows;
    for (int r = 0; r < 25; r++) rows.push_back(row(r));
    return rows;
}

bool HeadlessMachine::screen_has(const std::string& text) const {
    for (int r = 0; r < 25; r++)
        if (row(r).find(text) != std::string::npos) return true;
    return false;
}

void HeadlessMachine::fill_framebuffer(uint16_t rgb) {
    for (uint16_t& p : fb_) p = rgb;
}

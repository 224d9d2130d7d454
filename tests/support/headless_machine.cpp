// The headless machine: a whole C64 on a memory framebuffer, driven pass by
// pass, with keys delivered through the real keyboard driver.
#include "tests/support/headless_machine.h"

#include <gtest/gtest.h>

#include "c64/kernal.h"
#include "c64/key_matrix.h"
#include "c64/memory.h"
#include "c64/monitor.h"
#include "c64/palette.h"
#include "c64/serial_bus.h"
#include "c64/text_keys.h"
#include "c64/text_view.h"
#include "drivers/framebuffer/pixel_format.h"
#include "drivers/keyboard.h"
#include "drivers/keyboard_decoder.h"
#include "hardwarecommunication/interrupts.h"
#include "kernel/gdt.h"
#include "tests/support/simbus.h"

using tarn::GlobalDescriptorTable;
using tarn::Key;
using tarn::drivers::KeyboardDriver;
using tarn::drivers::ScanSet1Decoder;
using tarn::hardwarecommunication::InterruptManager;

namespace {
constexpr uint8_t kIrqBase = 0x20;
constexpr uint8_t kKeyboardVector = kIrqBase + 1;
constexpr uint8_t kScanShift = 0x2A;
constexpr uint8_t kBreak = 0x80;
constexpr uint8_t kPrefixExtended = 0xE0;
constexpr uint8_t kLastMake = 0x58;
constexpr int kTypeAhead = 8;        // keys typed before waiting for the KERNAL
}  // namespace

HeadlessMachine* HeadlessMachine::current_ = nullptr;

HeadlessMachine::HeadlessMachine() : fb_(kWidth * kHeight, 0) {
    simbus::bus().reset();
    simbus::bus().set_logging(false);
    simbus::bus().attach(&ps2_);
    gdt_.reset(new GlobalDescriptorTable());
    interrupts_.reset(new InterruptManager(kIrqBase, gdt_->CodeSegmentSelector(), nullptr));
    keyboard_.reset(new KeyboardDriver(interrupts_.get(), &queue_));
    machine_keys_.reset(new tarn::host::PcKeys(&queue_, keyboard_.get()));
    machine_keys_->poll_devices(&HeadlessMachine::poll_devices);
    interrupts_->Activate();
    C64::forget_run_state();
    current_ = this;
    // The machine and the kernel console share the screen, as after start-up.
    consolereader::AttachConsole(fb_.data(), kWidth, kHeight, kPitch);
    screen_ = consolereader::AttachedConsoleScreen();
    build();
}

HeadlessMachine::~HeadlessMachine() {
    consolereader::DetachConsole();
    machine_.reset();
    current_ = nullptr;
    machine_keys_.reset();
    keyboard_.reset();
    interrupts_->Deactivate();
    interrupts_.reset();
    gdt_.reset();
    simbus::bus().detach(&ps2_);
    simbus::bus().reset();
}

// What the host's machine loop does for each machine, in its order.
void HeadlessMachine::build() {
    machine_.reset(new C64(C64::Host{machine_keys_.get(), &clock_, screen_, game_ports_}));
    if (fat32_) attach_fat32(fat32_);
    ended_ = false;
    machine_->begin_run();
}

void HeadlessMachine::rebuild() {
    machine_.reset();
    build();
}

void HeadlessMachine::attach_fat32(tarn::filesystem::Fat32* fs) {
    fat32_ = fs;
    machine_->serial_bus()->fat32(fs);
    machine_->monitor()->fat32(fs);
}

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

bool HeadlessMachine::buffer_key(uint8_t petscii) {
    u8 n = mem().read_byte_no_io(kernal::kKeyCount);
    if (n >= kernal::kKeyBufferSize) return false;
    mem().write_byte_no_io(static_cast<u16>(kernal::kKeyBuffer + n), petscii);
    mem().write_byte_no_io(kernal::kKeyCount, static_cast<u8>(n + 1));
    return true;
}

uint32_t HeadlessMachine::keys_pending() {
    return queue_.size() + machine_->text_keys()->waiting() + machine_->key_matrix()->waiting();
}

// One interrupt a byte, as the controller raises them.
void HeadlessMachine::scan(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
        ps2_.queue(b);
        interrupt_keyboard();
    }
}

std::vector<uint8_t> HeadlessMachine::scan_codes_for(char ch) {
    uint8_t c = static_cast<uint8_t>(ch == '\n' ? 13 : ch);
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');  // C64 letters are unshifted
    for (uint8_t make = 1; make <= kLastMake; make++)
        if (TextKeys::character(ScanSet1Decoder::key_for(make), false) == c)
            return {make, static_cast<uint8_t>(make | kBreak)};
    for (uint8_t make = 1; make <= kLastMake; make++)
        if (TextKeys::character(ScanSet1Decoder::key_for(make), true) == c)
            return {kScanShift, make, static_cast<uint8_t>(make | kBreak), static_cast<uint8_t>(kScanShift | kBreak)};
    return {};
}

std::vector<uint8_t> HeadlessMachine::make_code_for(Key key) {
    for (uint8_t make = 1; make <= kLastMake; make++)
        if (ScanSet1Decoder::key_for(make) == key) return {make};
    for (uint8_t make = 1; make < 0x80; make++)
        if (ScanSet1Decoder::extended_key_for(make) == key) return {kPrefixExtended, make};
    return {};
}

// A typist who waits for the KERNAL: after every eight keys the machine runs
// until it has taken them (in full mode, until they have been on the matrix).
void HeadlessMachine::type(const std::string& text) {
    for (char ch : text) {
        std::vector<uint8_t> bytes = scan_codes_for(ch);
        EXPECT_FALSE(bytes.empty()) << "no key types '" << ch << "'";
        scan(bytes);
        if (++typed_since_pass_ < kTypeAhead) continue;
        run_pass();
        for (int i = 0; i < 200 && !ended_ && (keys_pending() != 0 || mem().read_byte_no_io(kernal::kKeyCount) != 0); i++)
            run_pass();
    }
}

void HeadlessMachine::press_key(Key key) {
    std::vector<uint8_t> make = make_code_for(key);
    EXPECT_FALSE(make.empty()) << "no key sends usage " << int(key);
    scan(make);
}

void HeadlessMachine::release_key(Key key) {
    std::vector<uint8_t> bytes = make_code_for(key);
    EXPECT_FALSE(bytes.empty()) << "no key sends usage " << int(key);
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

void HeadlessMachine::monitor_script_key(Key key) {
    std::vector<uint8_t> make = make_code_for(key);
    EXPECT_FALSE(make.empty()) << "no key sends usage " << int(key);
    if (make.empty()) return;
    for (uint8_t b : make) monitor_keys_.push_back({b});
    monitor_keys_.push_back({static_cast<uint8_t>(make.back() | kBreak)});
}

// The key source found its queue empty. While the monitor waits for a key,
// the script's next byte arrives, as a typist's would.
void HeadlessMachine::poll_devices() {
    HeadlessMachine* self = current_;
    if (!self || !self->machine_ || !self->in_monitor()) return;
    self->monitor_waits_++;
    if (self->monitor_keys_.empty()) {
        self->monitor_ran_dry_ = true;
        ADD_FAILURE() << "the monitor waited for a key the script does not have";
        // Leave the monitor so the test ends instead of hanging.
        self->scan({0x01, 0x81});
        return;
    }
    std::vector<uint8_t> bytes = self->monitor_keys_.front();
    self->monitor_keys_.pop_front();
    self->scan(bytes);
}

// ---- what it shows -------------------------------------------------------------------

std::string HeadlessMachine::row(int r) const {
    std::string s;
    for (int col = 0; col < 40; col++) s += machine_->text_view()->shown(40 * r + col);
    return s;
}

uint16_t HeadlessMachine::cell_pixel(int col, int row, int l, int k) const {
    const TextView& v = *machine_->text_view();
    int s = v.scale();
    return pixel(static_cast<uint32_t>(v.left() + s * (TextView::kCellWidth * col + TextView::kDot * l)),
                 static_cast<uint32_t>(v.top() + s * (TextView::kCellHeight * row + TextView::kDot * k)));
}

uint16_t HeadlessMachine::colour(uint8_t c64_colour) {
    return static_cast<uint16_t>(tarn::drivers::PixelFormat::standard(16).encode(palette::rgb(c64_colour)));
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

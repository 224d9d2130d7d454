// Test bench for the C64 program images: a flat-memory 6502 with the real
// BASIC and KERNAL ROMs, whose character I/O entry points are served by the
// test (printed text is collected, input lines and keys are fed), so the
// resident monitor and the built-in program can be driven without a screen.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class Bench6502 {
public:
    Bench6502();

    uint8_t mem[65536];
    uint8_t a = 0, x = 0, y = 0, s = 0xFF, p = 0x24;
    uint16_t pc = 0;

    std::string out;                  // everything printed through CHROUT
    std::string colours;              // text colour ($0286) of each printed byte
    std::deque<std::string> lines;    // input lines for CHRIN (no CR)
    std::deque<uint8_t> keys;         // keys for GETIN
    bool warm_started = false;        // BASIC's warm start was reached
    bool starved = false;             // input was asked for but none was left
    uint64_t steps = 0;
    // Called once per instruction; lets a test play the host's part.
    std::function<void(Bench6502&)> on_step;

    // Places both program images as the host's placement does.
    void place_images();
    // Starts BASIC as the machine does at power-on, up to its first input.
    void boot_basic();
    // Runs until input runs out, BASIC's warm start, or the step budget.
    void run(uint64_t budget = 20000000);
    // Calls `address` as SYS would, with BASIC's return address stacked.
    void sys(uint16_t address);

    void push(uint8_t v) { mem[0x100 + s--] = v; }
    uint8_t pull() { return mem[0x100 + ++s]; }

private:
    std::string line_;                // line being handed out by CHRIN
    size_t line_pos_ = 0;
    bool line_open_ = false;

    bool trap();
    void step();
    void rts();
    void set_nz(uint8_t v);
    void adc(uint8_t v);
    void cmp(uint8_t r, uint8_t v);
    void branch(bool taken);
    uint16_t word(uint16_t at) { return mem[at] | mem[uint16_t(at + 1)] << 8; }
};

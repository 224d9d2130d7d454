// Test bench for the C64 program images: flat-memory 6502 and KERNAL I/O served by the test.
#include "bench6502.h"

#include <cstring>
#include <stdexcept>

#include "data/blobs.h"

namespace {
constexpr uint16_t kChrout = 0xFFD2;   // KERNAL jump table: print a character
constexpr uint16_t kChrin = 0xFFCF;    // input the next character of a line
constexpr uint16_t kGetin = 0xFFE4;    // next key or 0
constexpr uint16_t kStop = 0xFFE1;     // RUN/STOP test
constexpr uint16_t kClrchn = 0xFFCC;   // restore default channels
constexpr uint16_t kWarm = 0xE37B;     // BASIC warm start (READY.)
constexpr uint16_t kRamtas = 0xFD50;   // KERNAL RAM test: flat memory never ends
constexpr uint8_t C = 0x01, Z = 0x02, I = 0x04, D = 0x08, B = 0x10, V = 0x40, N = 0x80;
}

Bench6502::Bench6502() {
    for (int i = 0; i < 65536; ++i) mem[i] = (i & 1) ? 0xFF : 0x00;
    std::memcpy(mem + 0xA000, data_basic_rom, 8192);
    std::memcpy(mem + 0xE000, data_kernal_rom, 8192);
    // The machine's LOAD hook: leave request 4 at $0002 for the host and
    // return with the status and end address standing in zero page.
    const uint8_t load_hook[20] = {0xA9, 0x04, 0x8D, 0x02, 0x00, 0xA5, 0x90, 0x4A, 0x4A, 0xB0,
                                   0x61, 0x20, 0xD2, 0xF5, 0x18, 0xA6, 0xAE, 0xA4, 0xAF, 0x60};
    std::memcpy(mem + 0xF4C4, load_hook, sizeof load_hook);
    mem[0] = 0x2F;
    mem[1] = 0x37;
}

void Bench6502::place_images() {
    std::memcpy(mem + 0x9000, data_monitor_prg + 2, 4223);
    mem[0x316] = 0x00;
    mem[0x317] = 0x90;
    std::memcpy(mem + 0x0801, data_program_prg + 2, 47596);
    mem[0x2D] = 0xED;
    mem[0x2E] = 0xC1;
    // The copy reaches over $A000-$C1EC; the bench has one flat memory, so
    // put the BASIC ROM back where the processor would read it.
    std::memcpy(mem + 0xA000, data_basic_rom, 8192);
}

void Bench6502::boot_basic() {
    pc = word(0xFFFC);
    s = 0xFF;
    p = 0x24;
    run(3000000);
}

void Bench6502::sys(uint16_t address) {
    push(0xE1);   // SYS leaves BASIC's return address $E146 on the stack
    push(0x46);
    pc = address;
}

void Bench6502::rts() {
    pc = uint16_t(pull() | pull() << 8) + 1;
}

// Serves the KERNAL entry points the programs use; true when the
// instruction at pc was replaced by the bench.
bool Bench6502::trap() {
    switch (pc) {
    case kChrout:
        out += char(a);
        colours += char(mem[0x286]);
        p &= ~C;
        rts();
        return true;
    case kChrin:
        if (!line_open_) {
            if (lines.empty()) { starved = true; return true; }
            line_ = lines.front();
            lines.pop_front();
            line_pos_ = 0;
            line_open_ = true;
        }
        if (line_pos_ < line_.size()) {
            a = uint8_t(line_[line_pos_++]);
        } else {
            a = 0x0D;
            line_open_ = false;
        }
        p &= ~C;
        rts();
        return true;
    case kGetin:
        if (keys.empty()) {
            if (lines.empty()) { starved = true; return true; }
            a = 0;
        } else {
            a = keys.front();
            keys.pop_front();
        }
        set_nz(a);
        p &= ~C;
        rts();
        return true;
    case kStop:
        a = 0xFF;
        p &= ~Z;
        rts();
        return true;
    case kClrchn:
        rts();
        return true;
    case kRamtas:
        // What the RAM test leaves behind on a stock machine: cleared work
        // areas, tape buffer at $033C, memory $0800-$9FFF, screen at $0400.
        for (int i = 0x02; i <= 0x101; ++i) mem[i] = 0;
        for (int i = 0x200; i <= 0x3FF; ++i) mem[i] = 0;
        mem[0xB2] = 0x3C; mem[0xB3] = 0x03;
        mem[0x281] = 0x00; mem[0x282] = 0x08;
        mem[0x283] = 0x00; mem[0x284] = 0xA0;
        mem[0x288] = 0x04;
        rts();
        return true;
    case kWarm:
        warm_started = true;
        return true;
    default:
        return false;
    }
}

void Bench6502::run(uint64_t budget) {
    warm_started = false;
    starved = false;
    for (uint64_t n = 0; n < budget; ++n) {
        mem[0xD012] = 0;  // no raster here: the start-up wait for line 0 ends at once
        if (on_step) on_step(*this);
        if (trap()) {
            if (warm_started || starved) return;
            continue;
        }
        step();
        ++steps;
    }
}

void Bench6502::set_nz(uint8_t v) {
    p = (p & ~(N | Z)) | (v & N) | (v ? 0 : Z);
}

void Bench6502::adc(uint8_t v) {
    unsigned sum = a + v + (p & C);
    p &= ~(C | V);
    if (sum > 0xFF) p |= C;
    if (~(a ^ v) & (a ^ sum) & 0x80) p |= V;
    a = uint8_t(sum);
    set_nz(a);
}

void Bench6502::cmp(uint8_t r, uint8_t v) {
    p = (r >= v) ? (p | C) : (p & ~C);
    set_nz(uint8_t(r - v));
}

void Bench6502::branch(bool taken) {
    int8_t off = int8_t(mem[pc++]);
    if (taken) pc = uint16_t(pc + off);
}

void Bench6502::step() {
    uint8_t op = mem[pc++];
    // Effective address of the operand for the addressing mode in bits 2-4
    // (bbb) of the usual aaabbbcc opcode layout, fetched on demand.
    auto zp = [&] { return uint16_t(mem[pc++]); };
    auto ab = [&] { uint16_t w = word(pc); pc += 2; return w; };
    auto zpi = [&](uint8_t r) { return uint16_t(uint8_t(mem[pc++] + r)); };
    auto abi = [&](uint8_t r) { return uint16_t(ab() + r); };
    auto izx = [&] { uint8_t z = uint8_t(mem[pc++] + x); return uint16_t(mem[z] | mem[uint8_t(z + 1)] << 8); };
    auto izy = [&] { uint8_t z = mem[pc++]; return uint16_t((mem[z] | mem[uint8_t(z + 1)] << 8) + y); };
    auto group1 = [&]() -> uint16_t {   // cc = 01 addressing
        switch ((op >> 2) & 7) {
        case 0: return izx();
        case 1: return zp();
        case 2: return pc++;
        case 3: return ab();
        case 4: return izy();
        case 5: return zpi(x);
        case 6: return abi(y);
        default: return abi(x);
        }
    };
    // Read-modify-write and load/store of X/Y: cc = 10 / 00 addressing.
    auto group2 = [&](bool index_y) -> uint16_t {
        switch ((op >> 2) & 7) {
        case 0: return pc++;
        case 1: return zp();
        case 3: return ab();
        case 5: return zpi(index_y ? y : x);
        default: return abi(index_y ? y : x);
        }
    };
    auto rmw = [&](auto f) {
        if (((op >> 2) & 7) == 2) { a = f(a); set_nz(a); return; }
        uint16_t ea = group2(false);
        mem[ea] = f(mem[ea]);
        set_nz(mem[ea]);
    };
    auto asl = [&](uint8_t v) { p = (p & ~C) | (v >> 7); return uint8_t(v << 1); };
    auto lsr = [&](uint8_t v) { p = (p & ~C) | (v & 1); return uint8_t(v >> 1); };
    auto rol = [&](uint8_t v) { uint8_t c = p & C; p = (p & ~C) | (v >> 7); return uint8_t(v << 1 | c); };
    auto ror = [&](uint8_t v) { uint8_t c = p & C; p = (p & ~C) | (v & 1); return uint8_t(v >> 1 | c << 7); };

    switch (op) {
    // Single-byte and control-flow instructions first.
    case 0x00: pc++; push(pc >> 8); push(pc & 0xFF); push(p | B | 0x20); p |= I; pc = word(0xFFFE); return;
    case 0x20: { uint16_t t = ab(); pc--; push(pc >> 8); push(pc & 0xFF); pc = t; return; }
    case 0x40: p = pull() | 0x20; pc = pull() | pull() << 8; return;
    case 0x60: rts(); return;
    case 0x4C: pc = ab(); return;
    case 0x6C: { uint16_t t = ab(); pc = mem[t] | mem[(t & 0xFF00) | uint8_t(t + 1)] << 8; return; }
    case 0x08: push(p | B | 0x20); return;
    case 0x28: p = pull() | 0x20; return;
    case 0x48: push(a); return;
    case 0x68: a = pull(); set_nz(a); return;
    case 0x18: p &= ~C; return;
    case 0x38: p |= C; return;
    case 0x58: p &= ~I; return;
    case 0x78: p |= I; return;
    case 0xB8: p &= ~V; return;
    case 0xD8: p &= ~D; return;
    case 0xF8: p |= D; return;
    case 0xAA: x = a; set_nz(x); return;
    case 0xA8: y = a; set_nz(y); return;
    case 0x8A: a = x; set_nz(a); return;
    case 0x98: a = y; set_nz(a); return;
    case 0xBA: x = s; set_nz(x); return;
    case 0x9A: s = x; return;
    case 0xE8: set_nz(++x); return;
    case 0xC8: set_nz(++y); return;
    case 0xCA: set_nz(--x); return;
    case 0x88: set_nz(--y); return;
    case 0xEA: return;
    case 0x10: branch(!(p & N)); return;
    case 0x30: branch(p & N); return;
    case 0x50: branch(!(p & V)); return;
    case 0x70: branch(p & V); return;
    case 0x90: branch(!(p & C)); return;
    case 0xB0: branch(p & C); return;
    case 0xD0: branch(!(p & Z)); return;
    case 0xF0: branch(p & Z); return;
    case 0x24: case 0x2C: {
        uint8_t v = mem[op == 0x24 ? zp() : ab()];
        p = (p & ~(N | V | Z)) | (v & (N | V)) | ((a & v) ? 0 : Z);
        return;
    }
    case 0x86: mem[zp()] = x; return;
    case 0x96: mem[zpi(y)] = x; return;
    case 0x8E: mem[ab()] = x; return;
    case 0x84: mem[zp()] = y; return;
    case 0x94: mem[zpi(x)] = y; return;
    case 0x8C: mem[ab()] = y; return;
    case 0xA2: case 0xA6: case 0xB6: case 0xAE: case 0xBE: x = mem[group2(true)]; set_nz(x); return;
    case 0xA0: case 0xA4: case 0xB4: case 0xAC: case 0xBC: y = mem[group2(false)]; set_nz(y); return;
    case 0xE0: case 0xE4: case 0xEC: cmp(x, mem[group2(false)]); return;
    case 0xC0: case 0xC4: case 0xCC: cmp(y, mem[group2(false)]); return;
    default: break;
    }
    switch (op & 0xE3) {
    case 0x01: a |= mem[group1()]; set_nz(a); return;
    case 0x21: a &= mem[group1()]; set_nz(a); return;
    case 0x41: a ^= mem[group1()]; set_nz(a); return;
    case 0x61: adc(mem[group1()]); return;
    case 0x81: mem[group1()] = a; return;
    case 0xA1: a = mem[group1()]; set_nz(a); return;
    case 0xC1: cmp(a, mem[group1()]); return;
    case 0xE1: adc(uint8_t(~mem[group1()])); return;
    case 0x02: rmw(asl); return;
    case 0x22: rmw(rol); return;
    case 0x42: rmw(lsr); return;
    case 0x62: rmw(ror); return;
    case 0xC2: rmw([](uint8_t v) { return uint8_t(v - 1); }); return;
    case 0xE2: rmw([](uint8_t v) { return uint8_t(v + 1); }); return;
    default: break;
    }
    throw std::runtime_error("bench: no such opcode " + std::to_string(op) + " at " +
                             std::to_string(pc - 1));
}

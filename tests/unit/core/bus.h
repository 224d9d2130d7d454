// Flat 64 KiB test bus for the 6502 core, with a log of every write.
#ifndef TARN_TESTS_CORE_BUS_H
#define TARN_TESTS_CORE_BUS_H

#include <initializer_list>
#include <utility>
#include <vector>

#include "c64/core6502.h"

struct TestBus {
    u8 mem[0x10000];
    // Pages whose reads come from `rom` instead of `mem` (writes still land
    // in `mem`), like ROM banked over RAM.
    u8 rom[0x10000];
    bool rom_page[256];
    std::vector<std::pair<u16, u8>> writes;
    std::vector<u16> reads;
    bool log_reads = false;
};

extern TestBus g_bus;

// A core with cleared bus, code placed at `org` and pc pointing at it.
struct Machine {
    core6502_context c{};

    explicit Machine(u16 org = 0x0200, std::initializer_list<u8> code = {}) {
        for (u8& b : g_bus.mem) b = 0;
        for (bool& r : g_bus.rom_page) r = false;
        g_bus.writes.clear();
        g_bus.reads.clear();
        g_bus.log_reads = false;
        load(org, code);
        core6502_bind_pages(&c, nullptr, nullptr);  // every access through the hooks
        c.pc = org;
        c.s = 0xFF;
        c.flags = 0x20;
    }

    void load(u16 at, std::initializer_list<u8> bytes) {
        for (u8 b : bytes) g_bus.mem[at++] = b;
    }

    // Runs one instruction and returns the cycles it took.
    u32 step() {
        u32 before = c.cycles;
        core6502_step(&c);
        return c.cycles - before;
    }

    void steps(int n) {
        for (int i = 0; i < n; i++) core6502_step(&c);
    }

    u8& operator[](u16 a) { return g_bus.mem[a]; }
    bool flag(u8 f) const { return (c.flags & f) != 0; }
};

#endif

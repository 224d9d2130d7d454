// 6502 core: the page-map fast path gives the same machine state, and the
// same hook traffic on unmapped pages, as running every access through the
// bus hooks.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <random>
#include <utility>
#include <vector>

#include "tests/unit/core/bus.h"

namespace {

constexpr u8 kIoPage = 0xD0;         // no map: reads and writes through the hooks
constexpr u8 kWriteHookPage = 0xD4;  // reads mapped, writes through the hooks
constexpr int kIrqEvery = 97;        // steps between interrupt requests

bool hooked_read(u16 a) { return (a >> 8) == kIoPage; }

bool hooked_write(u16 a) {
    u8 page = static_cast<u8>(a >> 8);
    return page == kIoPage || page == kWriteHookPage || page == 0x00 || page == 0x01;
}

// Page maps over the test bus: ROM pages read from g_bus.rom and write to
// g_bus.mem, like ROM banked over RAM.
struct Maps {
    u8* read[256];
    u8* write[256];
    Maps() {
        for (int p = 0; p < 256; p++) {
            read[p] = g_bus.rom_page[p] ? g_bus.rom : g_bus.mem;
            write[p] = g_bus.mem;
            if (hooked_read(static_cast<u16>(p << 8))) read[p] = nullptr;
            if (hooked_write(static_cast<u16>(p << 8))) write[p] = nullptr;
        }
    }
};

struct Outcome {
    core6502_context c;
    std::vector<u8> mem;
    std::vector<std::pair<u16, u8>> writes;  // hook writes
    std::vector<u16> reads;                  // hook reads
};

struct Start {
    std::vector<u8> mem;
    core6502_context c;
};

Start random_start(u32 seed) {
    std::mt19937 rng(seed);
    Start s;
    s.mem.resize(0x10000);
    for (u8& b : s.mem) b = static_cast<u8>(rng());
    for (u8& b : g_bus.rom) b = static_cast<u8>(rng());
    for (int p = 0; p < 256; p++) g_bus.rom_page[p] = (p >= 0xA0 && p < 0xC0) || p >= 0xE0;
    s.c = core6502_context{};
    s.c.a = static_cast<u8>(rng());
    s.c.x = static_cast<u8>(rng());
    s.c.y = static_cast<u8>(rng());
    s.c.flags = static_cast<u8>(rng());
    s.c.s = static_cast<u8>(rng());
    s.c.pc = static_cast<u16>(rng());
    return s;
}

Outcome run(const Start& s, bool maps, int steps, std::bitset<256>* seen = nullptr) {
    std::copy(s.mem.begin(), s.mem.end(), g_bus.mem);
    g_bus.writes.clear();
    g_bus.reads.clear();
    g_bus.log_reads = true;
    Maps m;
    Outcome o;
    o.c = s.c;
    core6502_bind_pages(&o.c, maps ? m.read : nullptr, maps ? m.write : nullptr);
    for (int i = 1; i <= steps; i++) {
        core6502_step(&o.c);
        if (seen) seen->set(o.c.opcode);
        if (o.c.jammed) {  // step past a halt so the run goes on covering code
            o.c.jammed = false;
            o.c.pc++;
        }
        if (i % kIrqEvery == 0) core6502_irq(&o.c);
    }
    g_bus.log_reads = false;
    o.mem.assign(g_bus.mem, g_bus.mem + 0x10000);
    o.writes = g_bus.writes;
    o.reads = g_bus.reads;
    return o;
}

void expect_same_registers(const core6502_context& a, const core6502_context& b, u32 seed) {
    EXPECT_EQ(a.a, b.a) << "seed " << seed;
    EXPECT_EQ(a.x, b.x) << "seed " << seed;
    EXPECT_EQ(a.y, b.y) << "seed " << seed;
    EXPECT_EQ(a.flags, b.flags) << "seed " << seed;
    EXPECT_EQ(a.s, b.s) << "seed " << seed;
    EXPECT_EQ(a.pc, b.pc) << "seed " << seed;
    EXPECT_EQ(a.cycles, b.cycles) << "seed " << seed;
    EXPECT_EQ(a.ea, b.ea) << "seed " << seed;
    EXPECT_EQ(a.opcode, b.opcode) << "seed " << seed;
}

TEST(Pages, MappedRunsMatchHookRunsOnRandomCode) {
    std::bitset<256> seen;
    for (u32 seed = 1; seed <= 150; seed++) {
        Start s = random_start(seed);
        Outcome hooks = run(s, false, 3000);
        Outcome mapped = run(s, true, 3000, &seen);
        expect_same_registers(hooks.c, mapped.c, seed);
        EXPECT_TRUE(hooks.mem == mapped.mem) << "seed " << seed;

        // Of the hook run's traffic, exactly the accesses to unmapped pages
        // must reach the hooks in the mapped run, in the same order.
        std::vector<std::pair<u16, u8>> writes;
        for (const auto& w : hooks.writes)
            if (hooked_write(w.first)) writes.push_back(w);
        EXPECT_TRUE(writes == mapped.writes) << "seed " << seed;
        std::vector<u16> reads;
        for (u16 r : hooks.reads)
            if (hooked_read(r)) reads.push_back(r);
        EXPECT_TRUE(reads == mapped.reads) << "seed " << seed;
        if (HasFailure()) return;
    }
    EXPECT_EQ(seen.count(), 256u);  // every opcode ran through the mapped path
}

TEST(Pages, StoreUnderRomLandsInRamAndReadsStillSeeRom) {
    Machine m(0x0200, {0xA9, 0x5A, 0x8D, 0x00, 0xA0, 0xAD, 0x00, 0xA0});  // LDA #$5A; STA $A000; LDA $A000
    g_bus.rom_page[0xA0] = true;
    g_bus.rom[0xA000] = 0x77;
    Maps maps;
    core6502_bind_pages(&m.c, maps.read, maps.write);
    m.steps(3);
    EXPECT_EQ(g_bus.mem[0xA000], 0x5A);
    EXPECT_EQ(m.c.a, 0x77);
    EXPECT_TRUE(g_bus.writes.empty());  // plain RAM store, no hook
}

TEST(Pages, MapChangesTakeEffectOnTheNextAccess) {
    // LDA $3000 twice; between the steps the page is switched to another array.
    Machine m(0x0200, {0xAD, 0x00, 0x30, 0xAD, 0x00, 0x30});
    g_bus.mem[0x3000] = 0x11;
    g_bus.rom[0x3000] = 0x22;
    Maps maps;
    core6502_bind_pages(&m.c, maps.read, maps.write);
    m.step();
    EXPECT_EQ(m.c.a, 0x11);
    maps.read[0x30] = g_bus.rom;
    m.step();
    EXPECT_EQ(m.c.a, 0x22);
    maps.read[0x30] = nullptr;  // now through the hook
    g_bus.log_reads = true;
    m.c.pc = 0x0200;
    m.step();
    EXPECT_EQ(m.c.a, 0x11);
    ASSERT_EQ(g_bus.reads.size(), 1u);
    EXPECT_EQ(g_bus.reads[0], 0x3000);
}

TEST(Pages, InstructionsAcrossAPageEndOrInUnmappedCodeStillRun) {
    // LDA #$42 with its operand on the next page; then JSR into a code page
    // that only the hooks can read.
    Machine m(0x02FF, {0xA9, 0x42, 0x20, 0x00, 0xD0});
    m.load(0xD000, {0xE8, 0x60});  // INX; RTS
    Maps maps;
    core6502_bind_pages(&m.c, maps.read, maps.write);
    g_bus.log_reads = true;
    EXPECT_EQ(m.step(), 2u);
    EXPECT_EQ(m.c.a, 0x42);
    EXPECT_EQ(m.c.pc, 0x0301);
    m.steps(3);
    EXPECT_EQ(m.c.x, 1);
    EXPECT_EQ(m.c.pc, 0x0304);
    EXPECT_EQ(g_bus.reads, (std::vector<u16>{0xD000, 0xD001}));  // the two opcodes in the hooked page
    // JSR pushed through the hooks (page 1 is unmapped for writes).
    EXPECT_EQ(g_bus.writes, (std::vector<std::pair<u16, u8>>{{0x01FF, 0x03}, {0x01FE, 0x03}}));
}

}  // namespace

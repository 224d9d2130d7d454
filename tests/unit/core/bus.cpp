// Flat 64 KiB test bus: the core's memory hooks for this test program.
#include "tests/unit/core/bus.h"

TestBus g_bus;

u8 core6502_mem_read(core6502_context*, u16 address) {
    if (g_bus.log_reads) g_bus.reads.push_back(address);
    return g_bus.rom_page[address >> 8] ? g_bus.rom[address] : g_bus.mem[address];
}

void core6502_mem_write(core6502_context*, u16 address, u8 value) {
    g_bus.writes.push_back({address, value});
    g_bus.mem[address] = value;
}

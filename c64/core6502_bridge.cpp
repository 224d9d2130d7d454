// The machine's one 6502 core, bound to the C64 memory map.
#include "c64/core6502_bridge.h"

#include "c64/memory.h"

core6502_context g_ctx;
Memory* g_cpu_mem = nullptr;

namespace {
constexpr u16 kPlaceTrigger = 0x0139;  // $FF stored here places the program images
constexpr u8 kPlaceValue = 0xFF;
// BASIC's POKE routine ends JSR $B7EB; TXA; LDY #0; STA ($14),Y; RTS. Only
// that store counts: the trigger byte lies in the stack page, where pushes,
// interrupt frames and programs' own stores must leave RAM alone.
constexpr u16 kBasicPokeStore = 0xB82A;
constexpr u8 kStaIndirectY = 0x91;

// The handler of a store running from ROM has not yet moved ctx->pc past the
// instruction: it still names the opcode's address.
bool is_basic_poke(const core6502_context* ctx) {
    return ctx->opcode == kStaIndirectY && ctx->pc == kBasicPokeStore &&
           g_cpu_mem->bank(Memory::kBankBasic) == Memory::kROM;
}
}  // namespace

u8 core6502_mem_read(core6502_context*, u16 address) {
    return g_cpu_mem ? g_cpu_mem->read_byte(address) : 0;
}

void core6502_mem_write(core6502_context* ctx, u16 address, u8 value) {
    if (!g_cpu_mem) return;
    g_cpu_mem->write_byte(address, value);
    if (address == kPlaceTrigger && value == kPlaceValue && is_basic_poke(ctx)) g_cpu_mem->patch_ram();
}

void cpu6502_bind(Memory* mem) {
    g_cpu_mem = mem;
    if (mem) mem->clock(&g_ctx.cycles);
    // Plain RAM and ROM pages bypass the hooks; the rest still reach
    // Memory::read_byte / write_byte through them.
    core6502_bind_pages(mem ? mem->read_pages() : nullptr, mem ? mem->write_pages() : nullptr);
}
void cpu6502_reset() { core6502_reset(&g_ctx); }
// Text mode's step: at the boundary an NMI edge, or the tick (never the
// chips' IRQ sources, which text mode does not serve).
void cpu6502_step() { core6502_step_with_interrupts(&g_ctx, CORE6502_IRQ_TICK); }
// The tick: a pulse on the IRQ input, taken at this boundary unless masked,
// dropped otherwise.
void cpu6502_irq() {
    core6502_set_irq(&g_ctx, CORE6502_IRQ_TICK, true);
    core6502_take_interrupt(&g_ctx, CORE6502_IRQ_TICK);
    core6502_set_irq(&g_ctx, CORE6502_IRQ_TICK, false);
}
u16 cpu6502_pc() { return g_ctx.pc; }
void cpu6502_set_irq(u8 source, bool asserted) { core6502_set_irq(&g_ctx, source, asserted); }
void cpu6502_set_nmi(u8 source, bool asserted) { core6502_set_nmi(&g_ctx, source, asserted); }
u32 cpu6502_run(u32 until_cycle) { return core6502_run(&g_ctx, until_cycle); }
u32 cpu6502_cycles() { return g_ctx.cycles; }

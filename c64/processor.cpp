// The machine's 6510 over the C64 memory map.
#include "c64/processor.h"

#include "c64/memory.h"

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
bool is_basic_poke(const core6502_context* ctx, const Memory* mem) {
    return ctx->opcode == kStaIndirectY && ctx->pc == kBasicPokeStore && mem->bank(Memory::kBankBasic) == Memory::kROM;
}

Memory* memory_of(core6502_context* ctx) { return static_cast<Memory*>(ctx->bus); }
}  // namespace

// The core's bus hooks: every access the page maps do not serve directly.
u8 core6502_mem_read(core6502_context* ctx, u16 address) { return memory_of(ctx)->read_byte(address); }

void core6502_mem_write(core6502_context* ctx, u16 address, u8 value) {
    Memory* mem = memory_of(ctx);
    mem->write_byte(address, value);
    if (address == kPlaceTrigger && value == kPlaceValue && is_basic_poke(ctx, mem)) mem->patch_ram();
}

Processor::Processor(Memory* memory) : memory_(memory) {
    ctx_.bus = memory;
    memory->clock(&ctx_.cycles);
    bind_pages();
}

void Processor::bind_pages() {
    // Plain RAM and ROM pages bypass the hooks; the rest reach
    // Memory::read_byte / write_byte through them.
    core6502_bind_pages(&ctx_, memory_->read_pages(), memory_->write_pages());
}

void Processor::reset() { core6502_reset(&ctx_); }

// The run goes from window to window (the core holds one at a time) until
// `until` or a chip's earlier request.
u32 Processor::run(u32 until) {
    u32 start = ctx_.cycles;
    ctx_.request = until;
    int i = 0;
    while (static_cast<i32>(ctx_.cycles - ctx_.request) < 0) {
        while (i < window_count_ && static_cast<i32>(ctx_.cycles - windows_[i].until) >= 0) i++;
        u32 to = ctx_.request;
        if (i < window_count_) {
            ctx_.rdy_from = windows_[i].from;
            ctx_.rdy_until = windows_[i].until;
            if (static_cast<i32>(windows_[i].until - to) < 0) to = windows_[i].until;
        } else {
            ctx_.rdy_from = ctx_.rdy_until = 0;
        }
        core6502_run_segment(&ctx_, to);
    }
    ctx_.rdy_from = ctx_.rdy_until = 0;
    return ctx_.cycles - start;
}

void Processor::tick() {
    core6502_set_irq(&ctx_, kIrqTick, true);
    core6502_take_interrupt(&ctx_, kIrqTick);
    core6502_set_irq(&ctx_, kIrqTick, false);
}

void Processor::registers(const Registers& r) {
    ctx_.pc = r.pc;
    ctx_.a = r.a;
    ctx_.x = r.x;
    ctx_.y = r.y;
    ctx_.flags = r.flags;
    ctx_.s = r.s;
}

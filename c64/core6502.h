// NMOS 6502 interpreter: one instruction per step, driven by a 256-entry table.
//
// Time is the cycle counter. Instructions run whole; a bus hook that reaches
// a chip sees the counter at the cycle of that access (a load's or store's
// last cycle, a read-modify-write's last three). Interrupt inputs carry the
// cycle they changed at and are sampled as the chip samples them, in an
// instruction's next-to-last cycle. The RDY input halts read cycles.
#ifndef TARN_C64_CORE6502_H
#define TARN_C64_CORE6502_H

#include "lib/types.h"

struct core6502_context {
    u8 a;
    u8 x;
    u8 y;
    u8 flags;   // N V 1 B D I Z C (bit 7 .. bit 0)
    u8 s;       // stack at $0100 + s
    u16 pc;
    u32 cycles;
    u16 ea;     // effective address of the current instruction
    u8 opcode;
    u8 irq_lines;      // IRQ sources holding the line (a level)
    u8 nmi_lines;      // NMI sources holding the line
    bool nmi_pending;  // an NMI edge not yet taken
    bool jammed;       // a halting opcode ran: nothing more until reset
    u8 i_before;       // I before the last CLI, SEI or PLP (the IRQ check's view)
    u8 base;           // base cycles of the instruction running through the table
    u32 stop;          // core6502_run looks at its inputs again from this cycle
    u32 request;       // and returns to its caller from this one
    u32 poll_at;       // cycle at which the last instruction sampled IRQ and NMI
    u32 irq_since;     // cycle from which the IRQ line is held
    u32 nmi_since;     // cycle of the pending NMI edge
    u32 rdy_from;      // RDY is low in [rdy_from, rdy_until): read cycles
    u32 rdy_until;     // there wait for its end (none when equal)
    // Page maps (core6502_bind_pages) and the bus object the hooks serve.
    u8* const* read_pages;
    u8* const* write_pages;
    void* bus;
};

// Interrupt sources, one bit each on their line.
constexpr u8 CORE6502_IRQ_VIC = 0x01;      // VIC-II
constexpr u8 CORE6502_IRQ_CIA1 = 0x02;     // CIA 1
constexpr u8 CORE6502_IRQ_TICK = 0x04;     // text mode's instruction-count tick
constexpr u8 CORE6502_NMI_CIA2 = 0x01;     // CIA 2
constexpr u8 CORE6502_NMI_RESTORE = 0x02;  // the RESTORE key

// Status register bits.
constexpr u8 CORE6502_C = 0x01;
constexpr u8 CORE6502_Z = 0x02;
constexpr u8 CORE6502_I = 0x04;
constexpr u8 CORE6502_D = 0x08;
constexpr u8 CORE6502_B = 0x10;
constexpr u8 CORE6502_U = 0x20;
constexpr u8 CORE6502_V = 0x40;
constexpr u8 CORE6502_N = 0x80;

typedef void (*core6502_fn)(core6502_context* ctx);

struct core6502_opcode {
    core6502_fn mode;
    core6502_fn op;
    i32 cycles;
};

extern const core6502_opcode core6502_opcodes[256];

void core6502_reset(core6502_context* ctx);
// One instruction; nothing while halted.
void core6502_step(core6502_context* ctx);
// Takes an interrupt at this instruction boundary as the chip does (none
// while halted).
void core6502_irq(core6502_context* ctx);

// The IRQ input is a level: taken at an instruction boundary while any
// source holds it and I is clear. The NMI input is taken once on its edge,
// when the first source asserts it.
// Without a cycle the change happens now (during a bus hook, at the
// access's cycle).
void core6502_set_irq(core6502_context* ctx, u8 source, bool asserted);
void core6502_set_nmi(core6502_context* ctx, u8 source, bool asserted);
void core6502_set_irq_at(core6502_context* ctx, u8 source, bool asserted, u32 at);
void core6502_set_nmi_at(core6502_context* ctx, u8 source, bool asserted, u32 at);
// Makes a running core6502_run return to its caller once the instruction
// under way ends, if `at` lies before the point it would stop at.
void core6502_stop_by(core6502_context* ctx, u32 at);
// At this instruction boundary: enters a pending NMI, else an IRQ held by
// one of `irq_sources` unless masked. Returns whether one was entered.
bool core6502_take_interrupt(core6502_context* ctx, u8 irq_sources);
// One instruction, after taking at its boundary what core6502_take_interrupt
// would take.
void core6502_step_with_interrupts(core6502_context* ctx, u8 irq_sources);
// `count` instructions, each as core6502_step_with_interrupts runs it.
void core6502_steps(core6502_context* ctx, u32 count, u8 irq_sources);
// Runs whole instructions until the cycle counter reaches `until` (wrap-
// safe), the last one possibly past it. An interrupt is entered after the
// instruction whose sampling cycle saw it: the next-to-last cycle, or the
// first of a taken branch that stays in its page; CLI, SEI and PLP change I
// after their sampling. Read cycles that fall in the RDY window wait for
// its end; write cycles go on. Returns the cycles run.
u32 core6502_run(core6502_context* ctx, u32 until);
// The same up to `to`, or to ctx->request if that comes first (the caller
// sets it; core6502_stop_by lowers it).
void core6502_run_segment(core6502_context* ctx, u32 to);

u16 core6502_get_value(core6502_context* ctx);
void core6502_put_value(core6502_context* ctx, u16 value);
void core6502_push_8(core6502_context* ctx, u8 value);
void core6502_push_16(core6502_context* ctx, u16 value);
u8 core6502_pull_8(core6502_context* ctx);
u16 core6502_pull_16(core6502_context* ctx);
u16 core6502_mem_read16(core6502_context* ctx, u16 address);

// Bus hooks supplied by the owner of the core (the machine's Processor),
// reaching its bus through ctx->bus.
u8 core6502_mem_read(core6502_context* ctx, u16 address);
void core6502_mem_write(core6502_context* ctx, u16 address, u8 value);

// Page maps that let the core touch plain memory without the hooks: entry
// N of each 256-entry table is either null (every access to page N goes
// through the hooks) or the base of a 64 KiB array indexed by the full
// address. The owner of the tables may change entries at any time (bank
// switching); the core reads them on every access. Null tables mean "all
// pages through the hooks". A context must be bound before it runs.
void core6502_bind_pages(core6502_context* ctx, u8* const* read_pages, u8* const* write_pages);

#endif

// The machine's one 6502 core, bound to the C64 memory map.
#ifndef TARN_C64_CORE6502_BRIDGE_H
#define TARN_C64_CORE6502_BRIDGE_H

#include "c64/core6502.h"
#include "lib/types.h"

class Memory;

extern core6502_context g_ctx;
extern Memory* g_cpu_mem;

void cpu6502_bind(Memory* mem);
void cpu6502_reset();
// Text mode's step: one instruction, after taking at its boundary a pending
// NMI edge or an IRQ from the tick source only.
void cpu6502_step();
// Text mode's tick: a pulse of CORE6502_IRQ_TICK, taken now unless I masks it.
void cpu6502_irq();
u16 cpu6502_pc();
// Interrupt inputs of the running core and its clock.
void cpu6502_set_irq(u8 source, bool asserted);
void cpu6502_set_nmi(u8 source, bool asserted);
// Full mode: runs to the cycle count, taking every IRQ and NMI source.
u32 cpu6502_run(u32 until_cycle);
u32 cpu6502_cycles();

#endif

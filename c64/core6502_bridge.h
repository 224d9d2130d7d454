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
void cpu6502_step();
void cpu6502_irq();
u16 cpu6502_pc();
// Interrupt inputs of the running core and its clock.
void cpu6502_set_irq(u8 source, bool asserted);
void cpu6502_set_nmi(u8 source, bool asserted);
u32 cpu6502_run(u32 until_cycle);
u32 cpu6502_cycles();

#endif

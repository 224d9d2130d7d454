// Processor control instructions the kernel needs outside the port classes:
// interrupt flag, halt, and loading the descriptor-table registers. The kernel
// build implements them in cpu_control_x86.cpp; the host build in the
// simulated bus, which records the interrupt flag and the loaded tables.
#ifndef TARN_HARDWARECOMMUNICATION_CPU_CONTROL_H
#define TARN_HARDWARECOMMUNICATION_CPU_CONTROL_H

#include "lib/types.h"

namespace tarn {
namespace hardwarecommunication {

void cpu_disable_interrupts();             // cli
void cpu_enable_interrupts();              // sti
void cpu_halt_forever();                   // cli; hlt in a loop; never returns on hardware
void cpu_wait_for_interrupt();             // sti; hlt: sleeps until the next interrupt
void cpu_load_idt(const void* idtr);       // lidt [idtr]
void cpu_load_gdt(const void* gdtr);       // lgdt [gdtr], then reload the segment registers
// pushf; cli: interrupts off, and whether they were on, for restoring.
bool cpu_interrupts_off();
void cpu_interrupts_restore(bool were_on);
// CPUID: whether the time-stamp counter runs at one rate whatever the
// processor's power state (leaf 0x80000007, EDX bit 8).
bool cpu_invariant_tsc();
u64 cpu_read_tsc();                        // rdtsc

}  // namespace hardwarecommunication
}  // namespace tarn

#endif

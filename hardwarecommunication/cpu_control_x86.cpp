// Processor control instructions (kernel build only).
#include "hardwarecommunication/cpu_control.h"

namespace tarn {
namespace hardwarecommunication {

void cpu_disable_interrupts() { __asm__ volatile("cli"); }
void cpu_enable_interrupts() { __asm__ volatile("sti"); }

void cpu_halt_forever() {
    for (;;) __asm__ volatile("cli; hlt");
}

void cpu_wait_for_interrupt() { __asm__ volatile("sti; hlt"); }

void cpu_load_idt(const void* idtr) { __asm__ volatile("lidt (%0)" : : "r"(idtr)); }

void cpu_load_gdt(const void* gdtr) {
    // Code selector 0x10, data selector 0x18 (null, unused, code, data).
    __asm__ volatile(
        "lgdt (%0)\n"
        "movw $0x18, %%ax\n"
        "movw %%ax, %%ds\n movw %%ax, %%es\n movw %%ax, %%fs\n"
        "movw %%ax, %%gs\n movw %%ax, %%ss\n"
        "ljmp $0x10, $1f\n"
        "1:\n"
        :
        : "r"(gdtr)
        : "eax", "memory");
}

}  // namespace hardwarecommunication
}  // namespace tarn

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

bool cpu_interrupts_off() {
    u32 flags;
    __asm__ volatile("pushf; pop %0; cli" : "=r"(flags) : : "memory");
    return (flags & 0x200) != 0;  // IF
}

void cpu_interrupts_restore(bool were_on) {
    if (were_on) __asm__ volatile("sti" : : : "memory");
}

namespace {
void cpuid(u32 leaf, u32* a, u32* b, u32* c, u32* d) {
    __asm__ volatile("cpuid" : "=a"(*a), "=b"(*b), "=c"(*c), "=d"(*d) : "a"(leaf), "c"(0));
}
}  // namespace

// Every processor this kernel runs on (i686 and up) has CPUID and RDTSC.
bool cpu_invariant_tsc() {
    u32 a, b, c, d;
    cpuid(0x80000000, &a, &b, &c, &d);
    if (a < 0x80000007) return false;
    cpuid(0x80000007, &a, &b, &c, &d);
    return (d & (1u << 8)) != 0;
}

u64 cpu_read_tsc() {
    u32 low, high;
    __asm__ volatile("rdtsc" : "=a"(low), "=d"(high));
    return static_cast<u64>(high) << 32 | low;
}

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

// SSE state and paging with the PAT (kernel build only).
#include "kernel/cpu_setup.h"

#include "kernel/page_directory.h"

namespace tarn {

namespace {

// CPUID leaf 1, EDX.
const u32 kCpuidPse = 1u << 3;
const u32 kCpuidPat = 1u << 16;
const u32 kCpuidFxsr = 1u << 24;
const u32 kCpuidSse = 1u << 25;
const u32 kCpuidSse2 = 1u << 26;

const u32 kCr0Mp = 1u << 1;
const u32 kCr0Em = 1u << 2;
const u32 kCr0Pg = 1u << 31;
const u32 kCr4Pse = 1u << 4;
const u32 kCr4Osfxsr = 1u << 9;
const u32 kCr4Osxmmexcpt = 1u << 10;

const u32 kMsrPat = 0x277;

PageTables g_page_tables;

u32 cpuid_features() {
    u32 eax = 1, ebx, ecx, edx;
    __asm__ volatile("cpuid" : "+a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx));
    return edx;
}

u32 read_cr0() {
    u32 v;
    __asm__ volatile("mov %%cr0, %0" : "=r"(v));
    return v;
}
void write_cr0(u32 v) { __asm__ volatile("mov %0, %%cr0" : : "r"(v) : "memory"); }
u32 read_cr4() {
    u32 v;
    __asm__ volatile("mov %%cr4, %0" : "=r"(v));
    return v;
}
void write_cr4(u32 v) { __asm__ volatile("mov %0, %%cr4" : : "r"(v) : "memory"); }
void write_cr3(u32 v) { __asm__ volatile("mov %0, %%cr3" : : "r"(v) : "memory"); }

void write_msr(u32 msr, u64 value) {
    __asm__ volatile("wrmsr" : : "c"(msr), "a"(static_cast<u32>(value)), "d"(static_cast<u32>(value >> 32)));
}

}  // namespace

bool cpu_enable_sse2() {
    const u32 needed = kCpuidFxsr | kCpuidSse | kCpuidSse2;
    if ((cpuid_features() & needed) != needed) return false;
    write_cr0((read_cr0() & ~kCr0Em) | kCr0Mp);
    write_cr4(read_cr4() | kCr4Osfxsr | kCr4Osxmmexcpt);
    return true;
}

bool cpu_map_write_combining(u32 base, u32 size) {
    const u32 needed = kCpuidPse | kCpuidPat;
    if ((cpuid_features() & needed) != needed) return false;
    const u32 edges[2] = {static_cast<u32>(reinterpret_cast<uintptr_t>(g_page_tables.edge[0])),
                          static_cast<u32>(reinterpret_cast<uintptr_t>(g_page_tables.edge[1]))};
    build_identity_map(&g_page_tables, edges, base, size);
    // No page uses PAT entry 4 yet, so it can change before paging starts.
    write_msr(kMsrPat, kPatValue);
    write_cr4(read_cr4() | kCr4Pse);
    write_cr3(static_cast<u32>(reinterpret_cast<uintptr_t>(g_page_tables.directory)));
    write_cr0(read_cr0() | kCr0Pg);
    return true;
}

}  // namespace tarn

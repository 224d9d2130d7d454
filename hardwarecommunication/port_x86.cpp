// x86 port primitives (kernel build only).
#include "hardwarecommunication/port.h"

namespace tarn {
namespace hardwarecommunication {

u8 Port8Bit::Read8(u16 port) {
    u8 result;
    __asm__ volatile("inb %1, %0" : "=a"(result) : "Nd"(port));
    return result;
}

void Port8Bit::Write8(u16 port, u8 data) {
    __asm__ volatile("outb %0, %1" : : "a"(data), "Nd"(port));
}

void Port8BitSlow::Write8Slow(u16 port, u8 data) {
    __asm__ volatile("outb %0, %1\njmp 1f\n1: jmp 1f\n1:" : : "a"(data), "Nd"(port));
}

u16 Port16Bit::Read16(u16 port) {
    u16 result;
    __asm__ volatile("inw %1, %0" : "=a"(result) : "Nd"(port));
    return result;
}

void Port16Bit::Write16(u16 port, u16 data) {
    __asm__ volatile("outw %0, %1" : : "a"(data), "Nd"(port));
}

u32 Port32Bit::Read32(u16 port) {
    u32 result;
    __asm__ volatile("inl %1, %0" : "=a"(result) : "Nd"(port));
    return result;
}

void Port32Bit::Write32(u16 port, u32 data) {
    __asm__ volatile("outl %0, %1" : : "a"(data), "Nd"(port));
}

}  // namespace hardwarecommunication
}  // namespace tarn

// Memory-mapped device registers: the one place the kernel loads and stores
// them. The kernel runs unpaged, so a register's physical address is its
// address. Each access is one volatile load or store of the register's
// width; 64-bit registers are reached as two 32-bit halves, low half first,
// as controllers on a 32-bit bus expect.
#ifndef TARN_HARDWARECOMMUNICATION_MMIO_H
#define TARN_HARDWARECOMMUNICATION_MMIO_H

#include "lib/types.h"

namespace tarn {
namespace hardwarecommunication {

// Orders the stores to memory a device reads (rings, descriptors) before
// the register store that tells the device to look. x86 keeps stores in
// program order, so only the compiler has to be stopped from moving them.
inline void dma_barrier() { __asm__ volatile("" ::: "memory"); }

class MmioRegion {
public:
    MmioRegion() : base_(0) {}
    explicit MmioRegion(uintptr_t base) : base_(base) {}

    uintptr_t base() const { return base_; }
    bool valid() const { return base_ != 0; }
    // The registers from offset on, as a region of their own.
    MmioRegion at(u32 offset) const { return MmioRegion(base_ + offset); }

    u8 read8(u32 offset) const { return *reinterpret_cast<volatile const u8*>(base_ + offset); }
    u16 read16(u32 offset) const { return *reinterpret_cast<volatile const u16*>(base_ + offset); }
    u32 read32(u32 offset) const { return *reinterpret_cast<volatile const u32*>(base_ + offset); }
    u64 read64(u32 offset) const {
        u64 low = read32(offset);
        return low | static_cast<u64>(read32(offset + 4)) << 32;
    }

    void write8(u32 offset, u8 value) const { *reinterpret_cast<volatile u8*>(base_ + offset) = value; }
    void write16(u32 offset, u16 value) const {
        *reinterpret_cast<volatile u16*>(base_ + offset) = value;
    }
    void write32(u32 offset, u32 value) const {
        dma_barrier();
        *reinterpret_cast<volatile u32*>(base_ + offset) = value;
    }
    void write64(u32 offset, u64 value) const {
        write32(offset, static_cast<u32>(value));
        write32(offset + 4, static_cast<u32>(value >> 32));
    }

private:
    uintptr_t base_;
};

}  // namespace hardwarecommunication
}  // namespace tarn

#endif

// Memory a controller reads and writes by itself (AHCI, NVMe and xHCI alike):
// zeroed, aligned as the controller asks, physically contiguous and below
// 4 GiB. The kernel is 32-bit and identity-mapped with one physical heap, so
// a heap block is all of that and its device address is the pointer itself.
// A block no larger than its alignment never crosses a boundary of that
// alignment: a page-aligned page stays clear of the 64 KiB boundaries xHCI
// forbids rings and buffers to cross.
#ifndef TARN_DRIVERS_DMA_MEMORY_H
#define TARN_DRIVERS_DMA_MEMORY_H

#include "lib/types.h"

namespace tarn {
namespace drivers {

const u32 kDmaPage = 4096;

// bytes zeroed bytes at a multiple of alignment (a power of two); null when
// the heap has no room.
u8* DmaAllocate(u32 bytes, u32 alignment);
// A block from DmaAllocate back to the heap; null is ignored.
void DmaFree(void* block);

// The address a controller uses for memory the kernel sees at p, and back.
inline u64 DeviceAddress(const volatile void* p) { return (u64)(uintptr_t)p; }
inline void* HostPointer(u64 address) { return (void*)(uintptr_t)address; }

}  // namespace drivers
}  // namespace tarn

#endif

// Memory a controller reads and writes by itself: aligned, physically
// contiguous (the kernel is identity-mapped and the heap is one physical
// range), zeroed, and its device address.
#ifndef TARN_DRIVERS_DMA_MEMORY_H
#define TARN_DRIVERS_DMA_MEMORY_H

#include "lib/types.h"

namespace tarn {
namespace drivers {

// bytes from the heap at a multiple of alignment (a power of two), zeroed;
// null when the heap has no room. Controllers keep it for ever.
u8* DmaAllocate(u32 bytes, u32 alignment);

// The address a controller uses for memory the kernel sees at p.
inline u64 DeviceAddress(const void* p) { return (u64)(uintptr_t)p; }

}  // namespace drivers
}  // namespace tarn

#endif

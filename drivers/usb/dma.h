// Memory a USB controller reads and writes by itself: zeroed, aligned as
// the controller asks, and (for blocks no larger than their alignment) never
// across a boundary of that alignment, so a page-aligned page never crosses
// the 64 KiB boundaries xHCI forbids. The kernel is identity-mapped, so the
// address the controller is given is the pointer itself.
#ifndef TARN_DRIVERS_USB_DMA_H
#define TARN_DRIVERS_USB_DMA_H

#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

const u32 kPage = 4096;

// size zeroed bytes at a multiple of align (a power of two); null when the
// heap cannot supply them.
void* dma_alloc(u32 size, u32 align);
// A block from dma_alloc; null is ignored.
void dma_free(void* block);

inline u64 dma_address(const volatile void* p) {
    return static_cast<u64>(reinterpret_cast<uintptr_t>(p));
}
inline void* dma_pointer(u64 address) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(address));
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

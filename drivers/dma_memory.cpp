// Aligned controller memory from the heap.
#include "drivers/dma_memory.h"

namespace tarn {
namespace drivers {

u8* DmaAllocate(u32 bytes, u32 alignment) {
    u8* raw = new u8[bytes + alignment];
    if (!raw) return nullptr;
    uintptr_t at = ((uintptr_t)raw + alignment - 1) & ~(uintptr_t)(alignment - 1);
    u8* p = (u8*)at;
    for (u32 i = 0; i < bytes; i++) p[i] = 0;
    return p;
}

}  // namespace drivers
}  // namespace tarn

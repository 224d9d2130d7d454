// Aligned, zeroed controller memory from the heap.
#include "drivers/dma_memory.h"

namespace tarn {
namespace drivers {

// The heap's own pointer is kept in the word below the aligned block, so
// the block can be given back.
u8* DmaAllocate(u32 bytes, u32 alignment) {
    if (alignment < sizeof(void*)) alignment = sizeof(void*);
    u8* raw = new u8[bytes + alignment + sizeof(void*)];
    if (!raw) return nullptr;
    uintptr_t at = (uintptr_t)raw + sizeof(void*);
    at = (at + alignment - 1) & ~(uintptr_t)(alignment - 1);
    u8* block = (u8*)at;
    ((u8**)block)[-1] = raw;
    for (u32 i = 0; i < bytes; i++) block[i] = 0;
    return block;
}

void DmaFree(void* block) {
    if (!block) return;
    delete[] ((u8**)block)[-1];
}

}  // namespace drivers
}  // namespace tarn

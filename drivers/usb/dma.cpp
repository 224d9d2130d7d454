// Aligned, zeroed blocks from the kernel heap for the controller's use.
#include "drivers/usb/dma.h"

namespace tarn {
namespace drivers {
namespace usb {

// The heap's own pointer is kept in the word below the aligned block.
void* dma_alloc(u32 size, u32 align) {
    if (align < sizeof(void*)) align = sizeof(void*);
    u8* raw = new u8[size + align + sizeof(void*)];
    if (!raw) return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(raw) + sizeof(void*);
    start = (start + align - 1) & ~static_cast<uintptr_t>(align - 1);
    u8* block = reinterpret_cast<u8*>(start);
    reinterpret_cast<u8**>(block)[-1] = raw;
    __builtin_memset(block, 0, size);
    return block;
}

void dma_free(void* block) {
    if (!block) return;
    delete[] reinterpret_cast<u8**>(block)[-1];
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

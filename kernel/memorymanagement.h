// Kernel heap: one contiguous region, a doubly linked list of chunks in
// address order, first fit with splitting, merging of free neighbours.
#ifndef TARN_KERNEL_MEMORYMANAGEMENT_H
#define TARN_KERNEL_MEMORYMANAGEMENT_H

#include <new>  // placement new: hands back the place it is given

#include "lib/types.h"

namespace tarn {

// The header in front of every block. On the i386 kernel it is 16 bytes:
//   +0 next   +4 prev   +8 allocated (1 byte, 3 padding)   +12 size
// The payload follows it directly; the next header follows the payload.
struct HeapChunk {
    HeapChunk* next;   // following chunk in address order, null for the last
    HeapChunk* prev;   // preceding chunk, null for the first
    bool allocated;    // handed out by malloc, not yet freed
    u32 size;          // payload bytes after this header
};

class MemoryManager {
public:
    // Bytes the chunk header takes in front of each payload.
    static constexpr u32 kHeaderSize = sizeof(HeapChunk);

    // The manager allocations go to; the newest one constructed.
    static MemoryManager* activeMemoryManager;

    MemoryManager(u32 start, u32 size);
    ~MemoryManager();

    // At least size bytes, or null when no free chunk is larger than size.
    void* malloc(size_t size);
    // Returns a block from this manager's malloc; null is ignored.
    void free(void* pointer);

    HeapChunk* FirstChunk() const { return firstChunk; }

    // What the global operators do: allocate from / return to the active
    // manager, null (or nothing) when there is none.
    static void* AllocateFromActive(size_t size);
    static void FreeToActive(void* pointer);

private:
    HeapChunk* firstChunk;
};

}  // namespace tarn

#endif

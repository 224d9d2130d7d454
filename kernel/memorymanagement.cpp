// Kernel heap: first-fit allocation over a chunk list laid in one region.
#include "kernel/memorymanagement.h"

namespace tarn {

#ifndef TARN_HOST
// Placement of every payload depends on this: a header is four 32-bit words.
static_assert(sizeof(HeapChunk) == 16, "heap chunk header must be 16 bytes on i386");
#endif

MemoryManager* MemoryManager::activeMemoryManager = nullptr;

namespace {

u8* payload_of(HeapChunk* chunk) { return reinterpret_cast<u8*>(chunk) + MemoryManager::kHeaderSize; }

HeapChunk* chunk_of(void* pointer) {
    return reinterpret_cast<HeapChunk*>(static_cast<u8*>(pointer) - MemoryManager::kHeaderSize);
}

// Cuts chunk down to size payload bytes and lays a free chunk with the rest
// right behind it.
void split(HeapChunk* chunk, size_t size) {
    HeapChunk* rest = reinterpret_cast<HeapChunk*>(payload_of(chunk) + size);
    rest->allocated = false;
    rest->size = chunk->size - static_cast<u32>(size) - MemoryManager::kHeaderSize;
    rest->prev = chunk;
    rest->next = chunk->next;
    if (rest->next) rest->next->prev = rest;
    chunk->size = static_cast<u32>(size);
    chunk->next = rest;
}

// Folds chunk's successor (header included) into chunk.
void absorb_next(HeapChunk* chunk) {
    HeapChunk* next = chunk->next;
    chunk->size += next->size + MemoryManager::kHeaderSize;
    chunk->next = next->next;
    if (chunk->next) chunk->next->prev = chunk;
}

}  // namespace

MemoryManager::MemoryManager(u32 start, u32 size) : firstChunk(nullptr) {
    activeMemoryManager = this;
    if (size < kHeaderSize) return;
    firstChunk = reinterpret_cast<HeapChunk*>(static_cast<uintptr_t>(start));
    firstChunk->allocated = false;
    firstChunk->prev = nullptr;
    firstChunk->next = nullptr;
    firstChunk->size = size - kHeaderSize;
}

MemoryManager::~MemoryManager() {
    if (activeMemoryManager == this) activeMemoryManager = nullptr;
}

void* MemoryManager::malloc(size_t size) {
    HeapChunk* chosen = firstChunk;
    while (chosen && (chosen->allocated || chosen->size <= size)) chosen = chosen->next;
    if (!chosen) return nullptr;
    // Split only when the rest holds a header and at least one byte; the
    // difference form cannot wrap, since chosen->size > size here.
    if (chosen->size - size >= kHeaderSize + 1) split(chosen, size);
    chosen->allocated = true;
    return payload_of(chosen);
}

void MemoryManager::free(void* pointer) {
    if (!pointer) return;  // header would be 16 bytes below address 0
    HeapChunk* chunk = chunk_of(pointer);
    chunk->allocated = false;
    if (chunk->prev && !chunk->prev->allocated) {
        chunk = chunk->prev;
        absorb_next(chunk);
    }
    if (chunk->next && !chunk->next->allocated) absorb_next(chunk);
}

void* MemoryManager::AllocateFromActive(size_t size) {
    return activeMemoryManager ? activeMemoryManager->malloc(size) : nullptr;
}

void MemoryManager::FreeToActive(void* pointer) {
    if (activeMemoryManager) activeMemoryManager->free(pointer);
}

}  // namespace tarn

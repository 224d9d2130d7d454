// Kernel heap: the global allocation operators, all served by the active
// MemoryManager (kernel build only; the host build keeps its C library's).
// They return null instead of throwing; the kernel is built with -fcheck-new
// so a failed `new T` skips the constructor and yields null.
#include "kernel/memorymanagement.h"

using tarn::MemoryManager;

void* operator new(size_t size) { return MemoryManager::AllocateFromActive(size); }
void* operator new[](size_t size) { return MemoryManager::AllocateFromActive(size); }

void operator delete(void* pointer) noexcept { MemoryManager::FreeToActive(pointer); }
void operator delete[](void* pointer) noexcept { MemoryManager::FreeToActive(pointer); }
void operator delete(void* pointer, size_t) noexcept { MemoryManager::FreeToActive(pointer); }
void operator delete[](void* pointer, size_t) noexcept { MemoryManager::FreeToActive(pointer); }

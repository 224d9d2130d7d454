// Frames handed to the dispatcher travel as 32-bit stack pointers, so host
// tests keep them (and strings they point to) below 4 GiB.
#ifndef TARN_TESTS_UNIT_HWCOMM_LOW_MEMORY_H
#define TARN_TESTS_UNIT_HWCOMM_LOW_MEMORY_H

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

class LowMemory {
public:
    explicit LowMemory(size_t bytes) : size_(bytes) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT,
                       -1, 0);
        base_ = (p == MAP_FAILED) ? nullptr : static_cast<uint8_t*>(p);
    }
    ~LowMemory() {
        if (base_) munmap(base_, size_);
    }
    LowMemory(const LowMemory&) = delete;
    LowMemory& operator=(const LowMemory&) = delete;

    uint8_t* get() const { return base_; }
    template <typename T>
    T* as(size_t offset = 0) const { return reinterpret_cast<T*>(base_ + offset); }
    uint32_t address(size_t offset = 0) const {
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(base_ + offset));
    }

private:
    uint8_t* base_;
    size_t size_;
};

#endif

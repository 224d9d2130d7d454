// The few routines a freestanding C++ compiler may call on its own
// (kernel build only; the host build gets them from its C library).
#include "lib/types.h"

extern "C" {

void* memcpy(void* dst, const void* src, size_t n) {
    u8* d = static_cast<u8*>(dst);
    const u8* s = static_cast<const u8*>(src);
    while (n--) *d++ = *s++;
    return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
    u8* d = static_cast<u8*>(dst);
    const u8* s = static_cast<const u8*>(src);
    if (d < s) {
        while (n--) *d++ = *s++;
    } else {
        d += n;
        s += n;
        while (n--) *--d = *--s;
    }
    return dst;
}

void* memset(void* dst, int value, size_t n) {
    u8* d = static_cast<u8*>(dst);
    while (n--) *d++ = static_cast<u8>(value);
    return dst;
}

int memcmp(const void* a, const void* b, size_t n) {
    const u8* x = static_cast<const u8*>(a);
    const u8* y = static_cast<const u8*>(b);
    for (; n; --n, ++x, ++y)
        if (*x != *y) return *x < *y ? -1 : 1;
    return 0;
}

// A pure virtual call means a broken object; stop rather than run on.
void __cxa_pure_virtual() {
    for (;;) __asm__ volatile("cli; hlt");
}

void* __dso_handle = nullptr;

}

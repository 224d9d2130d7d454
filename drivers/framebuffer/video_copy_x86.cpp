// Copies into video memory (kernel build): byte and 32-bit stores up to a
// 16-byte boundary, then 64 bytes a step in four aligned SSE2 stores (one
// write-combining line), or rep movsd without SSE2; the tail the same way
// back down.
#include "drivers/framebuffer/video_copy.h"

namespace tarn {
namespace drivers {

namespace {

bool g_sse2 = false;

void copy_bytes(u8*& video, const u8*& ram, u32 n) {
    for (; n; n--) *video++ = *ram++;
}

void copy_words(u8*& video, const u8*& ram, u32 words) {
    __asm__ volatile("cld; rep movsl" : "+D"(video), "+S"(ram), "+c"(words) : : "memory");
}

// video is 16-byte aligned; ram need not be. Only this function is built
// for SSE2, so the rest of the kernel never touches the XMM registers.
__attribute__((target("sse2"), noinline)) void copy_lines_sse2(u8*& video, const u8*& ram, u32 lines) {
    for (; lines; lines--, video += 64, ram += 64)
        __asm__ volatile(
            "movdqu   (%1), %%xmm0\n\t"
            "movdqu 16(%1), %%xmm1\n\t"
            "movdqu 32(%1), %%xmm2\n\t"
            "movdqu 48(%1), %%xmm3\n\t"
            "movdqa %%xmm0,   (%0)\n\t"
            "movdqa %%xmm1, 16(%0)\n\t"
            "movdqa %%xmm2, 32(%0)\n\t"
            "movdqa %%xmm3, 48(%0)\n\t"
            :
            : "r"(video), "r"(ram)
            : "memory", "xmm0", "xmm1", "xmm2", "xmm3");
}

}  // namespace

void video_copy_use_sse2(bool on) { g_sse2 = on; }

void video_copy(u8* video, const u8* ram, u32 bytes) {
    u32 head = (4 - (reinterpret_cast<uintptr_t>(video) & 3)) & 3;
    if (head > bytes) head = bytes;
    copy_bytes(video, ram, head);
    bytes -= head;
    if (g_sse2 && bytes >= 64 + 12) {
        u32 to_line = ((16 - (reinterpret_cast<uintptr_t>(video) & 15)) & 15) / 4;
        copy_words(video, ram, to_line);
        bytes -= to_line * 4;
        u32 lines = bytes / 64;
        copy_lines_sse2(video, ram, lines);
        bytes -= lines * 64;
    }
    u32 words = bytes / 4;
    copy_words(video, ram, words);
    copy_bytes(video, ram, bytes - words * 4);
}

}  // namespace drivers
}  // namespace tarn

// Kernel start-up helpers: framebuffer choice, heap place, banner and squares.
#include "kernel/startup.h"

#include "drivers/framebuffer/framebuffer_screen.h"
#include "kernel/globals.h"
#include "kernel/vbe.h"
#include "lib/screen.h"

namespace startup {

namespace {
const u8 kBannerAttribute = 0x1F;  // white on blue
const char kBanner[] = "TARN BOOT OK";

const u32 kSquareSize = 32;
const u32 kSquareSpacing = 40;     // square n starts at column (n - 1) * 40
const u32 kSquares[4] = {
    0x00FF00,  // 1 green: framebuffer chosen, before the heap
    0x00FFFF,  // 2 cyan: heap ready
    0xFFFF00,  // 3 yellow: machine display set up
    0xFFFFFF,  // 4 white: machine about to start
};

const u64 kFourGiB = 0x100000000ull;
const u32 kHeapAlign = 4096;
const u32 kAssumedMemoryTop = 16 * 1024 * 1024;

using tarn::drivers::FramebufferScreen;
using tarn::drivers::PixelFormat;

PixelFormat loader_format(const tarn::FramebufferInfo& fb) {
    return PixelFormat::from_fields(fb.bpp, fb.red_position, fb.red_size, fb.green_position, fb.green_size,
                                    fb.blue_position, fb.blue_size);
}

void publish_globals(const Display& d) {
    g_fb_addr = reinterpret_cast<u32*>(d.video);
    g_fb_width = d.width;
    g_fb_height = d.height;
    g_fb_pitch = d.pitch;
    g_fb_bpp = d.bpp;
}
}  // namespace

bool loader_framebuffer_usable(const tarn::BootInfo& info) {
    const tarn::FramebufferInfo& fb = info.framebuffer;
    if (!info.has_framebuffer || fb.type != tarn::mbi::kFbTypeRgb || fb.address == 0) return false;
    if (fb.address + u64(fb.pitch) * fb.height > kFourGiB) return false;  // unreachable without PAE
    return FramebufferScreen::accepts(fb.width, fb.height, fb.pitch, loader_format(fb));
}

Display choose_framebuffer(const tarn::BootInfo& info) {
    Display d;
    if (loader_framebuffer_usable(info)) {
        const tarn::FramebufferInfo& fb = info.framebuffer;
        d.video = reinterpret_cast<u8*>(static_cast<uintptr_t>(fb.address));
        d.width = fb.width;
        d.height = fb.height;
        d.pitch = fb.pitch;
        d.bpp = fb.bpp;
        d.format = loader_format(fb);
        d.from_loader = true;
    } else if (vbe_set_mode(kWantedWidth, kWantedHeight, kWantedBpp)) {
        d.video = reinterpret_cast<u8*>(static_cast<uintptr_t>(vbe_find_lfb()));
        d.width = kWantedWidth;
        d.height = kWantedHeight;
        d.pitch = kWantedWidth * (kWantedBpp / 8);
        d.bpp = kWantedBpp;
        d.format = PixelFormat::standard(kWantedBpp);
    }
    publish_globals(d);
    return d;
}

bool cmdline_requests_full_mode(const char* cmdline) {
    static const char kWord[] = "c64";
    if (!cmdline) return false;
    // Bounded: a line without its terminator ends the search here.
    const u32 kMaxLength = 4096;
    u32 i = 0;
    while (i < kMaxLength && cmdline[i]) {
        while (i < kMaxLength && cmdline[i] == ' ') i++;
        u32 start = i;
        while (i < kMaxLength && cmdline[i] && cmdline[i] != ' ') i++;
        u32 n = i - start;
        bool match = n == sizeof(kWord) - 1;
        for (u32 k = 0; match && k < n; k++) match = cmdline[start + k] == kWord[k];
        if (match) return true;
    }
    return false;
}

HeapRegion choose_heap(const tarn::BootInfo& info, u32 lowest) {
    const u64 floor = (u64(lowest) + kHeapAlign - 1) / kHeapAlign * kHeapAlign;
    HeapRegion best;
    if (!info.has_memory_info) {
        if (floor < kAssumedMemoryTop) best = {static_cast<u32>(floor), static_cast<u32>(kAssumedMemoryTop - floor)};
        return best;
    }
    for (u32 i = 0; i < info.usable_count; i++) {
        u64 start = info.usable[i].base, end = start + info.usable[i].length;
        if (end > kFourGiB) end = kFourGiB;
        start = (start + kHeapAlign - 1) / kHeapAlign * kHeapAlign;
        if (start < floor) start = floor;
        if (end <= start) continue;
        // The last byte below 4 GiB stays out, so the size fits 32 bits.
        u64 size = end - start;
        if (size > 0xFFFFF000u) size = 0xFFFFF000u;
        if (size > best.size) best = {static_cast<u32>(start), static_cast<u32>(size)};
    }
    return best;
}

u64 usable_memory(const tarn::BootInfo& info) {
    u64 total = 0;
    for (u32 i = 0; i < info.usable_count; i++) total += info.usable[i].length;
    return total;
}

void text_banner(volatile u16* text_buffer) {
    for (u32 i = 0; kBanner[i]; i++)
        text_buffer[i] = static_cast<u16>(kBannerAttribute << 8 | static_cast<u8>(kBanner[i]));
}

namespace {
tarn::Screen* g_square_screen = nullptr;
}  // namespace

void squares_on(tarn::Screen* screen) { g_square_screen = screen; }

void progress_square(int n) {
    if (n < 1 || n > 4) return;
    const u32 x0 = static_cast<u32>(n - 1) * kSquareSpacing;
    if (g_square_screen) {
        tarn::Screen& screen = *g_square_screen;
        for (u32 y = 0; y < kSquareSize; y++)
            for (u32 x = x0; x < x0 + kSquareSize; x++) screen.pixels()[y * screen.stride() + x] = kSquares[n - 1];
        screen.present(x0, 0, kSquareSize, kSquareSize);
        return;
    }
    if (!g_fb_addr || !g_fb_pitch) return;
    PixelFormat format = PixelFormat::standard(g_fb_bpp);
    if (!format.usable() || g_fb_width < kSquareSpacing * 4 || g_fb_height < kSquareSize) return;
    const u32 value = format.encode(kSquares[n - 1]);
    u8* fb = reinterpret_cast<u8*>(g_fb_addr);
    for (u32 y = 0; y < kSquareSize; y++) {
        u8* p = fb + y * g_fb_pitch + x0 * format.bytes;
        for (u32 x = 0; x < kSquareSize; x++)
            for (u32 b = 0; b < format.bytes; b++) *p++ = static_cast<u8>(value >> (8 * b));
    }
}

}  // namespace startup

// Kernel start-up helpers: framebuffer choice, heap size, banner and squares.
#include "kernel/startup.h"

#include "c64/c64.h"
#include "c64/memory.h"
#include "drivers/keyboard.h"
#include "hardwarecommunication/cpu_control.h"
#include "kernel/globals.h"
#include "kernel/vbe.h"

namespace startup {

namespace {
const u32 kMinWidth = 320;     // narrower framebuffers are not taken
const u8 kMinBpp = 15;         // 8-bit palette modes are not taken

const u8 kBannerAttribute = 0x1F;  // white on blue
const char kBanner[] = "TARN BOOT OK";

const u32 kSquareSize = 32;
const u32 kSquareSpacing = 40;     // square n starts at column (n - 1) * 40

// One square's colour in both forms: RGB 5-6-5 for 15/16-bit modes and the
// blue, green, red bytes stored at 24 and 32 bits per pixel.
struct SquareColour {
    u16 rgb565;
    u8 blue, green, red;
};
const SquareColour kSquares[4] = {
    {0x07E0, 0x00, 0xFC, 0x00},  // 1 green: before the heap
    {0x07FF, 0xF8, 0xFC, 0x00},  // 2 cyan: heap ready
    {0xFFE0, 0x00, 0xFC, 0xF8},  // 3 yellow: machine display set up
    {0xFFFF, 0xF8, 0xFC, 0xF8},  // 4 white: machine about to start
};
}  // namespace

u32 mbi_u32(const void* mbi, u32 offset) {
    const u8* p = static_cast<const u8*>(mbi) + offset;
    return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
}

u64 mbi_fb_addr(const void* mbi) {
    return u64(mbi_u32(mbi, kMbiFbAddr)) | u64(mbi_u32(mbi, kMbiFbAddr + 4)) << 32;
}

static u8 mbi_bpp(const void* mbi) { return static_cast<const u8*>(mbi)[kMbiFbBpp]; }

bool multiboot_framebuffer_usable(const void* mbi) {
    return (mbi_u32(mbi, kMbiFlags) & kMbiFlagFramebuffer) != 0 && mbi_fb_addr(mbi) != 0 &&
           mbi_u32(mbi, kMbiFbWidth) >= kMinWidth && mbi_bpp(mbi) >= kMinBpp;
}

static void take_multiboot_framebuffer(const void* mbi) {
    // Only the low 32 bits: the kernel runs without paging below 4 GiB.
    g_fb_addr = reinterpret_cast<u32*>(static_cast<uintptr_t>(static_cast<u32>(mbi_fb_addr(mbi))));
    g_fb_width = mbi_u32(mbi, kMbiFbWidth);
    g_fb_height = mbi_u32(mbi, kMbiFbHeight);
    g_fb_pitch = mbi_u32(mbi, kMbiFbPitch);
    g_fb_bpp = mbi_bpp(mbi);
}

void choose_framebuffer(const void* mbi) {
    if (multiboot_framebuffer_usable(mbi)) {
        take_multiboot_framebuffer(mbi);
        return;
    }
    bool set = vbe_set_mode(kWantedWidth, kWantedHeight, kWantedBpp);
    u32 lfb = vbe_find_lfb();
    if (set && lfb != 0) {
        g_fb_addr = reinterpret_cast<u32*>(static_cast<uintptr_t>(lfb));
        g_fb_width = kWantedWidth;
        g_fb_height = kWantedHeight;
        g_fb_pitch = kWantedWidth * (kWantedBpp / 8);
        g_fb_bpp = kWantedBpp;
        return;
    }
    take_multiboot_framebuffer(mbi);
}

const char* mbi_cmdline(const void* mbi) {
    if (!(mbi_u32(mbi, kMbiFlags) & kMbiFlagCmdline)) return nullptr;
    u32 address = mbi_u32(mbi, kMbiCmdline);
    if (address == 0) return nullptr;
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(address));
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

u32 heap_size(u32 mem_upper_kib) { return mem_upper_kib * 1024 - kHeapStart - kHeapTopReserve; }

void text_banner(volatile u16* text_buffer) {
    for (u32 i = 0; kBanner[i]; i++)
        text_buffer[i] = static_cast<u16>(kBannerAttribute << 8 | static_cast<u8>(kBanner[i]));
}

void progress_square(int n) {
    if (n < 1 || n > 4) return;
    if (!g_fb_addr || !g_fb_pitch || g_fb_bpp < kMinBpp) return;
    const SquareColour& c = kSquares[n - 1];
    u8* fb = reinterpret_cast<u8*>(g_fb_addr);
    u32 x0 = static_cast<u32>(n - 1) * kSquareSpacing;
    bool wide = g_fb_bpp >= 24;  // four bytes a pixel at 24 and 32 bits
    for (u32 y = 0; y < kSquareSize; y++) {
        u8* row = fb + y * g_fb_pitch;
        for (u32 x = x0; x < x0 + kSquareSize; x++) {
            if (wide) {
                u8* p = row + x * 4;
                p[0] = c.blue;   // the fourth byte is left alone
                p[1] = c.green;
                p[2] = c.red;
            } else {
                u8* p = row + x * 2;
                p[0] = static_cast<u8>(c.rgb565);
                p[1] = static_cast<u8>(c.rgb565 >> 8);
            }
        }
    }
}

const u8* volatile g_machine_ram = nullptr;

void publish_machine(C64* machine) {
    tarn::hardwarecommunication::cpu_disable_interrupts();
    g_scan_tail = g_scan_head;
    c64ptr = machine;
    g_machine_ram = machine->mem()->ram_image();
    tarn::hardwarecommunication::cpu_enable_interrupts();
}

void withdraw_machine() {
    c64ptr = nullptr;
    g_machine_ram = nullptr;
}

}  // namespace startup

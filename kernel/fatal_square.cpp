// The fatal exception square.
#include "kernel/fatal_square.h"

#include "kernel/globals.h"

namespace tarn {

namespace {
const u32 kSquareSize = 64;
}  // namespace

u16 exception_colour(u8 exception) {
    switch (exception) {
    case 0x00: return 0x07E0;  // divide error: green
    case 0x06: return 0xFFE0;  // invalid opcode: yellow
    case 0x08: return 0x001F;  // double fault: blue
    case 0x0D: return 0xF800;  // general protection: red
    case 0x0E: return 0xF81F;  // page fault: magenta
    default: return 0xFFFF;    // anything else: white
    }
}

void draw_exception_square(u8 exception) {
    if (g_fb_addr == nullptr || g_fb_pitch == 0 || g_fb_bpp <= 14) return;
    const u16 colour = exception_colour(exception);
    // Stay inside a framebuffer smaller than the square.
    const u32 rows = (g_fb_height != 0 && g_fb_height < kSquareSize) ? g_fb_height : kSquareSize;
    const u32 cols = (g_fb_width != 0 && g_fb_width < kSquareSize) ? g_fb_width : kSquareSize;
    // Two bytes a pixel below 24 bits, three at 24, four at 32.
    const u32 bytes = g_fb_bpp < 24 ? 2 : g_fb_bpp / 8;
    u8* base = reinterpret_cast<u8*>(g_fb_addr);
    for (u32 y = 0; y < rows; ++y) {
        u8* row = base + y * g_fb_pitch;
        for (u32 x = 0; x < cols; ++x) {
            u8* p = row + x * bytes;
            if (bytes == 2) {
                p[0] = static_cast<u8>(colour & 0xFF);
                p[1] = static_cast<u8>(colour >> 8);
            } else {
                p[0] = static_cast<u8>((colour & 0x1F) << 3);               // blue
                p[1] = static_cast<u8>(((colour >> 5) & 0x3F) << 2);  // green
                p[2] = static_cast<u8>((colour >> 11) << 3);          // red
            }
        }
    }
}

}  // namespace tarn

// Font dump: writes the glyphs and colours the kernel draws with as JSON, so
// the screen reader of the system tests decodes screendumps with exactly the
// data the product uses.
#include <cstdio>

#include "c64/io.h"

#if __has_include("lib/vga.h")
#include "lib/vga.h"
#define TARN_HAVE_CONSOLE_FONT 1
#endif

static void dump_rows(const u8* rows, int count) {
    std::fprintf(stdout, "[");
    for (int i = 0; i < count; i++) std::fprintf(stdout, "%s%d", i ? "," : "", rows[i]);
    std::fprintf(stdout, "]");
}

int main() {
    std::fprintf(stdout, "{\n\"font5x7_first\": 32,\n\"font5x7\": [\n");
    for (int g = 0; g < 96; g++) {
        dump_rows(IO::font5x7[g], 7);
        std::fprintf(stdout, "%s\n", g < 95 ? "," : "");
    }
    std::fprintf(stdout, "],\n\"c64pal\": [");
    for (int i = 0; i < 16; i++) std::fprintf(stdout, "%s%u", i ? "," : "", IO::c64pal[i]);
    std::fprintf(stdout, "]");
#ifdef TARN_HAVE_CONSOLE_FONT
    std::fprintf(stdout, ",\n\"font8x16\": [\n");
    for (int g = 0; g < 256; g++) {
        dump_rows(&g_8x16_font[g * 16], 16);
        std::fprintf(stdout, "%s\n", g < 255 ? "," : "");
    }
    std::fprintf(stdout, "]");
#endif
    std::fprintf(stdout, "\n}\n");
    return 0;
}

// Font dump: writes the glyphs and colours the kernel draws with as JSON, so
// the screen reader of the system tests decodes screendumps with exactly the
// data the product uses.
#include <cstdio>

#include "c64/palette.h"
#include "c64/text_view.h"
#include "lib/vga.h"

static void dump_rows(const u8* rows, int count) {
    std::fprintf(stdout, "[");
    for (int i = 0; i < count; i++) std::fprintf(stdout, "%s%d", i ? "," : "", rows[i]);
    std::fprintf(stdout, "]");
}

int main() {
    std::fprintf(stdout, "{\n\"font5x7_first\": 32,\n\"font5x7\": [\n");
    for (int g = 0; g < 96; g++) {
        dump_rows(TextView::kFont[g], 7);
        std::fprintf(stdout, "%s\n", g < 95 ? "," : "");
    }
    std::fprintf(stdout, "],\n\"palette\": [");
    for (int i = 0; i < 16; i++) std::fprintf(stdout, "%s%u", i ? "," : "", palette::kColours[i]);
    std::fprintf(stdout, "]");
    std::fprintf(stdout, ",\n\"font8x16\": [\n");
    for (int g = 0; g < 256; g++) {
        dump_rows(&g_8x16_font[g * 16], 16);
        std::fprintf(stdout, "%s\n", g < 255 ? "," : "");
    }
    std::fprintf(stdout, "]\n}\n");
    return 0;
}

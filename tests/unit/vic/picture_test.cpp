// The raster picture of whole frames: text cells compared with glyphs read
// here from data/chargen.bin, graphics modes, sprites, collisions and
// changes of the registers between lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "c64/cia2.h"
#include "c64/raster_picture.h"
#include "c64/memory.h"
#include "c64/vic.h"

namespace {

constexpr int kFirstColumn = 43;  // picture column of the display window's first pixel
constexpr int kFirstLine = 51;    // raster line of its first row

std::vector<u8> character_rom() {
    std::vector<u8> rom(4096);
    FILE* f = std::fopen(TARN_SOURCE_DIR "/data/chargen.bin", "rb");
    EXPECT_NE(f, nullptr);
    if (f) {
        EXPECT_EQ(std::fread(rom.data(), 1, rom.size(), f), rom.size());
        std::fclose(f);
    }
    return rom;
}

class Picture : public ::testing::Test {
protected:
    void SetUp() override {
        mem.vic(&vic);
        mem.cia2(&cia2);
        vic.memory(&mem);
        vic.picture(&picture);
        for (int i = 0; i < 1000; i++) {
            poke(static_cast<u16>(0x0400 + i), 0x20);
            poke(static_cast<u16>(0xD800 + i), 14);
        }
        reg(0x11, 0x1B);
        reg(0x16, 0x08);
        reg(0x18, 0x15);  // screen $0400, upper case and graphics
        reg(0x20, 14);
        reg(0x21, 6);
    }

    void reg(u8 r, u8 v) { vic.write_register(r, v); }
    void poke(u16 a, u8 v) { mem.write_byte_no_io(a, v); }
    void frame() {
        for (int r = 0; r <= Vic::kLastLine; r++) vic.render_line(r);
    }
    int px(int x, int line) { return picture.pixel(x, line - Vic::kFirstVisibleLine); }
    // Does text cell (col, row) show the 8 x 8 glyph in colour fg on bg?
    ::testing::AssertionResult cell_shows(int col, int row, const u8* glyph, int fg, int bg) {
        for (int k = 0; k < 8; k++)
            for (int l = 0; l < 8; l++) {
                int want = (glyph[k] >> (7 - l)) & 1 ? fg : bg;
                int got = px(kFirstColumn + 8 * col + l, kFirstLine + 8 * row + k);
                if (got != want)
                    return ::testing::AssertionFailure()
                           << "cell " << col << "," << row << " dot " << l << "," << k << ": " << got << " not " << want;
            }
        return ::testing::AssertionSuccess();
    }

    std::vector<u8> rom = character_rom();
    Memory mem;
    Cia2 cia2;
    RasterPicture picture;
    Vic vic;
};

TEST_F(Picture, TextWithReverseCharactersShowsTheRomGlyphs) {
    const std::string text = "READY. ";
    for (size_t i = 0; i < text.size(); i++) {
        u8 code = static_cast<u8>(text[i] >= 'A' && text[i] <= 'Z' ? text[i] - 64 : text[i]);
        poke(static_cast<u16>(0x0400 + 40 * 3 + i), code);
        poke(static_cast<u16>(0x0400 + 40 * 4 + i), static_cast<u8>(code | 0x80));  // reverse
        poke(static_cast<u16>(0xD800 + 40 * 4 + i), 1);
    }
    frame();
    for (size_t i = 0; i < text.size(); i++) {
        u8 code = static_cast<u8>(text[i] >= 'A' && text[i] <= 'Z' ? text[i] - 64 : text[i]);
        u8 inverted[8];
        for (int k = 0; k < 8; k++) inverted[k] = static_cast<u8>(~rom[8 * code + k]);
        EXPECT_TRUE(cell_shows(static_cast<int>(i), 3, &rom[8 * code], 14, 6));
        EXPECT_TRUE(cell_shows(static_cast<int>(i), 4, inverted, 1, 6));
    }
    // The reverse space, as the cursor shows it, is a solid block.
    EXPECT_EQ(px(kFirstColumn + 8 * 6, kFirstLine + 8 * 4), 1);
}

TEST_F(Picture, PetsciiGraphicsAndTheLowerCaseSet) {
    for (int i = 0; i < 40; i++) poke(static_cast<u16>(0x0400 + i), static_cast<u8>(i & 1 ? 0x4D : 0x4E));  // maze
    for (int i = 0; i < 32; i++) poke(static_cast<u16>(0x0400 + 40 + i), static_cast<u8>(0x40 + i));
    poke(0x0400 + 80, 0x01);
    frame();
    for (int i = 0; i < 40; i++) EXPECT_TRUE(cell_shows(i, 0, &rom[8 * (i & 1 ? 0x4D : 0x4E)], 14, 6));
    for (int i = 0; i < 32; i++) EXPECT_TRUE(cell_shows(i, 1, &rom[8 * (0x40 + i)], 14, 6));
    EXPECT_TRUE(cell_shows(0, 2, &rom[8 * 0x01], 14, 6));  // A
    reg(0x18, 0x17);  // the second set: lower case
    frame();
    EXPECT_TRUE(cell_shows(0, 2, &rom[0x800 + 8 * 0x01], 14, 6));  // a
    EXPECT_NE(rom[0x800 + 8 + 3], rom[8 + 3]);
}

TEST_F(Picture, MulticolourBitmapCellInAnotherBank) {
    cia2.write_register(0x02, 0x03);
    cia2.write_register(0x00, 0x02);  // bank 1: $4000-$7FFF
    reg(0x11, 0x3B);
    reg(0x16, 0x18);
    reg(0x18, 0x18);  // screen $4400, bitmap $6000
    reg(0x21, 0);
    const u8 rows[8] = {0x1B, 0xE4, 0x00, 0xFF, 0x55, 0xAA, 0x1B, 0x1B};
    for (int k = 0; k < 8; k++) poke(static_cast<u16>(0x6000 + 320 * 2 + 8 * 5 + k), rows[k]);  // row 2, column 5
    poke(0x4400 + 80 + 5, 0x27);
    poke(0xD800 + 80 + 5, 9);
    frame();
    const int colour[4] = {0, 2, 7, 9};
    for (int k = 0; k < 8; k++)
        for (int l = 0; l < 8; l++)
            EXPECT_EQ(px(kFirstColumn + 40 + l, kFirstLine + 16 + k), colour[(rows[k] >> (6 - (l & 6))) & 3])
                << l << "," << k;
}

TEST_F(Picture, ExpandedSpriteAtItsPosition) {
    poke(0x07F8 + 3, 0x20);  // sprite 3 data at $0800
    for (int i = 0; i < 63; i++) poke(static_cast<u16>(0x0800 + i), static_cast<u8>(i * 37 + 11));
    reg(0x06, 100);  // X 100, Y 100
    reg(0x07, 100);
    reg(0x15, 0x08);
    reg(0x17, 0x08);
    reg(0x1D, 0x08);
    reg(0x2A, 7);
    frame();
    // 48 x 42 pixels from column 100 + 19, lines 101 to 142.
    for (int y = 0; y < 42; y++)
        for (int x = 0; x < 48; x++) {
            int bit = (mem.read_byte_no_io(static_cast<u16>(0x0800 + 3 * (y / 2) + x / 16)) >> (7 - (x / 2) % 8)) & 1;
            ASSERT_EQ(px(119 + x, 101 + y) == 7, bit == 1) << x << "," << y;
        }
    EXPECT_NE(px(119, 100), 7);
    EXPECT_NE(px(119, 143), 7);
}

TEST_F(Picture, CollisionsLatchClearOnReadAndInterrupt) {
    for (int n = 0; n < 3; n++) poke(static_cast<u16>(0x07F8 + n), 0x20);
    for (int i = 0; i < 63; i++) poke(static_cast<u16>(0x0800 + i), 0xFF);
    reg(0x00, 100);
    reg(0x01, 100);
    reg(0x02, 110);  // overlaps sprite 0
    reg(0x03, 110);
    reg(0x04, 24);   // over the text cell at column 0, row 10
    reg(0x05, 130);
    reg(0x27, 1);
    reg(0x28, 2);
    reg(0x29, 3);
    reg(0x1B, 0x04);  // sprite 2 behind the text
    reg(0x1A, 0x06);
    poke(0x0400 + 400, 0x01);  // A
    reg(0x15, 0x03);
    frame();
    EXPECT_EQ(vic.read_register(0x1E), 0x03);
    EXPECT_EQ(vic.read_register(0x1E), 0x00);
    EXPECT_EQ(vic.read_register(0x1F), 0x00);
    EXPECT_EQ(vic.read_register(0x19), 0x80 | 0x70 | 0x04);
    EXPECT_EQ(px(130, 111), 1);  // sprite 0 in front of sprite 1
    reg(0x19, 0x0F);
    reg(0x15, 0x04);
    frame();
    EXPECT_EQ(vic.read_register(0x1F), 0x04);
    EXPECT_EQ(vic.read_register(0x19), 0x80 | 0x70 | 0x02);
    // Behind the text: the glyph's dots stay, the sprite fills the rest.
    for (int k = 0; k < 8; k++)
        for (int l = 0; l < 8; l++)
            EXPECT_EQ(px(kFirstColumn + l, kFirstLine + 80 + k), (rom[8 + k] >> (7 - l)) & 1 ? 14 : 3) << l << "," << k;
}

TEST_F(Picture, RegistersChangedBetweenLinesSplitThePicture) {
    for (int r = 0; r <= Vic::kLastLine; r++) {
        if (r == 100) reg(0x20, 2);   // border split
        if (r == 150) reg(0x21, 5);   // background split
        if (r == 200) reg(0x11, 0x5B);  // extended colour mode, as a program might switch modes
        vic.render_line(r);
    }
    EXPECT_EQ(px(0, 99), 14);
    EXPECT_EQ(px(0, 100), 2);
    EXPECT_EQ(px(200, 149), 6);
    EXPECT_EQ(px(200, 150), 5);
    EXPECT_EQ(px(200, 200), 5);
    reg(0x11, 0x7B);  // an invalid mode: black
    frame();
    EXPECT_EQ(px(200, 150), 0);
    EXPECT_EQ(px(0, 150), 2);
    reg(0x11, 0x0B);  // blanked: border on every line
    frame();
    for (int line = 14; line <= 297; line += 7) EXPECT_EQ(px(200, line), 2) << line;
}

TEST_F(Picture, ASpriteIsShownAgainFurtherDown) {
    poke(0x07F8, 0x20);
    poke(0x0800, 0x80);
    for (int i = 3; i < 63; i += 3) poke(static_cast<u16>(0x0800 + i), 0x80);
    reg(0x00, 100);
    reg(0x01, 60);
    reg(0x15, 0x01);
    for (int r = 0; r <= Vic::kLastLine; r++) {
        if (r == 90) reg(0x01, 120);  // moved once its 21 lines are done
        if (r == 70) reg(0x01, 200);  // a move while it is shown does not cut it short
        vic.render_line(r);
    }
    EXPECT_EQ(px(119, 60), 6);
    EXPECT_EQ(px(119, 61), 0);  // sprite colour 0
    EXPECT_EQ(px(119, 81), 0);
    EXPECT_EQ(px(119, 82), 6);
    EXPECT_EQ(px(119, 121), 0);
    EXPECT_EQ(px(119, 141), 0);
    EXPECT_EQ(px(119, 142), 6);
}

}  // namespace

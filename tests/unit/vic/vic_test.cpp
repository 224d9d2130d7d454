// VIC-II: register file, raster counting and interrupts, and every renderer
// checked pixel by pixel on the raster picture.
#include <gtest/gtest.h>

#include <vector>

#include "c64/cia2.h"
#include "c64/raster_picture.h"
#include "c64/memory.h"
#include "c64/processor.h"
#include "c64/vic.h"
#include "data/blobs.h"

namespace {

constexpr u16 kScreen = 0x0400;
constexpr u16 kColorRam = 0xD800;
constexpr u16 kCustom = 0x2000;  // character set, bitmap or sprite data in RAM

class VicTest : public ::testing::Test {
protected:
    void SetUp() override {
        cpu.reset();
        mem.vic(&vic);
        mem.cia2(&cia2);
        vic.memory(&mem);
        vic.cpu(&cpu);
        vic.picture(&picture);
        for (int i = 0; i < 1000; i++) {
            mem.write_byte_no_io(static_cast<u16>(kScreen + i), 0x20);
            mem.write_byte_no_io(static_cast<u16>(kColorRam + i), 0);
        }
        for (int i = 0; i < 0x2000; i++) mem.write_byte_no_io(static_cast<u16>(kCustom + i), 0);
        reg(0x20, 14);  // border light blue
        reg(0x21, 6);   // background blue
        reg(0x11, 0x1B);
        reg(0x16, 0x08);
    }

    void reg(u8 r, u8 v) { vic.write_register(r, v); }
    void poke(u16 a, u8 v) { mem.write_byte_no_io(a, v); }

    // Processes raster line r (picture row r - 14) after a whole frame and
    // the lines above it, so the chip's row and sprite counters stand where
    // they would on the screen.
    bool render_line(int r) {
        for (int l = 0; l <= Vic::kLastLine; l++) vic.render_line(l);
        for (int l = 0; l < r; l++) vic.render_line(l);
        vic.start_line(r, 0);
        return vic.render_line(r);
    }
    int px(int x, int r) { return picture.pixel(x, r - 14); }
    std::vector<int> span(int from, int to, int r) {
        std::vector<int> v;
        for (int x = from; x <= to; x++) v.push_back(px(x, r));
        return v;
    }

    Memory mem;
    Processor cpu{&mem};
    Cia2 cia2;
    RasterPicture picture;
    Vic vic;
};

// ---- registers ----------------------------------------------------------------

TEST_F(VicTest, ControlRegisterReadsBackWithoutTheStoredRasterBit) {
    vic.raster_counter(300);
    EXPECT_EQ(vic.read_register(0x11) & 0x80, 0x80);
    EXPECT_EQ(vic.read_register(0x12), 300 - 256);
    reg(0x11, 0x1B);
    EXPECT_EQ(vic.read_register(0x11), 0x1B);
    EXPECT_EQ(vic.raster_counter(), 300 - 256);
}

TEST_F(VicTest, RasterCompareTakesBitEightFromControlRegister) {
    reg(0x11, 0x80);
    reg(0x12, 0x00);
    EXPECT_EQ(vic.raster_irq(), 256);
    reg(0x12, 0x05);
    EXPECT_EQ(vic.raster_irq(), 261);
    reg(0x11, 0x1B);
    EXPECT_EQ(vic.raster_irq(), 5);
}

TEST_F(VicTest, ColourRegistersKeepFourBitsAndReadHighNibbleSet) {
    reg(0x20, 0x06);
    EXPECT_EQ(vic.read_register(0x20), 0xF6);
    for (u8 r = 0x21; r <= 0x2E; r++) {
        reg(r, 0x3A);
        EXPECT_EQ(vic.read_register(r), 0xFA) << int(r);
    }
}

TEST_F(VicTest, MemoryPointersSelectScreenCharacterAndBitmap) {
    reg(0x18, 0x14);
    EXPECT_EQ(vic.screen_mem(), 0x0400);
    EXPECT_EQ(vic.char_mem(), 0x1000);
    EXPECT_EQ(vic.read_register(0x18), 0x15);
    reg(0x18, 0x18);
    EXPECT_EQ(vic.char_mem(), 0x2000);
    EXPECT_EQ(vic.bitmap_mem(), 0x2000);
    reg(0x18, 0xF6);
    EXPECT_EQ(vic.screen_mem(), 0x3C00);
    EXPECT_EQ(vic.char_mem(), 0x1800);
    EXPECT_EQ(vic.bitmap_mem(), 0x0000);
}

TEST_F(VicTest, FixedAndUnusedRegistersAndMirroring) {
    EXPECT_EQ(vic.read_register(0x13), 0xFF);  // light pen
    EXPECT_EQ(vic.read_register(0x14), 0xFF);
    EXPECT_EQ(vic.read_register(0x1E), 0x00);  // collisions
    EXPECT_EQ(vic.read_register(0x1F), 0x00);
    for (u8 r = 0x2F; r < 0x40; r++) EXPECT_EQ(vic.read_register(r), 0xFF) << int(r);
    reg(0x1A, 0x01);
    EXPECT_EQ(vic.read_register(0x1A), 0xF1);
    reg(0x40 + 0x05, 0x77);  // registers repeat every 64 bytes
    EXPECT_EQ(vic.read_register(0x05), 0x77);
    reg(0x10, 0x81);
    reg(0x0E, 0x10);
    EXPECT_EQ(vic.sprite_x(7), 0x110);
    EXPECT_EQ(vic.sprite_x(0), 256);
    reg(0x1B, 0x42);
    EXPECT_EQ(vic.read_register(0x1B), 0x42);
}

TEST_F(VicTest, ModeNumbersFollowEcmBmmMcm) {
    struct Case { u8 d011, d016; int mode; };
    const Case cases[] = {{0x1B, 0x08, 0}, {0x1B, 0x18, 1}, {0x3B, 0x08, 2}, {0x3B, 0x18, 3},
                          {0x5B, 0x08, 4}, {0x5B, 0x18, 5}, {0x7B, 0x08, 5}, {0x7B, 0x18, 5}};
    for (const Case& c : cases) {
        reg(0x11, c.d011);
        reg(0x16, c.d016);
        EXPECT_EQ(vic.graphic_mode(), c.mode) << std::hex << int(c.d011) << " " << int(c.d016);
    }
}

// ---- raster and interrupts -----------------------------------------------------

TEST_F(VicTest, BadLinesHoldBaLowFromCycleTwelveToFiftyFour) {
    reg(0x11, 0x10);  // display on, scroll 0
    vic.start_line(48, 1000);
    EXPECT_TRUE(vic.is_bad_line());
    ASSERT_EQ(vic.bus_window_count(), 1);
    EXPECT_EQ(vic.bus_windows()[0].from, 1011u);   // cycle 12
    EXPECT_EQ(vic.bus_windows()[0].until, 1054u);  // free again at cycle 55
    vic.start_line(49, 1063);
    EXPECT_EQ(vic.bus_window_count(), 0);
    reg(0x11, 0x13);
    vic.raster_counter(51);
    EXPECT_TRUE(vic.is_bad_line());
    vic.raster_counter(248);
    EXPECT_FALSE(vic.is_bad_line());
}

TEST_F(VicTest, FrameCountsAtLine311AndTheNinthBitShowsInControl1) {
    vic.start_line(311, 0);
    EXPECT_EQ(vic.frame_count(), 1u);
    vic.start_line(256, 0);
    EXPECT_EQ(vic.raster_counter(), 256);
    EXPECT_EQ(vic.read_register(0x11) & 0x80, 0x80);
}

TEST_F(VicTest, RasterCompareLatchesAndHoldsTheIrqLineUntilAcknowledged) {
    reg(0x12, 0x05);
    vic.start_line(4, 0);
    EXPECT_EQ(vic.read_register(0x19), 0x70);
    vic.start_line(5, 0);  // latched, but not enabled: no interrupt
    EXPECT_EQ(vic.read_register(0x19), 0x71);
    EXPECT_EQ(cpu.irq_lines() & Processor::kIrqVic, 0);
    reg(0x1A, 0x01);    // enabling a latched source pulls the line
    EXPECT_EQ(vic.read_register(0x19), 0xF1);
    EXPECT_NE(cpu.irq_lines() & Processor::kIrqVic, 0);
    vic.start_line(6, 0);  // held until acknowledged
    EXPECT_NE(cpu.irq_lines() & Processor::kIrqVic, 0);
    reg(0x19, 0xFF);
    EXPECT_EQ(vic.read_register(0x19), 0x70);
    EXPECT_EQ(cpu.irq_lines() & Processor::kIrqVic, 0);
}

// ---- character renderers ---------------------------------------------------------

TEST_F(VicTest, StandardCharacterLine) {
    poke(kScreen, 0x01);  // A
    poke(kColorRam, 2);
    render_line(51);  // the first bad line with scroll 3: top of the window
    u8 data = data_char_rom[8 * 1 + 0];
    for (int x = 43; x <= 50; x++) EXPECT_EQ(px(x, 51), (data >> (50 - x)) & 1 ? 2 : 6) << x;
    EXPECT_EQ(px(0, 51), 14);
    EXPECT_EQ(px(42, 51), 14);
    EXPECT_EQ(px(363, 51), 14);
    EXPECT_EQ(px(402, 51), 14);
    EXPECT_EQ(px(200, 51), 6);
    // Line 55 shows glyph row 4.
    render_line(55);
    data = data_char_rom[8 * 1 + 4];
    for (int x = 43; x <= 50; x++) EXPECT_EQ(px(x, 55), (data >> (50 - x)) & 1 ? 2 : 6) << x;
}

TEST_F(VicTest, ScrollingMovesTheCharacterLines) {
    poke(kScreen, 0x01);
    poke(kColorRam, 2);
    reg(0x11, 0x18);  // vertical scroll 0: row 0 starts at line 48, under the border
    reg(0x16, 0x0A);  // horizontal scroll 2
    render_line(51);
    u8 data = data_char_rom[8 * 1 + 3];
    for (int x = 45; x <= 52; x++) EXPECT_EQ(px(x, 51), (data >> (52 - x)) & 1 ? 2 : 6) << x;
    EXPECT_EQ(px(43, 51), 6);  // the scrolled-in gap shows background
}

TEST_F(VicTest, ScreenOffOrOutsideTheTextLinesDrawsOnlyBorder) {
    poke(kScreen, 0x01);
    poke(kColorRam, 2);
    reg(0x11, 0x0B);
    render_line(56);
    EXPECT_EQ(span(0, 402, 56), std::vector<int>(403, 14));
    reg(0x11, 0x1B);
    render_line(50);
    EXPECT_EQ(span(0, 402, 50), std::vector<int>(403, 14));
    render_line(251);
    EXPECT_EQ(span(0, 402, 251), std::vector<int>(403, 14));
}

TEST_F(VicTest, ThirtyEightColumnsAndTwentyFourRowsShowBorder) {
    poke(kScreen, 0xA0);  // reverse space: every bit set
    poke(kColorRam, 2);
    poke(kScreen + 39, 0xA0);
    poke(kColorRam + 39, 2);
    reg(0x16, 0x00);
    render_line(55);
    for (int x = 43; x <= 49; x++) EXPECT_EQ(px(x, 55), 14) << x;
    EXPECT_EQ(px(50, 55), 2);  // X 31: the 38-column window's first pixel
    EXPECT_EQ(px(51, 55), 6);
    EXPECT_EQ(px(353, 55), 6);
    for (int x = 354; x <= 362; x++) EXPECT_EQ(px(x, 55), 14) << x;
    reg(0x16, 0x08);
    reg(0x11, 0x13);  // 24 rows: the window starts at line 55
    render_line(54);
    for (int x = 43; x <= 50; x++) EXPECT_EQ(px(x, 54), 14) << x;
    render_line(55);
    for (int x = 43; x <= 50; x++) EXPECT_EQ(px(x, 55), 2) << x;
}

TEST_F(VicTest, MulticolourCharacterUsesBitPairs) {
    reg(0x18, 0x18);  // characters from $2000
    reg(0x16, 0x18);
    reg(0x22, 2);
    reg(0x23, 3);
    poke(kCustom + 8, 0x1B);  // char 1, line 0: pairs 0 1 2 3 from the left
    poke(kScreen, 1);
    poke(kColorRam, 8 + 5);
    poke(kScreen + 2, 1);
    poke(kColorRam + 2, 5);   // bit 3 clear: a hires cell in colour 5
    render_line(51);
    EXPECT_EQ(span(43, 51, 51), std::vector<int>({6, 6, 2, 2, 3, 3, 5, 5, 6}));
    EXPECT_EQ(span(59, 66, 51), std::vector<int>({6, 6, 6, 5, 5, 6, 5, 5}));
}

TEST_F(VicTest, ExtendedBackgroundPicksColourByCodeRange) {
    reg(0x11, 0x5B);
    reg(0x22, 2);
    reg(0x23, 3);
    reg(0x24, 7);
    poke(kScreen, 200);  // glyph 8 on background 3
    poke(kColorRam, 1);
    poke(kScreen + 1, 72);  // glyph 8 on background 1
    poke(kColorRam + 1, 1);
    poke(kScreen + 2, 8);   // glyph 8, clear bits left to the fill
    poke(kColorRam + 2, 1);
    render_line(52);
    u8 data = data_char_rom[8 * 8 + 1];
    for (int i = 0; i < 8; i++) {
        bool set = (data >> (7 - i)) & 1;
        EXPECT_EQ(px(43 + i, 52), set ? 1 : 7) << i;
        EXPECT_EQ(px(51 + i, 52), set ? 1 : 2) << i;
        EXPECT_EQ(px(59 + i, 52), set ? 1 : 6) << i;
    }
}

// ---- bitmap renderers ------------------------------------------------------------

TEST_F(VicTest, StandardBitmapTakesColoursFromScreenMemory) {
    reg(0x11, 0x3B);
    reg(0x18, 0x18);
    poke(kCustom + 0, 0xA5);
    poke(kScreen, 0x27);
    poke(kCustom + 320 + 8 + 2, 0xFF);  // row 1, column 1, line 2
    poke(kScreen + 41, 0x5E);
    render_line(51);
    EXPECT_EQ(span(43, 50, 51), std::vector<int>({2, 7, 2, 7, 7, 2, 7, 2}));
    render_line(61);  // row 1 starts at line 59
    EXPECT_EQ(span(51, 58, 61), std::vector<int>(8, 5));
}

TEST_F(VicTest, MulticolourBitmapUsesFourSources) {
    reg(0x11, 0x3B);
    reg(0x16, 0x18);
    reg(0x18, 0x18);
    poke(kCustom + 0, 0x1B);
    poke(kScreen, 0x27);
    poke(kColorRam, 9);
    render_line(51);
    EXPECT_EQ(span(43, 51, 51), std::vector<int>({6, 6, 2, 2, 7, 7, 9, 9, 6}));
}

TEST_F(VicTest, InvalidModeFailsOnlyOnVisibleLines) {
    reg(0x11, 0x7B);
    EXPECT_TRUE(render_line(5));
    EXPECT_FALSE(render_line(14));
    EXPECT_EQ(vic.raster_counter(), 14);
    reg(0x11, 0x5B);
    reg(0x16, 0x18);
    EXPECT_FALSE(render_line(100));
    EXPECT_TRUE(render_line(300));
}

// ---- sprites ------------------------------------------------------------------------

class SpriteTest : public VicTest {
protected:
    void SetUp() override {
        VicTest::SetUp();
        poke(kScreen + 1016, 0x80);  // sprite 0 data at $2000
        poke(kScreen + 1017, 0x81);  // sprite 1 data at $2040
        reg(0x15, 0x01);
        reg(0x27, 1);
        reg(0x00, 30);  // X 24 is column 43: the first pixel lands on column 49
        reg(0x01, 50);  // first line 51, with the top of the display window
        poke(kCustom + 0, 0x80);
        poke(kCustom + 2, 0x01);
    }
};

TEST_F(SpriteTest, SingleColourSpriteLine) {
    render_line(51);
    EXPECT_EQ(px(49, 51), 1);
    EXPECT_EQ(px(50, 51), 6);
    EXPECT_EQ(px(72, 51), 1);
    EXPECT_EQ(px(73, 51), 6);
    render_line(50);
    EXPECT_EQ(px(49, 50), 14);
    render_line(72);  // 21 lines: 51..71
    EXPECT_NE(px(49, 72), 1);
}

TEST_F(SpriteTest, ExpansionDoublesWidthAndHeight) {
    poke(kCustom + 3, 0x40);  // row 1
    reg(0x1D, 0x01);
    reg(0x17, 0x01);
    poke(kCustom + 60, 0x80);  // row 20
    render_line(52);  // still row 0 when Y-expanded
    EXPECT_EQ(span(48, 51, 52), std::vector<int>({6, 1, 1, 6}));
    EXPECT_EQ(px(95, 52), 1);
    EXPECT_EQ(px(96, 52), 1);
    render_line(53);  // row 1: bit 6 of byte 0
    EXPECT_EQ(span(50, 54, 53), std::vector<int>({6, 1, 1, 6, 6}));
    render_line(92);  // 42 lines: 51..92
    EXPECT_EQ(px(49, 92), 1);
    render_line(93);
    EXPECT_EQ(px(49, 93), 6);
}

TEST_F(SpriteTest, NinthXBitMovesTheSprite) {
    reg(0x10, 0x01);
    render_line(51);
    EXPECT_EQ(px(49, 51), 6);
    EXPECT_EQ(px(305, 51), 1);
}

TEST_F(SpriteTest, MulticolourSpritePairs) {
    reg(0x1C, 0x01);
    reg(0x25, 3);
    reg(0x26, 4);
    poke(kCustom + 0, 0xE4);  // pairs 3 2 1 0 from the left
    poke(kCustom + 2, 0x00);
    render_line(51);
    EXPECT_EQ(span(48, 57, 51), std::vector<int>({6, 4, 4, 1, 1, 3, 3, 6, 6, 6}));
}

TEST_F(SpriteTest, SpriteZeroIsDrawnOverSpriteOne) {
    reg(0x15, 0x03);
    reg(0x02, 30);
    reg(0x03, 50);
    reg(0x28, 2);
    poke(kCustom + 0x40, 0xC0);
    render_line(51);
    EXPECT_EQ(px(49, 51), 1);  // both: sprite 0 wins
    EXPECT_EQ(px(50, 51), 2);  // sprite 1 only
}

TEST_F(SpriteTest, WindowClipsSpritesInThirtyEightColumns) {
    reg(0x00, 26);  // the leftmost pixel lands on column 45
    render_line(51);
    EXPECT_EQ(px(45, 51), 1);
    reg(0x16, 0x00);
    for (int x = 0; x < RasterPicture::kCols; x++) picture.row(37)[x] = 9;
    render_line(51);
    EXPECT_NE(px(45, 51), 1);

    reg(0x1C, 0x01);  // multicolour: pair at columns 44 and 45
    reg(0x26, 4);
    poke(kCustom + 0, 0xC0);
    reg(0x00, 25);
    render_line(51);
    EXPECT_NE(px(44, 51), 4);
    EXPECT_NE(px(45, 51), 4);
    reg(0x16, 0x08);
    render_line(51);
    EXPECT_EQ(px(44, 51), 4);
    EXPECT_EQ(px(45, 51), 4);
}

TEST_F(SpriteTest, TwentyFourRowsHideTheTopLines) {
    reg(0x11, 0x13);
    poke(kCustom + 12, 0x80);  // row 4
    render_line(51);  // the 24-row window starts at line 55
    EXPECT_NE(px(49, 51), 1);
    render_line(55);
    EXPECT_EQ(px(49, 55), 1);
}

}  // namespace

// The console grid: glyph drawing and colours, wrapping, scrolling,
// backspace, the cursor and redrawing from the shadow screen.
#include <algorithm>
#include <string>

#include "drivers/framebuffer/pixel_format.h"
#include "tests/unit/console/console_fixture.h"

namespace {

const uint16_t kPalette[16] = {0x0000, 0xFFFF, 0x69A5, 0x7536, 0x69F0, 0x5C68, 0x314F, 0xBE2D,
                               0x6A64, 0x41C0, 0x9B2B, 0x4228, 0x6B6D, 0x9E90, 0x6AF6, 0x94B2};

TEST_F(ConsoleTest, PaletteHoldsTheSixteenC64ColoursInOrder) {
    auto rgb565 = tarn::drivers::PixelFormat::standard(16);
    for (int i = 0; i < 16; i++) EXPECT_EQ(rgb565.encode(vga_palette_color(static_cast<u8>(i))), kPalette[i]) << i;
}

TEST_F(ConsoleTest, GlyphIsDrawnDotForDotInTextAndBackgroundColours) {
    printf("\n  A");  // cell (2, 1)
    const u8* glyph = g_8x16_font + 'A' * 16;
    int ink = 0;
    for (int line = 0; line < 16; line++)
        for (int dot = 0; dot < 8; dot++) {
            bool on = glyph[line] & (0x80 >> dot);
            ink += on;
            ASSERT_EQ(pixel(16 + dot, 16 + line), on ? 0x94B2 : 0x0000) << line << "," << dot;
        }
    EXPECT_GT(ink, 10);
    // The neighbouring cells were cleared, not drawn over.
    EXPECT_EQ(screen().code_at(1, 1), ' ');
    EXPECT_EQ(screen().code_at(3, 1), ' ');
    EXPECT_EQ(screen().fore(2, 1), consolereader::kLightGrey);
}

TEST_F(ConsoleTest, At24BitsAPixelEachDotIsThreeBytesAndThePitchPaddingStaysUntouched) {
    // 640 x 480 x 24 with 16 bytes of padding after each line.
    const uint32_t w = 640, h = 480, pitch = w * 3 + 16;
    std::vector<u8> mem(pitch * h, 0xEE);
    consolereader::AttachConsole(mem.data(), w, h, pitch, 24);
    vga_clear();
    printf("A");
    const u8* glyph = g_8x16_font + 'A' * 16;
    for (int line = 0; line < 16; line++)
        for (int dot = 0; dot < 8; dot++) {
            const u8* p = &mem[line * pitch + dot * 3];
            bool on = glyph[line] & (0x80 >> dot);
            // Light grey 0x949694, blue byte first.
            EXPECT_EQ(p[0], on ? 0x94 : 0x00);
            EXPECT_EQ(p[1], on ? 0x96 : 0x00);
            EXPECT_EQ(p[2], on ? 0x94 : 0x00);
        }
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t i = w * 3; i < pitch; i++) ASSERT_EQ(mem[y * pitch + i], 0xEE) << y;
}

TEST_F(ConsoleTest, OnALargeScreenTheCellsScaleAndTheGridKeepsEightyColumnsOrMore) {
    EXPECT_EQ(vga_scale_for(800, 600), 1u);
    EXPECT_EQ(vga_scale_for(1279, 1080), 1u);
    EXPECT_EQ(vga_scale_for(3840, 2160), 4u);
    const uint32_t w = 1920, h = 1080;
    std::vector<uint32_t> mem(w * h, 0x123456);
    consolereader::AttachConsole(mem.data(), w, h, w * 4, 32);
    EXPECT_EQ(vga_scale(), 2u);
    EXPECT_EQ(vga_cols(), 120);
    EXPECT_EQ(vga_rows(), 33);
    vga_clear();
    printf("\n A");  // cell (1, 1): 16 x 32 pixels from (16, 32)
    const u8* glyph = g_8x16_font + 'A' * 16;
    for (int line = 0; line < 16; line++)
        for (int dot = 0; dot < 8; dot++) {
            uint32_t want = (glyph[line] & (0x80 >> dot)) ? 0x949694 : 0;
            for (int k = 0; k < 2; k++)
                for (int l = 0; l < 2; l++)
                    ASSERT_EQ(mem[(32 + 2 * line + k) * w + 16 + 2 * dot + l], want) << line << "," << dot;
        }
    // Scrolling presents the 33 rows, not the 24 lines below them.
    std::fill(mem.begin() + 1056 * w, mem.end(), 0xABCDEF);
    printf("%s", std::string(120 * 40, 'x').c_str());
    EXPECT_EQ(std::count(mem.begin() + 1056 * w, mem.end(), 0xABCDEF), static_cast<long>(24 * w));
    EXPECT_EQ(vga_text_at(119, 32), ' ');
    EXPECT_EQ(vga_text_at(119, 31), 'x');
}

TEST_F(ConsoleTest, ClearPaintsEveryPixelAndHomesTheCursor) {
    printf("\n\nsome text");
    std::fill(fb.begin(), fb.end(), 0xFFFF);
    vga_clear();
    EXPECT_EQ(std::count(fb.begin(), fb.end(), 0x0000), static_cast<long>(fb.size()));
    expect_cursor(0, 0);
    EXPECT_EQ(vga_text_at(0, 2), ' ');
    EXPECT_EQ(vga_text_at(4, 2), ' ');
}

TEST_F(ConsoleTest, InitDescribesTheFramebufferWithoutClearing) {
    printf("abc");
    std::vector<uint16_t> other(kWidth * kHeight, 0x5555);
    consolereader::AttachConsole(other.data(), kWidth, kHeight, kPitch);
    EXPECT_EQ(std::count(other.begin(), other.end(), 0x5555), static_cast<long>(other.size()));
    expect_cursor(3, 0);
    printf("d");
    consolereader::ConsoleReader moved(other.data(), kWidth, kHeight, kPitch);
    EXPECT_EQ(moved.char_at(3, 0), 'd');
    EXPECT_EQ(row(0), "abc");  // the first framebuffer keeps what it had
}

TEST_F(ConsoleTest, HundredthCharacterWrapsToTheNextRow) {
    printf("%s", std::string(99, 'x').c_str());
    expect_cursor(99, 0);
    printf("y");
    expect_cursor(0, 1);
    printf("z");
    EXPECT_EQ(row(0), std::string(99, 'x') + "y");
    EXPECT_EQ(row(1), "z");
    expect_cursor(1, 1);
}

TEST_F(ConsoleTest, NewlineOnTheLastRowScrollsUpOneLine) {
    for (int i = 0; i < 37; i++) printf(i ? "\nline %d" : "line %d", i);
    expect_cursor(7, 36);
    EXPECT_EQ(row(0), "line 0");
    EXPECT_EQ(row(36), "line 36");
    printf("\n");
    expect_cursor(0, 36);
    EXPECT_EQ(row(0), "line 1");
    EXPECT_EQ(row(35), "line 36");
    EXPECT_EQ(row(36), "");
    EXPECT_EQ(vga_text_at(0, 35), 'l');
    EXPECT_EQ(vga_text_at(0, 36), ' ');
    printf("next");
    EXPECT_EQ(row(36), "next");
    EXPECT_EQ(row(0), "line 1");
}

TEST_F(ConsoleTest, WrappingOffTheLastRowScrollsToo) {
    for (int i = 0; i < 36; i++) printf("%d\n", i);
    printf("%s", std::string(100, '#').c_str());
    expect_cursor(0, 36);
    EXPECT_EQ(row(0), "1");
    EXPECT_EQ(row(35), std::string(100, '#'));
    EXPECT_EQ(row(36), "");
}

TEST_F(ConsoleTest, BackspaceAtColumnZeroMovesToTheEndOfThePreviousRow) {
    printf("\n\n\n\n%s", std::string(100, 'w').c_str());
    expect_cursor(0, 5);
    putc(0x0E);
    expect_cursor(99, 4);
    EXPECT_EQ(row(4), std::string(99, 'w'));
    EXPECT_EQ(vga_text_at(99, 4), ' ');
    printf("v");  // the freed cell takes the next character
    EXPECT_EQ(row(4), std::string(99, 'w') + "v");
    expect_cursor(0, 5);
}

TEST_F(ConsoleTest, BackspaceInsideARowBlanksThePreviousCell) {
    printf("abc");
    putc(0x0E);
    putc(0x0E);
    expect_cursor(1, 0);
    EXPECT_EQ(row(0), "a");
    EXPECT_EQ(vga_text_at(1, 0), ' ');
    printf("XY");
    EXPECT_EQ(row(0), "aXY");
}

TEST_F(ConsoleTest, BackspaceAtTheOriginDoesNothing) {
    std::vector<uint16_t> before = fb;
    putc(0x0E);
    expect_cursor(0, 0);
    EXPECT_TRUE(fb == before);
    InChildProcess([&] {
        vga_cursor_enable();
        putc(0x0E);  // not even the cursor is drawn
        EXPECT_TRUE(fb == before);
    });
}

TEST_F(ConsoleTest, CursorShowsAsUnderscoreInTheNextCellOnly) {
    InChildProcess([&] {
        printf("ab");
        EXPECT_EQ(screen().code_at(2, 0), ' ');  // off until enabled
        vga_cursor_enable();
        EXPECT_TRUE(vga_cursor_on());
        printf("c");
        EXPECT_EQ(row(0), "abc_");
        EXPECT_EQ(vga_text_at(3, 0), ' ');  // never stored in the shadow screen
        printf("\n");
        EXPECT_EQ(row(0), "abc");
        EXPECT_EQ(row(1), "_");
        printf("d");
        putc(0x0E);
        EXPECT_EQ(row(1), "_");
        putc(0x0E);  // column 0 of row 1: back to the end of row 0
        EXPECT_EQ(row(1), "");
        EXPECT_EQ(screen().char_at(99, 0), '_');
    });
}

TEST_F(ConsoleTest, OtherControlCodesShowTheirGlyphs) {
    putc(0x01);
    putc(0x0D);
    putc(0x09);
    putc(0xDB);
    EXPECT_EQ(screen().code_at(0, 0), 0x01);
    EXPECT_EQ(screen().code_at(1, 0), 0x0D);
    EXPECT_EQ(screen().code_at(2, 0), 0x09);
    EXPECT_EQ(screen().code_at(3, 0), 0xDB);
    expect_cursor(4, 0);
}

TEST_F(ConsoleTest, RestoreRedrawsEveryCellFromTheShadowScreen) {
    printf("HELLO\n  WORLD");
    std::fill(fb.begin(), fb.end(), 0x7777);
    vga_restore_textscreen();
    EXPECT_EQ(row(0), "HELLO");
    EXPECT_EQ(row(1), "  WORLD");
    EXPECT_EQ(row(36), "");
    // The grid is 800 x 592 pixels: the 8 lines below it stay untouched.
    EXPECT_EQ(pixel(0, 591), 0x0000);
    EXPECT_EQ(pixel(0, 592), 0x7777);
    EXPECT_EQ(pixel(799, 599), 0x7777);
}

TEST_F(ConsoleTest, SmallerFramebufferHasASmallerGridAndNothingIsWrittenPastIt) {
    // 640 x 480: 80 x 30 cells.
    const uint32_t w = 640, h = 480, guard = 4096;
    std::vector<uint16_t> mem(w * h + guard, 0xABCD);
    consolereader::AttachConsole(mem.data(), w, h, w * 2);
    EXPECT_EQ(vga_cols(), 80);
    EXPECT_EQ(vga_rows(), 30);
    vga_clear();
    for (int i = 0; i < 40; i++) printf("%s\n", std::string(100, 'm').c_str());
    EXPECT_EQ(std::count(mem.begin() + w * h, mem.end(), 0xABCD), static_cast<long>(guard));
    consolereader::ConsoleReader small(mem.data(), w, h, w * 2);
    EXPECT_EQ(small.row_raw(28).substr(0, 80), std::string(20, 'm') + std::string(60, ' '));
    EXPECT_EQ(small.row_raw(27).substr(0, 80), std::string(80, 'm'));
}

TEST_F(ConsoleTest, WithoutAFramebufferOutputOnlyReachesTheShadowScreen) {
    consolereader::DetachConsole();
    printf("quiet");
    expect_cursor(5, 0);
    EXPECT_EQ(vga_text_at(0, 0), 'q');
    vga_clear();
    EXPECT_EQ(vga_text_at(0, 0), ' ');
}

}  // namespace

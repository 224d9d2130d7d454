// The test-side readers: glyph matching over a framebuffer and the exact
// text rebuilt by Capture.
#include <gtest/gtest-spi.h>

#include <string>

#include "tests/unit/console/console_fixture.h"

namespace {

TEST_F(ConsoleTest, ReaderMatchesEveryGlyphOfTheFont) {
    for (int code = 0; code < 256; code++) {
        if (code == 0x0A || code == 0x0E) continue;  // newline, backspace
        vga_clear();
        putc(static_cast<u8>(code));
        int expected = (code == 0 || code == 255) ? 32 : code;  // drawn blank, like a space
        ASSERT_EQ(screen().code_at(0, 0), expected) << code;
    }
}

TEST_F(ConsoleTest, ReaderRejectsCellsThatAreNoGlyph) {
    printf("ok");
    uint16_t kept = fb[3 * kWidth + 9];
    fb[3 * kWidth + 9] = 0x1234;  // a third colour inside cell (1, 0)
    EXPECT_EQ(screen().code_at(1, 0), -1);
    EXPECT_EQ(screen().char_at(1, 0), '?');
    EXPECT_EQ(screen().row(0), "o?");
    fb[3 * kWidth + 9] = kept;
    EXPECT_EQ(screen().code_at(1, 0), 'k');
    fb[0 * kWidth + 9] = 0x94B2;  // one stray text-coloured dot above the k
    EXPECT_EQ(screen().code_at(1, 0), -1);
}

TEST_F(ConsoleTest, ReaderTellsBlankFromFullBlockAndReportsColours) {
    putc(' ');
    putc(0xDB);
    EXPECT_EQ(screen().code_at(0, 0), ' ');
    EXPECT_EQ(screen().code_at(1, 0), 0xDB);
    EXPECT_EQ(screen().fore(1, 0), consolereader::kLightGrey);
    EXPECT_TRUE(screen().cell_is(0, 0, consolereader::kBlack));
    EXPECT_FALSE(screen().cell_is(1, 0, consolereader::kBlack));
    // On another background a glyph still reads, both colours swapped too.
    for (uint32_t y = 0; y < 16; y++)
        for (uint32_t x = 0; x < 8; x++) {
            uint16_t& p = fb[y * kWidth + 16 + x];
            p = p ? 0x0000 : 0x5C68;  // cell (2, 0) still blank: becomes all green
        }
    EXPECT_EQ(screen().code_at(2, 0), 0xDB);
    consolereader::ConsoleReader green(fb.data(), kWidth, kHeight, kPitch, 0x5C68);
    EXPECT_EQ(green.code_at(2, 0), ' ');
}

TEST_F(ConsoleTest, ReaderTextDropsTrailingBlankRowsAndFindsRows) {
    printf("first\n\n  third   \n");
    consolereader::ConsoleReader s = screen();
    EXPECT_EQ(s.text(), "first\n\n  third");
    EXPECT_EQ(s.row_raw(2).size(), 100u);
    EXPECT_EQ(s.find_row("hir"), 2);
    EXPECT_TRUE(s.contains("first"));
    EXPECT_FALSE(s.contains("fourth"));
}

TEST(Capture, RebuildsNewlinesWrapsAndTrailingSpacesExactly) {
    consolecapture::Capture capture;
    capture.Start();
    std::string text = "ab  \n\n" + std::string(100, 'x') + "y\n" + std::string(100, 'z') + "\n  ";
    printf("%s", text.c_str());
    EXPECT_FALSE(capture.Scrolled());
    EXPECT_EQ(capture.Text(), text);
    capture.Start();
    EXPECT_EQ(capture.Text(), "");
    printf("\n");
    EXPECT_EQ(capture.Text(), "\n");
}

TEST(Capture, ScrolledOutputIsReportedAsAFailure) {
    consolecapture::Capture capture;
    capture.Start();
    for (int i = 0; i < 36; i++) printf("%d\n", i);
    EXPECT_FALSE(capture.Scrolled());
    printf("36\n");
    EXPECT_TRUE(capture.Scrolled());
    EXPECT_NONFATAL_FAILURE(capture.Text(), "scrolled");
}

TEST(Capture, CursorOnIsReportedAsAFailure) {
    InChildProcess([] {
        consolecapture::Capture capture;
        capture.Start();
        vga_cursor_enable();
        printf("x\n");
        EXPECT_NONFATAL_FAILURE(capture.Text(), "cursor is on");
    });
}

}  // namespace

// printf's conversions, read back from the console.
#include <climits>

#include "tests/unit/console/console_fixture.h"

namespace {

class Printf : public ::testing::Test {
protected:
    void SetUp() override { capture.Start(); }
    consolecapture::Capture capture;
};

TEST_F(Printf, PlainTextGoesThroughUnchanged) {
    printf("READY. 12 x\n  y");
    EXPECT_EQ(capture.Text(), "READY. 12 x\n  y");
}

TEST_F(Printf, ZeroFlagWithOneDigitWidthPadsWithZeros) {
    printf("%08X|%0X|%x|%02X|%04u|%03o|%00d", 0xABu, 0xABu, 0u, 0x123u, 7u, 8u, 5);
    EXPECT_EQ(capture.Text(), "000000AB|AB|0|123|0007|010|5");
}

TEST_F(Printf, NegativeDecimalPutsTheSignBeforeThePadding) {
    printf("%04d %d %d %d %09d", -5, -1, 0, INT_MIN, INT_MIN);
    EXPECT_EQ(capture.Text(), "-0005 -1 0 -2147483648 -2147483648");
}

TEST_F(Printf, UnsignedOctalAndHexadecimalTakeTheWholeWord) {
    printf("%u %o %x %X %d", 4294967295u, 4294967295u, 0xDEADBEEFu, 0xDEADBEEFu, INT_MAX);
    EXPECT_EQ(capture.Text(), "4294967295 37777777777 deadbeef DEADBEEF 2147483647");
}

TEST_F(Printf, PercentSignAndCharacters) {
    printf("100%% %c%c%c", 'o', 0x14B, 'k');  // %c prints the low byte only
    EXPECT_EQ(capture.Text(), "100% oKk");
}

TEST_F(Printf, StringsArePrintedThroughTheConsole) {
    printf("[%s] [%s] [%s]", "abc", "", "two\nlines");
    EXPECT_EQ(capture.Text(), "[abc] [] [two\nlines]");
}

TEST_F(Printf, NullStringPrintsAMarkerInsteadOfFaulting) {
    printf("<%s>", static_cast<const char*>(nullptr));
    EXPECT_EQ(capture.Text(), "<(null)>");
}

TEST_F(Printf, UnknownConversionPrintsNothingAndConsumesNoArgument) {
    printf("a%qb%d%ly", 42);
    EXPECT_EQ(capture.Text(), "ab42y");
}

TEST_F(Printf, WidthIsRecognisedOnlyAfterZero) {
    // The 5 is the (unknown) conversion; the d is then plain text and the
    // argument is left for the next conversion.
    printf("%5d %u", 77u);
    EXPECT_EQ(capture.Text(), "d 77");
}

TEST_F(Printf, FormatEndingInsideAConversionStopsThere) {
    printf("A%");
    printf("B%0");
    printf("C%07");
    printf("D\n");
    EXPECT_EQ(capture.Text(), "ABCD\n");
}

TEST_F(Printf, NumbersDoNotShareStateAcrossConversions) {
    printf("%08x %x %02x", 0x1u, 0xFFFFFFFFu, 0x3u);
    EXPECT_EQ(capture.Text(), "00000001 ffffffff 03");
}

TEST_F(Printf, PutsAndPutcWriteBytesAsTheyAre) {
    puts("xy");
    putc('z');
    putc(0x01);  // control codes other than newline and backspace show their glyph
    EXPECT_EQ(capture.Text(), "xyz\x01");
}

}  // namespace

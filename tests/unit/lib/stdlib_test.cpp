#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "lib/stdlib.h"

namespace {

std::string text_of(i32 value, i32 base) {
    char buffer[40];
    memset(buffer, '#', sizeof buffer);
    char* result = itoa(value, buffer, base);
    EXPECT_EQ(result, buffer);
    EXPECT_EQ(buffer[sizeof buffer - 1], '#') << "wrote past the 33 bytes a value needs";
    return std::string(buffer);
}

i32 hex(const char* text) {
    std::string copy(text);
    return htoi(copy.data());
}

i32 dec(const char* text) {
    std::string copy(text);
    return atoi(copy.data());
}

TEST(Itoa, DecimalValues) {
    EXPECT_EQ(text_of(0, 10), "0");
    EXPECT_EQ(text_of(7, 10), "7");
    EXPECT_EQ(text_of(123, 10), "123");
    EXPECT_EQ(text_of(-45, 10), "-45");
    EXPECT_EQ(text_of(INT_MAX, 10), "2147483647");
    EXPECT_EQ(text_of(INT_MIN, 10), "-2147483648");
}

TEST(Itoa, NegativeValuesCarryASignInEveryBase) {
    EXPECT_EQ(text_of(-7, 2), "-111");
    EXPECT_EQ(text_of(-255, 16), "-ff");
    EXPECT_EQ(text_of(-1, 16), "-1") << "not the two's complement digits";
    EXPECT_EQ(text_of(-8, 8), "-10");
    EXPECT_EQ(text_of(-35, 36), "-z");
}

TEST(Itoa, OtherBasesUseLowerCaseLetters) {
    EXPECT_EQ(text_of(35, 36), "z");
    EXPECT_EQ(text_of(36, 36), "10");
    EXPECT_EQ(text_of(255, 16), "ff");
    EXPECT_EQ(text_of(0xBEEF, 16), "beef");
    EXPECT_EQ(text_of(5, 2), "101");
    EXPECT_EQ(text_of(0, 2), "0");
    EXPECT_EQ(text_of(8, 3), "22");
}

TEST(Itoa, ExtremesFitThirtyThreeBytes) {
    EXPECT_EQ(text_of(INT_MIN, 2), "-1" + std::string(31, '0'));
    EXPECT_EQ(text_of(INT_MAX, 2), std::string(31, '1'));
    EXPECT_EQ(text_of(INT_MIN, 16), "-80000000");
    EXPECT_EQ(text_of(INT_MIN, 36), "-zik0zk");
}

TEST(Itoa, BaseOutsideTwoToThirtySixGivesAnEmptyString) {
    for (i32 base : {1, 37, 0, -10, INT_MIN, INT_MAX}) {
        EXPECT_EQ(text_of(35, base), "") << "base " << base;
        EXPECT_EQ(text_of(-35, base), "") << "base " << base;
    }
}

TEST(Htoi, ReadsUpperAndLowerCaseDigits) {
    EXPECT_EQ(hex("0"), 0);
    EXPECT_EQ(hex("ff"), 255);
    EXPECT_EQ(hex("FF"), 255);
    EXPECT_EQ(hex("c000"), 0xC000);
    EXPECT_EQ(hex("DeadBeef"), static_cast<i32>(0xDEADBEEFu));
    EXPECT_EQ(hex("0123456789abcdef") , static_cast<i32>(0x89ABCDEFu)) << "wraps modulo 2^32";
}

TEST(Htoi, SkipsLeadingSpacesAndTabsOnly) {
    EXPECT_EQ(hex("  ff"), 255);
    EXPECT_EQ(hex("\t \t1A"), 26);
    EXPECT_EQ(hex("\n1A"), 0) << "a newline is not skipped";
    EXPECT_EQ(hex("1 2"), 1) << "a space after digits ends the number";
}

TEST(Htoi, StopsAtTheFirstCharacterThatIsNoHexDigit) {
    EXPECT_EQ(hex("G1"), 0);
    EXPECT_EQ(hex("1G"), 1);
    EXPECT_EQ(hex("0x1F"), 0) << "no 0x prefix";
    EXPECT_EQ(hex("-1"), 0) << "no sign";
    EXPECT_EQ(hex("12:34"), 0x12);
    EXPECT_EQ(hex("ag"), 10);
    EXPECT_EQ(hex("@"), 0) << "just below 'A'";
    EXPECT_EQ(hex("`"), 0) << "just below 'a'";
    EXPECT_EQ(hex("/"), 0) << "just below '0'";
}

TEST(Htoi, EmptyAndBlankTextGiveZero) {
    EXPECT_EQ(hex(""), 0);
    EXPECT_EQ(hex("   "), 0);
}

TEST(Atoi, ReadsDecimalDigits) {
    EXPECT_EQ(dec("123"), 123);
    EXPECT_EQ(dec("0"), 0);
    EXPECT_EQ(dec("007"), 7);
    EXPECT_EQ(dec("2147483647"), INT_MAX);
    EXPECT_EQ(dec(""), 0);
}

TEST(Atoi, EveryCharacterEntersTheSumAsItsCodeMinus48) {
    EXPECT_EQ(dec("1a"), 59);           // 1 * 10 + ('a' - 48)
    EXPECT_EQ(dec(" 5"), (32 - 48) * 10 + 5) << "no whitespace skipping";
    EXPECT_EQ(dec("-1"), (45 - 48) * 10 + 1) << "no sign handling";
    EXPECT_EQ(dec("12 "), 120 + (32 - 48)) << "nothing ends the number but the terminator";
}

TEST(Atoi, OverflowWrapsModulo2To32) {
    EXPECT_EQ(dec("2147483648"), INT_MIN);
    EXPECT_EQ(dec("4294967296"), 0);
    EXPECT_EQ(dec("4294967297"), 1);
}

}  // namespace

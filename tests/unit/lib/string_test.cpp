#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "lib/string.h"

namespace {

TEST(String, StrlenCountsBytesBeforeTheTerminator) {
    EXPECT_EQ(strlen(""), 0);
    EXPECT_EQ(strlen("a"), 1);
    EXPECT_EQ(strlen("READY."), 6);
    const char embedded[] = {'a', 'b', 0, 'c', 0};
    EXPECT_EQ(strlen(embedded), 2);
    EXPECT_EQ(strlen("\xE9\xFF"), 2) << "high bytes are counted like any other";
}

TEST(String, StrcmpReturnsExactlyMinusOneZeroOrOne) {
    EXPECT_EQ(strcmp("abc", "abc"), 0);
    EXPECT_EQ(strcmp("", ""), 0);
    EXPECT_EQ(strcmp("abc", "abd"), -1);
    EXPECT_EQ(strcmp("abz", "abc"), 1);
    EXPECT_EQ(strcmp("a", "z"), -1) << "not the difference of the bytes";
    EXPECT_EQ(strcmp("z", "a"), 1);
}

TEST(String, StrcmpOrdersAShorterPrefixBeforeAPlainLongerString) {
    EXPECT_EQ(strcmp("ab", "abc"), -1);
    EXPECT_EQ(strcmp("abc", "ab"), 1);
    EXPECT_EQ(strcmp("", "a"), -1);
}

TEST(String, StrcmpTreatsBytesAsSigned) {
    EXPECT_EQ(strcmp("\xE9", "A"), -1);
    EXPECT_EQ(strcmp("x\xE9y", "xAy"), -1);
    EXPECT_EQ(strcmp("A", "\xE9"), 1);
    EXPECT_EQ(strcmp("\x80", "\xFF"), -1);
    EXPECT_EQ(strcmp("\x7F", "\x80"), 1);
    // A high byte even sorts below the end of the other string.
    EXPECT_EQ(strcmp("ab\xE9", "ab"), -1);
    EXPECT_EQ(strcmp("ab", "ab\xE9"), 1);
}

TEST(String, StrchrFindsTheFirstOccurrence) {
    const char text[] = "HELLO";
    EXPECT_EQ(strchr(text, 'L'), text + 2);
    EXPECT_EQ(strchr(text, 'H'), text);
    EXPECT_EQ(strchr(text, 'O'), text + 4);
}

TEST(String, StrchrOfAMissingCharacterPointsAtTheTerminatorNotNull) {
    const char text[] = "HELLO";
    EXPECT_EQ(strchr(text, 'Z'), text + 5);
    EXPECT_EQ(*strchr(text, 'Z'), 0);
    const char empty[] = "";
    EXPECT_EQ(strchr(empty, 'A'), empty);
    EXPECT_EQ(strchr(text, 0), text + 5);
}

TEST(String, StrchrComparesSignExtendedBytes) {
    const char text[] = "ab\xE9" "cd";
    EXPECT_EQ(strchr(text, -23), text + 2) << "0xE9 sign-extends to -23";
    EXPECT_EQ(strchr(text, 0xE9), text + 5) << "the unsigned value never matches";
    EXPECT_EQ(strchr(text, 'c' + 256), text + 5) << "no truncation of the character";
}

}  // namespace

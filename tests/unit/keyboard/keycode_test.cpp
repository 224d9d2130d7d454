#include <gtest/gtest.h>

#include <cstdint>
#include <map>

#include "drivers/keyboard.h"

using tarn::drivers::keyboard_extended_key_code;
using tarn::drivers::keyboard_key_code;

TEST(KeyCodes, LettersAreUpperCaseAscii) {
    const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const uint8_t starts[] = {0x10, 0x1E, 0x2C};
    for (int r = 0; r < 3; ++r)
        for (int i = 0; rows[r][i]; ++i)
            EXPECT_EQ(keyboard_key_code(static_cast<uint8_t>(starts[r] + i)), rows[r][i])
                << std::hex << starts[r] + i;
}

TEST(KeyCodes, DigitsAndPunctuationAreAscii) {
    for (int i = 0; i < 9; ++i) EXPECT_EQ(keyboard_key_code(static_cast<uint8_t>(0x02 + i)), '1' + i);
    std::map<uint8_t, uint8_t> punct = {
        {0x0B, '0'}, {0x0C, '-'}, {0x0D, '='}, {0x1A, '['}, {0x1B, ']'}, {0x27, ';'},
        {0x28, '\''}, {0x29, '`'}, {0x33, ','}, {0x34, '.'}, {0x35, '/'}, {0x39, ' '},
    };
    for (auto [scan, code] : punct) EXPECT_EQ(keyboard_key_code(scan), code) << std::hex << int(scan);
}

TEST(KeyCodes, SpecialKeysHaveTheirOwnCodes) {
    std::map<uint8_t, uint8_t> special = {
        {0x01, 1},   {0x0E, 14},  {0x0F, 15},  {0x1C, 10},  {0x1D, 29},  {0x2A, 42},
        {0x2B, 43},  {0x36, 42},  {0x37, 42},  {0x38, 255}, {0x43, 2},   {0x44, 3},
        {0x45, 145}, {0x46, 144}, {0x47, 252}, {0x48, 253}, {0x4B, 250}, {0x4D, 251},
        {0x50, 254}, {0x57, 5},   {0x58, 4},
    };
    for (auto [scan, code] : special) EXPECT_EQ(keyboard_key_code(scan), code) << std::hex << int(scan);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(keyboard_key_code(static_cast<uint8_t>(0x3B + i)), 241 + i);
}

TEST(KeyCodes, UnlistedKeysAreIgnored) {
    for (uint8_t scan : {0x00, 0x3A, 0x49, 0x4A, 0x4C, 0x4E, 0x4F, 0x51, 0x52, 0x53, 0x54, 0x55,
                         0x56, 0x59, 0x60, 0x7A, 0x7F})
        EXPECT_EQ(keyboard_key_code(scan), 0) << std::hex << int(scan);
    EXPECT_EQ(keyboard_key_code(0xFA), 0);  // out of the make range entirely
}

TEST(KeyCodes, OnlySixExtendedKeysAreKnown) {
    EXPECT_EQ(keyboard_extended_key_code(0x47), 252);
    EXPECT_EQ(keyboard_extended_key_code(0x48), 253);
    EXPECT_EQ(keyboard_extended_key_code(0x49), 249);  // Page Up
    EXPECT_EQ(keyboard_extended_key_code(0x4B), 250);
    EXPECT_EQ(keyboard_extended_key_code(0x4D), 251);
    EXPECT_EQ(keyboard_extended_key_code(0x50), 254);
    int known = 0;
    for (int b = 0; b < 0x80; ++b) known += keyboard_extended_key_code(static_cast<uint8_t>(b)) != 0;
    EXPECT_EQ(known, 6);
}

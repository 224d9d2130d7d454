// displayMemory's hex dump, read back from the console.
#include <algorithm>

#include "tests/unit/console/console_fixture.h"

namespace {

class DisplayMemory : public ::testing::Test {
protected:
    void SetUp() override { capture.Start(); }
    consolecapture::Capture capture;
};

TEST_F(DisplayMemory, TwentyBytesGiveAFullLineAndAPartialOne) {
    std::vector<u8> bytes;
    for (int i = 0; i < 20; i++) bytes.push_back(static_cast<u8>('A' + i));
    displayMemory(bytes.data(), static_cast<u16>(bytes.size()));
    EXPECT_EQ(capture.Text(),
              "\n0000: 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 ABCDEFGHIJKLMNOP"
              "\n0010: 51 52 53 54 ");
}

TEST_F(DisplayMemory, BytesOutsidePrintableAsciiShowAsDots) {
    u8 bytes[16] = {0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF, 0x0A, 0x0E, '%', 'd', '0', '9', 'z', 0x2E, 0xC8};
    displayMemory(bytes, 16);
    EXPECT_EQ(capture.Text(), "\n0000: 00 1F 20 7E 7F 80 FF 0A 0E 25 64 30 39 7A 2E C8 .. ~.....%d09z..");
}

TEST_F(DisplayMemory, EmptyBufferPrintsNothing) {
    u8 byte = 0x42;
    displayMemory(&byte, 0);
    EXPECT_EQ(capture.Text(), "");
}

TEST_F(DisplayMemory, ExactMultipleOfSixteenEndsWithItsCharacters) {
    std::vector<u8> bytes(32, 0x2A);
    displayMemory(bytes.data(), 32);
    std::string line = " 2A 2A 2A 2A 2A 2A 2A 2A 2A 2A 2A 2A 2A 2A 2A 2A ****************";
    EXPECT_EQ(capture.Text(), "\n0000:" + line + "\n0010:" + line);
}

TEST_F(DisplayMemory, OffsetsCountInHexAcrossManyLines) {
    std::vector<u8> bytes(300);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<u8>(i);
    displayMemory(bytes.data(), 300);
    std::string text = capture.Text();
    EXPECT_NE(text.find("\n00F0: F0 F1 F2"), std::string::npos) << text;
    // 300 = 18 full lines and 12 bytes: the last line starts at 0x120.
    EXPECT_NE(text.find("\n0120: 20 21 22 23 24 25 26 27 28 29 2A 2B "), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 6), "2A 2B ");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 19);
}

}  // namespace

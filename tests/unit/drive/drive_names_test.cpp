// Drive 8 on long names and subdirectories: files another system wrote with
// long or lower-case names are found and listed, names up to 16 characters
// are written with a long-name entry fsck.fat and mtools accept, and MD, CD
// and RD work on directories of the volume.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/drive/drive_on_volume.h"

namespace {

class LongNames : public DriveOnVolume {};

TEST_F(LongNames, LongAndLowerCaseNamesAreFoundListedAndWritten) {
    // 10 PRINT "BD", as another system stores it under a long lower-case name.
    std::vector<u8> prg = {0x01, 0x08, 0x0C, 0x08, 0x0A, 0x00, 0x99, ' ', '"', 'B', 'D', '"', 0x00, 0x00, 0x00};
    ASSERT_TRUE(volume.Put("boulder dash.prg", prg));
    Mount();
    ASSERT_TRUE(Command("LOAD \"$\",8"));
    ASSERT_TRUE(Command("LIST"));
    EXPECT_GE(RowOf("\"BOULDER DASH\"     PRG"), 0);
    ASSERT_TRUE(Command("LOAD \"BOULDER DASH\",8"));
    EXPECT_FALSE(hm.screen_has("ERROR"));
    ASSERT_TRUE(Command("RUN"));
    EXPECT_EQ(hm.row(RowOf("RUN") + 1).rfind("BD", 0), 0u);

    ASSERT_TRUE(Command("SAVE \"MY SIXTEEN CHARS\",8"));
    EXPECT_EQ(volume.Get("MY SIXTEEN CHARS.PRG"), prg);
    ASSERT_TRUE(Command("SAVE \"SEVENTEEN CHARS!!\",8"));
    EXPECT_EQ(Send(""), "< 33 SYNTAX ERROR>");
    ExpectClean();
}

TEST_F(LongNames, SubdirectoriesAreMadeEnteredLeftAndRemoved) {
    Mount();
    EXPECT_EQ(Send("MD:GAMES"), "< 0 OK>");
    EXPECT_EQ(Send("CD:GAMES"), "< 0 OK>");
    TypeLine("10 REM IN GAMES");
    ASSERT_TRUE(Command("SAVE \"INSIDE\",8"));
    ASSERT_TRUE(Command("LOAD \"$\",8"));
    ASSERT_TRUE(Command("LIST"));
    EXPECT_GE(RowOf("\"INSIDE\"           PRG"), 0);
    EXPECT_EQ(Send("CD:_"), "< 0 OK>");
    ASSERT_TRUE(Command("PRINT CHR$(147)"));
    ASSERT_TRUE(Command("LOAD \"$\",8"));
    ASSERT_TRUE(Command("LIST"));
    EXPECT_GE(RowOf("\"GAMES\"            DIR"), 0);
    EXPECT_LT(RowOf("\"INSIDE\""), 0);
    EXPECT_FALSE(volume.Get("GAMES/INSIDE.PRG").empty());
    EXPECT_EQ(Send("CD:GAMES"), "< 0 OK>");
    EXPECT_EQ(Send("S:INSIDE"), "< 1 FILES SCRATCHED>");
    EXPECT_EQ(Send("CD:_"), "< 0 OK>");
    EXPECT_EQ(Send("RD:GAMES"), "< 0 OK>");
    ExpectClean();
}

}  // namespace

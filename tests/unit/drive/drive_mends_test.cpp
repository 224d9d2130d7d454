// Drive 8 as new users met it: a second OPEN on a secondary address whose
// file is still being written, names shared by long PC names, a folder's
// name given to R:, and a machine-language program that loads at $0810.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/drive/drive_on_volume.h"

namespace {

std::vector<u8> Bytes(const std::string& s) { return std::vector<u8>(s.begin(), s.end()); }

class DriveMends : public DriveOnVolume {
protected:
    // A scratch and the count the error channel reports.
    std::string Scratch(const std::string& pattern) {
        Run({"10 OPEN 15,8,15,\"S:" + pattern + "\":INPUT#15,A,B$,C:CLOSE 15:PRINT \"<\";A;C;\">\""});
        return Output();
    }
};

TEST_F(DriveMends, ReopeningASecondaryAddressStoresTheFileBeingWrittenFirst) {
    ASSERT_TRUE(volume.Put("OLD.SEQ", Bytes("KEPT\r")));
    Mount();
    // Written on secondary address 2, then 2 opened again: for writing, then
    // for reading; every file written is whole on the volume.
    Run({"10 OPEN 2,8,2,\"ONE,S,W\":PRINT#2,\"FIRST\"",
         "20 OPEN 3,8,2,\"TWO,S,W\":PRINT#3,\"SECOND\"",
         "30 OPEN 4,8,2,\"OLD\":INPUT#4,A$:CLOSE 4:CLOSE 3:CLOSE 2",
         "40 OPEN 15,8,15:INPUT#15,E,E$:CLOSE 15:PRINT \"<\";A$;E;\">\""});
    EXPECT_EQ(Output(), "<KEPT 0 >");
    EXPECT_EQ(volume.Get("ONE.SEQ"), Bytes("FIRST\r"));
    EXPECT_EQ(volume.Get("TWO.SEQ"), Bytes("SECOND\r"));
    ExpectClean();
}

TEST_F(DriveMends, AFileAppendedToIsStoredUnderItsNameWhenTheListingMovedMeanwhile) {
    ASSERT_TRUE(volume.Put("AAA.SEQ", Bytes("GONE\r")));
    ASSERT_TRUE(volume.Put("LOG.SEQ", Bytes("ONE\r")));
    ASSERT_TRUE(volume.Put("ZZZ.SEQ", Bytes("OTHER\r")));
    Mount();
    // AAA goes while LOG is open: LOG is listed one place earlier by then.
    Run({"10 OPEN 2,8,2,\"LOG,A\":PRINT#2,\"TWO\":OPEN 15,8,15,\"S:AAA\":CLOSE 2",
         "20 INPUT#15,E:CLOSE 15:PRINT \"<\";E;\">\""});
    EXPECT_EQ(Output(), "< 1 >");  // files scratched; the close said nothing
    EXPECT_EQ(volume.Get("LOG.SEQ"), Bytes("ONE\rTWO\r"));
    EXPECT_EQ(volume.Get("ZZZ.SEQ"), Bytes("OTHER\r"));
    ExpectClean();
}

TEST_F(DriveMends, ANameWithoutWildcardsReachesOneFileAndAFolderNameIsTaken) {
    ASSERT_TRUE(volume.Put("my long file name number one.prg", {0x01, 0x08, 1}));
    ASSERT_TRUE(volume.Put("my long file name number two.prg", {0x01, 0x08, 2}));
    ASSERT_TRUE(volume.Put("NONEMPTY.PRG", {0x01, 0x08, 3}));
    ASSERT_TRUE(volume.image.MakeDirectory("EXIST1"));
    Mount();
    EXPECT_EQ(Send("R:EXIST1=NONEMPTY"), "< 63 FILE EXISTS>");
    EXPECT_EQ(Scratch("MY LONG FILE NAM"), "< 1  1 >");
    // The first in the listing went; the other one is still there.
    EXPECT_TRUE(volume.Get("my long file name number one.prg").empty());
    EXPECT_EQ(volume.Get("my long file name number two.prg"), (std::vector<u8>{0x01, 0x08, 2}));
    EXPECT_EQ(volume.Get("NONEMPTY.PRG"), (std::vector<u8>{0x01, 0x08, 3}));
    // With a wildcard a pattern still takes every file it matches.
    EXPECT_EQ(Scratch("*"), "< 1  2 >");
    EXPECT_TRUE(volume.Get("NONEMPTY.PRG").empty());
    ExpectClean();
}

TEST_F(DriveMends, MachineCodeForAddress0810LoadsThereWithItsHeaderAndRuns) {
    // $0810: LDA #$2A; STA $C000; RTS. Its load address points 15 bytes past
    // the start of BASIC, where the link of an old headerless program would.
    std::vector<u8> prg = {0x10, 0x08, 0xA9, 0x2A, 0x8D, 0x00, 0xC0, 0x60};
    ASSERT_TRUE(volume.Put("PW-IRQMUSIC.PRG", prg));
    Mount();
    ASSERT_TRUE(Command("LOAD \"PW-IRQMUSIC\",8,1"));
    for (u16 i = 2; i < prg.size(); i++) EXPECT_EQ(Peek(0x0810 + i - 2), prg[i]);
    EXPECT_EQ(Peek(0x0801), 0x00);  // nothing of the file at the start of BASIC
    ASSERT_TRUE(Command("SYS 2064"));
    EXPECT_EQ(Peek(0xC000), 0x2A);
    // BASIC is left working: a typed program lists.
    TypeLine("10 PRINT \"STILL\"");
    ASSERT_TRUE(Command("RUN"));
    EXPECT_TRUE(hm.screen_has("STILL"));
}

TEST_F(DriveMends, AProgramsByteAtAddressTwoOutlastsDiskTraffic) {
    ASSERT_TRUE(volume.Put("DATA.SEQ", Bytes("X\r")));
    Mount();
    // cc65 keeps its stack pointer there; a value that looks like a bus
    // request is no request.
    for (int value : {5, 0x33}) {
        Run({"10 POKE 2," + std::to_string(value) + ":OPEN 2,8,2,\"DATA\":INPUT#2,A$:CLOSE 2",
             "20 FOR I=1 TO 500:NEXT:PRINT \"<\";PEEK(2);A$;\">\""});
        EXPECT_EQ(Output(), "< " + std::to_string(value) + " X>");
    }
}

}  // namespace

// Drive 8 end to end: BASIC programs typed on the headless machine use
// OPEN, PRINT#, INPUT#, GET#, CLOSE, the command and error channel, LOAD and
// SAVE on a FAT32 image made by mkfs.fat; mtools and fsck.fat check it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/drive/drive_on_volume.h"

namespace {

constexpr u16 kBasicStart = 0x0801;
constexpr u16 kVarTab = 0x2D;

std::vector<u8> Bytes(const std::string& s) { return std::vector<u8>(s.begin(), s.end()); }

class Drive8 : public DriveOnVolume {
protected:
    // The error channel as BASIC reads it, printed between brackets.
    std::string ErrorChannel() {
        Run({"10 OPEN 15,8,15:INPUT#15,A,B$,C,D:CLOSE 15",
             "20 PRINT \"<\";A;\"/\";B$;\"/\";C;\">\""});
        return Output();
    }


};

TEST_F(Drive8, SequentialFileWrittenReadAppendedAndReadByteByByte) {
    Mount();
    Run({"10 OPEN 2,8,2,\"DATA,S,W\"",
         "20 PRINT#2,\"HELLO\":PRINT#2,42",
         "30 CLOSE 2"});
    EXPECT_EQ(volume.Get("DATA.SEQ"), Bytes("HELLO\r 42 \r"));

    Run({"10 OPEN 2,8,2,\"DATA,A\":PRINT#2,\"MORE\":CLOSE 2"});
    EXPECT_EQ(volume.Get("DATA.SEQ"), Bytes("HELLO\r 42 \rMORE\r"));

    Run({"10 OPEN 2,8,2,\"DATA,S,R\"",
         "20 INPUT#2,A$,N,B$:S=ST:CLOSE 2",
         "30 PRINT \"<\";A$;N;B$;S;\">\""});
    EXPECT_TRUE(hm.screen_has("<HELLO 42 MORE 64 >")) << Output();

    // File traffic leaves the program's zero page alone ($02 holds cc65's
    // stack pointer).
    Run({"10 POKE 2,123:OPEN 2,8,2,\"DATA\":INPUT#2,A$:CLOSE 2:PRINT \"<\";PEEK(2);\">\""});
    EXPECT_TRUE(hm.screen_has("< 123 >")) << Output();

    // GET# byte by byte until ST says end of file.
    Run({"10 OPEN 3,8,3,\"DATA\":T=0:C=0",
         "20 GET#3,A$:T=T+ASC(A$+CHR$(0)):C=C+1:IF ST=0 THEN 20",
         "30 CLOSE 3:PRINT \"<\";C;T;\">\""});
    int sum = 0;
    for (char c : std::string("HELLO\r 42 \rMORE\r")) sum += (unsigned char)c;
    EXPECT_TRUE(hm.screen_has("< 16  " + std::to_string(sum) + " >")) << Output();
    ExpectClean();
}

TEST_F(Drive8, ErrorChannelReportsMissingFilesExistingNamesAndCommands) {
    ASSERT_TRUE(volume.Put("OLD.PRG", {0x01, 0x08, 0, 0}));
    ASSERT_TRUE(volume.Put("A1.SEQ", Bytes("X")));
    ASSERT_TRUE(volume.Put("A2.SEQ", Bytes("Y")));
    Mount();
    EXPECT_EQ(ErrorChannel(), "< 73 /TARN DOS V1.0 DRIVE 8/ 0 >");
    EXPECT_EQ(ErrorChannel(), "< 0 /OK/ 0 >");

    ASSERT_TRUE(Command("LOAD \"NOTHERE\",8"));
    EXPECT_TRUE(hm.screen_has("?FILE NOT FOUND  ERROR"));
    EXPECT_EQ(ErrorChannel(), "< 62 /FILE NOT FOUND/ 0 >");

    // SAVE onto an existing name: READY. as on a 1541, the old file kept.
    TypeLine("10 REM NEW PROGRAM");
    ASSERT_TRUE(Command("SAVE \"OLD\",8"));
    EXPECT_EQ(volume.Get("OLD.PRG"), (std::vector<u8>{0x01, 0x08, 0, 0}));
    EXPECT_EQ(ErrorChannel(), "< 63 /FILE EXISTS/ 0 >");

    // @0: replaces it.
    TypeLine("10 REM NEW PROGRAM");
    std::vector<u8> program;
    for (u16 a = kBasicStart; a < PeekWord(kVarTab); a++) program.push_back(Peek(a));
    ASSERT_TRUE(Command("SAVE \"@0:OLD\",8"));
    std::vector<u8> expected = {0x01, 0x08};
    expected.insert(expected.end(), program.begin(), program.end());
    EXPECT_EQ(volume.Get("OLD.PRG"), expected);
    EXPECT_EQ(ErrorChannel(), "< 0 /OK/ 0 >");

    // Scratch with a wildcard reports the count; rename.
    Run({"10 OPEN 15,8,15,\"S:A*\":INPUT#15,A,B$,C:CLOSE 15:PRINT \"<\";A;B$;C;\">\""});
    EXPECT_TRUE(hm.screen_has("< 1 FILES SCRATCHED 2 >")) << Output();
    EXPECT_FALSE(volume.Exists("A1.SEQ"));
    EXPECT_FALSE(volume.Exists("A2.SEQ"));
    Run({"10 OPEN 15,8,15:PRINT#15,\"R0:NEW=OLD\":INPUT#15,A:CLOSE 15:PRINT \"<\";A;\">\""});
    EXPECT_TRUE(hm.screen_has("< 0 >")) << Output();
    EXPECT_EQ(volume.Get("NEW.PRG"), expected);
    EXPECT_FALSE(volume.Exists("OLD.PRG"));
    Run({"10 OPEN 15,8,15,\"R:OTHER=GONE\":INPUT#15,A:CLOSE 15:PRINT \"<\";A;\">\""});
    EXPECT_TRUE(hm.screen_has("< 62 >")) << Output();
    Run({"10 OPEN 15,8,15,\"N:WIPE,01\":INPUT#15,A:CLOSE 15:PRINT \"<\";A;\">\""});
    EXPECT_TRUE(hm.screen_has("< 26 >")) << Output();
    EXPECT_TRUE(volume.Exists("NEW.PRG"));
    ExpectClean();
}

TEST_F(Drive8, NamesLoadCannotReachAreRefusedBeforeAnythingIsCreated) {
    Mount();
    TypeLine("10 PRINT 1");
    ASSERT_TRUE(Command("SAVE \"$\",8"));
    EXPECT_EQ(ErrorChannel(), "< 33 /SYNTAX ERROR/ 0 >");
    ASSERT_TRUE(Command("SAVE CHR$(193)+\"Y\",8"));
    EXPECT_EQ(ErrorChannel(), "< 33 /SYNTAX ERROR/ 0 >");
    ASSERT_TRUE(Command("SAVE \"A*B\",8"));
    EXPECT_EQ(ErrorChannel(), "< 33 /SYNTAX ERROR/ 0 >");
    std::string listing = volume.image.ShortListing();
    EXPECT_EQ(listing.find(".PRG"), std::string::npos) << listing;
    ExpectClean();
}

TEST_F(Drive8, StandardAndOldHeaderlessProgramsBothLoadAndRun) {
    // 10 PRINT "STD" as another system stores it: load address first.
    std::vector<u8> body = {0x0D, 0x08, 0x0A, 0x00, 0x99, ' ', '"', 'S', 'T', 'D', '"', 0x00, 0x00, 0x00};
    std::vector<u8> standard = {0x01, 0x08};
    standard.insert(standard.end(), body.begin(), body.end());
    ASSERT_TRUE(volume.Put("STD.PRG", standard));
    // 10 PRINT "OLD" as Tarn saved it before: no load address.
    std::vector<u8> old = {0x0D, 0x08, 0x0A, 0x00, 0x99, ' ', '"', 'O', 'L', 'D', '"', 0x00, 0x00, 0x00};
    ASSERT_TRUE(volume.Put("OLDTARN.PRG", old));
    Mount();

    ASSERT_TRUE(Command("LOAD \"STD\",8"));
    EXPECT_EQ(PeekWord(kVarTab), kBasicStart + body.size());
    ASSERT_TRUE(Command("RUN"));
    EXPECT_EQ(hm.row(RowOf("RUN") + 1).rfind("STD", 0), 0u);
    ASSERT_TRUE(Command("NEW"));
    ASSERT_TRUE(Command("LOAD \"ST*\",8,1"));
    ASSERT_TRUE(Command("RUN"));
    EXPECT_EQ(hm.row(RowOf("RUN") + 1).rfind("STD", 0), 0u);

    ASSERT_TRUE(Command("PRINT CHR$(147)"));
    ASSERT_TRUE(Command("LOAD \"OLDTARN\",8"));
    EXPECT_FALSE(hm.screen_has("ERROR"));
    EXPECT_EQ(PeekWord(kVarTab), kBasicStart + old.size());
    ASSERT_TRUE(Command("RUN"));
    EXPECT_EQ(hm.row(RowOf("RUN") + 1).rfind("OLD", 0), 0u);
}

TEST_F(Drive8, DirectoryReadByteByByteAndFilteredByPattern) {
    ASSERT_TRUE(volume.Put("ALPHA.PRG", std::vector<u8>(600, 1)));
    ASSERT_TRUE(volume.Put("BETA.SEQ", std::vector<u8>(10, 2)));
    ASSERT_TRUE(volume.Put("ABLE.USR", std::vector<u8>(10, 3)));
    Mount();
    // The listing's names through GET#, as directory readers do.
    Run({"10 OPEN 2,8,0,\"$:A*\":N$=\"\":Q=0",
         "20 GET#2,A$:IF A$=CHR$(34) THEN Q=1-Q:GOTO 40",
         "30 IF Q=1 THEN N$=N$+A$",
         "35 IF Q=0 AND A$=\"P\" THEN N$=N$+\"/\"",
         "40 IF ST=0 THEN 20",
         "50 CLOSE 2:PRINT \"<\";N$;\">\""});
    EXPECT_TRUE(hm.screen_has("<TARN            ALPHA/ABLE>")) << Output();
}

}  // namespace

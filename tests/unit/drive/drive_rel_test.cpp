// Relative files and the copy command, end to end: BASIC programs keep an
// address book in a REL file on the volume and inside a .D64 image; the
// image's side sectors and records are read back as the 1541 lays them out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/drive/drive_on_volume.h"

namespace {

constexpr u32 kRecord = 40;

using Block = std::pair<u8, u8>;
const Block kNoBlock = {0, 0};

u32 SectorsOn(u32 track) { return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17; }

u32 Offset(u32 track, u32 sector) {
    u32 at = 0;
    for (u32 t = 1; t < track; t++) at += SectorsOn(t);
    return (at + sector) * 256;
}

std::vector<u8> Bytes(const std::string& s) { return std::vector<u8>(s.begin(), s.end()); }

// A record as the 1541 pads it: the text, then zeros.
std::vector<u8> Record(const std::string& text, u32 length) {
    std::vector<u8> r = Bytes(text);
    r.resize(length, 0);
    return r;
}

class RelativeFiles : public DriveOnVolume {
protected:
    // Three entries written one record each, then closed. (P$ positions
    // channel 2 at record R, byte 1; lines stay within BASIC's 80 characters.)
    void WriteBook() {
        Run({"10 OPEN 15,8,15:OPEN 2,8,2,\"BOOK,L,\"+CHR$(40)",
             "20 FOR R=1 TO 3:READ N$,T$:GOSUB 90:PRINT#2,N$\",\"T$:NEXT",
             "30 CLOSE 2:INPUT#15,E:CLOSE 15:PRINT \"<\";E;\">\":END",
             "40 DATA ADA,555-0101,BOB,555-0102,CY,555-0103",
             "90 PRINT#15,\"P\"CHR$(98)CHR$(R)CHR$(0)CHR$(1):RETURN"});
        EXPECT_EQ(Output(), "< 0 >");
    }
    // Reopened without its record length: records read back in another
    // order, record 10 (past the end: 50) written, read back, and 13 past
    // the grown end.
    void ReadAndGrowBook() {
        Run({"10 OPEN 15,8,15:OPEN 2,8,2,\"BOOK\":O$=\"\"",
             "20 FOR K=1 TO 3:READ R:GOSUB 90:INPUT#2,N$,T$:O$=O$+N$+\"/\":NEXT",
             "30 R=10:GOSUB 90:INPUT#15,E:PRINT#2,\"DEE,555-0110\"",
             "40 GOSUB 90:INPUT#2,N$,T$:O$=O$+N$+T$",
             "50 R=13:GOSUB 90:INPUT#15,F",
             "60 CLOSE 2:CLOSE 15:PRINT \"<\";O$;E;F;\">\":END",
             "70 DATA 3,1,2",
             "90 PRINT#15,\"P\"CHR$(98)CHR$(R)CHR$(0)CHR$(1):RETURN"});
        EXPECT_EQ(Output(), "<CY/ADA/BOB/DEE555-0110 50  50 >");
    }
};

TEST_F(RelativeFiles, AddressBookOnTheVolumeIsWrittenReopenedReadInAnyOrderAndGrown) {
    Mount();
    WriteBook();
    // BOOK.REL: the record length, then the records; a new file holds the
    // empty records of its first block ($FF, zeros).
    std::vector<u8> file = volume.Get("BOOK.REL");
    ASSERT_EQ(file.size(), 1u + 6 * kRecord);
    EXPECT_EQ(file[0], kRecord);
    EXPECT_EQ(std::vector<u8>(file.begin() + 1, file.begin() + 1 + kRecord), Record("ADA,555-0101\r", kRecord));
    EXPECT_EQ(std::vector<u8>(file.begin() + 1 + 3 * kRecord, file.begin() + 1 + 4 * kRecord),
              Record("\xFF", kRecord));

    ReadAndGrowBook();
    // Grown to record 10 and on to the end of its block: 12 records.
    file = volume.Get("BOOK.REL");
    ASSERT_EQ(file.size(), 1u + 12 * kRecord);
    EXPECT_EQ(std::vector<u8>(file.begin() + 1 + 9 * kRecord, file.begin() + 1 + 10 * kRecord),
              Record("DEE,555-0110\r", kRecord));
    EXPECT_EQ(file[1 + 4 * kRecord], 0xFF);

    // Past a record's end: 51; a relative file is no program to LOAD.
    Run({"10 OPEN 15,8,15:OPEN 2,8,2,\"BOOK\"",
         "20 PRINT#15,\"P\"CHR$(98)CHR$(1)CHR$(0)CHR$(41):INPUT#15,E",
         "30 CLOSE 2:CLOSE 15:PRINT \"<\";E;\">\""});
    EXPECT_EQ(Output(), "< 51 >");
    ASSERT_TRUE(Command("LOAD \"BOOK\",8"));
    EXPECT_EQ(Send(""), "< 64 FILE TYPE MISMATCH>");
    ExpectClean();
}

TEST_F(RelativeFiles, InsideAnImageTheFileHasTheSideSectorsOfA1541) {
    std::vector<u8> blank = MakeImage({{"x.prg", {0x01, 0x08, 0x00, 0x00}}});
    ASSERT_EQ(blank.size(), 174848u);
    u32 freeBefore = 0;
    for (u32 t = 1; t <= 35; t++)
        if (t != 18) freeBefore += blank[Offset(18, 0) + 4 * t];
    ASSERT_TRUE(volume.Put("E.D64", blank));
    Mount();
    EXPECT_EQ(Send("CD:E"), "< 0 OK>");
    WriteBook();
    ReadAndGrowBook();
    // Record 130 of 254 bytes: 130 data blocks, listed by two side sectors.
    Run({"10 OPEN 15,8,15:OPEN 3,8,3,\"BIG,L,\"+CHR$(254)",
         "20 PRINT#15,\"P\"CHR$(99)CHR$(130)CHR$(0)CHR$(1):PRINT#3,\"LAST\"",
         "30 CLOSE 3:INPUT#15,E:CLOSE 15:PRINT \"<\";E;\">\""});
    EXPECT_EQ(Output(), "< 0 >");
    std::vector<u8> d = volume.Get("E.D64");
    ASSERT_EQ(d.size(), 174848u);

    // Directory: BOOK and BIG as closed REL files ($84) naming their first
    // side sector and record length; blocks count data and side sectors.
    const u8* dir = d.data() + Offset(18, 1);
    struct Rel {
        const char* name;
        u32 length, records;
    };
    u32 used = 0;
    for (const Rel& want : {Rel{"BOOK", kRecord, 12}, Rel{"BIG", 254, 130}}) {
        SCOPED_TRACE(want.name);
        const u8* e = nullptr;
        for (int k = 1; k < 8; k++)
            if (std::string((const char*)dir + 32 * k + 5, std::string(want.name).size()) == want.name) e = dir + 32 * k;
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e[2], 0x84);
        EXPECT_EQ(e[23], want.length);
        u32 dataBlocks = (want.records * want.length + 253) / 254;
        u32 sideBlocks = (dataBlocks + 119) / 120;
        EXPECT_EQ(e[30] | e[31] << 8, dataBlocks + sideBlocks);
        used += dataBlocks + sideBlocks;

        // The data chain, block by block.
        std::vector<Block> chain;
        std::vector<u8> records;
        for (u8 t = e[3], s = e[4]; t && chain.size() < 700;) {
            chain.push_back({t, s});
            const u8* b = d.data() + Offset(t, s);
            u32 usedBytes = b[0] ? 254 : b[1] - 1;
            records.insert(records.end(), b + 2, b + 2 + usedBytes);
            t = b[0], s = b[1];
        }
        ASSERT_EQ(chain.size(), dataBlocks);
        EXPECT_EQ(records.size(), want.records * want.length);
        // The side sectors: their number, the record length, the list of all
        // of them, and 120 data blocks each, in chain order.
        std::vector<Block> sides;
        for (u8 t = e[21], s = e[22]; t && sides.size() < 7;) {
            sides.push_back({t, s});
            const u8* b = d.data() + Offset(t, s);
            t = b[0], s = b[1];
        }
        ASSERT_EQ(sides.size(), sideBlocks);
        for (u32 k = 0; k < sides.size(); k++) {
            const u8* b = d.data() + Offset(sides[k].first, sides[k].second);
            EXPECT_EQ(b[2], k);
            EXPECT_EQ(b[3], want.length);
            for (u32 g = 0; g < 6; g++) {
                Block named = {b[4 + 2 * g], b[5 + 2 * g]};
                EXPECT_EQ(named, g < sides.size() ? sides[g] : kNoBlock);
            }
            u32 listed = k + 1 < sides.size() ? 120 : dataBlocks - 120 * k;
            for (u32 p = 0; p < 120; p++) {
                Block block = {b[16 + 2 * p], b[17 + 2 * p]};
                EXPECT_EQ(block, p < listed ? chain[120 * k + p] : kNoBlock) << "pointer " << p;
            }
            if (k + 1 == sides.size()) EXPECT_EQ(b[1], 16 + 2 * listed - 1);
        }
        if (want.length == kRecord) {
            EXPECT_EQ(std::vector<u8>(records.begin() + 9 * kRecord, records.begin() + 10 * kRecord),
                      Record("DEE,555-0110\r", kRecord));
        } else {
            EXPECT_EQ(std::vector<u8>(records.end() - 254, records.end()), Record("LAST\r", 254));
            EXPECT_EQ(records[0], 0xFF);
        }
    }
    // The BAM gave up exactly those blocks.
    u32 free = 0;
    for (u32 t = 1; t <= 35; t++)
        if (t != 18) free += d[Offset(18, 0) + 4 * t];
    EXPECT_EQ(free, freeBefore - used);
    ExpectClean();
}

TEST_F(RelativeFiles, CopyMakesANewFileOrJoinsSeveral) {
    ASSERT_TRUE(volume.Put("A.SEQ", Bytes("FIRST\r")));
    ASSERT_TRUE(volume.Put("B.SEQ", Bytes("SECOND\r")));
    ASSERT_TRUE(volume.Put("P.PRG", {0x01, 0x08, 0x00, 0x00}));
    Mount();
    EXPECT_EQ(Send("C:COPY=A"), "< 0 OK>");
    EXPECT_EQ(Send("C0:BOTH=0:A,B"), "< 0 OK>");
    EXPECT_EQ(Send("C:PROG=P*"), "< 0 OK>");
    EXPECT_EQ(Send("C:COPY=B"), "< 63 FILE EXISTS>");
    EXPECT_EQ(Send("C:NEW=GONE"), "< 62 FILE NOT FOUND>");
    EXPECT_EQ(volume.Get("COPY.SEQ"), Bytes("FIRST\r"));
    EXPECT_EQ(volume.Get("BOTH.SEQ"), Bytes("FIRST\rSECOND\r"));
    EXPECT_EQ(volume.Get("PROG.PRG"), (std::vector<u8>{0x01, 0x08, 0x00, 0x00}));
    EXPECT_EQ(volume.Get("A.SEQ"), Bytes("FIRST\r"));
    ExpectClean();
}

}  // namespace

// .D64 images on the volume, entered with CD as drive 8 serves them: an image
// built here byte by byte (a known BAM, two files) is listed, loaded from,
// written into, and left; the volume keeps the written image.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/drive/drive_on_volume.h"

namespace {

constexpr u32 kTracks = 35;
constexpr u8 kPad = 0xA0;

u32 SectorsOn(u32 track) { return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17; }

u32 Offset(u32 track, u32 sector) {
    u32 at = 0;
    for (u32 t = 1; t < track; t++) at += SectorsOn(t);
    return (at + sector) * 256;
}

// A 35-track disk named "GAMES DISK", id "GD": HELLO (PRG, 10 PRINT "IN D64")
// on 17/0 and NOTES (SEQ, "HI") on 17/1; every other sector outside track
// 18's first two is free in the BAM.
std::vector<u8> BuildImage() {
    std::vector<u8> d(174848, 0);
    u8* bam = d.data() + Offset(18, 0);
    bam[0] = 18;
    bam[1] = 1;
    bam[2] = 'A';
    for (u32 t = 1; t <= kTracks; t++) {
        u8* e = bam + 4 * t;
        u32 n = SectorsOn(t);
        u32 bits = (1u << n) - 1;
        if (t == 18) bits &= ~3u;
        if (t == 17) bits &= ~3u;
        e[0] = (u8)__builtin_popcount(bits);
        e[1] = bits & 0xFF;
        e[2] = (bits >> 8) & 0xFF;
        e[3] = (bits >> 16) & 0xFF;
    }
    std::string name = "GAMES DISK";
    for (u32 i = 0; i < 16; i++) bam[0x90 + i] = i < name.size() ? (u8)name[i] : kPad;
    bam[0xA0] = bam[0xA1] = kPad;
    bam[0xA2] = 'G';
    bam[0xA3] = 'D';
    bam[0xA4] = kPad;
    bam[0xA5] = '2';
    bam[0xA6] = 'A';
    for (u32 i = 0xA7; i <= 0xAA; i++) bam[i] = kPad;

    u8* dir = d.data() + Offset(18, 1);
    dir[0] = 0;
    dir[1] = 0xFF;
    auto entry = [&](int slot, u8 type, u8 sector, const std::string& n) {
        u8* e = dir + 32 * slot;
        e[2] = type;
        e[3] = 17;
        e[4] = sector;
        for (u32 i = 0; i < 16; i++) e[5 + i] = i < n.size() ? (u8)n[i] : kPad;
        e[30] = 1;
    };
    entry(0, 0x82, 0, "HELLO");
    entry(1, 0x81, 1, "NOTES");
    std::vector<u8> prg = {0x01, 0x08, 0x10, 0x08, 0x0A, 0x00, 0x99, ' ', '"', 'I', 'N', ' ',
                           'D', '6', '4', '"', 0x00, 0x00, 0x00};
    u8* s = d.data() + Offset(17, 0);
    s[0] = 0;
    s[1] = (u8)(prg.size() + 1);
    for (size_t i = 0; i < prg.size(); i++) s[2 + i] = prg[i];
    s = d.data() + Offset(17, 1);
    s[0] = 0;
    s[1] = 3;
    s[2] = 'H';
    s[3] = 'I';
    return d;
}

class D64OnVolume : public DriveOnVolume {};

TEST_F(D64OnVolume, ImageIsEnteredListedLoadedFromWrittenIntoAndLeft) {
    ASSERT_TRUE(volume.Put("GAMES.D64", BuildImage()));
    Mount();
    ASSERT_TRUE(Command("LOAD \"$\",8"));
    ASSERT_TRUE(Command("LIST"));
    EXPECT_GE(RowOf("\"GAMES\"            DIR"), 0);

    EXPECT_EQ(Send("CD:GAMES"), "< 0 OK>");
    ASSERT_TRUE(Command("LOAD \"$\",8"));
    // The header line is shown reversed: its text is read from memory.
    std::string header;
    for (u16 a = 0x0805; a < 0x0805 + 25; a++) header += (char)Peek(a);
    EXPECT_EQ(header, "\x12\"GAMES DISK      \" GD 2A");
    ASSERT_TRUE(Command("LIST"));
    EXPECT_GE(RowOf("1    \"HELLO\"            PRG"), 0);
    EXPECT_GE(RowOf("1    \"NOTES\"            SEQ"), 0);
    // 683 sectors, 19 of them on track 18, 2 used on track 17.
    EXPECT_GE(RowOf("662 BLOCKS FREE."), 0);

    ASSERT_TRUE(Command("LOAD \"HELLO\",8"));
    ASSERT_TRUE(Command("RUN"));
    EXPECT_TRUE(hm.screen_has("IN D64"));
    ASSERT_TRUE(Command("NEW"));
    TypeLine("10 OPEN 2,8,2,\"NOTES\":INPUT#2,A$:CLOSE 2:PRINT \"<\";A$;\">\"");
    ASSERT_TRUE(Command("RUN"));
    EXPECT_EQ(Output(), "<HI>");

    // SAVE into the image updates its BAM and directory on the volume.
    ASSERT_TRUE(Command("SAVE \"NEW ONE\",8"));
    EXPECT_EQ(Send("I"), "< 0 OK>");
    std::vector<u8> written = volume.Get("GAMES.D64");
    ASSERT_EQ(written.size(), 174848u);
    const u8* bam = written.data() + Offset(18, 0);
    u32 free = 0;
    for (u32 t = 1; t <= kTracks; t++)
        if (t != 18) free += bam[4 * t];
    EXPECT_EQ(free, 661u);
    const u8* dir = written.data() + Offset(18, 1);
    EXPECT_EQ(dir[64 + 2], 0x82);
    EXPECT_EQ(std::string((const char*)dir + 64 + 5, 7), "NEW ONE");

    EXPECT_EQ(Send("CD:_"), "< 0 OK>");
    ASSERT_TRUE(Command("LOAD \"$\",8"));
    ASSERT_TRUE(Command("LIST"));
    EXPECT_GE(RowOf("\"GAMES\"            DIR"), 0);
    std::string report;
    EXPECT_EQ(volume.Check(&report), 0) << report;
}

TEST_F(D64OnVolume, BrokenImageIsAnErrorNotAHang) {
    std::vector<u8> image = BuildImage();
    image[Offset(18, 1)] = 18;  // the directory links back to itself
    image[Offset(18, 1) + 1] = 1;
    ASSERT_TRUE(volume.Put("LOOP.D64", image));
    ASSERT_TRUE(volume.Put("SHORT.D64", std::vector<u8>(1000, 0)));
    Mount();
    EXPECT_EQ(Send("CD:SHORT"), "< 74 DRIVE NOT READY>");
    EXPECT_EQ(Send("CD:LOOP"), "< 0 OK>");
    ASSERT_TRUE(Command("LOAD \"$\",8"));
    EXPECT_EQ(Send(""), "< 71 DIR ERROR>");
    EXPECT_EQ(Send("CD:_"), "< 0 OK>");
}

TEST_F(D64OnVolume, ImagesAreEnteredByTheNameTheirFilesHaveOnThePc) {
    ASSERT_TRUE(volume.Put("games.d64", BuildImage()));
    ASSERT_TRUE(volume.Put("my favourite games.d64", BuildImage()));
    Mount();
    EXPECT_EQ(Send("CD:GAMES.D64"), "< 0 OK>");
    EXPECT_EQ(Send("CD:_"), "< 0 OK>");
    // Longer than the 16 characters the listing shows, typed in full.
    Run({"10 OPEN 15,8,15,\"CD:MY FAVOURITE GAMES.D64\":INPUT#15,A:CLOSE 15",
         "20 OPEN 2,8,2,\"NOTES\":INPUT#2,A$:CLOSE 2:PRINT \"<\";A;A$;\">\""});
    EXPECT_EQ(Output(), "< 0 HI>");
    EXPECT_EQ(Send("CD:_"), "< 0 OK>");
    EXPECT_EQ(Send("CD:GAMES.PRG"), "< 62 FILE NOT FOUND>");
}

// "$" on a data channel is the directory's blocks as the 1541 reads them:
// the BAM (254 bytes after its link: DOS version, free counts, disk name at
// 142), then 8 entries a block (type, track/sector, name, blocks).
TEST_F(D64OnVolume, DirectoryOnADataChannelIsItsRawBlocks) {
    ASSERT_TRUE(volume.Put("GAMES.D64", BuildImage()));
    Mount();
    auto raw = [&]() {
        Run({"10 DIM B(290):OPEN 2,8,2,\"$\":FOR I=0 TO 290:GET#2,A$:B(I)=ASC(A$+CHR$(0)):NEXT",
             "20 CLOSE 2:N$=\"\":FOR I=257 TO 261:N$=N$+CHR$(B(I)):NEXT",
             "30 PRINT \"<\";B(0);CHR$(B(142));CHR$(B(143));B(254);N$;B(286);\">\""});
        return Output();
    };
    EXPECT_EQ(raw(), "< 65 TA 134 GAMES 0 >");  // made up from the volume's listing
    EXPECT_EQ(Send("CD:GAMES"), "< 0 OK>");
    EXPECT_EQ(raw(), "< 65 GA 130 HELLO 129 >");  // the image's own sectors
}

TEST_F(D64OnVolume, ABrokenChainOrABadBlockIsTheErrorA1541Gives) {
    std::vector<u8> image = BuildImage();
    // NOTES' block links on into the BAM sector.
    image[Offset(17, 1)] = 18;
    image[Offset(17, 1) + 1] = 0;
    // Error bytes: HELLO's block had a data checksum error (5: error 23).
    std::vector<u8> errors(683, 1);
    errors[Offset(17, 0) / 256] = 5;
    image.insert(image.end(), errors.begin(), errors.end());
    ASSERT_TRUE(volume.Put("BAD.D64", image));
    Mount();
    EXPECT_EQ(Send("CD:BAD"), "< 0 OK>");
    auto error = [&](const std::string& open) {
        Run({"10 " + open + ":CLOSE 2",
             "20 OPEN 15,8,15:INPUT#15,A,B$,C,D:CLOSE 15:PRINT \"<\";A;B$;C;D;\">\""});
        return Output();
    };
    EXPECT_EQ(error("OPEN 2,8,2,\"NOTES\""), "< 66 ILLEGAL TRACK OR SECTOR 18  0 >");
    EXPECT_EQ(error("OPEN 2,8,2,\"HELLO\""), "< 23 READ ERROR 17  0 >");
    ASSERT_TRUE(Command("LOAD \"HELLO\",8"));
    EXPECT_TRUE(hm.screen_has("?FILE NOT FOUND"));
}

}  // namespace

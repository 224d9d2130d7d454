// Mounting, the printed reports, lookups, name parsing and the chain walker.
#include "tests/unit/fat/fat_fixture.h"

namespace {

using diskimage::Pattern;

TEST_F(FatTest, MountsEntryZeroAndReportsGeometry) {
    BuildSpc(1, "TESTVOL");
    Mount();
    ASSERT_TRUE(fat->mounted());
    auto boot = image->ReadSectors(2048, 1);
    uint32_t reserved = boot[14] | (boot[15] << 8);
    uint32_t spf;
    std::memcpy(&spf, boot.data() + 36, 4);
    EXPECT_EQ(fat->FatStart(), 2048 + reserved);
    EXPECT_EQ(fat->DataStart(), 2048 + reserved + 2 * spf);
    EXPECT_EQ(fat->RootDirStart(), fat->DataStart());

    fat->ReadPartitions();
    char geometry[256];
    snprintf(geometry, sizeof geometry,
             "\nBytes per sector   : 512\nSectors per cluster: 1\n\nFAT Start          : %06X"
             "\nData Start         : %06X\nRoot cluster       : 000002\nRoot directory     : %06X",
             fat->FatStart(), fat->DataStart(), fat->RootDirStart());
    std::string rule(58, '-');
    std::string expected = "\n\nPartition table\n" + rule + "\n" +
                           "Part # | Bootable | Type |                                \n" + rule + "\n" +
                           "  01       Y         0C\n" + "  02       N         00\n" +
                           "  03       N         00\n" + "  04       N         00\n" + geometry;
    EXPECT_EQ(capture.Text(), expected);
}

TEST_F(FatTest, ListingShowsLabelFilesAndDirectories) {
    BuildSpc(1, "TESTVOL");
    ASSERT_TRUE(image->MakeDirectory("SUB"));
    Mount();
    ASSERT_EQ(Save("PROG    .PRG", Pattern(1001, 1)), 0);
    uint32_t cluster = fat->GetFileCluster("PROG    .PRG");
    ASSERT_GE(cluster, 3u);
    capture.Start();
    fat->ReadDirectory(0);
    std::string text = capture.Text();
    EXPECT_EQ(text.rfind("\n\nVolume Label: TESTVOL    \n", 0), 0u) << text;
    char line[160];
    snprintf(line, sizeof line, "\nPROG    .PRG    9-29-2017 16:30     %06X     %06X     1000", cluster,
             fat->DataStart() + cluster - 2);
    EXPECT_NE(text.find(line), std::string::npos) << text;
    EXPECT_NE(text.find("\n<SUB     >   "), std::string::npos) << text;
}

TEST_F(FatTest, ListingStopsAtNeverUsedEntry) {
    BuildSpc(1);
    Mount();
    capture.Start();
    fat->ReadDirectory(0);
    EXPECT_EQ(capture.Text(), "");
}

TEST_F(FatTest, ListingShowsAttributeByteAfterExtension) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("A.PRG", Pattern(10, 2)));
    Mount();
    // Clear the archive bit of the mtools entry: the extension column loses
    // its trailing space.
    auto sector = image->ReadSectors(fat->RootDirStart(), 1);
    ASSERT_EQ(std::memcmp(sector.data(), "A       PRG", 11), 0);
    EXPECT_EQ(sector[11], 0x20);
    fat->ReadDirectory(0);
    EXPECT_NE(capture.Text().find("\nA       .PRG    "), std::string::npos) << capture.Text();
    sector[11] = 0x00;
    image->WriteSectors(fat->RootDirStart(), sector);
    capture.Start();
    fat->ReadDirectory(0);
    EXPECT_NE(capture.Text().find("\nA       .PRG   "), std::string::npos);
    EXPECT_EQ(capture.Text().find("\nA       .PRG    "), std::string::npos);
}

TEST_F(FatTest, LookupsUseThePaddedName) {
    BuildSpc(1);
    auto data = Pattern(700, 3);
    ASSERT_TRUE(image->Put("PROG.PRG", data));
    ASSERT_TRUE(image->Put("ABCDEFGH.PRG", Pattern(5, 4)));
    Mount();
    EXPECT_EQ(fat->GetFileCluster("PROG.PRG"), 0u);
    EXPECT_EQ(fat->GetFileSize("PROG.PRG"), 0u);
    EXPECT_GE(fat->GetFileCluster("PROG    .PRG"), 3u);
    EXPECT_EQ(fat->GetFileSize("PROG    .PRG"), 700u);
    EXPECT_EQ(fat->GetFileSize("ABCDEFGH.PRG"), 5u);
    EXPECT_EQ(fat->GetFileCluster("prog    .prg"), 0u);
    EXPECT_EQ(Load("PROG    .PRG"), data);
}

TEST_F(FatTest, LongNamesAndDirectoriesAreSkippedByLookups) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("longer name.prg", Pattern(20, 5)));
    ASSERT_TRUE(image->MakeDirectory("GAMES"));
    Mount();
    capture.Start();
    fat->ReadDirectory(0);
    // The long-name entry is not taken for a label (or a file).
    EXPECT_EQ(capture.Text().find("Volume Label: "), std::string::npos) << capture.Text();
    EXPECT_EQ(fat->GetFileCluster("GAMES   .   "), 0u);
    // The short alias mtools made is found by its padded name.
    std::string listing = image->ShortListing();
    EXPECT_NE(listing.find("longer name.prg"), std::string::npos) << listing;
}

TEST_F(FatTest, KanjiMarkerStandsForE5) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("XILE.PRG", Pattern(40, 6)));
    Mount();
    auto sector = image->ReadSectors(fat->RootDirStart(), 1);
    sector[0] = 0x05;
    image->WriteSectors(fat->RootDirStart(), sector);
    EXPECT_EQ(fat->GetFileSize("\xE5ILE    .PRG"), 40u);
    fat->ReadDirectory(0);
    EXPECT_NE(capture.Text().find("\n\xE5ILE    .PRG "), std::string::npos);
}

TEST_F(FatTest, ParseFilenameSplitsAndRejects) {
    BuildSpc(1);
    Mount();
    uint8_t name[8], ext[3];
    EXPECT_EQ(fat->ParseFilename("ABCDEFGHI.PRG", name, ext), 2);
    EXPECT_EQ(fat->ParseFilename("NODOT", name, ext), 2);
    EXPECT_EQ(fat->ParseFilename("AB.PR", name, ext), 2);
    EXPECT_EQ(fat->ParseFilename(".PRG", name, ext), 2);
    EXPECT_EQ(fat->ParseFilename("ABCDEFGH.PRG", name, ext), 0);
    EXPECT_EQ(std::memcmp(name, "ABCDEFGH", 8), 0);
    EXPECT_EQ(std::memcmp(ext, "PRG", 3), 0);
    EXPECT_EQ(fat->ParseFilename("X.PRG", name, ext), 0);
    EXPECT_EQ(std::memcmp(name, "X       ", 8), 0);
    EXPECT_EQ(fat->ParseFilename("X       .PRG", name, ext), 0);
    EXPECT_EQ(std::memcmp(name, "X       ", 8), 0);
    EXPECT_EQ(fat->ParseFilename("X.Y.Z", name, ext), 0);
    EXPECT_EQ(std::memcmp(name, "X       ", 8), 0);
    EXPECT_EQ(std::memcmp(ext, "Y.Z", 3), 0);
}

TEST_F(FatTest, WalkerReturnsEverySectorOfAClusterThenEnds) {
    BuildSpc(8);
    auto data = Pattern(4096, 7);
    ASSERT_TRUE(image->Put("FOUR.PRG", data));
    Mount();
    uint32_t c = fat->GetFileCluster("FOUR    .PRG");
    ASSERT_NE(c, 0u);
    std::vector<uint8_t> seen;
    for (uint8_t* s = fat->ReadNextSectorInChain(c); s; s = fat->ReadNextSectorInChain(0))
        seen.insert(seen.end(), s, s + 512);
    EXPECT_TRUE(fat->EndOfChain());
    EXPECT_EQ(seen, data);
}

TEST_F(FatTest, ReadsFilesAcrossManyClusters) {
    for (int spc : {1, 2, 4}) {
        SCOPED_TRACE(spc);
        BuildSpc(spc);
        auto big = Pattern(5000 * spc + 123, spc);
        ASSERT_TRUE(image->Put("BIG.PRG", big));
        ASSERT_TRUE(image->Put("SMALL.SEQ", Pattern(3, 9)));
        Mount();
        EXPECT_EQ(Load("BIG     .PRG"), big);
        EXPECT_EQ(Load("SMALL   .SEQ"), Pattern(3, 9));
        std::vector<uint8_t> part(1000, 0xAA);
        fat->ReadFile("BIG     .PRG", part.data(), 600);
        EXPECT_TRUE(std::equal(part.begin(), part.begin() + 600, big.begin()));
        EXPECT_EQ(part[600], 0xAA);
    }
}

TEST_F(FatTest, ReadsASubdirectoryByItsCluster) {
    BuildSpc(1);
    ASSERT_TRUE(image->MakeDirectory("SUB"));
    ASSERT_TRUE(image->Put("SUB/INNER.PRG", Pattern(30, 1)));
    Mount();
    auto root = image->ReadSectors(fat->RootDirStart(), 1);
    uint32_t sub = root[26] | (root[27] << 8);
    ASSERT_GE(sub, 3u);
    fat->ReadDirectory(sub);
    EXPECT_NE(capture.Text().find("\nINNER   .PRG "), std::string::npos) << capture.Text();
    // Lookups stay in the root.
    EXPECT_EQ(fat->GetFileCluster("INNER   .PRG"), 0u);
}

// Clusters in use after a FAT sector whose first entry is free must still
// count as taken, or a new file would overwrite them.
TEST_F(FatTest, WholeFatIsLoadedSoLaterClustersStayTaken) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("A.PRG", Pattern(128 * 512, 1)));   // clusters 3..130
    auto b = Pattern(1000 * 512, 2);
    ASSERT_TRUE(image->Put("B.PRG", b));                          // clusters 131..1130
    ASSERT_TRUE(image->Delete("A.PRG"));
    Mount();
    // FAT sector 1 (clusters 128..255) now begins with a free entry.
    auto fat1 = image->ReadSectors(fat->FatStart() + 1, 1);
    EXPECT_EQ(fat1[0], 0);
    ASSERT_EQ(Save("C       .PRG", Pattern(300 * 512 + 1, 3)), 0);
    std::vector<uint8_t> back;
    ASSERT_TRUE(image->Get("B.PRG", &back));
    EXPECT_TRUE(back == b);
    ExpectClean();
}

}  // namespace

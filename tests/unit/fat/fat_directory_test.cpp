// Delete, rename, full directory and FAT, and the C64 directory listing.
#include <algorithm>

#include "tests/unit/fat/fat_fixture.h"

namespace {

using diskimage::Pattern;

TEST_F(FatTest, DeleteMarksEntryFreesClustersAndSlotIsReused) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("KEEP.PRG", Pattern(2000, 1)));
    ASSERT_TRUE(image->Put("GONE.PRG", Pattern(3000, 2)));
    Mount();
    uint32_t c = fat->GetFileCluster("GONE    .PRG");
    ASSERT_GE(c, 3u);
    EXPECT_EQ(fat->DeleteFile("GONE.PRG"), 0);
    EXPECT_EQ(RootEntry(1)[0], 0xE5);
    EXPECT_EQ(FatOnDisk(0, c), 0u);
    EXPECT_EQ(FatOnDisk(1, c + 5), 0u);
    EXPECT_EQ(fat->GetFileCluster("GONE    .PRG"), 0u);
    EXPECT_EQ(fat->DeleteFile("GONE    .PRG"), 2);
    ASSERT_EQ(Save("NEW     .PRG", Pattern(50, 3)), 0);
    EXPECT_EQ(std::memcmp(RootEntry(1).data(), "NEW     PRG", 11), 0);
    EXPECT_EQ(RootEntry(2)[0], 0);
    std::string listing = image->ShortListing();
    EXPECT_EQ(listing.find("GONE"), std::string::npos);
    EXPECT_NE(listing.find("NEW.PRG"), std::string::npos) << listing;
    std::vector<uint8_t> keep;
    ASSERT_TRUE(image->Get("KEEP.PRG", &keep));
    EXPECT_EQ(keep, Pattern(2000, 1));
    ExpectClean();
}

TEST_F(FatTest, DeleteOfLongNamedFileRemovesItsLongName) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("a fairly long name.prg", Pattern(900, 4)));
    Mount();
    auto sector = image->ReadSectors(fat->RootDirStart(), 1);
    int shortIndex = -1;
    for (int i = 0; i < 16; i++)
        if (sector[i * 32 + 11] != 0x0F && sector[i * 32] != 0) shortIndex = i;
    ASSERT_GT(shortIndex, 0);
    std::string alias(reinterpret_cast<char*>(sector.data() + shortIndex * 32), 8);
    std::string padded = alias + "." + std::string(reinterpret_cast<char*>(sector.data() + shortIndex * 32 + 8), 3);
    EXPECT_EQ(fat->DeleteFile(padded.c_str()), 0) << padded;
    ExpectClean();
    EXPECT_EQ(image->ShortListing().find("fairly"), std::string::npos);
}

TEST_F(FatTest, DeleteRefusesDirectoriesAndLabels) {
    BuildSpc(1, "MYDISK");
    ASSERT_TRUE(image->MakeDirectory("SUB"));
    Mount();
    EXPECT_EQ(fat->DeleteFile("SUB     .   "), 2);
    EXPECT_EQ(fat->DeleteFile("MYDISK  .   "), 2);
    ExpectClean();
}

TEST_F(FatTest, RenameChangesTheNameOthersSee) {
    BuildSpc(1);
    auto data = Pattern(1500, 5);
    ASSERT_TRUE(image->Put("OLD.PRG", data));
    ASSERT_TRUE(image->Put("OTHER.PRG", Pattern(10, 6)));
    ASSERT_TRUE(image->Put("lower case.prg", Pattern(10, 7)));
    Mount();
    EXPECT_EQ(fat->RenameFile("OLD.PRG", "NEW.PRG"), 0);
    EXPECT_EQ(Load("NEW     .PRG"), data);
    std::vector<uint8_t> back;
    ASSERT_TRUE(image->Get("NEW.PRG", &back));
    EXPECT_EQ(back, data);
    EXPECT_EQ(fat->RenameFile("OLD.PRG", "X.PRG"), 2);
    // A second file of the same name would make the volume inconsistent.
    EXPECT_EQ(fat->RenameFile("NEW.PRG", "OTHER.PRG"), 6);
    EXPECT_EQ(fat->RenameFile("NEW.PRG", "bad.PRG"), 2);
    EXPECT_EQ(fat->RenameFile("NEW.PRG", "NEW     .PRG"), 0);
    EXPECT_EQ(fat->RenameFile("LOWERC~1.PRG", "PLAIN.PRG"), 0);
    std::string listing = image->ShortListing();
    EXPECT_NE(listing.find("PLAIN.PRG"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("lower case"), std::string::npos) << listing;
    ExpectClean();
}

TEST_F(FatTest, FullRootDirectoryGrowsByALinkedZeroedCluster) {
    BuildSpc(1, "LABEL");  // one 16-entry root cluster, the label takes one
    Mount();
    for (int i = 0; i < 15; i++) {
        char name[16];
        snprintf(name, sizeof name, "F%02d     .PRG", i);
        ASSERT_EQ(Save(name, Pattern(20, i)), 0) << name;
    }
    uint32_t root = fat->RootCluster();
    ASSERT_GE(FatOnDisk(0, root), 0x0FFFFFF8u);
    ASSERT_EQ(Save("LAST    .PRG", Pattern(20, 99)), 0);
    uint32_t added = FatOnDisk(0, root);
    ASSERT_TRUE(added >= 2 && added < 0x0FFFFFF8u);
    EXPECT_EQ(FatOnDisk(1, root), added);
    EXPECT_GE(FatOnDisk(1, added), 0x0FFFFFF8u);
    // The new cluster holds the entry, then nothing but the end marker.
    auto grown = image->ReadSectors(fat->DataStart() + added - 2, 1);
    EXPECT_EQ(std::memcmp(grown.data(), "LAST    PRG", 11), 0);
    EXPECT_EQ(std::count(grown.begin() + 32, grown.end(), 0), 512 - 32);
    auto last = Pattern(20, 99);
    last.pop_back();
    EXPECT_EQ(Load("LAST    .PRG"), last);
    EXPECT_NE(image->ShortListing().find("LAST.PRG"), std::string::npos);
    ExpectClean();
}

TEST_F(FatTest, FullFatFailsTheCloseAndLeavesAnEmptyEntry) {
    BuildSpc(1);
    Mount();
    // Every cluster taken in the first FAT.
    for (uint32_t s = 0; s < (fat->DataStart() - fat->FatStart()) / 2; s++) {
        std::vector<uint8_t> sector(512, 0xFF);
        if (s == 0) {
            auto old = image->ReadSectors(fat->FatStart(), 1);
            std::memcpy(sector.data(), old.data(), 12);
        }
        image->WriteSectors(fat->FatStart() + s, sector);
    }
    Mount();
    uint32_t before;
    std::memcpy(&before, fat->FatCache() + 4 * 100, 4);
    EXPECT_EQ(fat->OpenFile(1, "FULL    .PRG", 3), 0);
    for (int i = 0; i < 100; i++) fat->WriteNextFileByte(1, static_cast<uint8_t>(i));
    EXPECT_EQ(fat->CloseFile(1), Fat32::kFatFull);
    EXPECT_EQ(fat->OpenFileSlot(1).mode, 0);
    auto e = RootEntry(0);
    EXPECT_EQ(std::memcmp(e.data(), "FULL    PRG", 11), 0);
    EXPECT_EQ(e[26] | e[27] | e[20] | e[21], 0);
    EXPECT_EQ(e[28] | e[29] | e[30] | e[31], 0);
    uint32_t out = 0;
    EXPECT_EQ(fat->AllocateCluster(&out), Fat32::kFatFull);
}

TEST_F(FatTest, NearlyFullFatTakesNothingWhenTheChainWillNotFit) {
    BuildSpc(1);
    Mount();
    uint32_t last = fat->LastCluster();
    // Leave clusters last-1 and last free: room for 1024 bytes only.
    uint32_t spf = (fat->DataStart() - fat->FatStart()) / 2;
    for (uint32_t s = 0; s < spf; s++) {
        std::vector<uint8_t> sector(512, 0xFF);
        if (s == 0) std::memcpy(sector.data(), image->ReadSectors(fat->FatStart(), 1).data(), 12);
        for (uint32_t i = 0; i < 128; i++) {
            uint32_t c = s * 128 + i;
            if (c == last || c == last - 1 || c > last) std::memset(sector.data() + i * 4, 0, 4);
        }
        image->WriteSectors(fat->FatStart() + s, sector);
    }
    Mount();
    EXPECT_EQ(Save("BIG     .PRG", Pattern(1500, 1)), Fat32::kFatFull);
    uint32_t v;
    std::memcpy(&v, fat->FatCache() + 4 * (last - 1), 4);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(Save("FITS    .PRG", Pattern(1025, 2)), 0);
    EXPECT_EQ(fat->GetFileCluster("FITS    .PRG"), last - 1);
    std::memcpy(&v, fat->FatCache() + 4 * (last - 1), 4);
    EXPECT_EQ(v, last);
    // Allocation never goes past the last data cluster.
    uint32_t out = 0;
    EXPECT_EQ(fat->AllocateCluster(&out), Fat32::kFatFull);
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST_F(FatTest, EmptyDirectoryListsHeaderAndClosingLine) {
    BuildSpc(1);
    Mount();
    std::vector<uint8_t> out(100, 0xAA);
    ASSERT_EQ(fat->GetCBMDir(out.data()), 50);
    std::vector<uint8_t> expected = {0x1F, 0x08, 0x00, 0x00, 0x12, '"'};
    for (int i = 0; i < 16; i++) expected.push_back(' ');
    for (char c : std::string("\" 00 2A")) expected.push_back(static_cast<uint8_t>(c));
    expected.push_back(0);
    expected.push_back(0x30);
    expected.push_back(0x08);
    expected.push_back(0);
    expected.push_back(0);
    for (char c : std::string("BLOCKS FREE.")) expected.push_back(static_cast<uint8_t>(c));
    for (int i = 0; i < 4; i++) expected.push_back(0);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 50), expected);
    EXPECT_EQ(out[50], 0xAA);
}

TEST_F(FatTest, ListingLinesCarryBlocksNameAndType) {
    BuildSpc(1, "ABCDEFGHIJK");
    ASSERT_TRUE(image->MakeDirectory("SUB"));
    Mount();
    ASSERT_EQ(Save("THOUSAND.PRG", Pattern(1001, 1)), 0);  // 1000 bytes: 4 blocks
    ASSERT_EQ(Save("TWELVE  .PRG", Pattern(2795, 2)), 0);  // 2794 bytes: 12 blocks
    ASSERT_EQ(Save("HUNDRED2.PRG", Pattern(25655, 3)), 0); // 25654 bytes: 102 blocks
    std::vector<uint8_t> out(1000, 0);
    uint16_t n = fat->GetCBMDir(out.data());
    // Label into header bytes 6..16; 17..21 stay spaces.
    EXPECT_EQ(std::string(out.begin() + 6, out.begin() + 22), "ABCDEFGHIJK     ");
    // Root order: label, SUB, then the three files.
    size_t at = 30;
    auto line = [&](uint16_t blocks, const std::string& body) {
        std::vector<uint8_t> want = {0, 0, static_cast<uint8_t>(blocks), static_cast<uint8_t>(blocks >> 8)};
        auto b = Bytes(body);
        want.insert(want.end(), b.begin(), b.end());
        want.push_back(0);
        uint16_t link = static_cast<uint16_t>(0x0801 + at + want.size());
        want[0] = static_cast<uint8_t>(link);
        want[1] = static_cast<uint8_t>(link >> 8);
        EXPECT_EQ(std::vector<uint8_t>(out.begin() + at, out.begin() + at + want.size()), want) << body;
        at += want.size();
    };
    line(1, "   \"SUB     \"         DIR");
    line(4, "   \"THOUSAND\"         PRG ");
    line(12, "  \"TWELVE  \"         PRG ");
    line(102, " \"HUNDRED2\"         PRG ");
    EXPECT_EQ(out[at + 4], 'B');
    EXPECT_EQ(n, at + 20);
    uint16_t closing = static_cast<uint16_t>(0x0801 + at + 17);
    EXPECT_EQ(out[at], closing & 0xFF);
    EXPECT_EQ(out[at + 1], closing >> 8);
}

TEST_F(FatTest, ListingShowsAZeroAttributeByteInsideTheLine) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("ZERO.PRG", Pattern(10, 1)));
    Mount();
    auto sector = image->ReadSectors(fat->RootDirStart(), 1);
    sector[11] = 0;
    image->WriteSectors(fat->RootDirStart(), sector);
    std::vector<uint8_t> out(200, 0xAA);
    uint16_t n = fat->GetCBMDir(out.data());
    EXPECT_EQ(n, 50 + 31);
    // link, line, 3 spaces, quote, 8 name, quote, 9 spaces, PRG, 00, 00
    EXPECT_EQ(out[30 + 4 + 3 + 1 + 8 + 1 + 9 + 3], 0);
    EXPECT_EQ(out[30 + 4 + 3 + 1 + 8 + 1 + 9 + 4], 0);
}

TEST_F(FatTest, BoundedListingStopsBeforeTheBufferEnds) {
    BuildSpc(1);
    Mount();
    for (int i = 0; i < 10; i++) {
        char name[16];
        snprintf(name, sizeof name, "P%d      .PRG", i);
        ASSERT_EQ(Save(name, Pattern(5, i)), 0);
    }
    std::vector<uint8_t> out(400, 0xAA);
    uint16_t n = fat->GetCBMDir(out.data(), 200);
    EXPECT_LE(n, 200);
    EXPECT_EQ(n, 30 + 4 * 31 + 20);
    EXPECT_EQ(out[200], 0xAA);
    EXPECT_EQ(std::string(out.begin() + n - 16, out.begin() + n - 4), "BLOCKS FREE.");
    EXPECT_EQ(fat->GetCBMDir(out.data(), 49), 0);
}

}  // namespace

namespace {

// The long-name entries sit at the end of the first root sector and the
// short entry opens the next one (a second root cluster here).
TEST_F(FatTest, LongNameRunAcrossSectorsIsRemovedWithItsFile) {
    BuildSpc(1);
    for (int i = 0; i < 14; i++) ASSERT_TRUE(image->Put("S" + std::to_string(i) + ".PRG", Pattern(3, i)));
    ASSERT_TRUE(image->Put("a name of twenty chr.prg", Pattern(700, 99)));
    Mount();
    auto first = image->ReadSectors(fat->RootDirStart(), 1);
    ASSERT_EQ(first[14 * 32 + 11], 0x0F);
    ASSERT_EQ(first[15 * 32 + 11], 0x0F);
    EXPECT_EQ(fat->DeleteFile("ANAMEO~1.PRG"), 0);
    first = image->ReadSectors(fat->RootDirStart(), 1);
    EXPECT_EQ(first[14 * 32], 0xE5);
    EXPECT_EQ(first[15 * 32], 0xE5);
    ExpectClean();
    EXPECT_EQ(image->ShortListing().find("twenty"), std::string::npos);
}

}  // namespace

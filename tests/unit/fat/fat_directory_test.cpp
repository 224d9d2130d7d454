// Delete, rename, a directory that grows, and a full FAT.
#include <algorithm>

#include "tests/unit/fat/fat_fixture.h"

namespace {

using diskimage::Pattern;

uint32_t ClusterOf(Fat32* fat, const char* name) {
    tarn::filesystem::FatEntryInfo e;
    return fat->FindEntry(0, name, &e) == 0 ? e.firstCluster : 0xFFFFFFFF;
}

TEST_F(FatTest, DeleteMarksEntryFreesClustersAndSlotIsReused) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("KEEP.PRG", Pattern(2000, 1)));
    ASSERT_TRUE(image->Put("GONE.PRG", Pattern(3000, 2)));
    Mount();
    uint32_t c = ClusterOf(fat.get(), "GONE.PRG");
    ASSERT_GE(c, 3u);
    EXPECT_EQ(fat->DeleteEntry(0, "gone.prg"), 0);
    EXPECT_EQ(RootEntry(1)[0], 0xE5);
    EXPECT_EQ(FatOnDisk(0, c), 0u);
    EXPECT_EQ(FatOnDisk(1, c + 5), 0u);
    EXPECT_EQ(fat->DeleteEntry(0, "GONE.PRG"), Fat32::kNotFound);
    ASSERT_EQ(Save("NEW.PRG", Pattern(50, 3)), 0);
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

TEST_F(FatTest, DeleteRefusesDirectoriesAndLabels) {
    BuildSpc(1, "MYDISK");
    ASSERT_TRUE(image->MakeDirectory("SUB"));
    Mount();
    EXPECT_EQ(fat->DeleteEntry(0, "SUB"), Fat32::kWrongMode);
    EXPECT_EQ(fat->DeleteEntry(0, "MYDISK"), Fat32::kNotFound);
    ExpectClean();
}

TEST_F(FatTest, RenameChangesTheNameOthersSee) {
    BuildSpc(1);
    auto data = Pattern(1500, 5);
    ASSERT_TRUE(image->Put("OLD.PRG", data));
    ASSERT_TRUE(image->Put("OTHER.PRG", Pattern(10, 6)));
    Mount();
    EXPECT_EQ(fat->RenameEntry(0, "OLD.PRG", "NEW.PRG"), 0);
    EXPECT_EQ(Load("NEW.PRG"), data);
    std::vector<uint8_t> back;
    ASSERT_TRUE(image->Get("NEW.PRG", &back));
    EXPECT_EQ(back, data);
    EXPECT_EQ(fat->RenameEntry(0, "OLD.PRG", "X.PRG"), Fat32::kNotFound);
    // A second file of the same name would make the volume inconsistent.
    EXPECT_EQ(fat->RenameEntry(0, "NEW.PRG", "OTHER.PRG"), Fat32::kExists);
    EXPECT_EQ(fat->RenameEntry(0, "NEW.PRG", "a:b.PRG"), Fat32::kNotFound);
    EXPECT_EQ(image->ShortListing().find("OLD.PRG"), std::string::npos);
    ExpectClean();
}

TEST_F(FatTest, FullRootDirectoryGrowsByALinkedZeroedCluster) {
    BuildSpc(1, "LABEL");  // one 16-entry root cluster, the label takes one
    Mount();
    for (int i = 0; i < 15; i++) {
        char name[16];
        snprintf(name, sizeof name, "F%02d.PRG", i);
        ASSERT_EQ(Save(name, Pattern(20, i)), 0) << name;
    }
    uint32_t root = fat->RootCluster();
    ASSERT_GE(FatOnDisk(0, root), 0x0FFFFFF8u);
    ASSERT_EQ(Save("LAST.PRG", Pattern(20, 99)), 0);
    uint32_t added = FatOnDisk(0, root);
    ASSERT_TRUE(added >= 2 && added < 0x0FFFFFF8u);
    EXPECT_EQ(FatOnDisk(1, root), added);
    EXPECT_GE(FatOnDisk(1, added), 0x0FFFFFF8u);
    // The new cluster holds the entry, then nothing but the end marker.
    auto grown = image->ReadSectors(fat->DataStart() + added - 2, 1);
    EXPECT_EQ(std::memcmp(grown.data(), "LAST    PRG", 11), 0);
    EXPECT_EQ(std::count(grown.begin() + 32, grown.end(), 0), 512 - 32);
    EXPECT_EQ(Load("LAST.PRG"), Pattern(20, 99));
    EXPECT_NE(image->ShortListing().find("LAST.PRG"), std::string::npos);
    ExpectClean();
}

TEST_F(FatTest, FullFatRefusesTheFileAndLeavesNoEntry) {
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
    EXPECT_EQ(Save("FULL.PRG", Pattern(100, 1)), Fat32::kFatFull);
    EXPECT_EQ(RootEntry(0)[0], 0);
    EXPECT_EQ(ClusterOf(fat.get(), "FULL.PRG"), 0xFFFFFFFFu);
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
    EXPECT_EQ(Save("BIG.PRG", Pattern(1500, 1)), Fat32::kFatFull);
    uint32_t v;
    std::memcpy(&v, fat->FatCache() + 4 * (last - 1), 4);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(Save("FITS.PRG", Pattern(1024, 2)), 0);
    EXPECT_EQ(ClusterOf(fat.get(), "FITS.PRG"), last - 1);
    std::memcpy(&v, fat->FatCache() + 4 * (last - 1), 4);
    EXPECT_EQ(v, last);
    // Allocation never goes past the last data cluster.
    EXPECT_EQ(Save("MORE.PRG", Pattern(1, 3)), Fat32::kFatFull);
}

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
    EXPECT_EQ(fat->DeleteEntry(0, "ANAMEO~1.PRG"), 0);
    first = image->ReadSectors(fat->RootDirStart(), 1);
    EXPECT_EQ(first[14 * 32], 0xE5);
    EXPECT_EQ(first[15 * 32], 0xE5);
    ExpectClean();
    EXPECT_EQ(image->ShortListing().find("twenty"), std::string::npos);
}

}  // namespace

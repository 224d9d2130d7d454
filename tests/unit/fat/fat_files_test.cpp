// Files written whole: across cluster chains, on every FAT copy, and as
// other systems see them (mtools reads them, fsck.fat finds nothing).
#include "tests/unit/fat/fat_fixture.h"

namespace {

using diskimage::Pattern;

uint32_t ClusterOf(Fat32* fat, const char* name) {
    tarn::filesystem::FatEntryInfo e;
    return fat->FindEntry(0, name, &e) == 0 ? e.firstCluster : 0xFFFFFFFF;
}

TEST_F(FatTest, WrittenFileCarriesTheStampAndReadsBack) {
    BuildSpc(1);
    Mount();
    auto ten = Pattern(10, 1);
    ASSERT_EQ(Save("TEN.PRG", ten), 0);
    EXPECT_EQ(Load("ten.prg"), ten);
    std::vector<uint8_t> back;
    ASSERT_TRUE(image->Get("TEN.PRG", &back));
    EXPECT_EQ(back, ten);
    // The entry carries the fixed stamp and the archive attribute.
    auto e = RootEntry(0);
    EXPECT_EQ(std::memcmp(e.data(), "TEN     PRG\x20", 12), 0);
    EXPECT_EQ(e[22], 0xC7);
    EXPECT_EQ(e[23], 0x83);
    EXPECT_EQ(e[24], 0x3D);
    EXPECT_EQ(e[25], 0x4B);
    ExpectClean();
}

TEST_F(FatTest, LargeFilesAreStoredAcrossLinkedClusters) {
    for (int spc : {1, 8}) {
        SCOPED_TRACE(spc);
        BuildSpc(spc);
        Mount();
        const uint32_t cb = 512 * spc;
        // A 30 KB program, sizes at and around cluster boundaries.
        std::vector<size_t> sizes = {30 * 1024 + 7, cb, cb + 1, cb - 1, 2 * cb + 1, 3 * cb - 5};
        std::vector<std::vector<uint8_t>> files;
        for (size_t i = 0; i < sizes.size(); i++) {
            files.push_back(Pattern(sizes[i], static_cast<uint32_t>(10 * spc + i)));
            std::string name = "F" + std::to_string(i) + ".PRG";
            ASSERT_EQ(Save(name.c_str(), files[i]), 0) << name;
            EXPECT_EQ(Load(name.c_str()), files[i]);
        }
        for (size_t i = 0; i < sizes.size(); i++) {
            std::vector<uint8_t> back;
            ASSERT_TRUE(image->Get("F" + std::to_string(i) + ".PRG", &back));
            EXPECT_TRUE(back == files[i]) << i;
        }
        ExpectClean();
    }
}

TEST_F(FatTest, EveryFatCopyAgreesAfterWrites) {
    BuildSpc(1);
    Mount();
    ASSERT_EQ(Save("A.PRG", Pattern(3000, 1)), 0);
    uint32_t c = ClusterOf(fat.get(), "A.PRG");
    ASSERT_GE(c, 3u);
    for (uint32_t k = c; k < c + 6; k++) {
        EXPECT_EQ(FatOnDisk(0, k), FatOnDisk(1, k)) << k;
        uint32_t cached;
        std::memcpy(&cached, fat->FatCache() + k * 4, 4);
        EXPECT_EQ(cached, FatOnDisk(0, k));
    }
    EXPECT_EQ(FatOnDisk(0, c), c + 1);
    EXPECT_EQ(FatOnDisk(0, c + 5), 0x0FFFFFFFu);  // the reserved top bits stay clear
    EXPECT_EQ(FatOnDisk(0, c + 6), 0u);
}

TEST_F(FatTest, EmptyFilesKeepClusterZero) {
    BuildSpc(1);
    Mount();
    ASSERT_EQ(Save("NONE.PRG", {}), 0);
    EXPECT_EQ(ClusterOf(fat.get(), "NONE.PRG"), 0u);
    uint8_t st = 9;
    EXPECT_TRUE(Load("NONE.PRG", &st).empty());
    EXPECT_EQ(st, 0);
    std::vector<uint8_t> back(1, 1);
    ASSERT_TRUE(image->Get("NONE.PRG", &back));
    EXPECT_TRUE(back.empty());
    EXPECT_EQ(Save("NONE.PRG", {1}), Fat32::kExists);
    ExpectClean();
}

TEST_F(FatTest, HighClusterNumbersUseTheHighWord) {
    Build();  // 68 MiB: about 137000 clusters
    Mount();
    // Mark clusters 3..69999 taken in the first FAT on disk, then remount.
    uint32_t first = fat->FatStart();
    for (uint32_t s = 0; s <= 70000 / 128; s++) {
        std::vector<uint8_t> sector = image->ReadSectors(first + s, 1);
        for (uint32_t i = 0; i < 128; i++) {
            uint32_t c = s * 128 + i;
            if (c >= 3 && c < 70000) std::memset(sector.data() + i * 4, 0xFF, 4);
        }
        image->WriteSectors(first + s, sector);
    }
    Mount();
    ASSERT_EQ(Save("HIGH.PRG", Pattern(100, 1)), 0);
    auto e = RootEntry(0);
    EXPECT_EQ(e[20] | (e[21] << 8), 1);  // 70000 = 0x11170
    EXPECT_EQ(e[26] | (e[27] << 8), 0x1170);
    EXPECT_EQ(ClusterOf(fat.get(), "HIGH.PRG"), 70000u);
    EXPECT_EQ(Load("HIGH.PRG"), Pattern(100, 1));
}

}  // namespace

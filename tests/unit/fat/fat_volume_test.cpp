// Mounting, the volume's name, lookups, and volumes with 4096-byte sectors.
#include "tests/support/image_disk.h"
#include "tests/unit/fat/fat_fixture.h"

namespace {

using diskimage::Pattern;

TEST_F(FatTest, MountsThePartitionAndFindsItsGeometry) {
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
    EXPECT_EQ(fat->BytesPerSector(), 512u);
}

TEST_F(FatTest, LabelComesFromTheRootEntryThenTheBootSector) {
    BuildSpc(1, "TESTVOL");
    Mount();
    char label[12];
    fat->Label(label);
    EXPECT_STREQ(label, "TESTVOL");
    EXPECT_EQ(fat->Serial(), 0x12345678u);
    // The root's label entry wins over the boot sector's copy.
    auto root = image->ReadSectors(fat->RootDirStart(), 1);
    ASSERT_EQ(root[11], 0x08);
    std::memcpy(root.data(), "ROOT LABEL ", 11);
    image->WriteSectors(fat->RootDirStart(), root);
    Mount();
    fat->Label(label);
    EXPECT_STREQ(label, "ROOT LABEL");
    // Without the entry the boot sector names the volume.
    root[0] = 0xE5;
    image->WriteSectors(fat->RootDirStart(), root);
    Mount();
    fat->Label(label);
    EXPECT_STREQ(label, "TESTVOL");

    BuildSpc(1);
    Mount();
    fat->Label(label);
    EXPECT_STREQ(label, "");  // "NO NAME" is no name
}

TEST_F(FatTest, LookupsTakeLongAndShortNamesInAnyCase) {
    BuildSpc(1);
    auto data = Pattern(700, 3);
    ASSERT_TRUE(image->Put("longer name.prg", data));
    ASSERT_TRUE(image->MakeDirectory("GAMES"));
    ASSERT_TRUE(image->Put("GAMES/INNER.PRG", Pattern(30, 1)));
    Mount();
    EXPECT_EQ(Load("LONGER NAME.PRG"), data);
    EXPECT_EQ(Load("longer~1.prg"), data);
    tarn::filesystem::FatEntryInfo e;
    ASSERT_EQ(fat->FindEntry(0, "games", &e), 0);
    EXPECT_EQ(e.attributes & 0x10, 0x10);
    uint8_t status = 0;
    Load("GAMES", &status);
    EXPECT_EQ(status, Fat32::kWrongMode);
    // Lookups stay in the directory asked for.
    EXPECT_EQ(fat->FindEntry(0, "INNER.PRG", &e), Fat32::kNotFound);
    tarn::filesystem::FatEntryInfo inner;
    ASSERT_EQ(fat->ListDirectory(0, 1, &e), 0);
    ASSERT_EQ(fat->FindEntry(0, "GAMES", &e), 0);
    ASSERT_EQ(fat->ListDirectory(e.firstCluster, 0, &inner), 0);
    EXPECT_STREQ(inner.name, "INNER.PRG");
    EXPECT_EQ(fat->ListDirectory(e.firstCluster, 1, &inner), Fat32::kEndOfFile);
}

TEST_F(FatTest, ReadsFilesAcrossManyClusters) {
    for (int spc : {1, 2, 4}) {
        SCOPED_TRACE(spc);
        BuildSpc(spc);
        auto big = Pattern(5000 * spc + 123, spc);
        ASSERT_TRUE(image->Put("BIG.PRG", big));
        ASSERT_TRUE(image->Put("SMALL.SEQ", Pattern(3, 9)));
        Mount();
        EXPECT_EQ(Load("BIG.PRG"), big);
        EXPECT_EQ(Load("SMALL.SEQ"), Pattern(3, 9));
    }
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
    ASSERT_EQ(Save("C.PRG", Pattern(300 * 512 + 1, 3)), 0);
    std::vector<uint8_t> back;
    ASSERT_TRUE(image->Get("B.PRG", &back));
    EXPECT_TRUE(back == b);
    ExpectClean();
}

// A disk of 4096-byte sectors formatted as its systems format it: the
// volume's own sectors are 4096 bytes too.
TEST_F(FatTest, VolumeOnA4096ByteSectorDisk) {
    diskimage::Options o;
    o.sector_bytes = 4096;
    o.partition_start = 256;
    o.partition_sectors = 72000;  // 4 KiB clusters: just over FAT32's minimum
    o.label = "FOURK";
    Build(o);
    auto old = Pattern(9000, 4);
    ASSERT_TRUE(image->Put("OLD.PRG", old));
    ImageDisk disk4k(image->path(), 4096);
    ASSERT_TRUE(disk4k.ok());
    tarn::filesystem::PartitionList list;
    tarn::filesystem::ReadPartitionTable(&disk4k, &list);
    ASSERT_EQ(list.count, 1u);
    EXPECT_EQ(list.entries[0].firstSector, 256u);
    fat = std::make_unique<Fat32>(&disk4k, list.entries[0]);
    ASSERT_TRUE(fat->mounted()) << fat->MountProblem();
    EXPECT_EQ(fat->BytesPerSector(), 4096u);
    char label[12];
    fat->Label(label);
    EXPECT_STREQ(label, "FOURK");
    EXPECT_EQ(Load("OLD.PRG"), old);
    // Whole clusters go to the disk as whole sectors; a directory entry is
    // a piece of a sector, read, changed and written back.
    auto program = Pattern(30 * 1024 + 5, 5);
    ASSERT_EQ(Save("NEW PROGRAM.PRG", program), 0);
    ASSERT_EQ(Save("TINY.SEQ", {1, 2, 3}), 0);
    ASSERT_EQ(fat->DeleteEntry(0, "OLD.PRG"), 0);
    EXPECT_EQ(fat->CheckConsistency(), 0);
    fat.reset();
    std::vector<uint8_t> back;
    ASSERT_TRUE(image->Get("NEW PROGRAM.PRG", &back));
    EXPECT_TRUE(back == program);
    ASSERT_TRUE(image->Get("TINY.SEQ", &back));
    EXPECT_EQ(back, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(image->Get("OLD.PRG", &back));
    ExpectClean();

    // A 512-byte volume cannot sit on a 4096-byte disk.
    BuildSpc(1);
    ImageDisk wrong(image->path(), 4096);
    fat = std::make_unique<Fat32>(&wrong, tarn::filesystem::Partition{0, 256, 0, 0x0C, true, false});
    EXPECT_FALSE(fat->mounted());
    EXPECT_STREQ(fat->MountProblem(), "sector size not 512 or 4096");
}

}  // namespace

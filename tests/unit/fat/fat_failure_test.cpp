// Volumes that cannot be used, corrupt metadata and failing disks: every
// operation answers with a status and nothing runs outside its buffers.
#include "tests/unit/fat/fat_fixture.h"

namespace {

using diskimage::Pattern;

uint32_t ClusterOf(Fat32* fat, const char* name) {
    tarn::filesystem::FatEntryInfo e;
    return fat->FindEntry(0, name, &e) == 0 ? e.firstCluster : 0xFFFFFFFF;
}

// Every operation of an unmounted volume, checked for its refusal.
void ExpectRefusesEverything(Fat32& fat, consolecapture::Capture& capture) {
    capture.Start();
    EXPECT_FALSE(fat.mounted());
    tarn::filesystem::FatEntryInfo e{};
    EXPECT_EQ(fat.ListDirectory(0, 0, &e), Fat32::kNotMounted);
    EXPECT_EQ(fat.FindEntry(0, "PROG.PRG", &e), Fat32::kNotMounted);
    std::vector<uint8_t> dest(10, 0x55);
    uint32_t length = 7;
    e.size = 10;
    EXPECT_EQ(fat.ReadWholeFile(e, dest.data(), 10, &length), Fat32::kNotMounted);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(dest[0], 0x55);
    EXPECT_EQ(fat.WriteWholeFile(0, "PROG.PRG", dest.data(), 10, true), Fat32::kNotMounted);
    EXPECT_EQ(fat.DeleteEntry(0, "PROG.PRG"), Fat32::kNotMounted);
    EXPECT_EQ(fat.RenameEntry(0, "PROG.PRG", "NEW.PRG"), Fat32::kNotMounted);
    EXPECT_EQ(fat.MakeDirectory(0, "SUB"), Fat32::kNotMounted);
    EXPECT_EQ(fat.RemoveDirectory(0, "SUB"), Fat32::kNotMounted);
    EXPECT_EQ(fat.CheckConsistency(), Fat32::kNotMounted);
    EXPECT_EQ(fat.FreeClusters(), 0u);
    char label[12] = "X";
    fat.Label(label);
    EXPECT_STREQ(label, "");
    EXPECT_EQ(capture.Text(), "");
}

TEST_F(FatTest, NoDiskRefusesEverything) {
    ata = std::make_unique<AdvancedTechnologyAttachment>(true, simata::kPrimaryBase);
    fat = std::make_unique<Fat32>(ata.get(), tarn::filesystem::Partition{0, 2048, 0, 0x0C, true, false});
    ExpectRefusesEverything(*fat, capture);
    EXPECT_STREQ(fat->MountProblem(), "boot sector unreadable");
}

TEST_F(FatTest, OtherFilesystemsAndSectorSizesAreNotMounted) {
    {
        diskimage::Options o;
        o.format = false;
        o.partition_sectors = 65536;
        Build(o);
        ASSERT_EQ(diskimage::Run("mkfs.fat -F 16 --offset 2048 " + image->path() + " 32768"), 0);
        Mount();
        ExpectRefusesEverything(*fat, capture);
    }
    {
        BuildSpc(1);
        auto boot = image->ReadSectors(2048, 1);
        boot[11] = 0x00;
        boot[12] = 0x04;  // 1024-byte sectors
        image->WriteSectors(2048, boot);
        Mount();
        ExpectRefusesEverything(*fat, capture);
    }
    {
        BuildSpc(1);
        auto boot = image->ReadSectors(2048, 1);
        std::memset(boot.data() + 36, 0xFF, 4);  // absurd FAT length
        image->WriteSectors(2048, boot);
        Mount();
        ExpectRefusesEverything(*fat, capture);
    }
    {
        BuildSpc(1);
        auto boot = image->ReadSectors(2048, 1);
        std::memset(boot.data() + 44, 0xFF, 4);  // root cluster off the volume
        image->WriteSectors(2048, boot);
        Mount();
        ExpectRefusesEverything(*fat, capture);
    }
}

TEST_F(FatTest, AbsurdFileSizeIsRefusedWithoutAllocating) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("HUGE.PRG", Pattern(600, 1)));
    Mount();
    auto sector = image->ReadSectors(fat->RootDirStart(), 1);
    std::memset(sector.data() + 28, 0xF0, 4);
    image->WriteSectors(fat->RootDirStart(), sector);
    uint8_t status = 0;
    EXPECT_TRUE(Load("HUGE.PRG", &status).empty());
    EXPECT_EQ(status, Fat32::kNoMemory);
}

TEST_F(FatTest, CorruptChainsEndInsteadOfLoopingOrEscaping) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("LOOP.PRG", Pattern(2048, 1)));
    ASSERT_TRUE(image->Put("WILD.PRG", Pattern(2048, 2)));
    Mount();
    uint32_t loop = ClusterOf(fat.get(), "LOOP.PRG");
    uint32_t wild = ClusterOf(fat.get(), "WILD.PRG");
    auto fat0 = image->ReadSectors(fat->FatStart(), 1);
    uint32_t back = loop, out = 0x0ABCDEF0;
    std::memcpy(fat0.data() + (loop + 3) * 4, &back, 4);  // last cluster points at the first
    std::memcpy(fat0.data() + (wild + 1) * 4, &out, 4);   // second points off the volume
    image->WriteSectors(fat->FatStart(), fat0);
    Mount();
    // Sizes claim more than the chains hold: reads stop at the chain's end
    // and report the damage instead of padding.
    auto sector = image->ReadSectors(fat->RootDirStart(), 1);
    uint32_t big = 1 << 20;
    std::memcpy(sector.data() + 28, &big, 4);
    std::memcpy(sector.data() + 32 + 28, &big, 4);
    image->WriteSectors(fat->RootDirStart(), sector);
    uint8_t status = 0;
    EXPECT_TRUE(Load("LOOP.PRG", &status).empty());
    EXPECT_EQ(status, Fat32::kDiskError);
    EXPECT_TRUE(Load("WILD.PRG", &status).empty());
    EXPECT_EQ(status, Fat32::kDiskError);
    // What the chain holds is read, and nothing past it.
    tarn::filesystem::FatEntryInfo e;
    ASSERT_EQ(fat->FindEntry(0, "WILD.PRG", &e), 0);
    std::vector<uint8_t> first(1 << 20, 0xAA);
    uint32_t length = 0;
    EXPECT_EQ(fat->ReadWholeFile(e, first.data(), (uint32_t)first.size(), &length), Fat32::kDiskError);
    EXPECT_EQ(length, 1024u);
    auto p = Pattern(2048, 2);
    EXPECT_TRUE(std::equal(p.begin(), p.begin() + 1024, first.begin()));
    EXPECT_EQ(first[1024], 0xAA);
}

TEST_F(FatTest, DiskErrorsBecomeStatusesNotData) {
    BuildSpc(1);
    ASSERT_TRUE(image->Put("DATA.PRG", Pattern(2000, 1)));
    Mount();
    uint32_t c = ClusterOf(fat.get(), "DATA.PRG");
    disk.bad_sectors.insert(fat->DataStart() + c - 2 + 1);
    uint8_t st;
    Load("DATA.PRG", &st);
    EXPECT_EQ(st, Fat32::kDiskError);
    disk.bad_sectors.clear();
    // A root directory that cannot be read: the create is refused.
    disk.bad_sectors.insert(fat->RootDirStart());
    EXPECT_EQ(Save("NEW.PRG", Pattern(700, 1)), Fat32::kDiskError);
    disk.bad_sectors.clear();
    // Data sectors that cannot be written: the write says so, no entry is
    // made and the clusters go back to the free pool.
    uint32_t next = 0;
    for (uint32_t k = 2; k <= fat->LastCluster(); k++) {
        uint32_t v;
        std::memcpy(&v, fat->FatCache() + k * 4, 4);
        if (v == 0) { next = k; break; }
    }
    disk.bad_sectors.insert(fat->DataStart() + next - 2);
    EXPECT_EQ(Save("NEW.PRG", Pattern(700, 1)), Fat32::kDiskError);
    uint32_t v;
    std::memcpy(&v, fat->FatCache() + next * 4, 4);
    EXPECT_EQ(v, 0u);
    disk.bad_sectors.clear();
    EXPECT_EQ(ClusterOf(fat.get(), "NEW.PRG"), 0xFFFFFFFFu);
    ExpectClean();
}

}  // namespace

namespace {

TEST_F(FatTest, ConsistencyCheckFindsUnequalCopiesAndSharedClusters) {
    BuildSpc(1);
    ASSERT_TRUE(image->MakeDirectory("SUB"));
    ASSERT_TRUE(image->Put("SUB/IN.PRG", Pattern(700, 1)));
    ASSERT_TRUE(image->Put("A.PRG", Pattern(1200, 2)));
    ASSERT_TRUE(image->Put("B.PRG", Pattern(600, 3)));
    Mount();
    EXPECT_EQ(fat->CheckConsistency(), Fat32::kOk);
    uint32_t a = ClusterOf(fat.get(), "A.PRG");
    uint32_t b = ClusterOf(fat.get(), "B.PRG");
    uint32_t spf = (fat->DataStart() - fat->FatStart()) / 2;
    // The second copy alone loses a's tail.
    auto second = image->ReadSectors(fat->FatStart() + spf, 1);
    std::memset(second.data() + (a + 2) * 4, 0, 4);
    image->WriteSectors(fat->FatStart() + spf, second);
    Mount();
    EXPECT_EQ(fat->CheckConsistency(), Fat32::kDiskError);
    // Both copies: a's last cluster runs on into b's chain.
    auto first = image->ReadSectors(fat->FatStart(), 1);
    std::memcpy(first.data() + (a + 2) * 4, &b, 4);
    image->WriteSectors(fat->FatStart(), first);
    image->WriteSectors(fat->FatStart() + spf, first);
    Mount();
    EXPECT_EQ(fat->CheckConsistency(), Fat32::kDiskError);
}

}  // namespace

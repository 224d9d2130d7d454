// Partition tables read from images that sgdisk and mkfs.fat made, GPT
// damage the backup mends, and drive 8's volume chosen among several disks.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "filesystem/disk_registry.h"
#include "filesystem/fat.h"
#include "filesystem/partitions.h"
#include "host/disks.h"
#include "tests/support/disk_image.h"
#include "tests/support/image_disk.h"

namespace {

using tarn::filesystem::DiskRegistry;
using tarn::filesystem::PartitionList;
using tarn::filesystem::PartitionTable;
using tarn::filesystem::ReadPartitionTable;

// A 100 MiB GPT disk: an EFI system partition, a Linux one, and a basic-data
// partition holding FAT32 labelled GPTVOL.
class GptImage {
public:
    GptImage() {
        char templ[] = "/tmp/tarn-gpt-XXXXXX";
        if (!mkdtemp(templ)) return;
        dir = templ;
        path = dir + "/gpt.img";
        ok = diskimage::Run("truncate -s 100M " + path) == 0 &&
             diskimage::Run("sgdisk -n 1:2048:+8M -t 1:ef00 -n 2:0:+4M -t 2:8300 -n 3:0:0 -t 3:0700 " + path) == 0 &&
             diskimage::Run("mkfs.fat -F 32 -s 1 -n GPTVOL -i ABCD0123 --offset 26624 " + path + " " +
                            std::to_string((204766 - 26624 + 1) / 2)) == 0;
    }
    ~GptImage() {
        if (!dir.empty()) diskimage::Run("rm -rf " + dir);
    }
    void Corrupt(uint64_t lba, uint32_t at) {
        diskimage::Image::PatchByte(path, lba * 512 + at);
    }
    std::string dir, path;
    bool ok = false;
};

TEST(Partitions, GptEntriesAndTheirKinds) {
    GptImage gpt;
    ASSERT_TRUE(gpt.ok);
    ImageDisk disk(gpt.path, 512);
    PartitionList list;
    ReadPartitionTable(&disk, &list);
    ASSERT_EQ(list.table, PartitionTable::kGpt);
    ASSERT_EQ(list.count, 3u);
    EXPECT_EQ(list.entries[0].firstSector, 2048u);
    EXPECT_EQ(list.entries[0].sectorCount, 16384u);
    EXPECT_TRUE(list.entries[0].efiSystem);
    EXPECT_TRUE(list.entries[0].mayHoldFat);
    EXPECT_FALSE(list.entries[1].mayHoldFat);  // Linux data
    EXPECT_EQ(list.entries[2].index, 2u);
    EXPECT_EQ(list.entries[2].firstSector, 26624u);
    EXPECT_TRUE(list.entries[2].mayHoldFat);
    EXPECT_FALSE(list.entries[2].efiSystem);
    EXPECT_EQ(list.entries[2].mbrType, 0);
}

TEST(Partitions, DamagedPrimaryIsReadFromTheBackup) {
    GptImage gpt;
    ASSERT_TRUE(gpt.ok);
    ImageDisk disk(gpt.path, 512);
    PartitionList list;
    // A byte of the primary header: its CRC fails.
    gpt.Corrupt(1, 60);
    ReadPartitionTable(&disk, &list);
    EXPECT_EQ(list.table, PartitionTable::kGptBackup);
    ASSERT_EQ(list.count, 3u);
    EXPECT_EQ(list.entries[2].firstSector, 26624u);
    // The primary's entry array too (its header mended by sgdisk first is
    // not needed: a failing entry CRC alone sends the reader to the backup).
    GptImage second;
    ASSERT_TRUE(second.ok);
    ImageDisk disk2(second.path, 512);
    second.Corrupt(2, 200);
    ReadPartitionTable(&disk2, &list);
    EXPECT_EQ(list.table, PartitionTable::kGptBackup);
    EXPECT_EQ(list.count, 3u);
    // Both copies damaged: no partitions, and no fall-back to the
    // protective MBR's one entry.
    second.Corrupt(disk2.SectorCount() - 1, 60);
    ReadPartitionTable(&disk2, &list);
    EXPECT_EQ(list.table, PartitionTable::kNone);
    EXPECT_EQ(list.count, 0u);
    // A disk that cannot be read at all says so.
    disk2.bad_sectors.insert(0);
    ReadPartitionTable(&disk2, &list);
    EXPECT_EQ(list.table, PartitionTable::kUnreadable);
}

TEST(Partitions, MbrEntriesSkipEmptyAndExtendedOnes) {
    diskimage::Options o;
    o.format = false;
    diskimage::Image image(o);
    ASSERT_TRUE(image.ok());
    auto mbr = image.ReadSectors(0, 1);
    // Entry 2: an extended partition; entry 3: Linux.
    mbr[446 + 32 + 4] = 0x0F;
    mbr[446 + 32 + 8] = 0x10;
    mbr[446 + 48 + 4] = 0x83;
    mbr[446 + 48 + 8] = 0x20;
    image.WriteSectors(0, mbr);
    ImageDisk disk(image.path(), 512);
    PartitionList list;
    ReadPartitionTable(&disk, &list);
    ASSERT_EQ(list.table, PartitionTable::kMbr);
    ASSERT_EQ(list.count, 3u);
    EXPECT_EQ(list.entries[0].index, 0u);
    EXPECT_EQ(list.entries[0].mbrType, 0x0C);
    EXPECT_TRUE(list.entries[0].mayHoldFat);
    EXPECT_EQ(list.entries[1].index, 2u);
    EXPECT_FALSE(list.entries[1].mayHoldFat);
    EXPECT_EQ(list.entries[2].index, 3u);
    EXPECT_TRUE(list.entries[2].mayHoldFat);  // its boot sector decides
    // Without the signature there is no table.
    mbr[510] = 0;
    image.WriteSectors(0, mbr);
    ReadPartitionTable(&disk, &list);
    EXPECT_EQ(list.table, PartitionTable::kNone);
}

TEST(DiskRegistryTest, VolumeIsTheFirstFat32OrTheOneNamed) {
    GptImage gpt;
    ASSERT_TRUE(gpt.ok);
    diskimage::Options o;
    o.sectors_per_cluster = 1;
    o.partition_sectors = diskimage::MinimumSectors(1);
    o.label = "OTHER";
    diskimage::Image mbrImage(o);
    ASSERT_TRUE(mbrImage.ok());
    // An empty disk first: nothing on it is taken.
    diskimage::Options blank;
    blank.format = false;
    blank.partition_type = 0;
    diskimage::Image empty(blank);
    ImageDisk none(empty.path(), 512), first(gpt.path, 512), second(mbrImage.path(), 512);

    DiskRegistry registry;
    ASSERT_TRUE(registry.Add(&none));
    ASSERT_TRUE(registry.Add(&first));
    ASSERT_TRUE(registry.Add(&second));
    ASSERT_TRUE(registry.ChooseVolume(nullptr));
    EXPECT_EQ(registry.VolumeDisk(), 1u);
    EXPECT_EQ(registry.VolumeEntry(), 2u);  // the ESP holds no file system
    char label[12];
    registry.Volume()->Label(label);
    EXPECT_STREQ(label, "GPTVOL");

    ASSERT_TRUE(registry.ChooseVolume("other"));
    EXPECT_EQ(registry.VolumeDisk(), 2u);
    ASSERT_TRUE(registry.ChooseVolume("ABCD-0123"));
    EXPECT_EQ(registry.VolumeDisk(), 1u);
    ASSERT_TRUE(registry.ChooseVolume("1234-5678"));
    EXPECT_EQ(registry.VolumeDisk(), 2u);
    EXPECT_FALSE(registry.ChooseVolume("NOSUCH"));
    EXPECT_FALSE(registry.Chosen());

    char text[10];
    DiskRegistry::SerialText(0x0A0B0C0D, text);
    EXPECT_STREQ(text, "0A0B-0C0D");
}

// USB sticks come and go while the machine runs: one plugged in takes its
// place ahead of the others, and pulling the volume's disk forgets the volume.
TEST(DiskRegistryTest, DisksThatComeAndGoKeepTheOrderAndTheVolume) {
    GptImage gpt;
    ASSERT_TRUE(gpt.ok);
    diskimage::Options o;
    o.sectors_per_cluster = 1;
    o.partition_sectors = diskimage::MinimumSectors(1);
    o.label = "STICK";
    diskimage::Image stickImage(o);
    ASSERT_TRUE(stickImage.ok());
    ImageDisk internal(gpt.path, 512), stick(stickImage.path(), 512);

    DiskRegistry registry;
    ASSERT_TRUE(registry.Add(&internal));
    ASSERT_TRUE(registry.ChooseVolume(nullptr));
    ASSERT_TRUE(registry.Insert(&stick, 0));
    EXPECT_EQ(registry.Disk(0).device, &stick);
    EXPECT_EQ(registry.VolumeDisk(), 1u);       // still the internal disk's volume
    EXPECT_TRUE(registry.Holds(&internal));
    registry.Remove(&stick);                     // not the volume's: kept
    EXPECT_TRUE(registry.Chosen());
    EXPECT_EQ(registry.VolumeDisk(), 0u);

    ASSERT_TRUE(registry.Insert(&stick, 0));
    ASSERT_TRUE(registry.ChooseVolume("STICK"));
    EXPECT_TRUE(registry.Holds(&stick));
    registry.Remove(&stick);
    EXPECT_FALSE(registry.Chosen());
    EXPECT_EQ(registry.Volume(), nullptr);
    EXPECT_EQ(registry.Count(), 1u);
}

TEST(DiskRegistryTest, ARefusedLayoutSaysWhyDrive8IsEmpty) {
    diskimage::Options o;
    o.sectors_per_cluster = 1;
    o.partition_sectors = diskimage::MinimumSectors(1);
    diskimage::Image image(o);
    ASSERT_TRUE(image.ok());
    auto boot = image.ReadSectors(o.partition_start, 1);
    boot[16] = 3;  // three FATs
    image.WriteSectors(o.partition_start, boot);
    ImageDisk disk(image.path(), 512);
    DiskRegistry registry;
    registry.Add(&disk);
    EXPECT_FALSE(registry.ChooseVolume(nullptr));
    ASSERT_NE(registry.Volume(), nullptr);
    EXPECT_FALSE(registry.Volume()->mounted());
    EXPECT_STREQ(registry.Volume()->MountProblem(), "not 1 or 2 FATs");
}

}  // namespace


namespace {

TEST(VolumeOption, TheWordAfterVolumeEqualsOnTheCommandLine) {
    char out[12];
    EXPECT_TRUE(tarn::host::Disks::VolumeWanted("c64 volume=GAMES quiet", out, sizeof out));
    EXPECT_STREQ(out, "GAMES");
    EXPECT_TRUE(tarn::host::Disks::VolumeWanted("volume=1A2B-3C4D", out, sizeof out));
    EXPECT_STREQ(out, "1A2B-3C4D");
    // Only a whole word counts, and the value is cut to the room given.
    EXPECT_FALSE(tarn::host::Disks::VolumeWanted("myvolume=X", out, sizeof out));
    EXPECT_FALSE(tarn::host::Disks::VolumeWanted("volume= c64", out, sizeof out));
    EXPECT_FALSE(tarn::host::Disks::VolumeWanted(nullptr, out, sizeof out));
    EXPECT_TRUE(tarn::host::Disks::VolumeWanted("volume=AVERYLONGLABELNAME", out, sizeof out));
    EXPECT_STREQ(out, "AVERYLONGLA");
}

}  // namespace

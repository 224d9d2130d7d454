// LOAD and SAVE on damaged, hostile or simply busy volumes: images made by
// mkfs.fat and mtools, patched here, used from BASIC on the headless machine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/bridge/machine_on_volume.h"

#include "filesystem/disk_registry.h"
#include "filesystem/fat.h"
#include "tests/support/image_disk.h"

namespace {

using diskimage::Pattern;

constexpr u16 kStatus = 0x90;
constexpr u32 kEndMark = 0x0FFFFFFF;

class VolumeSafety : public MachineOnVolume {
protected:
    // The layout `make disk` builds: a label and five programs in a root
    // directory of one 512-byte cluster (16 entries).
    void MakeDiskLayout() {
        std::string target = volume.image.path() + "@@" +
                             std::to_string(volume.image.options().partition_start * 512ull);
        ASSERT_EQ(diskimage::Run("MTOOLS_SKIP_CHECK=1 mlabel -i '" + target + "' ::TARN"), 0);
        for (const char* name : {"COLOURS.PRG", "GUESS.PRG", "HELLO.PRG", "PRIMES.PRG", "SIDTUNE.PRG"})
            ASSERT_TRUE(volume.Put(name, Pattern(300, name[0])));
    }

    // Sets one cluster's entry in both FAT copies on the image.
    void PatchFat(u32 cluster, u32 value) {
        u32 perFat = (fat->DataStart() - fat->FatStart()) / 2;
        for (u32 copy = 0; copy < 2; copy++) {
            u32 lba = fat->FatStart() + copy * perFat + cluster * 4 / 512;
            auto sector = volume.image.ReadSectors(lba, 1);
            std::memcpy(sector.data() + cluster * 4 % 512, &value, 4);
            volume.image.WriteSectors(lba, sector);
        }
    }

    std::string Listing() {
        if (!Command("LOAD \"$\",8") || !Command("LIST")) return "";
        std::string s;
        for (const std::string& r : hm.screen_text()) s += r + "\n";
        return s;
    }

    bool Typed(const std::string& line) { return Command(line) && !hm.screen_has("?SYNTAX"); }

    void ExpectClean() {
        std::string report;
        EXPECT_EQ(volume.Check(&report), 0) << report;
    }
};

TEST_F(VolumeSafety, ThirtySavesGrowTheRootAndErasedSlotsAreReused) {
    MakeDiskLayout();
    Mount();
    TypeLine("10 PRINT \"SAVED\"");
    for (int i = 0; i < 30; i++) {
        ASSERT_TRUE(Command("SAVE \"P" + std::to_string(i) + "\",8")) << i;
        ASSERT_EQ(Peek(kStatus), 0) << i;
    }
    ASSERT_EQ(fat->DeleteEntry(0, "P3.PRG"), 0);
    ASSERT_EQ(fat->DeleteEntry(0, "P17.PRG"), 0);
    ASSERT_TRUE(Command("SAVE \"NEWA\",8"));
    ASSERT_TRUE(Command("SAVE \"NEWB\",8"));
    EXPECT_EQ(Peek(kStatus), 0);
    std::string names = volume.image.ShortListing();
    for (const char* n : {"P0.PRG", "P29.PRG", "NEWA.PRG", "NEWB.PRG", "HELLO.PRG"})
        EXPECT_NE(names.find(n), std::string::npos) << n << "\n" << names;
    EXPECT_EQ(names.find("P17.PRG"), std::string::npos);
    // The two new entries took the erased slots: the root still has 36 live
    // entries in three 16-entry clusters.
    auto slot3 = volume.image.ReadSectors(fat->RootDirStart(), 1);
    EXPECT_EQ(std::memcmp(slot3.data() + 9 * 32, "NEWA    PRG", 11), 0);
    ExpectClean();
    ASSERT_TRUE(Command("NEW"));
    ASSERT_TRUE(Command("LOAD \"P29\",8"));
    ASSERT_TRUE(Command("RUN"));
    EXPECT_EQ(hm.row(RowOf("RUN") + 1).rfind("SAVED", 0), 0u);
}

TEST_F(VolumeSafety, LongNamedFileFromAnotherSystemLeavesTheListingWhole) {
    ASSERT_TRUE(volume.Put("FIRST.PRG", Pattern(100, 1)));
    ASSERT_TRUE(volume.Put("My Game.prg", Pattern(600, 2)));
    std::vector<u8> last = Pattern(700, 3);
    last[0] = 0x01;  // a standard program file for the start of BASIC
    last[1] = 0x08;
    ASSERT_TRUE(volume.Put("LAST.PRG", last));
    Mount();
    std::string list = Listing();
    EXPECT_NE(list.find("\"FIRST\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"MY GAME\""), std::string::npos) << list;  // the long name
    EXPECT_NE(list.find("\"LAST\""), std::string::npos) << list;
    EXPECT_NE(list.find("BLOCKS FREE."), std::string::npos) << list;
    ASSERT_TRUE(Command("LOAD \"LAST\",8"));
    EXPECT_FALSE(hm.screen_has("ERROR"));
    EXPECT_EQ(PeekWord(0x2D), 0x0801 + 698);
}

TEST_F(VolumeSafety, GhostEntryBehindTheEndMarkerStaysDead) {
    ASSERT_TRUE(volume.Put("LIVE.PRG", Pattern(1500, 4)));
    Mount();
    // A stale copy of the live entry two slots on, behind the end marker.
    auto root = volume.image.ReadSectors(fat->RootDirStart(), 1);
    std::memcpy(root.data() + 64, root.data(), 32);
    std::memcpy(root.data() + 64, "GHOST   PRG", 11);
    volume.image.WriteSectors(fat->RootDirStart(), root);
    Mount();
    EXPECT_EQ(Listing().find("GHOST"), std::string::npos);
    ASSERT_TRUE(Command("LOAD \"GHOST\",8"));
    EXPECT_TRUE(hm.screen_has("?FILE NOT FOUND"));
    EXPECT_EQ(fat->DeleteEntry(0, "GHOST.PRG"), tarn::filesystem::Fat32::kNotFound);
    // A SAVE into the slot before it keeps it behind the marker.
    TypeLine("10 REM");
    ASSERT_TRUE(Command("SAVE \"NEXT\",8"));
    EXPECT_EQ(volume.Get("LIVE.PRG"), Pattern(1500, 4));
    EXPECT_EQ(volume.image.ShortListing().find("GHOST"), std::string::npos);
    ExpectClean();
}

TEST_F(VolumeSafety, FailedDiskWriteIsReportedAndLeavesNoEntry) {
    ASSERT_TRUE(volume.Put("KEEP.PRG", Pattern(800, 5)));
    Mount();
    // The data sectors a SAVE takes next fail after their data phase, the
    // way a disk reports a sector it cannot store.
    volume.device().write_error_after_data = true;
    for (u32 c = 2; c < 40; c++) volume.device().bad_sectors.insert(fat->DataStart() + c - 2);
    TypeLine("10 PRINT \"LOST\"");
    ASSERT_TRUE(Command("SAVE \"LOST\",8"));
    EXPECT_EQ(Peek(kStatus), 0x80);
    volume.device().bad_sectors.clear();
    EXPECT_FALSE(volume.Exists("LOST.PRG"));
    EXPECT_EQ(volume.Get("KEEP.PRG"), Pattern(800, 5));
    ExpectClean();
    // The same SAVE works once the disk does.
    ASSERT_TRUE(Command("SAVE \"FOUND\",8"));
    EXPECT_TRUE(volume.Exists("FOUND.PRG"));
    ExpectClean();
}

// A disk that leaves while the machine runs (a USB stick pulled out): a
// file open for writing is not reported as stored, LOAD finds nothing, the
// error channel says 74, and the volume is as it was.
TEST_F(VolumeSafety, DiskThatLeavesGivesDriveNotReadyAndStoresNothing) {
    MakeDiskLayout();
    ImageDisk stick(volume.image.path(), 512);
    tarn::filesystem::DiskRegistry registry;
    registry.Add(&stick);
    ASSERT_TRUE(registry.ChooseVolume(nullptr));
    hm.attach_fat32(registry.Volume());
    ASSERT_TRUE(Typed("OPEN 2,8,2,\"NEWFILE,S,W\":PRINT#2,\"DATA\""));
    stick.gone = true;
    ASSERT_TRUE(Command("CLOSE 2"));
    EXPECT_NE(Peek(kStatus) & 0x80, 0);  // device not present: not stored
    ASSERT_TRUE(Command("LOAD \"HELLO\",8"));
    EXPECT_TRUE(hm.screen_has("?FILE NOT FOUND"));
    ASSERT_TRUE(Command("NEW"));
    TypeLine("10 OPEN 15,8,15:INPUT#15,A,B$:CLOSE 15:PRINT \"<\";A;B$;\">\"");
    ASSERT_TRUE(Command("RUN"));
    EXPECT_TRUE(hm.screen_has("< 74 DRIVE NOT READY>"));
    // The host takes the volume away once the stick has gone: a file being
    // written then still says it was not stored, and so does the channel.
    stick.gone = false;
    hm.attach_fat32(registry.Volume());
    ASSERT_TRUE(Typed("OPEN 2,8,2,\"NEWFILE,S,W\":PRINT#2,\"DATA\""));
    stick.gone = true;
    hm.attach_fat32(nullptr);
    ASSERT_TRUE(Command("CLOSE 2"));
    EXPECT_NE(Peek(kStatus) & 0x80, 0);
    ASSERT_TRUE(Command("RUN"));
    EXPECT_TRUE(hm.screen_has("< 74 DRIVE NOT READY>"));
    stick.gone = false;
    EXPECT_TRUE(volume.Get("NEWFILE.SEQ").empty());
    ExpectClean();
}

TEST_F(VolumeSafety, LayoutWithSevenFatsIsRefusedUntouched) {
    ASSERT_TRUE(volume.Put("A.PRG", Pattern(100, 6)));
    u32 boot = volume.image.options().partition_start;
    auto sector = volume.image.ReadSectors(boot, 1);
    sector[16] = 7;
    volume.image.WriteSectors(boot, sector);
    auto before = volume.image.ReadSectors(0, 40000);
    fat = volume.Mount();
    EXPECT_FALSE(fat->mounted());
    EXPECT_STREQ(fat->MountProblem(), "not 1 or 2 FATs");
    hm.attach_fat32(fat);
    TypeLine("10 REM");
    ASSERT_TRUE(Command("SAVE \"B\",8"));
    EXPECT_EQ(Peek(kStatus), 0x80);
    ASSERT_TRUE(Command("LOAD \"A\",8"));
    EXPECT_TRUE(hm.screen_has("?FILE NOT FOUND"));
    EXPECT_TRUE(volume.image.ReadSectors(0, 40000) == before);
}

TEST_F(VolumeSafety, CyclicRootChainIsWalkedOnce) {
    ASSERT_TRUE(volume.Put("A.PRG", Pattern(100, 7)));
    Mount();
    u32 root = fat->RootCluster();
    PatchFat(root, root);
    Mount();
    int reads = volume.device().reads;
    std::string list = Listing();
    EXPECT_NE(list.find("\"A\""), std::string::npos) << list;
    TypeLine("10 REM");
    ASSERT_TRUE(Command("SAVE \"B\",8"));
    EXPECT_EQ(Peek(kStatus), 0);
    // The old walk read the one cluster once per cluster of the volume.
    EXPECT_LT(volume.device().reads - reads, 200);
    EXPECT_TRUE(volume.Exists("B.PRG"));
}

TEST_F(VolumeSafety, CrossLinkIntoTheRootIsNeverFreed) {
    ASSERT_TRUE(volume.Put("KEEP.PRG", Pattern(100, 8)));
    ASSERT_TRUE(volume.Put("LINKED.PRG", Pattern(1000, 9)));
    Mount();
    tarn::filesystem::FatEntryInfo entry;
    ASSERT_EQ(fat->FindEntry(0, "LINKED.PRG", &entry), 0);
    u32 linked = entry.firstCluster;
    PatchFat(linked + 1, fat->RootCluster());  // its second cluster runs on into the root
    Mount();
    ASSERT_EQ(fat->DeleteEntry(0, "LINKED.PRG"), 0);
    TypeLine("10 REM");
    for (const char* n : {"ONE", "TWO", "THREE"}) ASSERT_TRUE(Command(std::string("SAVE \"") + n + "\",8"));
    EXPECT_EQ(volume.Get("KEEP.PRG"), Pattern(100, 8));
    EXPECT_TRUE(volume.Exists("THREE.PRG"));
    ExpectClean();
}

TEST_F(VolumeSafety, OversizedFilesStopAtFFFFAndTheMachineRuns) {
    std::vector<u8> big = Pattern(70000, 10);
    big[0] = 0x00;
    big[1] = 0xE0;  // loads at $E000, RAM under the KERNAL
    ASSERT_TRUE(volume.Put("BIG.PRG", big));
    ASSERT_TRUE(volume.Put("LIAR.PRG", Pattern(400, 11)));
    Mount();
    // LIAR claims 1 MiB on a one-cluster chain.
    auto root = volume.image.ReadSectors(fat->RootDirStart(), 1);
    u32 mib = 1 << 20;
    std::memcpy(root.data() + 32 + 28, &mib, 4);
    volume.image.WriteSectors(fat->RootDirStart(), root);
    Mount();
    u8 zp2 = Peek(0x02), sp_page = Peek(0x01FF);
    ASSERT_TRUE(Command("LOAD \"BIG\",8,1"));
    EXPECT_NE(Peek(kStatus) & 0x02, 0);
    EXPECT_EQ(Peek(0xE000), big[2]);
    EXPECT_EQ(Peek(0xFFFF), big[2 + 0x1FFF]);
    EXPECT_EQ(Peek(0x02), zp2);
    EXPECT_EQ(Peek(0x01FF), sp_page);
    ASSERT_TRUE(Command("LOAD \"LIAR\",8"));
    EXPECT_NE(Peek(kStatus) & 0x02, 0);
    ASSERT_TRUE(Command("PRINT 6*7"));
    EXPECT_EQ(hm.row(RowOf("PRINT 6*7") + 1).rfind(" 42", 0), 0u);
    // And an empty program is not saved as a file LOAD could never find.
    ASSERT_TRUE(Typed("POKE 45,1:POKE 46,8:SAVE \"EMPTY\",8"));
    EXPECT_EQ(Peek(kStatus), 0x80);
    EXPECT_FALSE(volume.Exists("EMPTY.PRG"));
}

}  // namespace

// Directory trees for the drive: long names and subdirectories written here
// and read back by mtools, written by mtools and read here, with fsck.fat
// -n as the judge after every change.
#include <string>
#include <vector>

#include "filesystem/fat.h"
#include "tests/unit/fat/fat_fixture.h"

namespace {

using diskimage::Pattern;
using tarn::filesystem::FatEntryInfo;

class FatTree : public FatTest {
protected:
    void SetUp() override {
        FatTest::SetUp();
        BuildSpc(1);
    }
    // mtools' view of a directory of the volume: one path a line.
    std::string Mdir(const std::string& dir) {
        std::string out;
        std::string target = image->path() + "@@" + std::to_string(image->options().partition_start * 512ull);
        diskimage::Run("MTOOLS_SKIP_CHECK=1 mdir -b -i '" + target + "' '::" + dir + "'", &out);
        return out;
    }
    std::vector<uint8_t> Read(uint32_t dir, const char* name, uint8_t* status = nullptr) {
        FatEntryInfo e;
        uint8_t st = fat->FindEntry(dir, name, &e);
        std::vector<uint8_t> out(e.size + 1);
        uint32_t length = 0;
        if (st == 0) st = fat->ReadWholeFile(e, out.data(), (uint32_t)out.size(), &length);
        if (status) *status = st;
        out.resize(st == 0 ? length : 0);
        return out;
    }
    std::vector<std::string> Names(uint32_t dir) {
        std::vector<std::string> names;
        FatEntryInfo e;
        for (uint32_t i = 0; fat->ListDirectory(dir, i, &e) == 0; i++) names.push_back(e.name);
        return names;
    }
};

TEST_F(FatTree, LongNamesWrittenHereAreWhatMtoolsReads) {
    Mount();
    uint32_t root = fat->RootCluster();
    auto dash = Pattern(3000, 1), spaces = Pattern(40, 2), plain = Pattern(700, 3);
    ASSERT_EQ(fat->WriteWholeFile(root, "boulder dash.prg", dash.data(), 3000, false), 0);
    ASSERT_EQ(fat->WriteWholeFile(root, "A Name Of Thirty-One Characters.seq", spaces.data(), 40, false), 0);
    ASSERT_EQ(fat->WriteWholeFile(root, "PLAIN.PRG", plain.data(), 700, false), 0);
    ASSERT_EQ(fat->WriteWholeFile(root, "boulder dash 2.prg", plain.data(), 700, false), 0);
    ASSERT_EQ(fat->WriteWholeFile(root, "empty.usr", nullptr, 0, false), 0);
    std::vector<uint8_t> back;
    ASSERT_TRUE(image->Get("boulder dash.prg", &back));
    EXPECT_EQ(back, dash);
    ASSERT_TRUE(image->Get("A Name Of Thirty-One Characters.seq", &back));
    EXPECT_EQ(back, spaces);
    ASSERT_TRUE(image->Get("boulder dash 2.prg", &back));
    EXPECT_EQ(back, plain);
    std::string listing = image->Listing();
    EXPECT_NE(listing.find("BOULDE~1 PRG"), std::string::npos) << listing;
    EXPECT_NE(listing.find("BOULDE~2 PRG"), std::string::npos) << listing;
    EXPECT_NE(listing.find("PLAIN    PRG"), std::string::npos) << listing;
    EXPECT_EQ(Names(root), (std::vector<std::string>{"boulder dash.prg", "A Name Of Thirty-One Characters.seq",
                                                    "PLAIN.PRG", "boulder dash 2.prg", "empty.usr"}));
    // Taken names, forbidden characters: nothing changes.
    EXPECT_EQ(fat->WriteWholeFile(root, "BOULDER DASH.PRG", plain.data(), 700, false), Fat32::kExists);
    EXPECT_EQ(fat->WriteWholeFile(root, "a:b.prg", plain.data(), 700, false), Fat32::kNotFound);
    EXPECT_EQ(fat->WriteWholeFile(root, "what?.prg", plain.data(), 700, false), Fat32::kNotFound);
    EXPECT_EQ(fat->WriteWholeFile(root, "trailing.", plain.data(), 700, false), Fat32::kNotFound);
    EXPECT_EQ(Read(root, "Boulder Dash.PRG"), dash);
    EXPECT_EQ(Read(root, "BOULDE~1.PRG"), dash);
    ExpectClean();
    // Free space as the FAT counts it is what mtools reports.
    listing = image->Listing();
    size_t at = listing.find(" bytes free");
    ASSERT_NE(at, std::string::npos) << listing;
    std::string digits;
    for (size_t i = listing.rfind('\n', at) + 1; i < at; i++)
        if (listing[i] >= '0' && listing[i] <= '9') digits += listing[i];
    EXPECT_EQ(std::stoull(digits), fat->FreeClusters() * 512ull);
}

TEST_F(FatTree, FilesMcopiedWithLongNamesAreFoundListedAndRead) {
    auto game = Pattern(5000, 4), note = Pattern(10, 5);
    ASSERT_TRUE(image->Put("Boulder Dash.prg", game));
    ASSERT_TRUE(image->MakeDirectory("Games"));
    ASSERT_TRUE(image->Put("Games/high scores.seq", note));
    Mount();
    uint32_t root = fat->RootCluster();
    EXPECT_EQ(Read(root, "BOULDER DASH.PRG"), game);
    FatEntryInfo games;
    ASSERT_EQ(fat->FindEntry(root, "games", &games), 0);
    EXPECT_EQ(games.attributes & 0x10, 0x10);
    EXPECT_EQ(Names(games.firstCluster), (std::vector<std::string>{"high scores.seq"}));
    EXPECT_EQ(Read(games.firstCluster, "High Scores.SEQ"), note);
    FatEntryInfo up;
    ASSERT_EQ(fat->FindEntry(games.firstCluster, "..", &up), 0);
    EXPECT_EQ(up.firstCluster, root);
    EXPECT_EQ(fat->FindEntry(root, "no such file", &up), Fat32::kNotFound);
}

TEST_F(FatTree, SubdirectoriesMadeHereAreSeenByMtools) {
    Mount();
    uint32_t root = fat->RootCluster();
    uint32_t before = fat->FreeClusters();
    ASSERT_EQ(fat->MakeDirectory(root, "Adventure Games"), 0);
    EXPECT_EQ(fat->MakeDirectory(root, "ADVENTURE GAMES"), Fat32::kExists);
    FatEntryInfo dir;
    ASSERT_EQ(fat->FindEntry(root, "adventure games", &dir), 0);
    // Forty long names: the new directory grows past its first cluster.
    for (int i = 0; i < 40; i++) {
        std::string name = "level number " + std::to_string(i) + ".prg";
        auto data = Pattern(100 + i, i);
        ASSERT_EQ(fat->WriteWholeFile(dir.firstCluster, name.c_str(), data.data(), (uint32_t)data.size(), false), 0)
            << name;
    }
    std::string inside = Mdir("Adventure Games");
    EXPECT_NE(inside.find("level number 39.prg"), std::string::npos) << inside;
    std::vector<uint8_t> back;
    ASSERT_TRUE(image->Get("Adventure Games/level number 17.prg", &back));
    EXPECT_EQ(back, Pattern(117, 17));
    ExpectClean();

    EXPECT_EQ(fat->RemoveDirectory(root, "Adventure Games"), Fat32::kExists);
    ASSERT_EQ(fat->RenameEntry(dir.firstCluster, "level number 3.prg", "the third.prg"), 0);
    EXPECT_EQ(fat->RenameEntry(dir.firstCluster, "level number 4.prg", "The Third.prg"), Fat32::kExists);
    ASSERT_TRUE(image->Get("Adventure Games/the third.prg", &back));
    EXPECT_EQ(back, Pattern(103, 3));
    EXPECT_EQ(fat->DeleteEntry(root, "Adventure Games"), Fat32::kWrongMode);
    for (int i = 0; i < 40; i++) {
        std::string name = i == 3 ? "the third.prg" : "level number " + std::to_string(i) + ".prg";
        ASSERT_EQ(fat->DeleteEntry(dir.firstCluster, name.c_str()), 0) << name;
    }
    ASSERT_EQ(fat->RemoveDirectory(root, "adventure games"), 0);
    EXPECT_EQ(fat->FreeClusters(), before);  // the files and every cluster the directory grew to
    EXPECT_EQ(image->ShortListing().find("Adventure"), std::string::npos);
    ExpectClean();
}

TEST_F(FatTree, ReplaceKeepsTheOldFileUntilTheNewOneIsWhole) {
    Mount();
    uint32_t root = fat->RootCluster();
    auto oldData = Pattern(2000, 6), newData = Pattern(3000, 7);
    ASSERT_EQ(fat->WriteWholeFile(root, "save game.seq", oldData.data(), 2000, false), 0);
    uint32_t free = fat->FreeClusters();
    // Every data sector the new copy could take fails after its data phase.
    disk.write_error_after_data = true;
    FatEntryInfo e;
    ASSERT_EQ(fat->FindEntry(root, "save game.seq", &e), 0);
    for (uint32_t c = e.firstCluster + 4; c < e.firstCluster + 40; c++) disk.bad_sectors.insert(fat->DataStart() + c - 2);
    EXPECT_EQ(fat->WriteWholeFile(root, "save game.seq", newData.data(), 3000, true), Fat32::kDiskError);
    disk.bad_sectors.clear();
    std::vector<uint8_t> back;
    ASSERT_TRUE(image->Get("save game.seq", &back));
    EXPECT_EQ(back, oldData);
    EXPECT_EQ(fat->FreeClusters(), free);
    ExpectClean();
    ASSERT_EQ(fat->WriteWholeFile(root, "SAVE GAME.SEQ", newData.data(), 3000, true), 0);
    ASSERT_TRUE(image->Get("save game.seq", &back));
    EXPECT_EQ(back, newData);
    EXPECT_EQ(fat->FreeClusters(), free - 2);  // six clusters instead of four
    ExpectClean();
}

}  // namespace

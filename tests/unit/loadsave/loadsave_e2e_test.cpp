// LOAD and SAVE end to end: BASIC typed on the headless machine, files on a
// FAT32 image made by mkfs.fat, read back and checked by mtools and fsck.fat.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/unit/bridge/machine_on_volume.h"

#include "c64/memory.h"
#include "c64/text_view.h"
#include "filesystem/fat.h"

namespace {

constexpr u16 kBasicStart = 0x0801;
constexpr u16 kVarTab = 0x2D;   // BASIC end of program / start of variables
constexpr u16 kStatus = 0x90;   // KERNAL status ST

// One tokenized BASIC line: link, number, body, terminator.
void AddLine(std::vector<u8>* prg, u16 base, u16 number, const std::vector<u8>& body) {
    u16 next = (u16)(base + prg->size() + 4 + body.size() + 1);
    prg->push_back(next & 0xFF);
    prg->push_back(next >> 8);
    prg->push_back(number & 0xFF);
    prg->push_back(number >> 8);
    prg->insert(prg->end(), body.begin(), body.end());
    prg->push_back(0);
}

std::vector<u8> Text(const std::string& s) { return std::vector<u8>(s.begin(), s.end()); }

std::vector<u8> WithHeader(u16 address, const std::vector<u8>& bytes) {
    std::vector<u8> file = {(u8)(address & 0xFF), (u8)(address >> 8)};
    file.insert(file.end(), bytes.begin(), bytes.end());
    return file;
}

// Free space as mtools reports it, in the directory's 254-byte blocks.
long FreeBlocks(const diskimage::Image& image) {
    std::string listing = image.Listing();
    size_t at = listing.find("bytes free");
    if (at == std::string::npos) return -1;
    size_t start = listing.rfind('\n', at);
    std::string digits;
    for (size_t i = start == std::string::npos ? 0 : start; i < at; i++)
        if (isdigit((unsigned char)listing[i])) digits += listing[i];
    return digits.empty() ? -1 : std::stol(digits) / 254;
}

class LoadSave : public MachineOnVolume {
protected:
    std::vector<u8> Bytes(u16 from, u16 to) {
        std::vector<u8> v;
        for (u32 a = from; a < to; a++) v.push_back(Peek((u16)a));
        return v;
    }

    std::string Screen() {
        std::string s;
        for (const std::string& r : hm.screen_text()) s += "|" + r + "|\n";
        return s;
    }

    void ExpectClean() {
        std::string report;
        EXPECT_EQ(volume.Check(&report), 0) << report;
    }
};

TEST_F(LoadSave, SavedProgramWithVariablesComesBackListsAndRuns) {
    Mount();
    TypeLine("10 A=6:B=7");
    TypeLine("20 C=A*B:D$=\"RESULT\"");
    TypeLine("30 PRINT D$;C");
    u16 end = PeekWord(kVarTab);
    std::vector<u8> program = Bytes(kBasicStart, end);
    ASSERT_GT(program.size(), 20u);

    ASSERT_TRUE(Command("SAVE \"HELLO\",8"));
    EXPECT_FALSE(hm.screen_has("ERROR"));
    // A standard program file: the load address, then the program.
    EXPECT_EQ(volume.Get("HELLO.PRG"), WithHeader(kBasicStart, program));
    ExpectClean();

    ASSERT_TRUE(Command("NEW"));
    EXPECT_EQ(PeekWord(kVarTab), kBasicStart + 2);
    ASSERT_TRUE(Command("LOAD \"HELLO\",8"));
    EXPECT_FALSE(hm.screen_has("ERROR"));
    EXPECT_EQ(Bytes(kBasicStart, end), program);
    // BASIC took its end-of-program pointer from this load.
    EXPECT_EQ(PeekWord(kVarTab), end);

    ASSERT_TRUE(Command("LIST"));
    // The listing's rows follow the LIST command.
    int first = RowOf("LIST") + 2;
    ASSERT_GE(first, 2);
    EXPECT_EQ(hm.row(first).rfind("10 A=6:B=7", 0), 0u) << Screen();
    EXPECT_EQ(hm.row(first + 1).rfind("20 C=A*B:D$=\"RESULT\"", 0), 0u) << Screen();
    EXPECT_EQ(hm.row(first + 2).rfind("30 PRINT D$;C", 0), 0u);

    // Variables live past the end pointer: a stale pointer would put them
    // over the program and RUN would print something else.
    ASSERT_TRUE(Command("RUN"));
    EXPECT_TRUE(hm.screen_has("RESULT 42"));
    EXPECT_EQ(Bytes(kBasicStart, end), program);
    ASSERT_TRUE(Command("LIST 30"));
    EXPECT_EQ(hm.row(RowOf("LIST 30") + 2).rfind("30 PRINT D$;C", 0), 0u);

    // After a power cycle no earlier SAVE has left the right end address
    // behind: only the load itself can set it.
    hm.rebuild();
    ASSERT_TRUE(hm.boot());
    EXPECT_NE(PeekWord(0xAE), end);
    ASSERT_TRUE(Command("LOAD \"HELLO\",8"));
    EXPECT_EQ(PeekWord(kVarTab), end);
    ASSERT_TRUE(Command("RUN"));
    EXPECT_EQ(hm.row(RowOf("RUN") + 1).rfind("RESULT 42", 0), 0u) << Screen();
    EXPECT_EQ(Bytes(kBasicStart, end), program);
}

TEST_F(LoadSave, ProgramPutByMcopyLoadsWithSecondaryOneAndRuns) {
    // 10 X=21 / 20 PRINT X*2, with its load address in front.
    std::vector<u8> body;
    AddLine(&body, kBasicStart, 10, {'X', 0xB2, '2', '1'});
    AddLine(&body, kBasicStart, 20, {0x99, ' ', 'X', 0xAC, '2'});
    body.push_back(0);
    body.push_back(0);
    std::vector<u8> file = {0x01, 0x08};
    file.insert(file.end(), body.begin(), body.end());
    ASSERT_TRUE(volume.Put("DOUBLE.PRG", file));
    Mount();

    ASSERT_TRUE(Command("LOAD \"DOUBLE\",8,1"));
    EXPECT_FALSE(hm.screen_has("ERROR"));
    EXPECT_EQ(Bytes(kBasicStart, kBasicStart + body.size()), body);
    EXPECT_EQ(PeekWord(kVarTab), kBasicStart + body.size());
    ASSERT_TRUE(Command("LIST"));
    int first = RowOf("10 X=21");
    ASSERT_GE(first, 0);
    EXPECT_EQ(hm.row(first + 1).rfind("20 PRINT X*2", 0), 0u);
    ASSERT_TRUE(Command("RUN"));
    EXPECT_EQ(hm.row(RowOf("RUN") + 1).rfind(" 42", 0), 0u);
}

TEST_F(LoadSave, SecondaryOneLandsMachineCodeAtItsOwnAddress) {
    // At $C000: print "OK" through CHROUT and return.
    std::vector<u8> code = {0xA9, 'O', 0x20, 0xD2, 0xFF, 0xA9, 'K', 0x20, 0xD2, 0xFF, 0x60};
    std::vector<u8> file = {0x00, 0xC0};
    file.insert(file.end(), code.begin(), code.end());
    ASSERT_TRUE(volume.Put("MC.PRG", file));
    Mount();
    TypeLine("10 PRINT \"BASIC STAYS\"");
    std::vector<u8> program = Bytes(kBasicStart, PeekWord(kVarTab));

    ASSERT_TRUE(Command("LOAD \"MC\",8,1"));
    EXPECT_FALSE(hm.screen_has("ERROR"));
    EXPECT_EQ(Bytes(0xC000, 0xC000 + code.size()), code);
    EXPECT_EQ(Bytes(kBasicStart, kBasicStart + program.size()), program);
    EXPECT_EQ(PeekWord(0xAE), 0xC000 + code.size());
    ASSERT_TRUE(Command("SYS 49152"));
    EXPECT_EQ(hm.row(RowOf("SYS 49152") + 1).rfind("OK", 0), 0u);
}

TEST_F(LoadSave, DollarLoadListsTheDirectory) {
    ASSERT_TRUE(volume.Put("HELLO.PRG", diskimage::Pattern(1000, 5)));
    ASSERT_TRUE(volume.Put("GAMES.PRG", diskimage::Pattern(30000, 6)));
    Mount();
    ASSERT_TRUE(Command("LOAD \"$\",8"));
    EXPECT_FALSE(hm.screen_has("ERROR"));
    ASSERT_TRUE(Command("LIST"));
    // Line number = blocks.
    int hello = RowOf("\"HELLO\"");
    int games = RowOf("\"GAMES\"");
    ASSERT_GE(hello, 0);
    ASSERT_GE(games, 0);
    EXPECT_EQ(hm.row(hello).rfind("4    \"HELLO\"            PRG", 0), 0u) << hm.row(hello);
    EXPECT_EQ(hm.row(games).rfind("119  \"GAMES\"            PRG", 0), 0u) << hm.row(games);
    int blocks = RowOf("BLOCKS FREE.");
    ASSERT_GE(blocks, 0);
    // The volume's real free space, capped as the 1541 counts.
    long free = FreeBlocks(volume.image);
    ASSERT_GT(free, 1000);
    EXPECT_EQ(hm.row(blocks).rfind(std::to_string(std::min(free, 65535L)) + " BLOCKS FREE.", 0), 0u) << hm.row(blocks);
    EXPECT_GT(blocks, hello);
    EXPECT_GT(blocks, games);
    // The header line: line 0, then the disk name and id in reverse video.
    EXPECT_EQ(hm.row(hello - 1).rfind("0 \"TARN            \" 00 2A", 0), 0u) << Screen();
    EXPECT_TRUE(hm.machine().text_view()->reversed(40 * (hello - 1) + 2));
    EXPECT_FALSE(hm.machine().text_view()->reversed(40 * hello + 2));
}

TEST_F(LoadSave, MissingFileEndsInFileNotFound) {
    ASSERT_TRUE(volume.Put("THERE.PRG", {1, 2, 3}));
    Mount();
    TypeLine("10 PRINT 1");
    std::vector<u8> program = Bytes(kBasicStart, PeekWord(kVarTab));
    ASSERT_TRUE(Command("LOAD \"NOTHERE\",8"));
    EXPECT_TRUE(hm.screen_has("?FILE NOT FOUND  ERROR"));
    EXPECT_EQ(Peek(kStatus), 0x42);
    EXPECT_EQ(Bytes(kBasicStart, kBasicStart + program.size()), program);
    ASSERT_TRUE(Command("LIST"));
    EXPECT_GE(RowOf("10 PRINT 1"), 0);
}

TEST_F(LoadSave, ThirtyKilobyteProgramOnFourKilobyteClustersReadsBackWhole) {
    diskimage::Options options;
    options.sectors_per_cluster = 8;
    options.partition_sectors = diskimage::MinimumSectors(8);
    MountedVolume big(options);
    ASSERT_TRUE(big.image.ok());
    fat = big.Mount();
    ASSERT_TRUE(fat->mounted());
    hm.attach_fat32(fat);

    // 30 KB of REM lines, placed as BASIC keeps a program.
    std::vector<u8> prg;
    for (u16 n = 1; prg.size() < 30 * 1024; n++) {
        std::vector<u8> body = {0x8F};  // REM
        for (int i = 0; i < 70; i++) body.push_back((u8)('A' + (n + i) % 26));
        AddLine(&prg, kBasicStart, n, body);
    }
    prg.push_back(0);
    prg.push_back(0);
    for (size_t i = 0; i < prg.size(); i++) hm.mem().write_byte((u16)(kBasicStart + i), prg[i]);
    u16 end = (u16)(kBasicStart + prg.size());
    hm.mem().write_byte(kVarTab, end & 0xFF);
    hm.mem().write_byte(kVarTab + 1, end >> 8);

    ASSERT_TRUE(Command("SAVE \"BIG\",8"));
    EXPECT_EQ(big.Get("BIG.PRG"), WithHeader(kBasicStart, prg));
    std::string report;
    EXPECT_EQ(big.Check(&report), 0) << report;

    ASSERT_TRUE(Command("NEW"));
    ASSERT_TRUE(Command("LOAD \"BIG\",8"));
    EXPECT_EQ(Bytes(kBasicStart, end), prg);
    EXPECT_EQ(PeekWord(kVarTab), end);
}

TEST_F(LoadSave, EveryFileSavedFromBasicKeepsTheVolumeClean) {
    ASSERT_TRUE(volume.Put("KEEP.PRG", diskimage::Pattern(5000, 9)));
    Mount();
    TypeLine("10 PRINT \"ONE\"");
    ASSERT_TRUE(Command("SAVE \"ONE\",8"));
    TypeLine("20 PRINT \"TWO\"");
    ASSERT_TRUE(Command("SAVE \"TWO\",8"));
    std::vector<u8> two = Bytes(kBasicStart, PeekWord(kVarTab));
    // An existing name is left alone.
    ASSERT_TRUE(Command("SAVE \"ONE\",8"));
    EXPECT_EQ(volume.Get("KEEP.PRG"), diskimage::Pattern(5000, 9));
    EXPECT_EQ(volume.Get("TWO.PRG"), WithHeader(kBasicStart, two));
    EXPECT_LT(volume.Get("ONE.PRG").size(), two.size());
    ExpectClean();
}

TEST_F(LoadSave, WithoutADiskLoadIsNotFoundAndSaveLeavesDeviceNotPresent) {
    // No volume attached at all.
    TypeLine("10 PRINT 1");
    ASSERT_TRUE(Command("LOAD \"ANY\",8"));
    EXPECT_TRUE(hm.screen_has("?FILE NOT FOUND  ERROR"));
    ASSERT_TRUE(Command("SAVE \"ANY\",8"));
    EXPECT_EQ(Peek(kStatus), 0x80);
    ASSERT_TRUE(Command("PRINT ST"));
    EXPECT_EQ(hm.row(RowOf("PRINT ST") + 1).rfind("-128", 0), 0u) << Screen();  // ST is signed
}

TEST_F(LoadSave, UnusablePartitionBehavesAsNoDisk) {
    diskimage::Options options;
    options.partition_type = 0;
    MountedVolume none(options);
    ASSERT_TRUE(none.image.ok());
    fat = none.Mount();
    ASSERT_EQ(fat, nullptr);  // no partition: no volume at all
    hm.attach_fat32(fat);
    ASSERT_TRUE(Command("LOAD \"$\",8"));
    EXPECT_TRUE(hm.screen_has("?FILE NOT FOUND  ERROR"));
    ASSERT_TRUE(Command("SAVE \"ANY\",8"));
    EXPECT_EQ(Peek(kStatus), 0x80);
}

}  // namespace

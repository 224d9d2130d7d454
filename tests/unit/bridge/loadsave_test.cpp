// LOAD and SAVE requests served from a FAT32 image, on a bare Memory with
// the KERNAL's file parameters poked in as the patched routines leave them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

// The memory map is built alongside; these tests run once it is in the tree.
#if __has_include("c64/memory.h")
#include "tests/unit/bridge/mounted_volume.h"

#include "c64/io.h"
#include "c64/memory.h"
#include "filesystem/fat.h"

namespace {

constexpr u16 kNameAt = 0x0340;  // where the tests keep the file name

class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(volume.image.ok());
        io.memory(&mem);
        Word(0x2B, 0x0801);
    }

    void Mount() { io.fat32(volume.Mount()); }

    void Word(u16 at, u16 value) {
        mem.write_byte(at, value & 0xFF);
        mem.write_byte(at + 1, value >> 8);
    }
    u16 Word(u16 at) { return mem.read_byte(at) | mem.read_byte(at + 1) << 8; }

    void Name(const std::string& name) {
        for (size_t i = 0; i < name.size(); i++) mem.write_byte(kNameAt + i, (u8)name[i]);
        mem.write_byte(0xB7, (u8)name.size());
        Word(0xBB, kNameAt);
    }

    // LOAD "name",8,sa as the trap leaves it, then one poll.
    void Load(const std::string& name, u8 sa) {
        Name(name);
        mem.write_byte(0xB9, sa);
        mem.write_byte(0xBA, 8);
        mem.write_byte(0x02, 4);
        EXPECT_TRUE(io.emulate());
        EXPECT_EQ(mem.read_byte(0x02), 0);
    }

    void Save(const std::string& name, u16 start, u16 end) {
        Name(name);
        Word(0x2B, start);
        Word(0x2D, end);
        mem.write_byte(0x02, 5);
        EXPECT_TRUE(io.emulate());
        EXPECT_EQ(mem.read_byte(0x02), 0);
    }

    std::vector<u8> Bytes(u16 at, size_t n) {
        std::vector<u8> v;
        for (size_t i = 0; i < n; i++) v.push_back(mem.read_byte_no_io((u16)(at + i)));
        return v;
    }

    void ExpectClean() {
        std::string report;
        EXPECT_EQ(volume.Check(&report), 0) << report;
    }

    MountedVolume volume;
    Memory mem;
    IO io;
};

TEST_F(Bridge, LoadWithSecondaryZeroPlacesWholeFileAtBasicStart) {
    auto data = diskimage::Pattern(300, 1);
    ASSERT_TRUE(volume.Put("GAME.PRG", data));
    Mount();
    Load("GAME", 0);
    EXPECT_EQ(Bytes(0x0801, 300), data);
    EXPECT_EQ(Word(0xAE), 0x0801 + 300);
    EXPECT_EQ(mem.read_byte(0x90), 0x40);
}

TEST_F(Bridge, LoadWithSecondaryOneUsesTheFileHeaderAndSetsEndPointer) {
    std::vector<u8> data = {0x00, 0xC0};
    auto body = diskimage::Pattern(40, 2);
    data.insert(data.end(), body.begin(), body.end());
    ASSERT_TRUE(volume.Put("NAME.PRG", data));
    Mount();
    u8 before = mem.read_byte(0x0801);
    Load("NAME", 1);
    EXPECT_EQ(Bytes(0xC000, 40), body);
    EXPECT_EQ(mem.read_byte(0xC028), mem.read_byte_no_io(0xC028));
    EXPECT_EQ(mem.read_byte(0x0801), before);
    EXPECT_EQ(Word(0xAE), 0xC000 + 40);
    EXPECT_EQ(mem.read_byte(0x90), 0x40);
}

TEST_F(Bridge, LoadStopsAtFFFFInsteadOfWrappingToZeroPage) {
    // Header $FFFE, then six bytes: two fit, four would wrap to $0000-$0003.
    ASSERT_TRUE(volume.Put("WRAP.PRG", {0xFE, 0xFF, 0xAA, 0xBB, 0xCC, 0x37, 0x00, 0xDD}));
    Mount();
    u8 zero = mem.read_byte(0x0000), three = mem.read_byte(0x0003);
    Word(0xAE, 0x1234);
    Load("WRAP", 1);
    EXPECT_EQ(mem.read_byte_no_io(0xFFFE), 0xAA);
    EXPECT_EQ(mem.read_byte_no_io(0xFFFF), 0xBB);
    EXPECT_EQ(mem.read_byte(0x0000), zero);
    EXPECT_EQ(mem.read_byte(0x0003), three);
    EXPECT_EQ(mem.read_byte(0x90), 0x42);  // a failed load for the KERNAL
    EXPECT_EQ(Word(0xAE), 0x1234);
}

TEST_F(Bridge, LoadOfMissingFileSetsStatus42AndLeavesMemory) {
    Mount();
    auto before = Bytes(0x0801, 64);
    Word(0xAE, 0x1234);
    Load("NOPE", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
    EXPECT_EQ(Bytes(0x0801, 64), before);
    EXPECT_EQ(Word(0xAE), 0x1234);
}

TEST_F(Bridge, LoadLooksUpTheSpacePaddedName) {
    ASSERT_TRUE(volume.Put("ABCDEFGH.PRG", {1, 2, 3}));
    ASSERT_TRUE(volume.Put("AB.PRG", {4, 5}));
    Mount();
    Load("AB", 0);
    EXPECT_EQ(Bytes(0x0801, 2), (std::vector<u8>{4, 5}));
    Load("ABCDEFGH", 0);
    EXPECT_EQ(Bytes(0x0801, 3), (std::vector<u8>{1, 2, 3}));
    // The name as typed with its extension is not the padded form.
    Load("AB.PRG", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
}

TEST_F(Bridge, OverlongNameIsCutToTheTwelveCharactersTheBufferHolds) {
    ASSERT_TRUE(volume.Put("ABCDEFGH.PRG", {9, 8, 7}));
    Mount();
    // Copying past the 12th character would overwrite the terminator and
    // the lookup would miss.
    Load("ABCDEFGH.PRGTRAILING-JUNK-THAT-IS-LONG", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x40);
    EXPECT_EQ(Bytes(0x0801, 3), (std::vector<u8>{9, 8, 7}));
}

TEST_F(Bridge, DollarListsTheDirectoryAsABasicProgram) {
    ASSERT_TRUE(volume.Put("HELLO.PRG", diskimage::Pattern(1000, 3)));
    ASSERT_TRUE(volume.Put("WORLD.PRG", diskimage::Pattern(10, 4)));
    Mount();
    mem.write_byte(0x90, 0x00);
    Load("$", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x00);  // a listing leaves ST alone
    auto head = Bytes(0x0801, 6);
    EXPECT_EQ(head, (std::vector<u8>{0x1F, 0x08, 0x00, 0x00, 0x12, 0x22}));
    // Walk the links: every line ends in 0 right before the next link.
    u16 end = Word(0xAE);
    u16 line = 0x0801;
    std::vector<std::string> names;
    int lines = 0;
    while (Word(line) != 0 && lines < 100) {
        u16 next = Word(line);
        ASSERT_GT(next, line);
        ASSERT_LT(next, end);
        EXPECT_EQ(mem.read_byte(next - 1), 0);
        std::string text;
        for (u16 a = line + 4; a < next - 1; a++) text += (char)mem.read_byte(a);
        names.push_back(text);
        line = next;
        lines++;
    }
    ASSERT_EQ(names.size(), 4u);
    EXPECT_NE(names[1].find("\"HELLO   \""), std::string::npos) << names[1];
    EXPECT_EQ(Word(0x0801 + 30 + 2), 4);  // 1000 bytes: 4 blocks
    EXPECT_NE(names[2].find("\"WORLD   \""), std::string::npos) << names[2];
    EXPECT_EQ(names[3], "BLOCKS FREE.");
    EXPECT_EQ(end, line + 3);  // zero link and one more zero byte
}

TEST_F(Bridge, LongerNameStartingWithDollarIsAnOrdinaryFile) {
    ASSERT_TRUE(volume.Put("X.PRG", {1}));
    Mount();
    Load("$X", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
}

TEST_F(Bridge, DirectoryListingStopsAtTheListingBuffer) {
    // 200 entries need about 6000 bytes of listing; the buffer holds 4000.
    std::string dir = volume.image.dir() + "/many";
    std::string cmd = "mkdir -p '" + dir + "' && cd '" + dir + "' && for i in $(seq 100 299); do echo x > F$i.PRG; done";
    ASSERT_EQ(diskimage::Run(cmd), 0);
    std::string target = "'" + volume.image.path() + "@@" +
                         std::to_string(volume.image.options().partition_start * 512ull) + "'";
    ASSERT_EQ(diskimage::Run("mcopy -i " + target + " '" + dir + "'/F*.PRG ::"), 0);
    Mount();
    for (u32 a = 0x0801 + 3990; a < 0x0801 + 4400; a++) mem.write_byte(a, 0x5A);
    Load("$", 0);
    u16 end = Word(0xAE);
    EXPECT_LE(end - 0x0801, 4000);
    EXPECT_GT(end - 0x0801, 3000);
    for (u32 a = 0x0801 + 4000; a < 0x0801 + 4400; a++) ASSERT_EQ(mem.read_byte(a), 0x5A) << a;
    // Still a well-formed program ending in its closing line.
    u16 line = 0x0801;
    int lines = 0;
    while (Word(line) != 0 && lines < 300) {
        ASSERT_GT(Word(line), line);
        line = Word(line);
        lines++;
    }
    EXPECT_LE(line + 3, end);
    EXPECT_GT(lines, 100);
}

TEST_F(Bridge, SaveWritesTheInclusiveRangeAndRecordsOneByteLess) {
    Mount();
    mem.write_byte(0x0801, 0x11);
    mem.write_byte(0x0802, 0x22);
    mem.write_byte(0x0803, 0x33);
    mem.write_byte(0x90, 0x00);
    Save("SHORT", 0x0801, 0x0803);
    EXPECT_EQ(mem.read_byte(0x90), 0x00);
    volume.Unmount();
    EXPECT_EQ(volume.Get("SHORT.PRG"), (std::vector<u8>{0x11, 0x22}));
    ExpectClean();
    // LOAD with secondary address 0 brings those two bytes back.
    Mount();
    mem.write_byte(0x0801, 0);
    mem.write_byte(0x0802, 0);
    Word(0x2B, 0x0801);
    Load("SHORT", 0);
    EXPECT_EQ(Bytes(0x0801, 2), (std::vector<u8>{0x11, 0x22}));
    EXPECT_EQ(Word(0xAE), 0x0803);
}

TEST_F(Bridge, SaveUnderAnExistingNameLeavesTheFileAlone) {
    ASSERT_TRUE(volume.Put("OLD.PRG", {1, 2, 3, 4}));
    Mount();
    mem.write_byte(0x90, 0x00);
    Save("OLD", 0x0801, 0x0900);
    EXPECT_EQ(mem.read_byte(0x90), 0x00);
    volume.Unmount();
    EXPECT_EQ(volume.Get("OLD.PRG"), (std::vector<u8>{1, 2, 3, 4}));
    ExpectClean();
}

TEST_F(Bridge, SaveEndingAtFFFFStops) {
    Mount();
    for (u32 a = 0xC000; a <= 0xC0FF; a++) mem.write_byte(a, (u8)a);
    Save("TOP", 0xFF00, 0xFFFF);  // returns: the counter does not wrap
    volume.Unmount();
    auto back = volume.Get("TOP.PRG");
    EXPECT_EQ(back.size(), 255u);
    ExpectClean();
}

TEST_F(Bridge, OtherRequestValuesAreLeftAlone) {
    Mount();
    for (u8 v : {0, 1, 3, 6, 0xFF}) {
        mem.write_byte(0x02, v);
        EXPECT_TRUE(io.emulate());
        EXPECT_EQ(mem.read_byte(0x02), v);
    }
}

TEST_F(Bridge, WithoutAVolumeLoadIsNotFoundAndSaveReportsNoDevice) {
    // No Fat32 attached at all.
    Load("GAME", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
    Load("$", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
    Save("GAME", 0x0801, 0x0810);
    EXPECT_EQ(mem.read_byte(0x90), 0x80);
}

TEST(BridgeUnmounted, VolumeWithoutPartitionGivesNotFoundAndNoWrite) {
    diskimage::Options options;
    options.partition_type = 0;
    MountedVolume volume(options);
    ASSERT_TRUE(volume.image.ok());
    Memory mem;
    IO io;
    io.memory(&mem);
    io.fat32(volume.Mount());
    ASSERT_FALSE(volume.fat()->mounted());
    mem.write_byte(0xB7, 1);
    mem.write_byte(0x0340, '$');
    mem.write_byte(0xBB, 0x40);
    mem.write_byte(0xBC, 0x03);
    mem.write_byte(0x02, 4);
    io.emulate();
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
    mem.write_byte(0x02, 5);
    io.emulate();
    EXPECT_EQ(mem.read_byte(0x90), 0x80);
    EXPECT_EQ(mem.read_byte(0x02), 0);
}

}  // namespace

#endif

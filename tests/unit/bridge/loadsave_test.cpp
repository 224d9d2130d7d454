// LOAD and SAVE served from a FAT32 image, on a bare Memory and IO driven
// with the serial-bus requests the patched KERNAL makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

// The memory map is built alongside; these tests run once it is in the tree.
#if __has_include("c64/memory.h")
#include "tests/unit/bridge/kernal_bus.h"
#include "tests/unit/bridge/mounted_volume.h"

#include "c64/serial_bus.h"
#include "c64/memory.h"
#include "filesystem/fat.h"

namespace {

class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(volume.image.ok());
        Word(0x2B, 0x0801);
    }

    void Mount() { io.fat32(volume.Mount()); }

    void Word(u16 at, u16 value) {
        mem.write_byte(at, value & 0xFF);
        mem.write_byte(at + 1, value >> 8);
    }
    u16 Word(u16 at) { return mem.read_byte(at) | mem.read_byte(at + 1) << 8; }

    void Load(const std::string& name, u8 sa) { bus.Load(name, sa); }
    void Save(const std::string& name, u16 start, u16 end) { bus.Save(name, start, end); }

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
    SerialBus io{&mem};
    KernalBus bus{mem, io};
};

TEST_F(Bridge, LoadWithSecondaryZeroPlacesTheBytesAfterTheHeaderAtBasicStart) {
    auto data = diskimage::Pattern(300, 1);
    std::vector<u8> file = {0x00, 0x20};
    file.insert(file.end(), data.begin(), data.end());
    ASSERT_TRUE(volume.Put("GAME.PRG", file));
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

TEST_F(Bridge, LoadStopsAtFFFFWithALoadError) {
    // Header $FFFE, then six bytes: only $FFFE and $FFFF may be written.
    ASSERT_TRUE(volume.Put("WRAP.PRG", {0xFE, 0xFF, 0xAA, 0xBB, 0xCC, 0x37, 0x00, 0xDD}));
    Mount();
    u8 port = mem.read_byte(0x0001);
    mem.write_byte(0x0003, 0x77);
    Load("WRAP", 1);
    EXPECT_EQ(mem.read_byte_no_io(0xFFFE), 0xAA);
    EXPECT_EQ(mem.read_byte_no_io(0xFFFF), 0xBB);
    EXPECT_EQ(mem.read_byte(0x0001), port);
    EXPECT_EQ(mem.read_byte(0x0003), 0x77);
    EXPECT_EQ(Word(0xAE), 0x0000);
    // EOI ends the KERNAL's loop; the read error makes BASIC say ?LOAD ERROR.
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
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
    ASSERT_TRUE(volume.Put("ABCDEFGH.PRG", {0x01, 0x08, 1, 2, 3}));
    ASSERT_TRUE(volume.Put("AB.PRG", {0x01, 0x08, 4, 5}));
    Mount();
    Load("AB", 0);
    EXPECT_EQ(Bytes(0x0801, 2), (std::vector<u8>{4, 5}));
    Load("ABCDEFGH", 0);
    EXPECT_EQ(Bytes(0x0801, 3), (std::vector<u8>{1, 2, 3}));
    // The name as typed with its extension is not the padded form.
    Load("AB.PRG", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
}

TEST_F(Bridge, OverlongNameFindsNothingAndOverrunsNothing) {
    ASSERT_TRUE(volume.Put("ABCDEFGH.PRG", {0x01, 0x08, 9, 8, 7}));
    Mount();
    auto before = Bytes(0x0801, 8);
    Load("ABCDEFGH" + std::string(200, 'X'), 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
    EXPECT_EQ(Bytes(0x0801, 8), before);
    EXPECT_EQ(bus.ErrorChannel(), "32,SYNTAX ERROR,00,00\r");
}

// The listing's lines at $0801: number and text of each, up to the zero link.
std::vector<std::pair<u16, std::string>> ListingLines(Memory& mem, u16 end) {
    std::vector<std::pair<u16, std::string>> lines;
    u16 at = 0x0801;
    while (at + 4 <= end && (mem.read_byte(at) | mem.read_byte(at + 1)) != 0 && lines.size() < 1000) {
        u16 number = mem.read_byte(at + 2) | mem.read_byte(at + 3) << 8;
        std::string text;
        for (at += 4; at < end && mem.read_byte(at) != 0; at++) text += (char)mem.read_byte(at);
        lines.push_back({number, text});
        at++;
    }
    return lines;
}

TEST_F(Bridge, DollarListsTheDirectoryAsABasicProgram) {
    ASSERT_TRUE(volume.Put("HELLO.PRG", diskimage::Pattern(1000, 3)));
    ASSERT_TRUE(volume.Put("WORLD.SEQ", diskimage::Pattern(10, 4)));
    Mount();
    Load("$", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x40);
    auto lines = ListingLines(mem, Word(0xAE));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].first, 0);
    EXPECT_EQ(lines[0].second, "\x12\"TARN            \" 00 2A");
    EXPECT_EQ(lines[1].first, 4);  // 1000 bytes: 4 blocks
    EXPECT_EQ(lines[1].second, "   \"HELLO\"            PRG  ");
    EXPECT_EQ(lines[2].first, 1);
    EXPECT_EQ(lines[2].second, "   \"WORLD\"            SEQ  ");
    EXPECT_EQ(lines[3].second.rfind("BLOCKS FREE.", 0), 0u);
    EXPECT_EQ(Word(0xAE), 0x0801 + 30 + 2 * 32 + 30 + 2);  // lines and the end marker
}

TEST_F(Bridge, LongerNameStartingWithDollarIsAnOrdinaryFile) {
    ASSERT_TRUE(volume.Put("X.PRG", {1}));
    Mount();
    Load("$X", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
}

TEST_F(Bridge, DirectoryListingOfTwoHundredFilesIsWhole) {
    std::string dir = volume.image.dir() + "/many";
    std::string cmd = "mkdir -p '" + dir + "' && cd '" + dir + "' && for i in $(seq 100 299); do echo x > F$i.PRG; done";
    ASSERT_EQ(diskimage::Run(cmd), 0);
    std::string target = "'" + volume.image.path() + "@@" +
                         std::to_string(volume.image.options().partition_start * 512ull) + "'";
    ASSERT_EQ(diskimage::Run("mcopy -i " + target + " '" + dir + "'/F*.PRG ::"), 0);
    Mount();
    Load("$", 0);
    auto lines = ListingLines(mem, Word(0xAE));
    ASSERT_EQ(lines.size(), 202u);
    for (int i = 100; i < 300; i++)
        EXPECT_EQ(lines[i - 99].second.substr(3, 6), "\"F" + std::to_string(i) + "\"") << i;
    EXPECT_EQ(lines[201].second.rfind("BLOCKS FREE.", 0), 0u);
}

TEST_F(Bridge, SaveWritesTheLoadAddressAndTheBytesBeforeTheEnd) {
    Mount();
    mem.write_byte(0x0801, 0x11);
    mem.write_byte(0x0802, 0x22);
    mem.write_byte(0x0803, 0x33);
    Save("SHORT", 0x0801, 0x0803);
    EXPECT_EQ(mem.read_byte(0x90), 0x00);
    EXPECT_EQ(bus.ErrorChannel(), "00, OK,00,00\r");
    volume.Unmount();
    EXPECT_EQ(volume.Get("SHORT.PRG"), (std::vector<u8>{0x01, 0x08, 0x11, 0x22}));
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
    // As with a 1541: READY., and the reason on the error channel.
    EXPECT_EQ(mem.read_byte(0x90), 0x00);
    EXPECT_EQ(bus.ErrorChannel(), "63,FILE EXISTS,00,00\r");
    EXPECT_EQ(bus.ErrorChannel(), "00, OK,00,00\r");
    volume.Unmount();
    EXPECT_EQ(volume.Get("OLD.PRG"), (std::vector<u8>{1, 2, 3, 4}));
    ExpectClean();
}

TEST_F(Bridge, SaveOfNothingButTheLoadAddressStoresNoFile) {
    Mount();
    Save("EMPTY", 0x0801, 0x0801);
    EXPECT_EQ(mem.read_byte(0x90), 0x80);
    EXPECT_EQ(bus.ErrorChannel(), "30,SYNTAX ERROR,00,00\r");
    volume.Unmount();
    EXPECT_FALSE(volume.Exists("EMPTY.PRG"));
}

TEST_F(Bridge, SaveEndingAtFFFFStops) {
    Mount();
    for (u32 a = 0xC000; a <= 0xC0FF; a++) mem.write_byte(a, (u8)a);
    Save("TOP", 0xFF00, 0xFFFF);
    volume.Unmount();
    auto back = volume.Get("TOP.PRG");
    EXPECT_EQ(back.size(), 2u + 255u);
    ExpectClean();
}

TEST_F(Bridge, OtherRequestValuesAreLeftAlone) {
    Mount();
    for (u8 v : {0, 1, 3, 8, 0xFF}) {
        mem.write_byte(0xDF80, v);
        io.serve();
        EXPECT_EQ(mem.read_byte(0xDF80), v);
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
    SerialBus io{&mem};
    io.fat32(volume.Mount());
    ASSERT_EQ(volume.fat(), nullptr);  // no partition: no volume at all
    KernalBus bus{mem, io};
    bus.Load("$", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
    bus.Save("ANY", 0x0801, 0x0810);
    EXPECT_EQ(mem.read_byte(0x90), 0x80);
    EXPECT_EQ(mem.take_trap_request(), 0);  // every request served
    EXPECT_EQ(bus.ErrorChannel(), "74,DRIVE NOT READY,00,00\r");
}

}  // namespace

#endif

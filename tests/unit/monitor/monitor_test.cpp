// The monitor's line editor and commands, typed key by key, with the output
// read back from the framebuffer console and disk effects checked by mtools.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/console_reader.h"
#include "tests/unit/bridge/mounted_volume.h"

#include "c64/processor.h"
#include "c64/memory.h"
#include "c64/monitor.h"
#include "filesystem/fat.h"
#include "lib/clock.h"
#include "lib/key_queue.h"
#include "lib/us_layout.h"
#include "lib/vga.h"

namespace {

constexpr u32 kWidth = 800, kHeight = 600;

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(volume.image.ok());
        framebuffer.assign(kWidth * kHeight, 0);
        consolereader::AttachConsole(framebuffer.data(), kWidth, kHeight, kWidth * 2);
        vga_clear();
        // The cursor, once on, stays on; keep it on in every test so the
        // screen always ends in it.
        vga_cursor_enable();
        cpu.reset();
        monitor.mem(&mem);
        monitor.cpu(&cpu);
    }

    void TearDown() override { consolereader::DetachConsole(); }

    void Mount() {
        monitor.fat32(volume.Mount());
        monitor.disks(volume.registry());
    }

    void Key(tarn::Key k, bool down = true) { monitor.key({k, down}); }
    void Tap(tarn::Key k) {
        Key(k);
        Key(k, false);
    }
    // Each character by the US key that types it, Shift around it when needed.
    void Type(const std::string& text) {
        for (char c : text) {
            char want = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            for (int usage = 0x04; usage <= 0x38; usage++) {
                tarn::Key k = static_cast<tarn::Key>(usage);
                char plain = tarn::us_character(k, false);
                if (plain >= 'a' && plain <= 'z') plain = static_cast<char>(plain - 'a' + 'A');
                if (plain == want) {
                    Tap(k);
                    break;
                }
                if (tarn::us_character(k, true) == want) {
                    Key(tarn::Key::LeftShift);
                    Tap(k);
                    Key(tarn::Key::LeftShift, false);
                    break;
                }
            }
        }
    }

    // Clears the console, types the command and Enter, and returns what the
    // screen then shows, one string per text row, trailing blanks cut and
    // trailing empty rows dropped. Row 0 is the echoed command.
    std::vector<std::string> Command(const std::string& text) {
        vga_clear();
        Type(text);
        Tap(tarn::Key::Enter);
        return Screen();
    }

    std::vector<std::string> Screen() {
        std::vector<std::string> rows =
            consolereader::ConsoleReader(framebuffer.data(), kWidth, kHeight, kWidth * 2).rows();
        while (!rows.empty() && rows.back().empty()) rows.pop_back();
        if (!rows.empty() && rows.back().back() == '_') rows.back().pop_back();
        while (!rows.empty() && rows.back().empty()) rows.pop_back();
        return rows;
    }

    void ExpectClean() {
        std::string report;
        EXPECT_EQ(volume.Check(&report), 0) << report;
    }

    MountedVolume volume;
    std::vector<uint16_t> framebuffer;
    Memory mem;
    Processor cpu{&mem};
    Monitor monitor;
};

using Rows = std::vector<std::string>;

std::string HexRow(Memory& mem, u16 at) {
    char buf[8];
    std::string s;
    snprintf(buf, sizeof buf, "%04X: ", at);
    s += buf;
    for (int i = 0; i < 16; i++) {
        snprintf(buf, sizeof buf, "%02X ", mem.read_byte((u16)(at + i)));
        s += buf;
    }
    for (int i = 0; i < 16; i++) {
        u8 b = mem.read_byte((u16)(at + i));
        s += (b >= 0x20 && b <= 0x7E) ? (char)b : '.';
    }
    return s;
}

// Esc at once: the monitor shows its screen and returns.
struct EscOnly : tarn::KeySource {
    int asked = 0;
    bool next(tarn::KeyEvent* e) override {
        if (asked++) return false;
        *e = {tarn::Key::Escape, true};
        return true;
    }
};
struct StillClock : tarn::Clock {
    u32 milliseconds() override { return 0; }
    void wait_until(u32) override {}
};

TEST_F(MonitorTest, StartShowsBannerHelpAndPromptAndEscReturns) {
    EscOnly keys;
    StillClock clock;
    EXPECT_FALSE(monitor.run(&keys, &clock));
    std::string rule(52, '=');
    Rows expected = {
        "Tarn v0.10 - Debugging:",
        "",
        rule,
        "Commands:",
        "M - Memory Display",
        "R - Register Display",
        "P - Disks and partitions",
        "F - Read File (F <filename>)",
        "S - Sector Display (S sectorNumInHex #bytesInDec)",
        "D - Directory (drive 8's FAT32 volume)",
        "E - Erase (delete) file",
        "N - ReName a file",
        "L - Load file to RAM (L FILENAME.EXT C000)",
        "W - Write RAM to file (W FILENAME.EXT C000 C1FF)",
        "Q - Sound off / on (also the Pause key)",
        "ESC - Return to system",
        rule,
        "Built in ML monitor activated via SYS 36864",
        "",
        ">",
    };
    EXPECT_EQ(Screen(), expected);
}

TEST_F(MonitorTest, MemoryDisplayShowsFullRowsOfSixteen) {
    const char text[] = "HELLO, MONITOR!\x01";
    for (int i = 0; i < 16; i++) mem.write_byte(0xC000 + i, (u8)text[i]);
    Rows one = Command("M C000");
    ASSERT_EQ(one.size(), 3u);
    EXPECT_EQ(one[1], HexRow(mem, 0xC000));
    EXPECT_EQ(one[1].substr(54), "HELLO, MONITOR!.");
    EXPECT_EQ(one[2], ">");
    Rows same = Command("M C000 C001");
    ASSERT_EQ(same.size(), 3u);
    EXPECT_EQ(same[1], one[1]);
    Rows two = Command("M C000 C011");
    ASSERT_EQ(two.size(), 4u);
    EXPECT_EQ(two[2], HexRow(mem, 0xC010));
}

TEST_F(MonitorTest, MemoryDisplayAtTheTopOfMemory) {
    EXPECT_EQ(Command("M FFF0"), (Rows{"M FFF0?", ">"}));
    Rows last = Command("M FFF0 FFFF");
    ASSERT_EQ(last.size(), 3u);
    EXPECT_EQ(last[1], HexRow(mem, 0xFFF0));
    EXPECT_EQ(last[1].substr(6 + 12 * 3, 5), "E2 FC");  // KERNAL reset vector
    EXPECT_EQ(Command("M 0 10000"), (Rows{"M 0 10000?", ">"}));
}

TEST_F(MonitorTest, RegisterDisplayShowsTheRunningCoresRegisters) {
    cpu.registers({0xA7E4, 0x01, 0x23, 0x45, 0xB1, 0xF6});
    EXPECT_EQ(Command("R"), (Rows{"R", " PC  SR AC XR YR SP", "A7E4 B1 01 23 45 F6", "", ">"}));
}

TEST_F(MonitorTest, UnknownCommandPrintsQuestionMark) {
    EXPECT_EQ(Command("X"), (Rows{"X?", ">"}));
    EXPECT_EQ(Command("Q 1"), (Rows{"Q 1?", ">"}));
}

TEST_F(MonitorTest, EmptyLinePrintsOnlyANewPrompt) {
    EXPECT_EQ(Command(""), (Rows{"", ">"}));
}

TEST_F(MonitorTest, LineEditingBackspaceAndEightyCharacterLimit) {
    vga_clear();
    Tap(tarn::Key::Backspace);  // nothing to delete: nothing printed
    EXPECT_TRUE(Screen().empty());
    Type("MX");
    Tap(tarn::Key::Backspace);
    Type(" C000");
    Tap(tarn::Key::Enter);
    Rows rows = Screen();
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0], "M C000");
    EXPECT_EQ(rows[1], HexRow(mem, 0xC000));

    vga_clear();
    std::string longline = "X" + std::string(84, 'A');
    Type(longline);
    EXPECT_EQ(Screen(), (Rows{longline.substr(0, 80)}));
    Tap(tarn::Key::Backspace);
    EXPECT_EQ(Screen(), (Rows{longline.substr(0, 79)}));
}

TEST_F(MonitorTest, SectorDisplayDumpsTheMbr) {
    Mount();
    auto mbr = volume.image.ReadSectors(0, 1);
    Rows quarter = Command("S 0");
    ASSERT_EQ(quarter.size(), 1u + 16 + 1);
    EXPECT_EQ(quarter[1].substr(0, 6), "0000: ");
    Rows whole = Command("S 0 512");
    ASSERT_EQ(whole.size(), 1u + 32 + 1);
    char buf[8];
    snprintf(buf, sizeof buf, "%02X %02X", mbr[510], mbr[511]);
    EXPECT_NE(whole[32].find(buf), std::string::npos) << whole[32];
    EXPECT_EQ(whole[32].substr(0, 6), "01F0: ");
    EXPECT_EQ(Command("S 0 513"), (Rows{"S 0 513?", ">"}));
}

TEST_F(MonitorTest, WriteThenLoadRoundTripsTheInclusiveRange) {
    Mount();
    for (int i = 0; i < 16; i++) mem.write_byte(0xC000 + i, (u8)(0x41 + i));
    EXPECT_EQ(Command("W ABCDEFGH.PRG C000 C00F"), (Rows{"W ABCDEFGH.PRG C000 C00F", "status=0", ">"}));
    Rows load = Command("L ABCDEFGH.PRG C100");
    EXPECT_EQ(load, (Rows{"L ABCDEFGH.PRG C100", "16 bytes written to C100 - C110", "status=4", ">"}));
    for (int i = 0; i < 16; i++) EXPECT_EQ(mem.read_byte(0xC100 + i), 0x41 + i);
    EXPECT_EQ(mem.read_byte(0x2D), 0x10);
    EXPECT_EQ(mem.read_byte(0x2E), 0xC1);
    Rows file = Command("F ABCDEFGH.PRG");
    ASSERT_EQ(file.size(), 3u);
    EXPECT_EQ(file[1], "ABCDEFGHIJKLMNOP");
    // The help's own example: C000 C1FF is 512 bytes.
    EXPECT_EQ(Command("W D.PRG C000 C1FF"), (Rows{"W D.PRG C000 C1FF", "status=0", ">"}));
    volume.Unmount();
    EXPECT_EQ(volume.Get("ABCDEFGH.PRG"), (std::vector<uint8_t>{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H',
                                                                'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P'}));
    EXPECT_EQ(volume.Get("D.PRG").size(), 512u);
    ExpectClean();
}

TEST_F(MonitorTest, WriteRefusesAReversedRangeAndTakesOneByte) {
    Mount();
    EXPECT_EQ(Command("W ABCDEFGH.PRG C100 C000"), (Rows{"W ABCDEFGH.PRG C100 C000", "C100 > C000", ">"}));
    EXPECT_EQ(Command("W A.PRG FFFF 0000"), (Rows{"W A.PRG FFFF 0000", "FFFF > 0000", ">"}));
    mem.write_byte(0xC000, 0x5A);
    EXPECT_EQ(Command("W ONE.PRG C000 C000"), (Rows{"W ONE.PRG C000 C000", "status=0", ">"}));
    volume.Unmount();
    EXPECT_FALSE(volume.Exists("ABCDEFGH.PRG"));
    EXPECT_FALSE(volume.Exists("A.PRG"));
    EXPECT_EQ(volume.Get("ONE.PRG"), (std::vector<uint8_t>{0x5A}));
    ExpectClean();
}

TEST_F(MonitorTest, WriteUpToFFFFStopsAfterTheLastAddress) {
    Mount();
    EXPECT_EQ(Command("W TOPOFMEM.PRG FF00 FFFF"), (Rows{"W TOPOFMEM.PRG FF00 FFFF", "status=0", ">"}));
    volume.Unmount();
    auto back = volume.Get("TOPOFMEM.PRG");
    ASSERT_EQ(back.size(), 256u);
    EXPECT_EQ(back[0xFF], mem.read_byte(0xFFFF));
    ExpectClean();
}

TEST_F(MonitorTest, WriteWithoutEndUsesTheBasicEndPointer) {
    Mount();
    mem.write_byte(0x2D, 0x10);
    mem.write_byte(0x2E, 0x08);
    EXPECT_EQ(Command("W BASICPRG.PRG"), (Rows{"W BASICPRG.PRG", "status=0", ">"}));
    volume.Unmount();
    EXPECT_EQ(volume.Get("BASICPRG.PRG").size(), 0x10u);  // $0800 up to the pointer
}

TEST_F(MonitorTest, WriteOfAnExistingNameReportsStatus6) {
    ASSERT_TRUE(volume.Put("KEEPTHIS.PRG", {1, 2, 3}));
    Mount();
    EXPECT_EQ(Command("W KEEPTHIS.PRG C000 C010"), (Rows{"W KEEPTHIS.PRG C000 C010", "status=6", ">"}));
    volume.Unmount();
    EXPECT_EQ(volume.Get("KEEPTHIS.PRG"), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(MonitorTest, LoadOfMissingFileShowsOnlyStatus2) {
    Mount();
    EXPECT_EQ(Command("L NOSUCHFI.PRG C000"), (Rows{"L NOSUCHFI.PRG C000", "status=2", ">"}));
}

TEST_F(MonitorTest, LoadWithoutAddressUses0800AndKeepsTheHeaderBytes) {
    ASSERT_TRUE(volume.Put("HEADERED.PRG", {0x01, 0x08, 0xAA, 0xBB}));
    Mount();
    Rows rows = Command("L HEADERED.PRG");
    EXPECT_EQ(rows, (Rows{"L HEADERED.PRG", "4 bytes written to 0800 - 0804", "status=4", ">"}));
    EXPECT_EQ(mem.read_byte(0x0800), 0x01);
    EXPECT_EQ(mem.read_byte(0x0803), 0xBB);
}

TEST_F(MonitorTest, EraseAndRenameReportStatusAndChangeTheDisk) {
    ASSERT_TRUE(volume.Put("AB.PRG", {1}));
    ASSERT_TRUE(volume.Put("OLDNAME1.PRG", {2, 3}));
    Mount();
    EXPECT_EQ(Command("E AB.PRG"), (Rows{"E AB.PRG", "status=0", ">"}));
    EXPECT_EQ(Command("L AB.PRG"), (Rows{"L AB.PRG", "status=2", ">"}));
    EXPECT_EQ(Command("E AB.PRG"), (Rows{"E AB.PRG", "status=2", ">"}));
    EXPECT_EQ(Command("N OLDNAME1.PRG NEWNAME1.PRG"), (Rows{"N OLDNAME1.PRG NEWNAME1.PRG", "status=0", ">"}));
    EXPECT_EQ(Command("N OLDNAME1.PRG OTHER.PRG"), (Rows{"N OLDNAME1.PRG OTHER.PRG", "status=2", ">"}));
    volume.Unmount();
    EXPECT_FALSE(volume.Exists("AB.PRG"));
    EXPECT_FALSE(volume.Exists("OLDNAME1.PRG"));
    EXPECT_EQ(volume.Get("NEWNAME1.PRG"), (std::vector<uint8_t>{2, 3}));
}

TEST_F(MonitorTest, TestFileCommandWritesFortySixBytes) {
    Mount();
    EXPECT_EQ(Command("J JTESTFIL.PRG"), (Rows{"J JTESTFIL.PRG", "status=0", ">"}));
    EXPECT_EQ(Command("J JTESTFIL.PRG"), (Rows{"J JTESTFIL.PRG", "status=6", ">"}));
    volume.Unmount();
    auto back = volume.Get("JTESTFIL.PRG");
    EXPECT_EQ(std::string(back.begin(), back.end()), "SBCDEFGHIJKLMNOPQRSTUVWXYZ1234567890AAABBBCCCD");
    ExpectClean();
}

TEST_F(MonitorTest, DirectoryAndPartitionReportsReachTheConsole) {
    ASSERT_TRUE(volume.Put("LISTME.PRG", {1, 2, 3}));
    Mount();
    Rows dir = Command("D");
    bool found = false;
    for (auto& r : dir) found |= r.find("LISTME") != std::string::npos;
    EXPECT_TRUE(found);
    Rows part = Command("P");
    ASSERT_GE(part.size(), 4u);
    EXPECT_EQ(part[1], "ATA 0 master: 141312 sectors of 512 bytes, partition table MBR");
    // Drive 8's partition is marked.
    EXPECT_EQ(part[2], " * 1  start 00000800  sectors 00022000  type 0C");
    EXPECT_EQ(part[4], "Drive 8 (*): volume \"\", serial 1234-5678");
}

TEST_F(MonitorTest, ReadFileOfImplausibleSizeReportsNoMemory) {
    ASSERT_TRUE(volume.Put("BIGFILE1.PRG", {1, 2, 3}));
    Mount();
    // Give the entry a size no handle would hold.
    u32 root = volume.fat()->RootDirStart();
    volume.Unmount();
    auto sector = volume.image.ReadSectors(root, 1);
    bool patched = false;
    for (int e = 0; e < 16; e++) {
        if (memcmp(&sector[e * 32], "BIGFILE1PRG", 11) == 0) {
            sector[e * 32 + 28] = 0xF0;
            sector[e * 32 + 29] = 0xFF;
            sector[e * 32 + 30] = 0xFF;
            sector[e * 32 + 31] = 0xFF;
            patched = true;
        }
    }
    ASSERT_TRUE(patched);
    volume.image.WriteSectors(root, sector);
    Mount();
    char want[32];
    snprintf(want, sizeof want, "status=%d", tarn::filesystem::Fat32::kNoMemory);
    EXPECT_EQ(Command("F BIGFILE1.PRG"), (Rows{"F BIGFILE1.PRG", want, ">"}));
}

TEST_F(MonitorTest, WithoutAVolumeDiskCommandsReportAStatus) {
    char want[32];
    snprintf(want, sizeof want, "status=%d", tarn::filesystem::Fat32::kNotMounted);
    EXPECT_EQ(Command("P"), (Rows{"P", "No disk found", want, ">"}));
    for (const char* cmd : {"F ABCDEFGH.PRG", "S 0", "D", "E AB.PRG", "N AB.PRG CD.PRG",
                            "L ABCDEFGH.PRG C000", "W ABCDEFGH.PRG C000 C010", "J ABCDEFGH.PRG"}) {
        EXPECT_EQ(Command(cmd), (Rows{cmd, want, ">"})) << cmd;
    }
    diskimage::Options options;
    options.partition_type = 0;
    MountedVolume blank(options);
    monitor.fat32(blank.Mount());
    monitor.disks(blank.registry());
    for (const char* cmd : {"D", "L ABCDEFGH.PRG C000", "J ABCDEFGH.PRG"})
        EXPECT_EQ(Command(cmd), (Rows{cmd, want, ">"})) << cmd;
    // The disk is listed, with its empty partition table.
    EXPECT_EQ(Command("P"), (Rows{"P", "ATA 0 master: 141312 sectors of 512 bytes, partition table MBR", want, ">"}));
}

TEST_F(MonitorTest, WriteEraseRenameSequenceKeepsTheVolumeCleanAndFatCopiesEqual) {
    ASSERT_TRUE(volume.Put("BIGFILE.PRG", diskimage::Pattern(5000, 7)));
    Mount();
    for (u32 a = 0x1000; a < 0x3000; a++) mem.write_byte((u16)a, (u8)(a * 7 + (a >> 8)));
    for (u32 a = 0xC000; a < 0xC800; a++) mem.write_byte((u16)a, (u8)(a ^ 0x5A));
    for (const char* cmd : {"W SEQWRITE.PRG 1000 2FFF", "J JFILE001.PRG", "E BIGFILE.PRG",
                            "N SEQWRITE.PRG RENAMED1.PRG", "W AFTERDEL.PRG C000 C7FF", "E JFILE001.PRG"}) {
        EXPECT_EQ(Command(cmd), (Rows{cmd, "status=0", ">"})) << cmd;
    }
    u32 fat_start = volume.fat()->FatStart();
    u32 per_fat = (volume.fat()->DataStart() - fat_start) / 2;
    volume.Unmount();
    std::string report;
    EXPECT_EQ(volume.Check(&report), 0) << report;
    EXPECT_EQ(volume.image.ReadSectors(fat_start, per_fat), volume.image.ReadSectors(fat_start + per_fat, per_fat));
    std::vector<uint8_t> renamed, afterdel;
    for (u32 a = 0x1000; a <= 0x2FFF; a++) renamed.push_back(mem.read_byte((u16)a));
    for (u32 a = 0xC000; a <= 0xC7FF; a++) afterdel.push_back(mem.read_byte((u16)a));
    EXPECT_EQ(volume.Get("RENAMED1.PRG"), renamed);
    EXPECT_EQ(volume.Get("AFTERDEL.PRG"), afterdel);
    EXPECT_FALSE(volume.Exists("BIGFILE.PRG"));
    EXPECT_FALSE(volume.Exists("SEQWRITE.PRG"));
    EXPECT_FALSE(volume.Exists("JFILE001.PRG"));
}

}  // namespace

namespace {

TEST_F(MonitorTest, UnreadableDataIsReportedNotShown) {
    ASSERT_TRUE(volume.Put("SHORTONE.PRG", diskimage::Pattern(300, 1)));
    ASSERT_TRUE(volume.Put("BIGFILE1.PRG", diskimage::Pattern(0x2100, 2)));
    Mount();
    // SHORTONE claims 5000 bytes on its one-cluster chain.
    u32 root = volume.fat()->RootDirStart();
    auto sector = volume.image.ReadSectors(root, 1);
    u32 claimed = 5000;
    std::memcpy(sector.data() + 28, &claimed, 4);
    volume.image.WriteSectors(root, sector);
    Mount();
    char disk_error[16];
    snprintf(disk_error, sizeof disk_error, "status=%d", tarn::filesystem::Fat32::kDiskError);
    EXPECT_EQ(Command("F SHORTONE.PRG"), (Rows{"F SHORTONE.PRG", disk_error, ">"}));
    mem.write_byte(0xC000, 0x77);
    EXPECT_EQ(Command("L SHORTONE.PRG C000"), (Rows{"L SHORTONE.PRG C000", disk_error, ">"}));
    EXPECT_EQ(mem.read_byte(0xC000), 0x77);
    // A sector past the disk's end: only the status.
    EXPECT_EQ(Command("S FFFFFF"), (Rows{"S FFFFFF", disk_error, ">"}));
    // L stops at $FFFF rather than wrap into the zero page.
    mem.write_byte(0x0002, 0x12);
    EXPECT_EQ(Command("L BIGFILE1.PRG F000"),
              (Rows{"L BIGFILE1.PRG F000", "4096 bytes written to F000 - 10000", "status=13", ">"}));
    EXPECT_EQ(mem.read_byte_no_io(0xFFFF), diskimage::Pattern(0x2100, 2)[0xFFF]);  // RAM under the ROM
    EXPECT_EQ(mem.read_byte(0x0002), 0x12);
}

// W stores the data before the entry: data that cannot be written leaves
// no entry behind, and the volume stays clean.
TEST_F(MonitorTest, WriteWhoseDataFailsLeavesNoEntry) {
    Mount();
    u32 data = volume.fat()->DataStart();
    for (u32 c = 3; c < 40; c++) volume.device().bad_sectors.insert(data + c - 2);
    char disk_error[16];
    snprintf(disk_error, sizeof disk_error, "status=%d", tarn::filesystem::Fat32::kDiskError);
    EXPECT_EQ(Command("W FAILED.PRG C000 C3FF"), (Rows{"W FAILED.PRG C000 C3FF", disk_error, ">"}));
    volume.device().bad_sectors.clear();
    EXPECT_EQ(Command("F FAILED.PRG"), (Rows{"F FAILED.PRG", "status=2", ">"}));
    volume.Unmount();
    EXPECT_FALSE(volume.Exists("FAILED.PRG"));
    ExpectClean();
}

TEST_F(MonitorTest, ShiftedKeysTypeTheirCharactersAndRefusedLayoutsSayWhy) {
    Mount();
    mem.write_byte(0xC000, 0x42);
    // Shift held over "1", "3", "4", "9", "0": W A!#$().PRG needs them.
    Type("W A");
    for (tarn::Key k : {tarn::Key::Digit1, tarn::Key::Digit3, tarn::Key::Digit4}) {
        Key(tarn::Key::RightShift);
        Tap(k);
        Key(tarn::Key::RightShift, false);
    }
    Key(tarn::Key::LeftShift);
    Tap(tarn::Key::Digit9);
    Tap(tarn::Key::Digit0);
    Key(tarn::Key::LeftShift, false);
    EXPECT_EQ(Command(".PRG C000 C000"), (Rows{".PRG C000 C000", "status=0", ">"}));
    volume.Unmount();
    EXPECT_EQ(volume.Get("A!#$().PRG"), (std::vector<uint8_t>{0x42}));

    auto boot = volume.image.ReadSectors(volume.image.options().partition_start, 1);
    boot[16] = 7;
    volume.image.WriteSectors(volume.image.options().partition_start, boot);
    Mount();
    char want[48];
    snprintf(want, sizeof want, "status=%d (not 1 or 2 FATs)", tarn::filesystem::Fat32::kNotMounted);
    EXPECT_EQ(Command("D"), (Rows{"D", want, ">"}));
}

}  // namespace

// The .D64 component on images the test lays out itself: files and header
// read back, writes and scratches checked against the BAM sector by sector,
// hostile images ending in a status, and the disk tool's images read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "c64/drive/d64_image.h"

namespace {

using drive::D64Entry;
using drive::D64Image;
using Bytes = std::vector<u8>;

int SectorsOn(int track) { return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17; }

// A freshly formatted disk: BAM at 18/0, an empty directory at 18/1.
struct Disk {
    Bytes bytes;
    int entries = 0;

    explicit Disk(int tracks = 35, bool errorBytes = false) {
        int sectors = 0;
        for (int t = 1; t <= tracks; t++) sectors += SectorsOn(t);
        bytes.assign(sectors * 257, 1);  // error bytes (1: none) after the sectors
        bytes.resize(sectors * (errorBytes ? 257 : 256));
        std::fill(bytes.begin(), bytes.begin() + sectors * 256, 0);
        u8* bam = At(18, 0);
        bam[0] = 18, bam[1] = 1, bam[2] = 'A';
        for (int t = 1; t <= 35; t++) {
            u32 bits = (1u << SectorsOn(t)) - 1;
            bam[4 * t] = SectorsOn(t), bam[4 * t + 1] = bits, bam[4 * t + 2] = bits >> 8, bam[4 * t + 3] = bits >> 16;
        }
        std::memset(bam + 0x90, 0xA0, 0x1B);
        std::memcpy(bam + 0x90, "TEST DISK", 9);
        std::memcpy(bam + 0xA2, "AB", 2);
        std::memcpy(bam + 0xA5, "2A", 2);
        Use(18, 0), Use(18, 1);
        At(18, 1)[1] = 0xFF;
    }
    u8* At(int track, int sector) {
        int index = sector;
        for (int t = 1; t < track; t++) index += SectorsOn(t);
        return bytes.data() + index * 256;
    }
    bool Free(int t, int s) { return At(18, 0)[4 * t + 1 + s / 8] >> (s % 8) & 1; }
    void Use(int t, int s) {
        At(18, 0)[4 * t + 1 + s / 8] &= ~(1 << (s % 8));
        At(18, 0)[4 * t]--;
    }
    // Lays a file along the given sectors and adds its entry to 18/1.
    void AddFile(const std::string& name, u8 typeByte, const Bytes& data, std::vector<std::pair<int, int>> chain) {
        size_t done = 0;
        for (size_t i = 0; i < chain.size(); i++) {
            u8* s = At(chain[i].first, chain[i].second);
            size_t n = std::min<size_t>(254, data.size() - done);
            std::memcpy(s + 2, data.data() + done, n);
            done += n;
            bool last = i + 1 == chain.size();
            s[0] = last ? 0 : chain[i + 1].first, s[1] = last ? n + 1 : chain[i + 1].second;
            Use(chain[i].first, chain[i].second);
        }
        u8* e = At(18, 1) + 32 * entries++;
        e[2] = typeByte, e[3] = chain[0].first, e[4] = chain[0].second, e[30] = chain.size();
        std::memset(e + 5, 0xA0, 16);
        std::memcpy(e + 5, name.data(), name.size());
    }
    // Every track's free count agrees with its bitmap.
    void ExpectBamConsistent() {
        for (int t = 1; t <= 35; t++) {
            const u8* e = At(18, 0) + 4 * t;
            EXPECT_EQ(e[0], __builtin_popcount(e[1] | e[2] << 8 | e[3] << 16)) << "track " << t;
        }
    }
};

Bytes Pattern(size_t n, u8 seed) {
    Bytes v(n);
    for (size_t i = 0; i < n; i++) v[i] = (u8)(i * 7 + seed + (i >> 8));
    return v;
}

Bytes Read(D64Image& d64, const D64Entry& e) {
    Bytes out(200000);
    u32 length = 0;
    EXPECT_EQ(d64.ReadFile(e, out.data(), out.size(), &length), 0);
    out.resize(length);
    return out;
}

std::string Name(const D64Entry& e) { return std::string((const char*)e.name, e.nameLength); }

// An entry as one line: name, type, flags, blocks, first sector.
std::string Describe(const D64Entry& e) {
    return Name(e) + " " + "DSPUR"[e.type % 5] + (e.closed ? "" : "*") + (e.locked ? "<" : "") + " " +
           std::to_string(e.blocks) + " " + std::to_string(e.track) + "/" + std::to_string(e.sector);
}

std::vector<std::string> Directory(D64Image& d64) {
    std::vector<std::string> lines;
    D64Entry e;
    for (u32 i = 0; d64.Entry(i, &e); i++) lines.push_back(Describe(e));
    return lines;
}

D64Entry EntryNo(D64Image& d64, u32 index) {
    D64Entry e{};
    EXPECT_TRUE(d64.Entry(index, &e)) << index;
    return e;
}

const u8* N(const char* s) { return (const u8*)s; }

TEST(D64, ReadsHeaderEntriesAndFilesLaidOutByHand) {
    Disk disk;
    auto prg = Pattern(300, 1), seq = Pattern(10, 2), usr = Pattern(254, 3);
    disk.AddFile("GAME", 0x82, prg, {{17, 0}, {17, 10}});
    disk.AddFile("NOTES", 0xC1, seq, {{19, 0}});
    disk.AddFile("SIXTEEN CHARS!!!", 0x03, usr, {{1, 5}});
    D64Image d64;
    ASSERT_EQ(d64.Open(disk.bytes.data(), disk.bytes.size()), 0);

    u8 name[16], id[5];
    d64.DiskName(name);
    d64.DiskId(id);
    EXPECT_EQ(std::string((char*)name, 16), "TEST DISK" + std::string(7, '\xA0'));
    EXPECT_EQ(std::string((char*)id, 5), "AB\xA0" "2A");
    EXPECT_EQ(d64.FreeBlocks(), 664 - 4);
    EXPECT_EQ(Directory(d64), (std::vector<std::string>{"GAME P 2 17/0", "NOTES S< 1 19/0", "SIXTEEN CHARS!!! U* 1 1/5"}));
    EXPECT_EQ(d64.DirectoryStatus(), 0);
    EXPECT_EQ(Read(d64, EntryNo(d64, 0)), prg);
    EXPECT_EQ(Read(d64, EntryNo(d64, 1)), seq);
    EXPECT_EQ(Read(d64, EntryNo(d64, 2)), usr);

    // A buffer too small gets what fits and says so.
    u8 small[100];
    u32 length = 0;
    EXPECT_EQ(d64.ReadFile(EntryNo(d64, 0), small, sizeof small, &length), D64Image::kFileTooLarge);
    EXPECT_EQ(Bytes(small, small + length), Bytes(prg.begin(), prg.begin() + 100));
}

TEST(D64, FortyTracksAndErrorBytes) {
    for (int tracks : {35, 40}) {
        for (bool errors : {false, true}) {
            Disk disk(tracks, errors);
            auto data = Pattern(600, 4);
            int far = tracks == 40 ? 38 : 35;
            disk.AddFile("FAR", 0x82, data, {{far, 16}, {1, 0}, {far, 0}});
            D64Image d64;
            ASSERT_EQ(d64.Open(disk.bytes.data(), disk.bytes.size()), 0) << disk.bytes.size();
            EXPECT_EQ(Read(d64, EntryNo(d64, 0)), data);
        }
    }
    // Where a 40-track DOS kept tracks 36-40 in the BAM, they count and take
    // files once 1-35 are full.
    Disk disk(40);
    u8* bam = disk.At(18, 0);
    for (int t = 0; t < 5; t++) std::memcpy(bam + 0xC0 + 4 * t, "\x11\xFF\xFF\x01", 4);
    std::memset(bam + 4, 0, 4 * 35);
    D64Image d64;
    ASSERT_EQ(d64.Open(disk.bytes.data(), disk.bytes.size()), 0);
    EXPECT_EQ(d64.FreeBlocks(), 85);
    auto data = Pattern(254 * 3, 5);
    ASSERT_EQ(d64.WriteFile(N("HIGH"), 4, 2, data.data(), data.size()), 0);
    EXPECT_GE(EntryNo(d64, 0).track, 36);
    EXPECT_EQ(Read(d64, EntryNo(d64, 0)), data);
    EXPECT_EQ(d64.FreeBlocks(), 82);
}

TEST(D64, WritesFilesTheBamAndTheChainsAccountFor) {
    Disk disk;
    D64Image d64;
    ASSERT_EQ(d64.Open(disk.bytes.data(), disk.bytes.size()), 0);
    Bytes empty, one = Pattern(254, 6), big = Pattern(5000, 7);
    ASSERT_EQ(d64.WriteFile(N("EMPTY"), 5, 1, empty.data(), 0), 0);
    ASSERT_EQ(d64.WriteFile(N("ONE"), 3, 3, one.data(), one.size()), 0);
    ASSERT_EQ(d64.WriteFile(N("BIG FILE"), 8, 2, big.data(), big.size()), 0);
    EXPECT_EQ(d64.FreeBlocks(), 664 - 1 - 1 - 20);
    disk.ExpectBamConsistent();
    EXPECT_EQ(Directory(d64), (std::vector<std::string>{"EMPTY S 1 17/0", "ONE U 1 17/1", "BIG FILE P 20 17/2"}));
    EXPECT_EQ(Read(d64, EntryNo(d64, 0)), empty);
    EXPECT_EQ(Read(d64, EntryNo(d64, 1)), one);
    EXPECT_EQ(Read(d64, EntryNo(d64, 2)), big);

    // The chain steps through the track at interleave 10; every sector it
    // uses is marked used, none is on track 18.
    int t = 17, s = 2, blocks = 0;
    EXPECT_EQ(disk.At(t, s)[1], 12);
    for (; t; blocks++) {
        EXPECT_NE(t, 18);
        EXPECT_FALSE(disk.Free(t, s));
        const u8* sector = disk.At(t, s);
        t = sector[0], s = sector[1];
    }
    EXPECT_EQ(blocks, 20);

    // An existing name, or no name, changes nothing.
    Bytes before = disk.bytes;
    EXPECT_EQ(d64.WriteFile(N("ONE"), 3, 2, big.data(), big.size()), D64Image::kExists);
    EXPECT_EQ(d64.WriteFile(N(""), 0, 2, big.data(), big.size()), D64Image::kSyntaxError);
    EXPECT_EQ(d64.WriteFile(N("A\xA0"), 2, 2, big.data(), big.size()), D64Image::kSyntaxError);
    EXPECT_EQ(disk.bytes, before);
}

TEST(D64, DirectoryGrowsAlongTrack18AndFullDisksChangeNothing) {
    Disk disk;
    D64Image d64;
    ASSERT_EQ(d64.Open(disk.bytes.data(), disk.bytes.size()), 0);
    auto data = Pattern(10, 8);
    for (int i = 0; i < 20; i++) {
        std::string name = "FILE" + std::to_string(i);
        ASSERT_EQ(d64.WriteFile(N(name.c_str()), name.size(), 1, data.data(), data.size()), 0) << i;
    }
    // 18/1 -> 18/4 -> 18/7, marked used on track 18 (which free blocks never count).
    EXPECT_EQ(std::string((char*)disk.At(18, 1), 2), "\x12\x04");
    EXPECT_EQ(std::string((char*)disk.At(18, 4), 2), std::string("\x12\x07"));
    EXPECT_EQ(disk.At(18, 7)[0], 0);
    EXPECT_FALSE(disk.Free(18, 4) || disk.Free(18, 7));
    EXPECT_EQ(disk.At(18, 0)[4 * 18], 19 - 4);
    EXPECT_EQ(d64.FreeBlocks(), 664 - 20);
    disk.ExpectBamConsistent();
    for (int i = 0; i < 20; i++) {
        EXPECT_EQ(Name(EntryNo(d64, i)), "FILE" + std::to_string(i));
        EXPECT_EQ(Read(d64, EntryNo(d64, i)), data);
    }

    // One byte more than the free blocks hold is refused untouched; exactly
    // as much fills the disk.
    Bytes before = disk.bytes;
    auto huge = Pattern(644 * 254 + 1, 9);
    EXPECT_EQ(d64.WriteFile(N("HUGE"), 4, 2, huge.data(), huge.size()), D64Image::kDiskFull);
    EXPECT_EQ(disk.bytes, before);
    huge.pop_back();
    ASSERT_EQ(d64.WriteFile(N("HUGE"), 4, 2, huge.data(), huge.size()), 0);
    EXPECT_EQ(d64.FreeBlocks(), 0);
    EXPECT_EQ(Read(d64, EntryNo(d64, 20)), huge);
    EXPECT_EQ(d64.WriteFile(N("MORE"), 4, 2, data.data(), 1), D64Image::kDiskFull);
    disk.ExpectBamConsistent();

    // So is a directory that has used every sector of track 18.
    Disk packed;
    for (int s = 2; s < 19; s++) packed.Use(18, s);
    for (int i = 0; i < 8; i++) packed.At(18, 1)[32 * i + 2] = 0x82;
    ASSERT_EQ(d64.Open(packed.bytes.data(), packed.bytes.size()), 0);
    before = packed.bytes;
    EXPECT_EQ(d64.WriteFile(N("X"), 1, 2, data.data(), 1), D64Image::kDiskFull);
    EXPECT_EQ(packed.bytes, before);
}

TEST(D64, ScratchAndRenameKeepTheBamInStep) {
    Disk disk;
    D64Image d64;
    ASSERT_EQ(d64.Open(disk.bytes.data(), disk.bytes.size()), 0);
    auto a = Pattern(1000, 10), b = Pattern(100, 11);
    ASSERT_EQ(d64.WriteFile(N("A"), 1, 2, a.data(), a.size()), 0);
    ASSERT_EQ(d64.WriteFile(N("B"), 1, 2, b.data(), b.size()), 0);
    D64Entry first = EntryNo(d64, 0);
    ASSERT_EQ(d64.Scratch(first), 0);
    EXPECT_EQ(d64.FreeBlocks(), 663);
    disk.ExpectBamConsistent();
    EXPECT_EQ(Directory(d64), std::vector<std::string>{"B P 1 17/1"});
    EXPECT_EQ(d64.Scratch(first), D64Image::kNotFound);  // already gone

    // The freed slot and sectors are used again.
    ASSERT_EQ(d64.WriteFile(N("C"), 1, 1, a.data(), a.size()), 0);
    EXPECT_EQ(EntryNo(d64, 0).slot, first.slot);
    EXPECT_EQ(Read(d64, EntryNo(d64, 0)), a);
    EXPECT_EQ(d64.FreeBlocks(), 664 - 5);

    EXPECT_EQ(d64.Rename(EntryNo(d64, 1), N("C"), 1), D64Image::kExists);
    ASSERT_EQ(d64.Rename(EntryNo(d64, 1), N("RENAMED"), 7), 0);
    EXPECT_EQ(Directory(d64), (std::vector<std::string>{"C S 4 17/0", "RENAMED P 1 17/1"}));

    // A locked file stays.
    disk.At(18, 1)[32 + 2] |= 0x40;
    EXPECT_EQ(d64.Scratch(EntryNo(d64, 1)), D64Image::kWriteProtect);
    EXPECT_EQ(d64.FreeBlocks(), 664 - 5);
}

TEST(D64, HostileImagesEndInAStatus) {
    D64Image d64;
    Bytes odd(174848 + 1);
    EXPECT_EQ(d64.Open(odd.data(), odd.size()), D64Image::kNotUsable);
    EXPECT_EQ(d64.Open(odd.data(), 0), D64Image::kNotUsable);
    EXPECT_EQ(d64.Open(nullptr, 174848), D64Image::kNotUsable);
    D64Entry e;
    EXPECT_FALSE(d64.Entry(0, &e));

    // File chains: a loop, a track past the disk, a sector past the track, no start.
    Disk disk;
    auto data = Pattern(254 * 2, 12);
    disk.AddFile("LOOP", 0x82, data, {{1, 0}, {1, 1}});
    disk.At(1, 1)[0] = 1, disk.At(1, 1)[1] = 0;
    disk.AddFile("OFFDISK", 0x82, data, {{2, 0}, {2, 1}});
    disk.At(2, 0)[0] = 36;
    disk.AddFile("BADSECTOR", 0x82, data, {{3, 0}, {3, 1}});
    disk.At(3, 0)[1] = 21;
    disk.AddFile("NOSTART", 0x82, data, {{4, 0}});
    disk.At(18, 1)[32 * 3 + 3] = 0;
    ASSERT_EQ(d64.Open(disk.bytes.data(), disk.bytes.size()), 0);
    const Bytes untouched = disk.bytes;
    Bytes out(100000);
    for (int i = 0; i < 4; i++) {
        u32 length;
        e = EntryNo(d64, i);
        EXPECT_EQ(d64.ReadFile(e, out.data(), out.size(), &length), D64Image::kIllegalTrackSector) << Name(e);
        EXPECT_EQ(d64.Scratch(e), D64Image::kIllegalTrackSector) << Name(e);
    }
    // Forged slots: off the directory, not an entry's start, off track 18, unused.
    for (u32 slot : {18u << 16 | 30 << 8, 18u << 16 | 1 << 8 | 7, 17u << 16 | 1 << 8, 18u << 16 | 1 << 8 | 128}) {
        e.slot = slot;
        EXPECT_EQ(d64.Scratch(e), D64Image::kNotFound) << std::hex << slot;
    }
    EXPECT_EQ(disk.bytes, untouched);

    // Directory chains: back into itself, and off track 18.
    for (int track : {18, 19}) {
        Disk broken;
        broken.AddFile("ONE", 0x82, data, {{1, 0}});
        broken.At(18, 1)[0] = track, broken.At(18, 1)[1] = 1;
        ASSERT_EQ(d64.Open(broken.bytes.data(), broken.bytes.size()), 0);
        EXPECT_EQ(Directory(d64).size(), 1u);
        EXPECT_EQ(d64.DirectoryStatus(), D64Image::kDirectoryError);
        Bytes before = broken.bytes;
        EXPECT_EQ(d64.WriteFile(N("NEW"), 3, 2, data.data(), 1), D64Image::kDirectoryError);
        EXPECT_EQ(broken.bytes, before);
    }
}

// The disk tool's own .d64 writer and this reader agree; the image then
// takes writes as any other.
TEST(D64, ReadsImagesTheDiskToolWrites) {
    std::string dir = ::testing::TempDir() + "/d64_tool", files;
    ASSERT_EQ(std::system(("mkdir -p " + dir).c_str()), 0);
    auto put = [&](const std::string& name, const Bytes& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary).write((const char*)bytes.data(), bytes.size());
        files += "'" + dir + "/" + name + "' ";
    };
    Bytes code = Pattern(3000, 13), notes = {'H', 'I', 13};
    code[0] = 0x00, code[1] = 0xC0;
    put("code.prg", code);
    put("notes.seq", notes);
    for (int i = 0; i < 9; i++) put("long name " + std::to_string(i) + ".prg", Pattern(i * 100, i));
    std::string command = "python3 " TARN_SOURCE_DIR "/tools/tarndisk.py d64 " + dir + "/out.d64 " + files +
                          "--name 'TOOL DISK' --id XY >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(dir + "/out.d64", std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    D64Image d64;
    ASSERT_EQ(d64.Open(bytes.data(), bytes.size()), 0);
    u8 name[16], id[5];
    d64.DiskName(name);
    d64.DiskId(id);
    EXPECT_EQ(std::string((char*)name, 10), "TOOL DISK\xA0");
    EXPECT_EQ(std::string((char*)id, 5), "XY\xA0" "2A");
    EXPECT_EQ(Describe(EntryNo(d64, 0)), "CODE P 12 17/0");
    EXPECT_EQ(Read(d64, EntryNo(d64, 0)), code);  // the load address stays
    EXPECT_EQ(Describe(EntryNo(d64, 1)), "NOTES S 1 17/1");
    EXPECT_EQ(Read(d64, EntryNo(d64, 1)), notes);
    u32 used = 13;
    for (int i = 0; i < 9; i++) {
        D64Entry e = EntryNo(d64, 2 + i);
        EXPECT_EQ(Name(e), "LONG NAME " + std::to_string(i));
        EXPECT_EQ(Read(d64, e), Pattern(i * 100, i));
        used += e.blocks;
    }
    EXPECT_EQ(d64.FreeBlocks(), 664 - used);
    ASSERT_EQ(d64.Scratch(EntryNo(d64, 10)), 0);
    ASSERT_EQ(d64.WriteFile(N("AFTER"), 5, 2, code.data(), code.size()), 0);
    EXPECT_EQ(Read(d64, EntryNo(d64, 10)), code);
    EXPECT_EQ(d64.FreeBlocks(), 664 - used - 12 + 4);
}

TEST(D64, MatchesNamesAsACbmDriveDoes) {
    const std::vector<std::pair<const char*, const char*>> match = {
        {"GAME", "GAME"}, {"*", "ANYTHING"}, {"G*", "GAME"}, {"G*X", "GAME"}, {"G?ME", "GAME"}, {"*", ""}};
    const std::vector<std::pair<const char*, const char*>> differ = {
        {"GAME", "GAMES"}, {"GAMES", "GAME"}, {"H*", "GAME"}, {"G?ME", "GME"}, {"", "GAME"}};
    for (auto [pattern, name] : match)
        EXPECT_TRUE(D64Image::Matches(N(pattern), strlen(pattern), N(name), strlen(name))) << pattern << " " << name;
    for (auto [pattern, name] : differ)
        EXPECT_FALSE(D64Image::Matches(N(pattern), strlen(pattern), N(name), strlen(name))) << pattern << " " << name;
}

}  // namespace

// The .D64 component on images the test lays out itself: reading files and
// the header back, writing and scratching with the BAM checked sector by
// sector, and hostile images that must end in a status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "filesystem/d64.h"

namespace {

using kestrel::filesystem::D64Entry;
using kestrel::filesystem::D64Image;
using Chain = std::vector<std::pair<int, int>>;

int SectorsOn(int track) { return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17; }

// A freshly formatted disk: BAM at 18/0, an empty directory at 18/1, both in use.
struct Disk {
    int tracks;
    std::vector<u8> bytes;
    int entries = 0;

    explicit Disk(int t = 35, bool errorBytes = false) : tracks(t) {
        int sectors = 0;
        for (int i = 1; i <= t; i++) sectors += SectorsOn(i);
        bytes.assign(sectors * 256 + (errorBytes ? sectors : 0), errorBytes ? 1 : 0);
        std::fill(bytes.begin(), bytes.begin() + sectors * 256, 0);
        u8* bam = At(18, 0);
        bam[0] = 18, bam[1] = 1, bam[2] = 'A';
        for (int i = 1; i <= 35; i++) {
            bam[4 * i] = SectorsOn(i);
            u32 bits = (1u << SectorsOn(i)) - 1;
            bam[4 * i + 1] = bits, bam[4 * i + 2] = bits >> 8, bam[4 * i + 3] = bits >> 16;
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
        for (int i = 1; i < track; i++) index += SectorsOn(i);
        return bytes.data() + index * 256;
    }
    void Use(int t, int s) {
        u8* e = At(18, 0) + 4 * t;
        e[1 + s / 8] &= ~(1 << (s % 8));
        e[0]--;
    }
    // Lays a file's bytes along the given sectors and adds its entry to 18/1.
    void AddFile(const std::string& name, u8 typeByte, const std::vector<u8>& data, const Chain& chain) {
        size_t done = 0;
        for (size_t i = 0; i < chain.size(); i++) {
            u8* s = At(chain[i].first, chain[i].second);
            size_t n = std::min<size_t>(254, data.size() - done);
            std::memcpy(s + 2, data.data() + done, n);
            done += n;
            if (i + 1 < chain.size()) s[0] = chain[i + 1].first, s[1] = chain[i + 1].second;
            else s[0] = 0, s[1] = n + 1;
            Use(chain[i].first, chain[i].second);
        }
        u8* e = At(18, 1) + 32 * entries++;
        e[2] = typeByte, e[3] = chain[0].first, e[4] = chain[0].second;
        std::memset(e + 5, 0xA0, 16);
        std::memcpy(e + 5, name.data(), name.size());
        e[30] = chain.size(), e[31] = 0;
    }
    // Every track's count byte agrees with its bitmap.
    void ExpectBamConsistent() {
        for (int t = 1; t <= 35; t++) {
            const u8* e = At(18, 0) + 4 * t;
            u32 bits = e[1] | e[2] << 8 | e[3] << 16;
            EXPECT_EQ(e[0], __builtin_popcount(bits)) << "track " << t;
        }
    }
    bool Free(int t, int s) { return At(18, 0)[4 * t + 1 + s / 8] >> (s % 8) & 1; }
};

std::vector<u8> Pattern(size_t n, u8 seed) {
    std::vector<u8> v(n);
    for (size_t i = 0; i < n; i++) v[i] = (u8)(i * 7 + seed + (i >> 8));
    return v;
}

std::vector<u8> Read(D64Image& d64, const D64Entry& e) {
    std::vector<u8> out(200000);
    u32 length = 0;
    EXPECT_EQ(d64.ReadFile(e, out.data(), out.size(), &length), 0);
    out.resize(length);
    return out;
}

std::string Name(const D64Entry& e) { return std::string((const char*)e.name, e.nameLength); }

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

    D64Entry e[3];
    for (int i = 0; i < 3; i++) ASSERT_TRUE(d64.Entry(i, &e[i]));
    D64Entry none;
    EXPECT_FALSE(d64.Entry(3, &none));
    EXPECT_EQ(d64.DirectoryStatus(), 0);
    EXPECT_EQ(Name(e[0]), "GAME");
    EXPECT_EQ(e[0].type, 2);
    EXPECT_TRUE(e[0].closed);
    EXPECT_FALSE(e[0].locked);
    EXPECT_EQ(e[0].blocks, 2);
    EXPECT_EQ(e[0].track, 17);
    EXPECT_EQ(Name(e[1]), "NOTES");
    EXPECT_EQ(e[1].type, 1);
    EXPECT_TRUE(e[1].locked);
    EXPECT_EQ(Name(e[2]), "SIXTEEN CHARS!!!");
    EXPECT_EQ(e[2].nameLength, 16);
    EXPECT_EQ(e[2].type, 3);
    EXPECT_FALSE(e[2].closed);
    EXPECT_EQ(Read(d64, e[0]), prg);
    EXPECT_EQ(Read(d64, e[1]), seq);
    EXPECT_EQ(Read(d64, e[2]), usr);

    // A buffer too small gets what fits and says so.
    u8 small[100];
    u32 length = 0;
    EXPECT_EQ(d64.ReadFile(e[0], small, sizeof small, &length), D64Image::kFileTooLarge);
    EXPECT_EQ(length, 100u);
    EXPECT_EQ(std::vector<u8>(small, small + 100), std::vector<u8>(prg.begin(), prg.begin() + 100));
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
            D64Entry e;
            ASSERT_TRUE(d64.Entry(0, &e));
            EXPECT_EQ(Read(d64, e), data);
        }
    }
    // A 40-track DOS's BAM for tracks 36-40 counts and is used once 1-35 are full.
    Disk disk(40);
    u8* bam = disk.At(18, 0);
    for (int t = 36; t <= 40; t++) {
        u8* e = bam + 0xC0 + 4 * (t - 36);
        e[0] = 17, e[1] = 0xFF, e[2] = 0xFF, e[3] = 0x01;
    }
    for (int t = 1; t <= 35; t++) std::memset(bam + 4 * t, 0, 4);
    D64Image d64;
    ASSERT_EQ(d64.Open(disk.bytes.data(), disk.bytes.size()), 0);
    EXPECT_EQ(d64.FreeBlocks(), 85);
    auto data = Pattern(254 * 3, 5);
    ASSERT_EQ(d64.WriteFile(N("HIGH"), 4, 2, data.data(), data.size()), 0);
    D64Entry e;
    ASSERT_TRUE(d64.Entry(0, &e));
    EXPECT_GE(e.track, 36);
    EXPECT_EQ(Read(d64, e), data);
    EXPECT_EQ(d64.FreeBlocks(), 82);
}

TEST(D64, WritesFilesTheBamAndTheChainsAccountFor) {
    Disk disk;
    D64Image d64;
    ASSERT_EQ(d64.Open(disk.bytes.data(), disk.bytes.size()), 0);
    auto empty = std::vector<u8>(), one = Pattern(254, 6), big = Pattern(5000, 7);
    ASSERT_EQ(d64.WriteFile(N("EMPTY"), 5, 1, empty.data(), 0), 0);
    ASSERT_EQ(d64.WriteFile(N("ONE"), 3, 3, one.data(), one.size()), 0);
    ASSERT_EQ(d64.WriteFile(N("BIG FILE"), 8, 2, big.data(), big.size()), 0);
    EXPECT_EQ(d64.FreeBlocks(), 664 - 1 - 1 - 20);
    disk.ExpectBamConsistent();

    D64Entry e[3];
    for (int i = 0; i < 3; i++) ASSERT_TRUE(d64.Entry(i, &e[i]));
    EXPECT_EQ(Name(e[0]), "EMPTY");
    EXPECT_EQ(e[0].blocks, 1);
    EXPECT_EQ(e[2].type, 2);
    EXPECT_TRUE(e[2].closed);
    EXPECT_EQ(e[2].blocks, 20);
    EXPECT_EQ(Read(d64, e[0]), empty);
    EXPECT_EQ(Read(d64, e[1]), one);
    EXPECT_EQ(Read(d64, e[2]), big);

    // Each file starts next to the directory and steps through its track at
    // interleave 10; every sector it uses is marked used, none is on track 18.
    EXPECT_EQ(e[0].track, 17);
    int t = e[2].track, s = e[2].sector, blocks = 0;
    while (t) {
        EXPECT_NE(t, 18);
        EXPECT_FALSE(disk.Free(t, s));
        const u8* sector = disk.At(t, s);
        if (blocks == 0) EXPECT_EQ(sector[1], (s + 10) % SectorsOn(t));
        t = sector[0], s = sector[1], blocks++;
    }
    EXPECT_EQ(blocks, 20);

    // An existing name changes nothing.
    std::vector<u8> before = disk.bytes;
    EXPECT_EQ(d64.WriteFile(N("ONE"), 3, 2, big.data(), big.size()), D64Image::kExists);
    EXPECT_EQ(d64.WriteFile(N(""), 0, 2, big.data(), big.size()), D64Image::kSyntaxError);
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
    EXPECT_EQ(disk.At(18, 1)[0], 18);
    EXPECT_EQ(disk.At(18, 1)[1], 4);
    EXPECT_EQ(disk.At(18, 4)[1], 7);
    EXPECT_EQ(disk.At(18, 7)[0], 0);
    EXPECT_FALSE(disk.Free(18, 4));
    EXPECT_FALSE(disk.Free(18, 7));
    EXPECT_EQ(disk.At(18, 0)[4 * 18], 19 - 4);
    EXPECT_EQ(d64.FreeBlocks(), 664 - 20);
    disk.ExpectBamConsistent();
    D64Entry e;
    for (int i = 0; i < 20; i++) {
        ASSERT_TRUE(d64.Entry(i, &e));
        EXPECT_EQ(Name(e), "FILE" + std::to_string(i));
        EXPECT_EQ(Read(d64, e), data);
    }

    // One byte more than the free blocks hold is refused untouched; exactly
    // as much fills the disk.
    std::vector<u8> before = disk.bytes;
    auto huge = Pattern(644 * 254 + 1, 9);
    EXPECT_EQ(d64.WriteFile(N("HUGE"), 4, 2, huge.data(), huge.size()), D64Image::kDiskFull);
    EXPECT_EQ(disk.bytes, before);
    huge.pop_back();
    ASSERT_EQ(d64.WriteFile(N("HUGE"), 4, 2, huge.data(), huge.size()), 0);
    EXPECT_EQ(d64.FreeBlocks(), 0);
    ASSERT_TRUE(d64.Entry(20, &e));
    EXPECT_EQ(Read(d64, e), huge);
    EXPECT_EQ(d64.WriteFile(N("MORE"), 4, 2, data.data(), 1), D64Image::kDiskFull);
    disk.ExpectBamConsistent();

    // A directory that has used every sector of track 18 is full too.
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
    EXPECT_EQ(d64.FreeBlocks(), 664 - 5);
    D64Entry first, second;
    ASSERT_TRUE(d64.Entry(0, &first));
    ASSERT_EQ(d64.Scratch(first), 0);
    EXPECT_EQ(d64.FreeBlocks(), 663);
    disk.ExpectBamConsistent();
    ASSERT_TRUE(d64.Entry(0, &second));
    EXPECT_EQ(Name(second), "B");
    EXPECT_FALSE(d64.Entry(1, &second));
    EXPECT_EQ(d64.Scratch(first), D64Image::kNotFound);  // already gone

    // The freed slot and sectors are used again.
    ASSERT_EQ(d64.WriteFile(N("C"), 1, 1, a.data(), a.size()), 0);
    D64Entry c;
    ASSERT_TRUE(d64.Entry(0, &c));
    EXPECT_EQ(Name(c), "C");
    EXPECT_EQ(c.slot, first.slot);
    EXPECT_EQ(Read(d64, c), a);
    EXPECT_EQ(d64.FreeBlocks(), 664 - 5);

    ASSERT_TRUE(d64.Entry(1, &second));
    EXPECT_EQ(d64.Rename(second, N("C"), 1), D64Image::kExists);
    ASSERT_EQ(d64.Rename(second, N("RENAMED"), 7), 0);
    ASSERT_TRUE(d64.Entry(1, &second));
    EXPECT_EQ(Name(second), "RENAMED");
    EXPECT_EQ(Read(d64, second), b);

    // A locked file stays.
    disk.At(18, 1)[32 + 2] |= 0x40;
    ASSERT_TRUE(d64.Entry(1, &second));
    EXPECT_EQ(d64.Scratch(second), D64Image::kWriteProtect);
    EXPECT_EQ(d64.FreeBlocks(), 664 - 5);
}

TEST(D64, HostileImagesEndInAStatus) {
    D64Image d64;
    std::vector<u8> odd(174848 + 1);
    EXPECT_EQ(d64.Open(odd.data(), odd.size()), D64Image::kNotUsable);
    EXPECT_EQ(d64.Open(odd.data(), 0), D64Image::kNotUsable);
    EXPECT_EQ(d64.Open(nullptr, 174848), D64Image::kNotUsable);
    D64Entry e;
    EXPECT_FALSE(d64.Entry(0, &e));

    // File chains: a loop, a track past the disk, a sector past the track.
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
    const std::vector<u8> untouched = disk.bytes;
    std::vector<u8> out(100000);
    for (int i = 0; i < 4; i++) {
        ASSERT_TRUE(d64.Entry(i, &e));
        u32 length;
        EXPECT_EQ(d64.ReadFile(e, out.data(), out.size(), &length), D64Image::kIllegalTrackSector) << Name(e);
        EXPECT_EQ(d64.Scratch(e), D64Image::kIllegalTrackSector) << Name(e);
    }
    EXPECT_EQ(disk.bytes, untouched);

    // Directory chains: back into itself, and off track 18.
    for (int link : {1, 19}) {
        Disk broken;
        broken.AddFile("ONE", 0x82, data, {{1, 0}});
        broken.At(18, 1)[0] = link == 1 ? 18 : 19;
        broken.At(18, 1)[1] = link == 1 ? 1 : 0;
        ASSERT_EQ(d64.Open(broken.bytes.data(), broken.bytes.size()), 0);
        ASSERT_TRUE(d64.Entry(0, &e));
        EXPECT_FALSE(d64.Entry(1, &e));
        EXPECT_EQ(d64.DirectoryStatus(), D64Image::kDirectoryError);
        std::vector<u8> before = broken.bytes;
        EXPECT_EQ(d64.WriteFile(N("NEW"), 3, 2, data.data(), 1), D64Image::kDirectoryError);
        EXPECT_EQ(broken.bytes, before);
    }

    // A stale or forged slot is refused.
    ASSERT_EQ(d64.Open(disk.bytes.data(), disk.bytes.size()), 0);
    ASSERT_TRUE(d64.Entry(0, &e));
    for (u32 slot : {18u << 16 | 30 << 8, 18u << 16 | 1 << 8 | 7, 17u << 16 | 1 << 8, 18u << 16 | 1 << 8 | 32}) {
        D64Entry forged = e;
        forged.slot = slot;
        EXPECT_EQ(d64.Scratch(forged), D64Image::kNotFound) << std::hex << slot;
    }
    EXPECT_EQ(disk.bytes, untouched);
}

// The disk tool's own .d64 writer and this reader agree; the image then
// takes writes as any other.
TEST(D64, ReadsImagesTheDiskToolWrites) {
    std::string dir = ::testing::TempDir() + "/d64_tool";
    auto put = [&](const std::string& name, const std::vector<u8>& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary).write((const char*)bytes.data(), bytes.size());
        return "'" + dir + "/" + name + "' ";
    };
    ASSERT_EQ(std::system(("mkdir -p " + dir).c_str()), 0);
    std::vector<u8> code = Pattern(3000, 13), notes = {'H', 'I', 13};
    code[0] = 0x00, code[1] = 0xC0;
    std::string files = put("code.prg", code) + put("notes.seq", notes);
    for (int i = 0; i < 9; i++) files += put("long name " + std::to_string(i) + ".prg", Pattern(i * 100, i));
    std::string command = "python3 " TARN_SOURCE_DIR "/tools/tarndisk.py d64 " + dir + "/out.d64 " + files +
                          "--name 'TOOL DISK' --id XY >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(dir + "/out.d64", std::ios::binary);
    std::vector<u8> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    D64Image d64;
    ASSERT_EQ(d64.Open(bytes.data(), bytes.size()), 0);
    u8 name[16], id[5];
    d64.DiskName(name);
    d64.DiskId(id);
    EXPECT_EQ(std::string((char*)name, 9), "TOOL DISK");
    EXPECT_EQ(std::string((char*)id, 5), "XY\xA0" "2A");
    D64Entry e;
    u32 used = 0;
    ASSERT_TRUE(d64.Entry(0, &e));
    EXPECT_EQ(Name(e), "CODE");
    EXPECT_EQ(Read(d64, e), code);  // the load address stays
    used += e.blocks;
    ASSERT_TRUE(d64.Entry(1, &e));
    EXPECT_EQ(e.type, 1);
    EXPECT_EQ(Read(d64, e), notes);
    used += e.blocks;
    for (int i = 0; i < 9; i++) {
        ASSERT_TRUE(d64.Entry(2 + i, &e));
        EXPECT_EQ(Name(e), "LONG NAME " + std::to_string(i));
        EXPECT_EQ(Read(d64, e), Pattern(i * 100, i));
        used += e.blocks;
    }
    EXPECT_EQ(d64.FreeBlocks(), 664 - used);
    ASSERT_EQ(d64.Scratch(e), 0);
    ASSERT_EQ(d64.WriteFile(N("AFTER"), 5, 2, code.data(), code.size()), 0);
    ASSERT_TRUE(d64.Entry(10, &e));
    EXPECT_EQ(Read(d64, e), code);
    EXPECT_EQ(d64.FreeBlocks(), 664 - used - 12 + 4);
}

TEST(D64, MatchesNamesAsACbmDriveDoes) {
    auto m = [](const char* p, const char* n) {
        return D64Image::Matches(N(p), std::strlen(p), N(n), std::strlen(n));
    };
    EXPECT_TRUE(m("GAME", "GAME"));
    EXPECT_FALSE(m("GAME", "GAMES"));
    EXPECT_FALSE(m("GAMES", "GAME"));
    EXPECT_TRUE(m("*", "ANYTHING"));
    EXPECT_TRUE(m("G*", "GAME"));
    EXPECT_TRUE(m("G*X", "GAME"));  // what follows * is ignored
    EXPECT_FALSE(m("H*", "GAME"));
    EXPECT_TRUE(m("G?ME", "GAME"));
    EXPECT_FALSE(m("G?ME", "GME"));
    EXPECT_TRUE(m("*", ""));
}

}  // namespace

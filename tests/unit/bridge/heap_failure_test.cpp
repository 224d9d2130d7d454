// A heap that cannot supply a buffer: the volume, the LOAD/SAVE bridge and
// the file handles answer with a status and lose nothing. The kernel heap
// returns null when it is exhausted; here the array allocator does so for
// one chosen size while a test arms it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tests/unit/bridge/kernal_bus.h"
#include "tests/unit/bridge/mounted_volume.h"

#include "c64/serial_bus.h"
#include "c64/memory.h"
#include "filesystem/fat.h"

namespace {
size_t g_fail_size = 0;  // array allocations of this size fail while non-zero
int g_failed = 0;
}  // namespace

void* operator new[](size_t size) {
    if (g_fail_size != 0 && size == g_fail_size) {
        g_failed++;
        return nullptr;
    }
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

using tarn::filesystem::Fat32;

class HeapFailure : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(volume.image.ok());
        Word(0x2B, 0x0801);
    }
    void TearDown() override { g_fail_size = 0; }

    void Fail(size_t size) {
        g_fail_size = size;
        g_failed = 0;
    }
    void Heal() { g_fail_size = 0; }

    void Word(u16 at, u16 value) {
        mem.write_byte(at, value & 0xFF);
        mem.write_byte(at + 1, value >> 8);
    }
    MountedVolume volume;
    Memory mem;
    SerialBus io{&mem};
    KernalBus bus{mem, io};
};

TEST_F(HeapFailure, NoRoomForTheFatCacheLeavesTheVolumeUnmounted) {
    auto boot = volume.image.ReadSectors(volume.image.options().partition_start, 1);
    u32 sectors_per_fat;
    std::memcpy(&sectors_per_fat, boot.data() + 36, 4);
    Fail(sectors_per_fat * 512);
    Fat32* fat = volume.Mount();
    Heal();
    EXPECT_EQ(g_failed, 1);
    EXPECT_FALSE(fat->mounted());
    ASSERT_NE(fat, nullptr);
    EXPECT_STREQ(fat->MountProblem(), "no memory for the FAT");
    EXPECT_EQ(fat->WriteWholeFile(0, "A.PRG", boot.data(), 10, false), Fat32::kNotMounted);
    std::string report;
    EXPECT_EQ(volume.Check(&report), 0) << report;
}

TEST_F(HeapFailure, LoadWithoutRoomForTheFileIsAnErrorAndLeavesMemory) {
    auto data = diskimage::Pattern(777, 1);
    data[0] = 0x01;  // a load address for the start of BASIC
    data[1] = 0x08;
    ASSERT_TRUE(volume.Put("GAME.PRG", data));
    io.fat32(volume.Mount());
    for (u16 a = 0x0801; a < 0x0801 + 800; a++) mem.write_byte(a, 0x5A);
    Word(0xAE, 0x1234);
    Fail(1024);  // the drive's buffer for the file
    bus.Load("GAME", 0);
    Heal();
    EXPECT_EQ(g_failed, 1);
    // BASIC reads ST at once: it must not take this for a load.
    EXPECT_EQ(mem.read_byte(0x90), 0x42);
    EXPECT_EQ(mem.read_byte(0x0801), 0x5A);
    EXPECT_EQ(mem.read_byte(0xAE) | mem.read_byte(0xAF) << 8, 0x1234);
    // The handle was not left taken: the same load works with memory back.
    bus.Load("GAME", 0);
    EXPECT_EQ(mem.read_byte(0x90), 0x40);
    EXPECT_EQ(mem.read_byte(0x0801 + 774), data[776]);
}

TEST_F(HeapFailure, SaveWithoutAWriteBufferCreatesNothing) {
    io.fat32(volume.Mount());
    Word(0x2D, 0x0801 + 100);
    Fail(1024);  // the drive's buffer for the file being written
    bus.Save("NEW", 0x0801, 0x0801 + 100);
    Heal();
    EXPECT_EQ(g_failed, 1);
    EXPECT_EQ(mem.read_byte(0x90), 0x80);
    volume.Unmount();
    EXPECT_FALSE(volume.Exists("NEW.PRG"));
    std::string report;
    EXPECT_EQ(volume.Check(&report), 0) << report;
}

TEST_F(HeapFailure, SaveThatCannotGrowItsBufferLeavesNoHalfFile) {
    Fat32* fat = volume.Mount();
    io.fat32(fat);
    const u32 cluster_bytes = fat->SectorsPerCluster() * 512;
    Word(0x2D, (u16)(0x0801 + 3 * cluster_bytes));
    Fail(2 * cluster_bytes);  // the first growth
    bus.Save("HALF", 0x0801, (u16)(0x0801 + 3 * cluster_bytes));
    Heal();
    EXPECT_GE(g_failed, 1);
    EXPECT_EQ(mem.read_byte(0x90), 0x80);
    EXPECT_FALSE(volume.Exists("HALF.PRG"));
    // Saving again works and stores every byte.
    bus.Save("HALF", 0x0801, (u16)(0x0801 + 3 * cluster_bytes));
    EXPECT_EQ(mem.read_byte(0x90), 0);
    volume.Unmount();
    std::vector<u8> expected = {0x01, 0x08};
    for (u32 a = 0x0801; a < 0x0801 + 3 * cluster_bytes; a++) expected.push_back(mem.read_byte((u16)a));
    EXPECT_EQ(volume.Get("HALF.PRG"), expected);
    std::string report;
    EXPECT_EQ(volume.Check(&report), 0) << report;
}

}  // namespace

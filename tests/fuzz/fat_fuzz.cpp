// libFuzzer target: mounts an arbitrary disk image and runs listings,
// lookups, reads, creates, writes, renames and deletes on it. The disk is a
// direct sector source over the input; the console is a sink that still
// walks every format and its arguments.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "drivers/ata.h"
#include "filesystem/fat.h"
#include "hardwarecommunication/port.h"

using tarn::drivers::AdvancedTechnologyAttachment;
using tarn::filesystem::Fat32;

// The console (the kernel printf's host link name): consume arguments as the kernel's printf would, touching
// every byte of every %s string.
void tarn_printf(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    volatile unsigned sum = 0;
    for (const char* f = format; *f; f++) {
        if (*f != '%') continue;
        if (!*++f) break;
        if (*f == '0' && !*++f) break;
        if (*f >= '0' && *f <= '9' && !*++f) break;
        switch (*f) {
        case 'c': case 'd': case 'u': case 'o': case 'x': case 'X':
            sum += va_arg(ap, unsigned);
            break;
        case 's':
            for (const char* s = va_arg(ap, const char*); *s; s++) sum += (unsigned char)*s;
            break;
        default:
            break;
        }
    }
    va_end(ap);
}

// No port I/O happens: the disk below overrides both transfers.
namespace tarn {
namespace hardwarecommunication {
u8 Port8Bit::Read8(u16) { return 0xFF; }
void Port8Bit::Write8(u16, u8) {}
void Port8BitSlow::Write8Slow(u16, u8) {}
u16 Port16Bit::Read16(u16) { return 0xFFFF; }
void Port16Bit::Write16(u16, u16) {}
u32 Port32Bit::Read32(u16) { return 0xFFFFFFFF; }
void Port32Bit::Write32(u16, u32) {}
}  // namespace hardwarecommunication
}  // namespace tarn

namespace {

// The input is the start of a disk as large as its volume claims (up to a
// cap): sectors past the input read as zeros until written.
class MemoryDisk : public AdvancedTechnologyAttachment {
public:
    static constexpr uint64_t kMaxSectors = 1u << 17;  // 64 MiB

    MemoryDisk(const uint8_t* data, size_t size)
        : AdvancedTechnologyAttachment(true, 0x1F0), bytes((size + 511) / 512 * 512, 0) {
        if (size) std::memcpy(bytes.data(), data, size);
        sectors = bytes.size() / 512 + 8;
        // The volume as the input describes it: partition entry 0 and the
        // boot sector's sector count. No write may land outside it.
        if (bytes.size() >= 1024) {
            const uint8_t* e = bytes.data() + 446;
            first = Le32(e + 8);
            uint32_t partSectors = Le32(e + 12);
            if ((uint64_t)first * 512 + 512 <= bytes.size()) {
                const uint8_t* boot = bytes.data() + (size_t)first * 512;
                uint32_t total = boot[19] | (boot[20] << 8);
                if (total == 0) total = Le32(boot + 32);
                end = (uint64_t)first + total;
                if (partSectors && (uint64_t)first + partSectors < end) end = (uint64_t)first + partSectors;
                if (end > sectors) sectors = end < kMaxSectors ? end : kMaxSectors;
            }
        }
    }
    static uint32_t Le32(const uint8_t* p) {
        return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
    }
    u32 SectorCount() override { return (u32)sectors; }
    int ReadSector(u32 sector, u8* data, int count) override {
        if (count < 0 || count > 512) return 3;
        if (sector >= sectors) return 1;
        if ((uint64_t)sector * 512 + 512 > bytes.size()) std::memset(data, 0, (size_t)count);
        else std::memcpy(data, bytes.data() + (size_t)sector * 512, (size_t)count);
        return 0;
    }
    int WriteSector(u32 sector, u8* data, u32 count) override {
        if (count > 512) return 1;
        if (sector < first || sector >= end) __builtin_trap();  // wrote outside the volume
        if (sector >= sectors) return 2;
        if ((uint64_t)sector * 512 + 512 > bytes.size()) bytes.resize((size_t)sector * 512 + 512, 0);
        std::memset(bytes.data() + (size_t)sector * 512, 0, 512);
        std::memcpy(bytes.data() + (size_t)sector * 512, data, count);
        return 0;
    }
    std::vector<uint8_t> bytes;
    uint64_t sectors = 0;
    uint64_t first = 1, end = 0;  // no volume: every write is wrong
};

const char* const kNames[] = {"FILE    .PRG", "A       .PRG", "PROG    .PRG", "SUB     .   ",
                              "LONGNA~1.PRG", "\xE5ILE    .PRG", "HELLO   .TXT", "NEW     .PRG"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20)) return 0;
    MemoryDisk disk(data, size);
    Fat32 fat(&disk, 0);
    // What the fuzzer can see besides a crash: a volume that was consistent
    // before the operations is consistent after them.
    bool consistent = fat.CheckConsistency() == Fat32::kOk;
    // A few knobs from the input's tail so runs differ beyond the image.
    uint8_t knob = size ? data[size - 1] : 0;
    uint8_t knob2 = size > 1 ? data[size - 2] : 0;

    fat.ReadPartitions();
    fat.ReadDirectory(0);
    fat.ReadDirectory(knob2);
    std::vector<uint8_t> listing(2048);
    fat.GetCBMDir(listing.data(), (u32)listing.size());

    for (const char* n : kNames) {
        fat.GetFileCluster(n);
        uint32_t length = fat.GetFileSize(n);
        if (length > 65536) length = 65536;
        std::vector<uint8_t> dest(length + 1);
        fat.ReadFile(n, dest.data(), length);
        if (fat.OpenFile(1, n, 1) == 0) {
            uint8_t b;
            for (int i = 0; i < 70000 && fat.ReadNextFileByte(1, &b) == 0; i++) {
            }
            fat.CloseFile(1);
        }
    }

    if (fat.OpenFile(2, "NEW     .PRG", 3) == 0) {
        uint32_t count = (uint32_t)knob * 37 + knob2;
        for (uint32_t i = 0; i < count; i++) fat.WriteNextFileByte(2, (uint8_t)i);
        fat.CloseFile(2);
    }
    uint8_t b;
    if (fat.OpenFile(3, "NEW     .PRG", 1) == 0) {
        while (fat.ReadNextFileByte(3, &b) == 0) {
        }
        fat.CloseFile(3);
    }
    fat.RenameFile("NEW.PRG", "RENAMED.PRG");
    fat.RenameFile(kNames[knob % 8], "OTHER.PRG");
    fat.DeleteFile("RENAMED.PRG");
    fat.DeleteFile(kNames[knob2 % 8]);
    // The tree calls: long names listed, found, written, renamed, removed.
    tarn::filesystem::FatEntryInfo info;
    for (uint32_t i = 0; i < 64 && fat.ListDirectory(0, i, &info) == 0; i++) {
        std::vector<uint8_t> whole(info.size < 65536 ? info.size + 1 : 1);
        uint32_t got = 0;
        fat.ReadWholeFile(info, whole.data(), (uint32_t)whole.size(), &got);
        if ((info.attributes & 0x10) && info.firstCluster) fat.ListDirectory(info.firstCluster, knob2 % 4, &info);
    }
    fat.FindEntry(0, "long.prg", &info);
    const uint8_t text[] = "a long file name's bytes";
    fat.WriteWholeFile(0, "A Long Name.prg", text, knob % sizeof text, false);
    fat.WriteWholeFile(0, "long.prg", text, knob2 % sizeof text, (knob & 2) != 0);
    if (fat.MakeDirectory(0, "Sub Directory") == 0 && fat.FindEntry(0, "sub directory", &info) == 0) {
        fat.WriteWholeFile(info.firstCluster, "inner file.seq", text, sizeof text, false);
        fat.RemoveDirectory(0, "Sub Directory");
        fat.DeleteEntry(info.firstCluster, "INNER FILE.SEQ");
        fat.RemoveDirectory(0, "Sub Directory");
    }
    fat.RenameEntry(0, "A Long Name.prg", "Another Long Name.seq");
    fat.DeleteEntry(0, "another long name.SEQ");
    fat.FreeClusters();
    uint32_t c;
    if (knob & 1) fat.AllocateCluster(&c);
    fat.GetCBMDir(listing.data(), (u32)listing.size());
    fat.ReadDirectory(0);
    if (consistent && fat.CheckConsistency() != Fat32::kOk) __builtin_trap();
    return 0;
}

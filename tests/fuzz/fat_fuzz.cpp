// libFuzzer target: reads the partition table of an arbitrary disk image,
// mounts its first FAT partition and runs listings, lookups, reads,
// creates, writes, renames and deletes on it. The disk is a direct sector
// source over the input; the console is a sink that still walks every
// format and its arguments.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "drivers/block_device.h"
#include "filesystem/fat.h"
#include "filesystem/partitions.h"

using tarn::drivers::BlockDevice;
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

namespace {

// The input is the start of a disk as large as its volume claims (up to a
// cap): sectors past the input read as zeros until written.
class MemoryDisk : public BlockDevice {
public:
    static constexpr uint64_t kMaxSectors = 1u << 17;  // 64 MiB

    MemoryDisk(const uint8_t* data, size_t size) : bytes((size + 511) / 512 * 512, 0) {
        if (size) std::memcpy(bytes.data(), data, size);
        sectors = bytes.size() / 512 + 8;
    }
    // The volume as the partition and its boot sector describe it: no
    // write may land outside it.
    void Volume(const tarn::filesystem::Partition& p) {
        first = p.firstSector;
        end = first;
        if (first * 512 + 512 > bytes.size()) return;
        const uint8_t* boot = bytes.data() + (size_t)first * 512;
        uint32_t total = boot[19] | (boot[20] << 8);
        if (total == 0) total = Le32(boot + 32);
        end = first + total;
        if (p.sectorCount && first + p.sectorCount < end) end = first + p.sectorCount;
        if (end > sectors) sectors = end < kMaxSectors ? end : kMaxSectors;
    }
    static uint32_t Le32(const uint8_t* p) {
        return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
    }
    u32 SectorSize() const override { return 512; }
    u64 SectorCount() const override { return sectors; }
    Status ReadSectors(u64 lba, u32 count, u8* data) override {
        if (lba + count > sectors) return kOutOfRange;
        for (u32 i = 0; i < count; i++, lba++, data += 512) {
            if (lba * 512 + 512 > bytes.size()) std::memset(data, 0, 512);
            else std::memcpy(data, bytes.data() + (size_t)lba * 512, 512);
        }
        return kOk;
    }
    Status WriteSectors(u64 lba, u32 count, const u8* data) override {
        if (lba + count > sectors) return kOutOfRange;
        for (u32 i = 0; i < count; i++, lba++, data += 512) {
            if (lba < first || lba >= end) __builtin_trap();  // wrote outside the volume
            if (lba * 512 + 512 > bytes.size()) bytes.resize((size_t)lba * 512 + 512, 0);
            std::memcpy(bytes.data() + (size_t)lba * 512, data, 512);
        }
        return kOk;
    }
    const char* Name() const override { return "FUZZ"; }
    std::vector<uint8_t> bytes;
    uint64_t sectors = 0;
    uint64_t first = 1, end = 0;  // no volume: every write is wrong
};

const char* const kNames[] = {"FILE.PRG", "A.PRG", "PROG.PRG", "SUB", "LONGNA~1.PRG", "?ILE.PRG", "HELLO.TXT",
                              "NEW.PRG"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20)) return 0;
    MemoryDisk disk(data, size);
    tarn::filesystem::PartitionList list;
    tarn::filesystem::ReadPartitionTable(&disk, &list);
    tarn::filesystem::Partition part{0, 0, 0, 0, false, false};
    for (uint32_t i = 0; i < list.count; i++)
        if (list.entries[i].mayHoldFat) {
            part = list.entries[i];
            break;
        }
    disk.Volume(part);
    Fat32 fat(&disk, part);
    // What the fuzzer can see besides a crash: a volume that was consistent
    // before the operations is consistent after them.
    bool consistent = fat.CheckConsistency() == Fat32::kOk;
    // A few knobs from the input's tail so runs differ beyond the image.
    uint8_t knob = size ? data[size - 1] : 0;
    uint8_t knob2 = size > 1 ? data[size - 2] : 0;
    char label[12];
    fat.Label(label);
    uint8_t piece[512];
    fat.ReadPiece(knob2, piece);

    for (const char* n : kNames) {
        tarn::filesystem::FatEntryInfo found;
        if (fat.FindEntry(0, n, &found) != 0) continue;
        uint32_t length = found.size > 65536 ? 65536 : found.size;
        std::vector<uint8_t> dest(length + 1);
        uint32_t got = 0;
        fat.ReadWholeFile(found, dest.data(), length, &got);
    }
    std::vector<uint8_t> written((uint32_t)knob * 37 + knob2, 0x5A);
    fat.WriteWholeFile(0, "NEW.PRG", written.data(), (uint32_t)written.size(), (knob & 4) != 0);
    fat.RenameEntry(0, "NEW.PRG", "RENAMED.PRG");
    fat.RenameEntry(0, kNames[knob % 8], "OTHER.PRG");
    fat.DeleteEntry(0, "RENAMED.PRG");
    fat.DeleteEntry(0, kNames[knob2 % 8]);
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
    if (consistent && fat.CheckConsistency() != Fat32::kOk) __builtin_trap();
    return 0;
}

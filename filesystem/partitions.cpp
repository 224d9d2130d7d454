// MBR and GPT partition tables.
#include "filesystem/partitions.h"

#include "lib/crc32.h"

namespace tarn {
namespace filesystem {

namespace {
using drivers::BlockDevice;

// MBR.
const u32 kMbrEntries = 446;      // four 16-byte entries
const u32 kMbrEntryBytes = 16;
const u32 kMbrSignature = 510;    // 0x55 0xAA
const u32 kPartType = 4;
const u32 kPartFirstSector = 8;
const u32 kPartSectors = 12;
const u8 kTypeExtendedChs = 0x05;
const u8 kTypeExtendedLba = 0x0F;
const u8 kTypeExtendedLinux = 0x85;
const u8 kTypeProtective = 0xEE;
const u8 kTypeEfiSystem = 0xEF;

// GPT header.
const u8 kGptSignature[8] = {'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'};
const u32 kHdrSize = 12;
const u32 kHdrCrc = 16;
const u32 kHdrMyLba = 24;
const u32 kHdrAlternateLba = 32;
const u32 kHdrEntriesLba = 72;
const u32 kHdrEntryCount = 80;
const u32 kHdrEntrySize = 84;
const u32 kHdrEntriesCrc = 88;
const u32 kHdrMinSize = 92;
const u32 kMostEntries = 4096;    // 512 KiB of entries at most are read
// GPT entry.
const u32 kEntryMinSize = 128;
const u32 kEntryFirstLba = 32;
const u32 kEntryLastLba = 40;

// Type GUIDs as stored (the first three fields little-endian).
const u8 kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                           0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
const u8 kEfiSystem[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                           0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};

u32 Le32(const u8* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((u32)p[3] << 24); }
u64 Le64(const u8* p) { return Le32(p) | (u64)Le32(p + 4) << 32; }
bool Same(const u8* a, const u8* b, u32 n) {
    for (u32 i = 0; i < n; i++)
        if (a[i] != b[i]) return false;
    return true;
}
bool AllZero(const u8* p, u32 n) {
    for (u32 i = 0; i < n; i++)
        if (p[i]) return false;
    return true;
}

// One sector of the disk on the heap, freed when it goes out of scope.
class SectorBuffer {
public:
    explicit SectorBuffer(u32 size) : bytes(new u8[size]) {}
    ~SectorBuffer() { delete[] bytes; }
    u8* bytes;
};

struct GptHeader {
    u64 alternate;
    u64 entriesLba;
    u32 entryCount;
    u32 entrySize;
    u32 entriesCrc;
};

// The header at lba, checked: signature, size, CRC, its own position and
// an entry array that fits the disk.
bool ReadGptHeader(BlockDevice* disk, u64 lba, u8* sector, GptHeader* out) {
    u32 size = disk->SectorSize();
    if (disk->ReadSectors(lba, 1, sector) != BlockDevice::kOk) return false;
    if (!Same(sector, kGptSignature, 8)) return false;
    u32 headerSize = Le32(sector + kHdrSize);
    if (headerSize < kHdrMinSize || headerSize > size) return false;
    u32 stored = Le32(sector + kHdrCrc);
    for (u32 i = 0; i < 4; i++) sector[kHdrCrc + i] = 0;
    if (Crc32(sector, headerSize) != stored) return false;
    if (Le64(sector + kHdrMyLba) != lba) return false;
    out->alternate = Le64(sector + kHdrAlternateLba);
    out->entriesLba = Le64(sector + kHdrEntriesLba);
    out->entryCount = Le32(sector + kHdrEntryCount);
    out->entrySize = Le32(sector + kHdrEntrySize);
    out->entriesCrc = Le32(sector + kHdrEntriesCrc);
    if (out->entrySize < kEntryMinSize || out->entrySize % kEntryMinSize || out->entrySize > size) return false;
    if (out->entryCount == 0 || out->entryCount > kMostEntries) return false;
    u64 sectors = ((u64)out->entryCount * out->entrySize + size - 1) / size;
    u64 count = disk->SectorCount();
    return out->entriesLba >= 1 && out->entriesLba < count && sectors <= count - out->entriesLba;
}

// The entry array, its CRC checked; partitions go to out only when it holds.
bool ReadGptEntries(BlockDevice* disk, const GptHeader& h, u8* sector, PartitionList* out) {
    u32 size = disk->SectorSize();
    u32 perSector = size / h.entrySize;
    u32 crc = 0;
    u32 found = 0;
    Partition kept[PartitionList::kMost];
    u64 diskSectors = disk->SectorCount();
    for (u32 index = 0; index < h.entryCount; index += perSector) {
        if (disk->ReadSectors(h.entriesLba + index / perSector, 1, sector) != BlockDevice::kOk) return false;
        u32 inSector = h.entryCount - index < perSector ? h.entryCount - index : perSector;
        crc = Crc32(sector, inSector * h.entrySize, crc);
        for (u32 k = 0; k < inSector; k++) {
            const u8* e = sector + k * h.entrySize;
            if (AllZero(e, 16) || found == PartitionList::kMost) continue;
            u64 first = Le64(e + kEntryFirstLba), last = Le64(e + kEntryLastLba);
            if (first == 0 || last < first || last >= diskSectors) continue;
            Partition& p = kept[found++];
            p.index = index + k;
            p.firstSector = first;
            p.sectorCount = last - first + 1;
            p.mbrType = 0;
            p.efiSystem = Same(e, kEfiSystem, 16);
            p.mayHoldFat = p.efiSystem || Same(e, kBasicData, 16);
        }
    }
    if (crc != h.entriesCrc) return false;
    out->count = found;
    for (u32 i = 0; i < found; i++) out->entries[i] = kept[i];
    return true;
}

bool ReadGpt(BlockDevice* disk, u64 headerLba, u8* sector, PartitionList* out, GptHeader* header) {
    return ReadGptHeader(disk, headerLba, sector, header) && ReadGptEntries(disk, *header, sector, out);
}

void ReadMbr(const u8* mbr, PartitionList* out) {
    out->table = PartitionTable::kMbr;
    for (u32 i = 0; i < 4; i++) {
        const u8* e = mbr + kMbrEntries + kMbrEntryBytes * i;
        u8 type = e[kPartType];
        if (type == 0) continue;
        Partition& p = out->entries[out->count++];
        p.index = i;
        p.firstSector = Le32(e + kPartFirstSector);
        p.sectorCount = Le32(e + kPartSectors);
        p.mbrType = type;
        p.efiSystem = type == kTypeEfiSystem;
        // Logical partitions inside an extended one are not followed.
        p.mayHoldFat = type != kTypeExtendedChs && type != kTypeExtendedLba && type != kTypeExtendedLinux;
    }
}
}  // namespace

void ReadPartitionTable(BlockDevice* disk, PartitionList* out) {
    out->count = 0;
    out->table = PartitionTable::kUnreadable;
    if (!disk || disk->SectorSize() < 512 || disk->SectorCount() < 2) return;
    SectorBuffer sector(disk->SectorSize());
    if (!sector.bytes || disk->ReadSectors(0, 1, sector.bytes) != BlockDevice::kOk) return;
    out->table = PartitionTable::kNone;
    if (sector.bytes[kMbrSignature] != 0x55 || sector.bytes[kMbrSignature + 1] != 0xAA) return;
    bool protective = false;
    for (u32 i = 0; i < 4; i++)
        if (sector.bytes[kMbrEntries + kMbrEntryBytes * i + kPartType] == kTypeProtective) protective = true;
    if (!protective) {
        ReadMbr(sector.bytes, out);
        return;
    }
    GptHeader header;
    if (ReadGpt(disk, 1, sector.bytes, out, &header)) {
        out->table = PartitionTable::kGpt;
        return;
    }
    // The backup header sits in the disk's last sector.
    if (ReadGpt(disk, disk->SectorCount() - 1, sector.bytes, out, &header)) out->table = PartitionTable::kGptBackup;
}

const char* TableName(PartitionTable table) {
    switch (table) {
    case PartitionTable::kUnreadable: return "unreadable";
    case PartitionTable::kNone: return "none";
    case PartitionTable::kMbr: return "MBR";
    case PartitionTable::kGpt: return "GPT";
    case PartitionTable::kGptBackup: return "GPT (backup)";
    }
    return "";
}

}  // namespace filesystem
}  // namespace tarn

// FAT32 volume: mounting from the MBR, the FAT cache, the cluster-chain
// walker, lookups and the printed partition report and directory listing.
#include "filesystem/fat.h"

#include "filesystem/fat_internal.h"
#include "lib/stdio.h"

namespace kestrel {
namespace filesystem {

using namespace fatfs;

namespace {
const u32 kMbrEntries = 446;      // four 16-byte partition entries
const u32 kMbrEntryBytes = 16;
const u32 kPartStatus = 0;        // 0x80 bootable
const u32 kPartType = 4;          // 0 = unused
const u32 kPartFirstSector = 8;
const u32 kPartSectors = 12;

// Boot sector fields.
const u32 kBpbBytesPerSector = 11;
const u32 kBpbSectorsPerCluster = 13;
const u32 kBpbReservedSectors = 14;
const u32 kBpbNumberOfFats = 16;
const u32 kBpbRootEntries = 17;     // 0 on FAT32
const u32 kBpbTotalSectors16 = 19;
const u32 kBpbSectorsPerFat16 = 22; // 0 on FAT32
const u32 kBpbTotalSectors32 = 32;
const u32 kBpbSectorsPerFat32 = 36;
const u32 kBpbRootCluster = 44;
const u32 kBpbFsInfo = 48;

// FSInfo sector.
const u32 kFsInfoLeadSig = 0x41615252;
const u32 kFsInfoStructSig = 0x61417272;
const u32 kFsInfoStructSigAt = 484;

// Largest FAT kept in memory (a volume of about 4 million clusters).
const u32 kMaxFatSectors = 32768;

bool Equal(const char* a, const char* b) {
    while (*a && *a == *b) { a++; b++; }
    return *a == *b;
}

// Decimal text of a signed value.
void Decimal(i32 value, char* out) {
    char tmp[12];
    int n = 0;
    u32 mag = value < 0 ? 0u - (u32)value : (u32)value;
    do { tmp[n++] = (char)('0' + mag % 10); mag /= 10; } while (mag);
    int o = 0;
    if (value < 0) out[o++] = '-';
    while (n) out[o++] = tmp[--n];
    out[o] = 0;
}
}  // namespace

Fat32::Fat32(drivers::AdvancedTechnologyAttachment* disk, u8 partition)
    : ata(disk), partitionIndex(partition), endOfChain(0), fatStart(0), dataStart(0),
      rootDirStart(0), fatTable(nullptr), currentSector(0), fatCache(nullptr), sectorCtr(0),
      dataCluster(0), clustersWalked(0), previousSector(0), mbrRead(false), volumeMounted(false),
      diskError(false), partitionStart(0), bytesPerSector(0), sectorsPerCluster(0),
      reservedSectors(0), numberOfFats(0), sectorsPerFat(0), rootCluster(0), lastCluster(0),
      fsInfoSector(0), freeClusters(0) {
    Fill(mbr, 0, sizeof mbr);
    Fill(bootSector, 0, sizeof bootSector);
    Fill(buffer, 0, sizeof buffer);
    for (int i = 0; i < kHandles; i++) {
        openFiles[i].data = nullptr;
        ResetOpenFileListEntry((u8)i);
    }
    volumeMounted = Mount();
    if (!volumeMounted && fatCache) {
        delete[] fatCache;
        fatCache = fatTable = nullptr;
    }
}

Fat32::~Fat32() {
    for (int i = 0; i < kHandles; i++) ResetOpenFileListEntry((u8)i);
    delete[] fatCache;
}

bool Fat32::Mount() {
    if (!ata || partitionIndex > 3) return false;
    if (ata->ReadSector(0, mbr, kSectorBytes) != 0) return false;
    mbrRead = true;
    const u8* part = mbr + kMbrEntries + kMbrEntryBytes * partitionIndex;
    if (part[kPartType] == 0) return false;
    partitionStart = Le32(part + kPartFirstSector);
    if (ata->ReadSector(partitionStart, bootSector, sizeof bootSector) != 0) return false;

    bytesPerSector = Le16(bootSector + kBpbBytesPerSector);
    sectorsPerCluster = bootSector[kBpbSectorsPerCluster];
    reservedSectors = Le16(bootSector + kBpbReservedSectors);
    numberOfFats = bootSector[kBpbNumberOfFats];
    sectorsPerFat = Le32(bootSector + kBpbSectorsPerFat32);
    rootCluster = Le32(bootSector + kBpbRootCluster);
    u32 total = Le16(bootSector + kBpbTotalSectors16);
    if (total == 0) total = Le32(bootSector + kBpbTotalSectors32);

    // Only FAT32 with 512-byte sectors is understood.
    if (bytesPerSector != kSectorBytes) return false;
    if (sectorsPerCluster == 0 || (sectorsPerCluster & (sectorsPerCluster - 1))) return false;
    if (reservedSectors == 0 || numberOfFats == 0) return false;
    if (Le16(bootSector + kBpbRootEntries) != 0 || Le16(bootSector + kBpbSectorsPerFat16) != 0)
        return false;
    if (sectorsPerFat == 0 || sectorsPerFat > kMaxFatSectors) return false;
    u32 partSectors = Le32(part + kPartSectors);
    if (partSectors != 0 && total > partSectors) return false;

    u64 fatRegion = (u64)reservedSectors + (u64)numberOfFats * sectorsPerFat;
    if (fatRegion >= total) return false;
    if ((u64)partitionStart + total > 0xFFFFFFFFull) return false;
    u32 dataClusters = (u32)((total - fatRegion) / sectorsPerCluster);
    if (dataClusters == 0) return false;
    u64 last = (u64)dataClusters + 1;
    u64 fatEntries = (u64)sectorsPerFat * (kSectorBytes / 4);
    if (last > fatEntries - 1) last = fatEntries - 1;
    if (last > 0x0FFFFFF6) last = 0x0FFFFFF6;
    if (last < 2) return false;
    lastCluster = (u32)last;
    if (rootCluster < 2 || rootCluster > lastCluster) return false;

    fatStart = partitionStart + reservedSectors;
    dataStart = fatStart + numberOfFats * sectorsPerFat;
    rootDirStart = ClusterSector(rootCluster);

    fatCache = new u8[sectorsPerFat * bytesPerSector];
    if (!fatCache) return false;
    fatTable = fatCache;
    Fill(fatCache, 0, sectorsPerFat * bytesPerSector);
    diskError = false;
    LoadFAT();
    if (diskError) return false;
    freeClusters = CountFreeClusters();

    u32 fsInfo = Le16(bootSector + kBpbFsInfo);
    if (fsInfo >= 1 && fsInfo < reservedSectors) {
        u8 sector[kSectorBytes];
        if (ata->ReadSector(partitionStart + fsInfo, sector, kSectorBytes) == 0 &&
            Le32(sector) == kFsInfoLeadSig && Le32(sector + kFsInfoStructSigAt) == kFsInfoStructSig)
            fsInfoSector = partitionStart + fsInfo;
    }
    return true;
}

// The whole first FAT is loaded: free-looking sectors can be followed by
// clusters in use, and allocation must see them.
void Fat32::LoadFAT() {
    if (!fatCache) return;
    for (u32 i = 0; i < sectorsPerFat; i++) {
        if (ata->ReadSector(fatStart + i, fatCache + i * bytesPerSector, (int)bytesPerSector) != 0) {
            diskError = true;
            return;
        }
    }
}

u32 Fat32::ClusterSector(u32 cluster) const {
    return dataStart + sectorsPerCluster * (cluster - 2);
}

u32 Fat32::FatEntry(u32 cluster) const { return Le32(fatTable + cluster * 4); }

void Fat32::SetFatEntry(u32 cluster, u32 value) { Put32(fatTable + cluster * 4, value); }

u32 Fat32::CountFreeClusters() const {
    u32 n = 0;
    for (u32 c = 2; c <= lastCluster; c++)
        if (FatEntry(c) == 0) n++;
    return n;
}

u8* Fat32::ReadNextSectorInChain(u32 cluster) {
    if (!volumeMounted) {
        endOfChain = 1;
        return nullptr;
    }
    if (cluster != 0) {
        endOfChain = 0;
        sectorCtr = 0;
        dataCluster = cluster;
        clustersWalked = 0;
        previousSector = 0;
        if (cluster < 2 || cluster > lastCluster) {
            endOfChain = 1;
            return nullptr;
        }
    } else if (endOfChain) {
        return nullptr;
    }
    if (sectorCtr >= sectorsPerCluster) {
        u32 next = FatEntry(dataCluster);
        // A chain that leaves the volume or runs longer than the volume has
        // clusters (a loop) is treated as ended.
        if (next > 0x0FFFFFF7 || next < 2 || next > lastCluster || ++clustersWalked > lastCluster) {
            endOfChain = 1;
            return nullptr;
        }
        dataCluster = next;
        sectorCtr = 0;
    }
    u32 sector = ClusterSector(dataCluster) + sectorCtr;
    previousSector = sectorCtr == 0 && clustersWalked == 0 ? 0 : currentSector;
    currentSector = sector;
    if (ata->ReadSector(sector, buffer, kSectorBytes) != 0) {
        diskError = true;
        endOfChain = 1;
        return nullptr;
    }
    sectorCtr++;
    return buffer;
}

void Fat32::ReadSector(u32 sector, u8* out) {
    if (!ata) return;
    currentSector = sector;
    if (ata->ReadSector(sector, out, kSectorBytes) != 0) diskError = true;
}

void Fat32::BuildPaddedName(const u8* entry, char* out) const {
    for (int i = 0; i < 8; i++) out[i] = (char)entry[kDirName + i];
    if (entry[0] == kEntryKanji) out[0] = (char)kEntryDeleted;
    out[8] = '.';
    for (int i = 0; i < 3; i++) out[9 + i] = (char)entry[kDirExt + i];
    out[12] = 0;
}

const u8* Fat32::FindRootFile(const char* name) {
    if (!volumeMounted) return nullptr;
    endOfChain = 0;
    for (u8* s = ReadNextSectorInChain(rootCluster); s; s = ReadNextSectorInChain(0)) {
        for (u32 i = 0; i < kEntriesPerSector; i++) {
            const u8* e = s + i * kEntryBytes;
            if (e[0] == kEntryFree || e[0] == kEntryDeleted) continue;
            if (e[kDirAttr] & (kAttrVolumeLabel | kAttrDirectory)) continue;
            char padded[13];
            BuildPaddedName(e, padded);
            if (Equal(padded, name)) return e;
        }
    }
    return nullptr;
}

u32 Fat32::GetFileCluster(const char* name) {
    const u8* e = FindRootFile(name);
    return e ? EntryCluster(e) : 0;
}

u32 Fat32::GetFileSize(const char* name) {
    const u8* e = FindRootFile(name);
    return e ? Le32(e + kDirSize) : 0;
}

u8 Fat32::ParseFilename(const char* src, u8* name, u8* ext) {
    u32 len = Length(src);
    if (len > 12) return kNotFound;
    Fill(name, ' ', 8);
    Fill(ext, ' ', 3);
    u32 dot = 0;
    while (src[dot] && src[dot] != '.') dot++;
    if (src[dot] != '.') return kNotFound;
    if (len - 4 != dot || dot == 0) return kNotFound;
    Copy(name, (const u8*)src, dot);
    Copy(ext, (const u8*)src + dot + 1, 3);
    return kOk;
}

void Fat32::ReadPartitions() {
    if (!mbrRead) return;
    static const char kRule[] = "----------------------------------------------------------\n";
    printf("\n\nPartition table\n");
    printf(kRule);
    printf("Part # | Bootable | Type |                                \n");
    printf(kRule);
    for (u32 i = 0; i < 4; i++) {
        const u8* part = mbr + kMbrEntries + kMbrEntryBytes * i;
        printf("  %02X       ", i + 1);
        if (part[kPartStatus] == 0x00) printf("N");
        if (part[kPartStatus] == 0x80) printf("Y");
        printf("         %02X\n", part[kPartType]);
    }
    if (!volumeMounted) return;
    printf("\nBytes per sector   : %d", bytesPerSector);
    printf("\nSectors per cluster: %d", sectorsPerCluster);
    printf("\n\nFAT Start          : %06X", fatStart);
    printf("\nData Start         : %06X", dataStart);
    printf("\nRoot cluster       : %06X", rootCluster);
    printf("\nRoot directory     : %06X", rootDirStart);
}

void Fat32::ReadDirectory(u32 cluster) {
    if (!volumeMounted) return;
    if (cluster == 0) cluster = rootCluster;
    char label[12];
    for (int i = 0; i < 11; i++) label[i] = ' ';
    label[11] = 0;
    endOfChain = 0;
    for (u8* s = ReadNextSectorInChain(cluster); s; s = ReadNextSectorInChain(0)) {
        u8 entries[kSectorBytes];
        Copy(entries, s, kSectorBytes);
        for (u32 i = 0; i < kEntriesPerSector; i++) {
            u8* e = entries + i * kEntryBytes;
            if (e[0] == kEntryFree) return;
            if (e[0] == kEntryDeleted) continue;
            if (e[0] == kEntryKanji) e[0] = kEntryDeleted;
            if (e[kDirAttr] & kAttrVolumeLabel) {
                for (int k = 0; k < 11; k++) label[k] = (char)e[k];
                printf("\n\nVolume Label: %s\n", label);
                continue;
            }
            bool dir = (e[kDirAttr] & kAttrDirectory) != 0;
            char name[9];
            for (int k = 0; k < 8; k++) name[k] = (char)e[k];
            name[8] = 0;
            printf("\n");
            if (dir) printf("<");
            printf("%s", name);
            if (dir) {
                printf(">");
            } else {
                char ext[5];
                for (int k = 0; k < 4; k++) ext[k] = (char)e[kDirExt + k];
                ext[4] = 0;
                printf(".%s", ext);
            }
            u16 date = Le16(e + kDirDate);
            u16 time = Le16(e + kDirTime);
            printf("   %d-%d-%d", (date >> 5) & 0x0F, date & 0x1F, 1980 + (date >> 9));
            printf(" %d:%d", time >> 11, (time >> 5) & 0x3F);
            u32 first = EntryCluster(e);
            printf("     %06X", first);
            printf("     %06X", ClusterSector(first));
            printf("   ");
            char size[12];
            Decimal((i32)Le32(e + kDirSize), size);
            printf("  %s", size);
        }
    }
}

}  // namespace filesystem
}  // namespace kestrel

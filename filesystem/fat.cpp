// FAT32 volume: mounting from the MBR, the FAT cache, the cluster-chain
// walker, lookups and the printed partition report and directory listing.
#include "filesystem/fat.h"

#include "filesystem/fat_internal.h"
#include "lib/stdio.h"

namespace tarn {
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
      dataCluster(0), clustersWalked(0), walkLimit(0), dirSector(0), dirDirty(false), slotDir(0),
      slotIndex(0), slotCluster(0), slotLimit(0), mbrRead(false), volumeMounted(false),
      diskError(false), mountProblem(""), partitionStart(0), bytesPerSector(0), sectorsPerCluster(0),
      reservedSectors(0), numberOfFats(0), sectorsPerFat(0), rootCluster(0), lastCluster(0),
      fsInfoSector(0), freeClusters(0) {
    Fill(mbr, 0, sizeof mbr);
    Fill(bootSector, 0, sizeof bootSector);
    Fill(buffer, 0, sizeof buffer);
    Fill(dirBuffer, 0, sizeof dirBuffer);
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

bool Fat32::Refuse(const char* problem) {
    mountProblem = problem;
    return false;
}

// The layout is checked as fsck.fat checks it before anything is written:
// a volume that fails one test is left alone.
bool Fat32::Mount() {
    if (!ata || partitionIndex > 3) return false;
    if (ata->ReadSector(0, mbr, kSectorBytes) != 0) return false;
    mbrRead = true;
    const u8* part = mbr + kMbrEntries + kMbrEntryBytes * partitionIndex;
    if (part[kPartType] == 0) return false;
    partitionStart = Le32(part + kPartFirstSector);
    if (ata->ReadSector(partitionStart, bootSector, sizeof bootSector) != 0)
        return Refuse("boot sector unreadable");

    bytesPerSector = Le16(bootSector + kBpbBytesPerSector);
    sectorsPerCluster = bootSector[kBpbSectorsPerCluster];
    reservedSectors = Le16(bootSector + kBpbReservedSectors);
    numberOfFats = bootSector[kBpbNumberOfFats];
    sectorsPerFat = Le32(bootSector + kBpbSectorsPerFat32);
    rootCluster = Le32(bootSector + kBpbRootCluster);
    u32 total = Le16(bootSector + kBpbTotalSectors16);
    if (total == 0) total = Le32(bootSector + kBpbTotalSectors32);

    // Only FAT32 with 512-byte sectors is understood.
    if (bytesPerSector != kSectorBytes) return Refuse("sector size not 512");
    if (sectorsPerCluster == 0 || (sectorsPerCluster & (sectorsPerCluster - 1)))
        return Refuse("cluster size not a power of two");
    if (reservedSectors == 0) return Refuse("no reserved sectors");
    if (numberOfFats != 1 && numberOfFats != 2) return Refuse("not 1 or 2 FATs");
    if (Le16(bootSector + kBpbRootEntries) != 0 || Le16(bootSector + kBpbSectorsPerFat16) != 0)
        return Refuse("not FAT32");
    if (sectorsPerFat == 0 || sectorsPerFat > kMaxFatSectors) return Refuse("FAT size");
    u32 partSectors = Le32(part + kPartSectors);
    if (partSectors != 0 && total > partSectors) return Refuse("volume larger than its partition");
    if ((u64)partitionStart + total > 0xFFFFFFFFull) return Refuse("volume beyond 2 TiB");
    u32 diskSectors = ata->SectorCount();
    if (diskSectors != 0 && (u64)partitionStart + total > diskSectors)
        return Refuse("partition beyond the disk's end");

    u64 fatRegion = (u64)reservedSectors + (u64)numberOfFats * sectorsPerFat;
    if (fatRegion >= total) return Refuse("no data area");
    u32 dataClusters = (u32)((total - fatRegion) / sectorsPerCluster);
    if (dataClusters == 0) return Refuse("no data area");
    u64 last = (u64)dataClusters + 1;
    u64 fatEntries = (u64)sectorsPerFat * (kSectorBytes / 4);
    if (last > fatEntries - 1) return Refuse("FAT too small for the clusters");
    if (last > 0x0FFFFFF6) return Refuse("too many clusters");
    lastCluster = (u32)last;
    if (rootCluster < 2 || rootCluster > lastCluster) return Refuse("root cluster outside the volume");

    fatStart = partitionStart + reservedSectors;
    dataStart = fatStart + numberOfFats * sectorsPerFat;
    rootDirStart = ClusterSector(rootCluster);

    fatCache = new u8[sectorsPerFat * bytesPerSector];
    if (!fatCache) return Refuse("no memory for the FAT");
    fatTable = fatCache;
    Fill(fatCache, 0, sectorsPerFat * bytesPerSector);
    diskError = false;
    LoadFAT();
    if (diskError) return Refuse("FAT unreadable");
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

u32 Fat32::FatEntry(u32 cluster) const { return Le32(fatTable + cluster * 4) & kClusterMask; }

// The top four bits of an entry are reserved and kept as they were.
void Fat32::SetFatEntry(u32 cluster, u32 value) {
    u32 kept = Le32(fatTable + cluster * 4) & ~kClusterMask;
    Put32(fatTable + cluster * 4, kept | (value & kClusterMask));
    ForgetChainCache();
}

// The cluster after this one, or 0 where the chain ends: an end mark, a bad
// or free cluster, anything outside the data area.
u32 Fat32::NextInChain(u32 cluster) const {
    u32 next = FatEntry(cluster);
    return IsDataCluster(next) ? next : 0;
}

// Distinct clusters of the chain from first: a loop counts each of its
// clusters once (Brent's cycle finding, in the FAT held in memory), so
// every walk is bounded by the volume's size and reads no cluster twice.
u32 Fat32::ChainLength(u32 first) const {
    if (!IsDataCluster(first)) return 0;
    u32 power = 1, lambda = 1, steps = 1;
    u32 tortoise = first, hare = NextInChain(first);
    while (hare && hare != tortoise) {
        steps++;
        if (power == lambda) {
            tortoise = hare;
            power *= 2;
            lambda = 0;
        }
        hare = NextInChain(hare);
        lambda++;
    }
    if (!hare) return steps;
    // A loop of lambda clusters; mu clusters lead into it.
    u32 a = first, b = first;
    for (u32 i = 0; i < lambda; i++) b = NextInChain(b);
    u32 mu = 0;
    while (a != b) {
        a = NextInChain(a);
        b = NextInChain(b);
        mu++;
    }
    return mu + lambda;
}

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
        walkLimit = ChainLength(cluster);
        if (!IsDataCluster(cluster)) {
            endOfChain = 1;
            return nullptr;
        }
    } else if (endOfChain) {
        return nullptr;
    }
    if (sectorCtr >= sectorsPerCluster) {
        u32 next = NextInChain(dataCluster);
        // A chain that leaves the volume or comes back on itself ends.
        if (next == 0 || ++clustersWalked >= walkLimit) {
            endOfChain = 1;
            return nullptr;
        }
        dataCluster = next;
        sectorCtr = 0;
    }
    u32 sector = ClusterSector(dataCluster) + sectorCtr;
    currentSector = sector;
    if (ata->ReadSector(sector, buffer, kSectorBytes) != 0) {
        diskError = true;
        endOfChain = 1;
        return nullptr;
    }
    sectorCtr++;
    return buffer;
}

u8 Fat32::ReadSector(u32 sector, u8* out) {
    if (!ata) return kNotMounted;
    currentSector = sector;
    if (ata->ReadSector(sector, out, kSectorBytes) == 0) return kOk;
    diskError = true;
    return kDiskError;
}

void Fat32::BuildPaddedName(const u8* entry, char* out) const {
    for (int i = 0; i < 8; i++) out[i] = (char)entry[kDirName + i];
    if (entry[0] == kEntryKanji) out[0] = (char)kEntryDeleted;
    out[8] = '.';
    for (int i = 0; i < 3; i++) out[9 + i] = (char)entry[kDirExt + i];
    out[12] = 0;
}

bool Fat32::FindRootFile(const char* name, FatEntryInfo* info, EntryPlace* place) {
    if (!volumeMounted) return false;
    u32 slot = 0;
    while (NextEntry(rootCluster, &slot, info, place)) {
        if (info->attributes & (kAttrVolumeLabel | kAttrDirectory)) continue;
        char padded[13];
        BuildPaddedName(info->shortName, padded);
        if (Equal(padded, name)) return true;
    }
    return false;
}

u32 Fat32::GetFileCluster(const char* name) {
    FatEntryInfo info;
    EntryPlace place;
    return FindRootFile(name, &info, &place) ? info.firstCluster : 0;
}

u32 Fat32::GetFileSize(const char* name) {
    FatEntryInfo info;
    EntryPlace place;
    return FindRootFile(name, &info, &place) ? info.size : 0;
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
    u32 slot = 0;
    FatEntryInfo info;
    EntryPlace place;
    while (NextEntry(cluster, &slot, &info, &place)) {
        const u8* e = info.shortName;
        if (info.attributes & kAttrVolumeLabel) {
            char label[12];
            for (int k = 0; k < 11; k++) label[k] = (char)e[k];
            label[11] = 0;
            printf("\n\nVolume Label: %s\n", label);
            continue;
        }
        bool dir = (info.attributes & kAttrDirectory) != 0;
        char name[9];
        for (int k = 0; k < 8; k++) name[k] = (char)e[k];
        if (e[0] == kEntryKanji) name[0] = (char)kEntryDeleted;
        name[8] = 0;
        printf("\n");
        if (dir) printf("<");
        printf("%s", name);
        if (dir) {
            printf(">");
        } else {
            // The attribute byte shows after the extension, as it always has.
            char ext[5];
            for (int k = 0; k < 3; k++) ext[k] = (char)e[kDirExt + k];
            ext[3] = (char)info.attributes;
            ext[4] = 0;
            printf(".%s", ext);
        }
        const u8* raw = DirSlot(cluster, place.slot);
        u16 date = raw ? Le16(raw + kDirDate) : 0;
        u16 time = raw ? Le16(raw + kDirTime) : 0;
        printf("   %d-%d-%d", (date >> 5) & 0x0F, date & 0x1F, 1980 + (date >> 9));
        printf(" %d:%d", time >> 11, (time >> 5) & 0x3F);
        printf("     %06X", info.firstCluster);
        printf("     %06X", ClusterSector(info.firstCluster));
        printf("   ");
        char size[12];
        Decimal((i32)info.size, size);
        printf("  %s", size);
    }
}

}  // namespace filesystem
}  // namespace tarn

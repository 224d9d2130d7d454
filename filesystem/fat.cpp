// FAT32 volume: mounting from a partition, the FAT cache, the cluster-chain
// walker and the volume's name.
#include "filesystem/fat.h"

#include "filesystem/fat_internal.h"

namespace tarn {
namespace filesystem {

using namespace fatfs;

namespace {
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
const u32 kBsSignature = 66;        // 0x29: serial, label and type follow
const u32 kBsSerial = 67;
const u32 kBsLabel = 71;
const u8 kExtendedSignature = 0x29;
const u32 kLabelBytes = 11;

// FSInfo sector.
const u32 kFsInfoLeadSig = 0x41615252;
const u32 kFsInfoStructSig = 0x61417272;
const u32 kFsInfoStructSigAt = 484;

// Largest FAT kept in memory: 16 MiB, a volume of about 4 million clusters.
const u32 kMaxFatBytes = 16u * 1024 * 1024;
const u32 kLargestSector = 4096;

void Trimmed(const u8* raw, char out[12]) {
    u32 n = 0;
    for (u32 i = 0; i < kLabelBytes; i++) out[i] = (char)raw[i];
    for (u32 i = 0; i < kLabelBytes; i++)
        if (raw[i] != ' ') n = i + 1;
    out[n] = 0;
    static const char kNoName[] = "NO NAME";
    bool none = n == sizeof kNoName - 1;
    for (u32 i = 0; none && i < n; i++)
        if (out[i] != kNoName[i]) none = false;
    if (none) out[0] = 0;
}
}  // namespace

Fat32::Fat32(drivers::BlockDevice* disk, const Partition& part)
    : io(disk), partition(part), fatStart(0), dataStart(0), fatCache(nullptr), clusterBuffer(nullptr),
      endOfChain(false), sectorCtr(0), dataCluster(0), clustersWalked(0), walkLimit(0), dirSector(0),
      dirDirty(false), slotDir(0), slotIndex(0), slotCluster(0), slotLimit(0), volumeMounted(false),
      diskError(false), mountProblem(""), partitionStart(0), bytesPerSector(0), sectorsPerCluster(0),
      sectorsPerFat(0), numberOfFats(0), rootCluster(0), lastCluster(0), fsInfoSector(0), freeClusters(0),
      serial(0) {
    Fill(bootSector, 0, sizeof bootSector);
    Fill(buffer, 0, sizeof buffer);
    Fill(dirBuffer, 0, sizeof dirBuffer);
    volumeMounted = Mount();
    if (!volumeMounted) {
        delete[] fatCache;
        delete[] clusterBuffer;
        fatCache = clusterBuffer = nullptr;
    }
}

Fat32::~Fat32() {
    delete[] fatCache;
    delete[] clusterBuffer;
}

bool Fat32::Refuse(const char* problem) {
    mountProblem = problem;
    return false;
}

bool Fat32::ReadPieces(u64 piece, u32 count, u8* out) {
    if (io.Read(piece, count, out) == drivers::BlockDevice::kOk) return true;
    diskError = true;
    return false;
}

bool Fat32::WritePieces(u64 piece, u32 count, const u8* in) {
    if (io.Write(piece, count, in) == drivers::BlockDevice::kOk) return true;
    diskError = true;
    return false;
}

// The layout is checked as fsck.fat checks it before anything is written:
// a volume that fails one test is left alone. Sector counts of the boot
// sector are the volume's own sectors (512 to 4096 bytes); they are turned
// into 512-byte pieces here.
bool Fat32::Mount() {
    if (!io.disk()) return false;
    if (!io.usable()) return Refuse("sector size not 512 or 4096");
    u32 per = io.PiecesPerSector();
    partitionStart = partition.firstSector * per;
    if (!ReadPieces(partitionStart, 1, bootSector)) return Refuse("boot sector unreadable");

    bytesPerSector = Le16(bootSector + kBpbBytesPerSector);
    u32 spc = bootSector[kBpbSectorsPerCluster];
    u32 reserved = Le16(bootSector + kBpbReservedSectors);
    numberOfFats = bootSector[kBpbNumberOfFats];
    u32 spf = Le32(bootSector + kBpbSectorsPerFat32);
    rootCluster = Le32(bootSector + kBpbRootCluster);
    u64 total = Le16(bootSector + kBpbTotalSectors16);
    if (total == 0) total = Le32(bootSector + kBpbTotalSectors32);

    // Sectors of 512 to 4096 bytes, never smaller than the disk's own.
    if (bytesPerSector < kPieceBytes || bytesPerSector > kLargestSector ||
        (bytesPerSector & (bytesPerSector - 1)) || bytesPerSector < per * kPieceBytes)
        return Refuse("sector size not 512 or 4096");
    u32 scale = bytesPerSector / kPieceBytes;
    if (spc == 0 || (spc & (spc - 1))) return Refuse("cluster size not a power of two");
    if (reserved == 0) return Refuse("no reserved sectors");
    if (numberOfFats != 1 && numberOfFats != 2) return Refuse("not 1 or 2 FATs");
    if (Le16(bootSector + kBpbRootEntries) != 0 || Le16(bootSector + kBpbSectorsPerFat16) != 0)
        return Refuse("not FAT32");
    if (spf == 0 || (u64)spf * bytesPerSector > kMaxFatBytes) return Refuse("FAT size");
    total *= scale;
    u64 partPieces = partition.sectorCount * per;
    if (partPieces != 0 && total > partPieces) return Refuse("volume larger than its partition");
    u64 diskPieces = io.Pieces();
    if (diskPieces != 0 && partitionStart + total > diskPieces) return Refuse("partition beyond the disk's end");

    sectorsPerCluster = spc * scale;
    sectorsPerFat = spf * scale;
    u64 fatRegion = (u64)reserved * scale + (u64)numberOfFats * sectorsPerFat;
    if (fatRegion >= total) return Refuse("no data area");
    u64 dataClusters = (total - fatRegion) / sectorsPerCluster;
    if (dataClusters == 0) return Refuse("no data area");
    u64 last = dataClusters + 1;
    u64 fatEntries = (u64)sectorsPerFat * (kPieceBytes / 4);
    if (last > fatEntries - 1) return Refuse("FAT too small for the clusters");
    if (last > 0x0FFFFFF6) return Refuse("too many clusters");
    lastCluster = (u32)last;
    if (rootCluster < 2 || rootCluster > lastCluster) return Refuse("root cluster outside the volume");

    fatStart = partitionStart + (u64)reserved * scale;
    dataStart = fatStart + (u64)numberOfFats * sectorsPerFat;
    if (bootSector[kBsSignature] == kExtendedSignature) serial = Le32(bootSector + kBsSerial);

    fatCache = new u8[sectorsPerFat * kPieceBytes];
    if (!fatCache) return Refuse("no memory for the FAT");
    clusterBuffer = new u8[BytesPerCluster()];
    if (!clusterBuffer) return Refuse("no memory for the FAT");
    diskError = false;
    LoadFAT();
    if (diskError) return Refuse("FAT unreadable");
    freeClusters = CountFreeClusters();

    u32 fsInfo = Le16(bootSector + kBpbFsInfo);
    if (fsInfo >= 1 && fsInfo < reserved) {
        u8 sector[kPieceBytes];
        u64 at = partitionStart + (u64)fsInfo * scale;
        if (ReadPieces(at, 1, sector) && Le32(sector) == kFsInfoLeadSig &&
            Le32(sector + kFsInfoStructSigAt) == kFsInfoStructSig)
            fsInfoSector = at;
    }
    diskError = false;
    return true;
}

// The whole first FAT is loaded: free-looking sectors can be followed by
// clusters in use, and allocation must see them.
void Fat32::LoadFAT() {
    if (fatCache) ReadPieces(fatStart, sectorsPerFat, fatCache);
}

u64 Fat32::ClusterSector(u32 cluster) const {
    return dataStart + (u64)sectorsPerCluster * (cluster - 2);
}

u32 Fat32::FatEntry(u32 cluster) const { return Le32(fatCache + cluster * 4) & kClusterMask; }

// The top four bits of an entry are reserved and kept as they were.
void Fat32::SetFatEntry(u32 cluster, u32 value) {
    u32 kept = Le32(fatCache + cluster * 4) & ~kClusterMask;
    Put32(fatCache + cluster * 4, kept | (value & kClusterMask));
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
        endOfChain = true;
        return nullptr;
    }
    if (cluster != 0) {
        endOfChain = false;
        sectorCtr = 0;
        dataCluster = cluster;
        clustersWalked = 0;
        walkLimit = ChainLength(cluster);
        if (!IsDataCluster(cluster)) {
            endOfChain = true;
            return nullptr;
        }
    } else if (endOfChain) {
        return nullptr;
    }
    if (sectorCtr >= sectorsPerCluster) {
        u32 next = NextInChain(dataCluster);
        // A chain that leaves the volume or comes back on itself ends.
        if (next == 0 || ++clustersWalked >= walkLimit) {
            endOfChain = true;
            return nullptr;
        }
        dataCluster = next;
        sectorCtr = 0;
    }
    if (!ReadPieces(ClusterSector(dataCluster) + sectorCtr, 1, buffer)) {
        endOfChain = true;
        return nullptr;
    }
    sectorCtr++;
    return buffer;
}

u8 Fat32::ReadPiece(u64 piece, u8* out) {
    if (!io.usable()) return kNotMounted;
    u8 sector[kPieceBytes];
    if (!ReadPieces(piece, 1, sector)) return kDiskError;
    Copy(out, sector, kPieceBytes);
    return kOk;
}

void Fat32::Label(char out[12]) {
    out[0] = 0;
    if (!volumeMounted) return;
    u32 slot = 0;
    FatEntryInfo info;
    EntryPlace place;
    while (NextEntry(rootCluster, &slot, &info, &place)) {
        if (info.attributes & kAttrVolumeLabel) {
            u8 raw[kLabelBytes];
            Copy(raw, info.shortName, kLabelBytes);
            if (raw[0] == kEntryKanji) raw[0] = kEntryDeleted;
            Trimmed(raw, out);
            return;
        }
    }
    if (bootSector[kBsSignature] == kExtendedSignature) Trimmed(bootSector + kBsLabel, out);
}

}  // namespace filesystem
}  // namespace tarn

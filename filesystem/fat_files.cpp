// FAT32 file data: chains allocated all or nothing, files stored cluster by
// cluster before any entry points at them, chains freed on every FAT copy.
#include "filesystem/fat.h"

#include "filesystem/fat_internal.h"

namespace tarn {
namespace filesystem {

using namespace fatfs;

namespace {
// FSInfo sector.
const u32 kFsInfoFreeCount = 488;
const u32 kFsInfoNextFree = 492;
const u32 kUnknown = 0xFFFFFFFF;
}  // namespace

// Stores length bytes in a newly allocated chain (none, cluster 0, for an
// empty file); on failure nothing stays allocated. Runs of neighbouring
// clusters go to the disk in one transfer.
u8 Fat32::StoreChain(const u8* data, u32 length, u32* first) {
    u32 clusterBytes = BytesPerCluster();
    u32 clusters = (length + clusterBytes - 1) / clusterBytes;
    *first = 0;
    if (clusters == 0) return kOk;
    u32 head;
    u8 status = AllocateChain(clusters, &head);
    if (status != kOk) return status;
    u32 whole = length / clusterBytes;
    u32 cluster = head;
    for (u32 i = 0; i < clusters && status == kOk;) {
        u32 run = 1;
        while (i + run < whole && FatEntry(cluster + run - 1) == cluster + run) run++;
        if (i < whole) {
            status = WriteClusters(cluster, run, data + i * clusterBytes);
        } else {
            run = 1;
            status = WriteCluster(cluster, data + i * clusterBytes, length - i * clusterBytes);
        }
        i += run;
        for (u32 k = 0; k < run; k++) cluster = FatEntry(cluster);
    }
    if (status != kOk) {
        FreeChain(head);
        return status;
    }
    *first = head;
    return kOk;
}

// count neighbouring clusters from first, whole from data.
u8 Fat32::WriteClusters(u32 first, u32 count, const u8* data) {
    u64 sector = ClusterSector(first);
    u64 pieces = (u64)count * sectorsPerCluster;
    if (dirSector >= sector && dirSector < sector + pieces) {
        dirSector = 0;
        dirDirty = false;
    }
    return WritePieces(sector, (u32)pieces, data) ? kOk : kDiskError;
}

// bytes from data, zeros after them to the cluster's end.
u8 Fat32::WriteCluster(u32 cluster, const u8* data, u32 bytes) {
    u32 clusterBytes = BytesPerCluster();
    if (bytes > clusterBytes) bytes = clusterBytes;
    Copy(clusterBuffer, data, bytes);
    Fill(clusterBuffer + bytes, 0, clusterBytes - bytes);
    return WriteClusters(cluster, 1, clusterBuffer);
}

u8 Fat32::ZeroCluster(u32 cluster) { return WriteCluster(cluster, nullptr, 0); }

// Writes the FAT sector holding a cluster's entry to every FAT copy.
u8 Fat32::WriteFatSectorOf(u32 cluster) {
    u32 index = cluster * 4 / kSectorBytes;
    u8 status = kOk;
    for (u32 copy = 0; copy < numberOfFats; copy++) {
        if (!WritePieces(fatStart + (u64)copy * sectorsPerFat + index, 1, fatCache + index * kSectorBytes))
            status = kDiskError;
    }
    return status;
}

// Keeps the free-cluster count right; the next-free hint is left unknown.
u8 Fat32::WriteFsInfo() {
    if (fsInfoSector == 0) return kOk;
    u8 sector[kSectorBytes];
    if (!ReadPieces(fsInfoSector, 1, sector)) return kDiskError;
    Put32(sector + kFsInfoFreeCount, freeClusters);
    Put32(sector + kFsInfoNextFree, kUnknown);
    return WritePieces(fsInfoSector, 1, sector) ? kOk : kDiskError;
}

// Links the first free clusters into one chain; all or nothing.
u8 Fat32::AllocateChain(u32 clusters, u32* first) {
    if (clusters > freeClusters) return kFatFull;
    u32 previous = 0;
    u32 found = 0;
    for (u32 c = 2; c <= lastCluster && found < clusters; c++) {
        if (FatEntry(c) != 0) continue;
        SetFatEntry(c, kEndOfChainMark);
        if (previous) SetFatEntry(previous, c);
        else *first = c;
        previous = c;
        found++;
    }
    if (found < clusters) {
        // The count was stale; undo what was taken.
        if (found) {
            u32 c = *first;
            for (u32 i = 0; i < found; i++) {
                u32 next = FatEntry(c);
                SetFatEntry(c, 0);
                c = next;
            }
        }
        freeClusters = CountFreeClusters();
        return kFatFull;
    }
    freeClusters -= clusters;
    u8 status = kOk;
    u32 lastIndex = 0xFFFFFFFF;
    for (u32 c = *first, i = 0; i < clusters; i++) {
        u32 index = c * 4 / kSectorBytes;
        if (index != lastIndex && WriteFatSectorOf(c) != kOk) status = kDiskError;
        lastIndex = index;
        c = FatEntry(c);
    }
    WriteFsInfo();
    if (status != kOk) FreeChain(*first);
    return status;
}

bool Fat32::InRootChain(u32 cluster) const {
    u32 c = rootCluster;
    for (u32 n = ChainLength(rootCluster); n > 0 && c; n--, c = NextInChain(c))
        if (c == cluster) return true;
    return false;
}

// Returns a chain's clusters to the free pool, on every FAT copy. The walk
// is bounded by the chain's distinct clusters and stops at one already free
// or belonging to the root directory (a cross-linked volume).
u8 Fat32::FreeChain(u32 first) {
    if (!volumeMounted || !IsDataCluster(first)) return kOk;
    u8 status = kOk;
    u32 c = first, pending = 0;  // pending: a cluster whose FAT sector is not written yet
    for (u32 n = ChainLength(first); n > 0 && c; n--) {
        if (FatEntry(c) == 0 || InRootChain(c)) break;
        u32 next = NextInChain(c);
        SetFatEntry(c, 0);
        freeClusters++;
        if (pending && pending * 4 / kSectorBytes != c * 4 / kSectorBytes && WriteFatSectorOf(pending) != kOk)
            status = kDiskError;
        pending = c;
        c = next;
    }
    if (pending && WriteFatSectorOf(pending) != kOk) status = kDiskError;
    WriteFsInfo();
    return status;
}

}  // namespace filesystem
}  // namespace tarn

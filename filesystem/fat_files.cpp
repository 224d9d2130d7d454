// FAT32 files: the ten handles, whole-file reads, collected writes that are
// stored as a linked cluster chain at close, and cluster allocation.
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
const u8 kZeroByte = 0;
}  // namespace

void Fat32::ResetOpenFileListEntry(u8 handle) {
    if (!ValidHandle(handle)) return;
    OpenFileEntry& f = openFiles[handle];
    f.mode = 0;
    Fill(f.name, 0, 8);
    Fill(f.ext, 0, 3);
    f.size = 0;
    f.position = 0;
    f.firstCluster = 0;
    f.capacity = 0;
    delete[] f.data;
    f.data = nullptr;
}

u32 Fat32::ReadFile(const char* name, u8* destination, u32 length) {
    if (!volumeMounted) return 0;
    endOfChain = 0;
    u32 cluster = GetFileCluster(name);
    if (cluster == 0) return 0;
    u32 copied = 0;
    for (u8* s = ReadNextSectorInChain(cluster); s && copied < length; s = ReadNextSectorInChain(0)) {
        for (u32 i = 0; i < kSectorBytes && copied < length; i++) destination[copied++] = s[i];
    }
    return copied;
}

u8 Fat32::OpenFile(u8 handle, const char* name, u8 mode) {
    if (!volumeMounted) return kNotMounted;
    if (!ValidHandle(handle)) return kBadHandle;
    OpenFileEntry& f = openFiles[handle];
    if (f.mode != 0) return kHandleInUse;
    u8 base[8], ext[3];
    if (ParseFilename(name, base, ext) != kOk) return kNotFound;
    diskError = false;

    if (mode == 1) {
        u32 cluster = GetFileCluster(name);
        if (cluster == 0) return diskError ? kDiskError : kNotFound;
        u32 size = GetFileSize(name);
        if (size > kMaxFileBytes) return kNoMemory;
        u8* data = new u8[size ? size : 1];
        if (!data) return kNoMemory;
        // A chain shorter than the size is damage, not a short file.
        if (ReadFile(name, data, size) != size || diskError) {
            delete[] data;
            return kDiskError;
        }
        f.mode = 1;
        Copy(f.name, base, 8);
        Copy(f.ext, ext, 3);
        f.size = size;
        f.position = 0;
        f.firstCluster = cluster;
        f.data = data;
        return kOk;
    }
    if (mode != 3) return kWrongMode;

    if (!ValidShortName(base, ext)) return kNotFound;
    u8 shortName[11];
    Copy(shortName, base, 8);
    Copy(shortName + 8, ext, 3);
    FatEntryInfo info;
    EntryPlace place;
    if (FindShort(rootCluster, shortName, &info, &place)) return kExists;
    if (diskError) return kDiskError;
    u32 clusterBytes = sectorsPerCluster * kSectorBytes;
    u8* data = new u8[clusterBytes];
    if (!data) return kNoMemory;
    u8 status = CreateDirectoryEntry(base, ext, 0);
    if (status != kOk) {
        delete[] data;
        return status;
    }
    f.mode = 2;
    Copy(f.name, base, 8);
    Copy(f.ext, ext, 3);
    f.size = 0;
    f.position = 0;
    f.firstCluster = 0;
    f.data = data;
    f.capacity = clusterBytes;
    return kOk;
}

u8 Fat32::ReadNextFileByte(u8 handle, u8* out) {
    if (!ValidHandle(handle)) return kBadHandle;
    OpenFileEntry& f = openFiles[handle];
    if (f.mode != 1) return kWrongMode;
    if (f.position >= f.size) return kEndOfFile;
    *out = f.data[f.position++];
    return kOk;
}

// The buffer grows by doubling, so a file longer than a cluster keeps every
// byte until close stores it across a chain.
u8 Fat32::WriteNextFileByte(u8 handle, u8 value) {
    if (!ValidHandle(handle)) return kBadHandle;
    OpenFileEntry& f = openFiles[handle];
    if (f.mode != 2) return kWrongMode;
    if (f.position >= f.capacity) {
        if (f.capacity >= kMaxFileBytes) return kNoMemory;
        u32 grown = f.capacity * 2;
        u8* data = new u8[grown];
        if (!data) return kNoMemory;
        Copy(data, f.data, f.position);
        delete[] f.data;
        f.data = data;
        f.capacity = grown;
    }
    f.data[f.position++] = value;
    f.size++;
    return kOk;
}

u8 Fat32::CloseFile(u8 handle) {
    if (!ValidHandle(handle)) return kBadHandle;
    OpenFileEntry& f = openFiles[handle];
    if (f.mode == 1) {
        ResetOpenFileListEntry(handle);
        return kOk;
    }
    if (f.mode != 2) return kWrongMode;
    if (!volumeMounted) {
        ResetOpenFileListEntry(handle);
        return kNotMounted;
    }
    // Writers hand over an inclusive address range: the last byte is not
    // part of the file.
    u32 recorded = f.size ? f.size - 1 : 0;
    u8 status = FlushWriteBuffer(handle);
    if (status != kOk) {
        // Nothing was stored: leave an empty, consistent entry.
        UpdateDirectoryEntry(f.name, f.ext, 0, 0);
        ResetOpenFileListEntry(handle);
        return status;
    }
    status = UpdateDirectoryEntry(f.name, f.ext, recorded, f.firstCluster);
    if (status != kOk) {
        FreeChain(f.firstCluster);
        ResetOpenFileListEntry(handle);
        return status;
    }
    ResetOpenFileListEntry(handle);
    return kOk;
}

// Stores the file's recorded bytes (all written bytes but the last) in a
// newly allocated chain; a file recorded as empty keeps cluster 0.
u8 Fat32::FlushWriteBuffer(u8 handle) {
    if (!volumeMounted) return kNotMounted;
    if (!ValidHandle(handle)) return kBadHandle;
    OpenFileEntry& f = openFiles[handle];
    if (f.mode != 2) return kWrongMode;
    u32 recorded = f.size ? f.size - 1 : 0;
    f.position = 0;
    return StoreChain(f.data, recorded, &f.firstCluster);
}

// Stores length bytes in a newly allocated chain (none, cluster 0, for an
// empty file); on failure nothing stays allocated.
u8 Fat32::StoreChain(const u8* data, u32 length, u32* first) {
    u32 clusterBytes = sectorsPerCluster * kSectorBytes;
    u32 clusters = (length + clusterBytes - 1) / clusterBytes;
    *first = 0;
    if (clusters == 0) return kOk;
    u32 head;
    u8 status = AllocateChain(clusters, &head);
    if (status != kOk) return status;
    u32 cluster = head;
    for (u32 i = 0; i < clusters; i++) {
        u32 done = i * clusterBytes;
        u32 bytes = length - done < clusterBytes ? length - done : clusterBytes;
        status = WriteCluster(cluster, data + done, bytes);
        if (status != kOk) {
            FreeChain(head);
            return status;
        }
        cluster = FatEntry(cluster);
    }
    *first = head;
    return kOk;
}

// bytes from data, zeros after them to the cluster's end.
u8 Fat32::WriteCluster(u32 cluster, const u8* data, u32 bytes) {
    u32 sector = ClusterSector(cluster);
    if (dirSector >= sector && dirSector < sector + sectorsPerCluster) {
        dirSector = 0;
        dirDirty = false;
    }
    for (u32 i = 0; i < sectorsPerCluster; i++) {
        u32 done = i * kSectorBytes;
        u32 count = bytes > done ? (bytes - done < kSectorBytes ? bytes - done : kSectorBytes) : 0;
        u8* from = const_cast<u8*>(count ? data + done : &kZeroByte);
        if (ata->WriteSector(sector + i, from, count) != 0) return kDiskError;
    }
    return kOk;
}

u8 Fat32::ZeroCluster(u32 cluster) { return WriteCluster(cluster, &kZeroByte, 0); }

// Writes the FAT sector holding a cluster's entry to every FAT copy.
u8 Fat32::WriteFatSectorOf(u32 cluster) {
    u32 index = cluster * 4 / kSectorBytes;
    u8 status = kOk;
    for (u32 copy = 0; copy < numberOfFats; copy++) {
        if (ata->WriteSector(fatStart + copy * sectorsPerFat + index, fatCache + index * kSectorBytes,
                             kSectorBytes) != 0)
            status = kDiskError;
    }
    return status;
}

// Keeps the free-cluster count right; the next-free hint is left unknown.
u8 Fat32::WriteFsInfo() {
    if (fsInfoSector == 0) return kOk;
    u8 sector[kSectorBytes];
    if (ata->ReadSector(fsInfoSector, sector, kSectorBytes) != 0) return kDiskError;
    Put32(sector + kFsInfoFreeCount, freeClusters);
    Put32(sector + kFsInfoNextFree, kUnknown);
    if (ata->WriteSector(fsInfoSector, sector, kSectorBytes) != 0) return kDiskError;
    return kOk;
}

u8 Fat32::AllocateCluster(u32* out) {
    if (!volumeMounted) return kNotMounted;
    for (u32 c = 2; c <= lastCluster; c++) {
        if (FatEntry(c) != 0) continue;
        SetFatEntry(c, kEndOfChainMark);
        freeClusters--;
        *out = c;
        u8 status = WriteFatSectorOf(c);
        WriteFsInfo();
        return status;
    }
    return kFatFull;
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

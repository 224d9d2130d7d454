// FAT32: one mounted volume, its directories (8.3 and long names), ten file
// handles, whole-file transfers and the C64-style directory listing.
#ifndef TARN_FILESYSTEM_FAT_H
#define TARN_FILESYSTEM_FAT_H

#include "drivers/ata.h"
#include "lib/types.h"

namespace tarn {
namespace filesystem {

// One live directory entry (erased, long-name and volume-label entries skipped).
struct FatEntryInfo {
    char name[256];       // the long name when the entry has one (UCS-2 outside ASCII shown as '?'),
                          // else the short name as "NAME.EXT" (no padding, no dot when the extension is empty)
    u8 shortName[11];     // the raw 8.3 bytes
    u8 attributes;        // 0x10 directory, 0x01 read-only, 0x08 volume label, ...
    u32 firstCluster;
    u32 size;
};

struct OpenFileEntry {
    u8 mode;        // 0 free, 1 reading, 2 writing
    u8 name[8];     // space-padded base name
    u8 ext[3];      // space-padded extension
    u32 size;       // file size (reading) or bytes written so far (writing)
    u32 position;   // next byte in data
    u8* data;       // whole file (reading) or the bytes collected (writing)
    u32 firstCluster;
    u32 capacity;   // bytes data can hold while writing
};

class Fat32 {
public:
    // Status codes of the file operations.
    static constexpr u8 kOk = 0;
    static constexpr u8 kHandleInUse = 1;
    static constexpr u8 kNotFound = 2;       // also: name does not parse
    static constexpr u8 kWrongMode = 3;
    static constexpr u8 kEndOfFile = 4;
    static constexpr u8 kExists = 6;
    static constexpr u8 kFatFull = 7;
    static constexpr u8 kDirectoryFull = 8;  // directory at its 65536-entry limit
    static constexpr u8 kNotMounted = 9;     // no usable FAT32 volume
    static constexpr u8 kNoMemory = 10;      // heap could not supply a buffer
    static constexpr u8 kDiskError = 11;     // a sector read or write failed
    static constexpr u8 kBadHandle = 12;     // handle outside 0..9

    static constexpr int kHandles = 10;
    // Largest file a handle will hold in memory.
    static constexpr u32 kMaxFileBytes = 16u * 1024 * 1024;

    Fat32(drivers::AdvancedTechnologyAttachment* disk, u8 partition);
    ~Fat32();

    bool mounted() const { return volumeMounted; }
    // Why the volume was not mounted (empty when it was, or when there was
    // no partition to look at).
    const char* MountProblem() const { return mountProblem; }

    // Volume and directory reading.
    void ReadPartitions();
    void LoadFAT();
    void ReadDirectory(u32 cluster);
    u8* ReadNextSectorInChain(u32 cluster);
    u32 GetFileCluster(const char* name);
    u32 GetFileSize(const char* name);
    u8 ParseFilename(const char* src, u8* name, u8* ext);
    // kOk, or kDiskError with buffer untouched.
    u8 ReadSector(u32 sector, u8* buffer);

    // Files.
    u8 OpenFile(u8 handle, const char* name, u8 mode);
    u8 CloseFile(u8 handle);
    u8 ReadNextFileByte(u8 handle, u8* out);
    u8 WriteNextFileByte(u8 handle, u8 value);
    // Up to length bytes of a root file; returns how many were read.
    u32 ReadFile(const char* name, u8* destination, u32 length);
    u8 FlushWriteBuffer(u8 handle);
    u8 AllocateCluster(u32* out);
    void ResetOpenFileListEntry(u8 handle);

    // Directory maintenance and the C64 listing.
    u8 CreateDirectoryEntry(const u8* name, const u8* ext, u32 size);
    u8 UpdateDirectoryEntry(const u8* name, const u8* ext, u32 size, u32 cluster);
    u8 DeleteFile(const char* name);
    u8 RenameFile(const char* oldName, const char* newName);
    // Writes the listing as a BASIC program body; returns its length.
    u16 GetCBMDir(u8* out);
    // Same, stopping before a line would pass outLength bytes.
    u16 GetCBMDir(u8* out, u32 outLength);

    // Directory trees and whole files (names: long or 8.3, any case).
    u32 RootCluster() const { return rootCluster; }
    u32 BytesPerCluster() const { return sectorsPerCluster * 512; }
    u32 FreeClusters();
    u8 ListDirectory(u32 dirCluster, u32 index, FatEntryInfo* out);
    u8 FindEntry(u32 dirCluster, const char* name, FatEntryInfo* out);
    u8 ReadWholeFile(const FatEntryInfo& entry, u8* out, u32 capacity, u32* length);
    u8 WriteWholeFile(u32 dirCluster, const char* name, const u8* data, u32 length, bool replace);
    u8 DeleteEntry(u32 dirCluster, const char* name);
    u8 RenameEntry(u32 dirCluster, const char* oldName, const char* newName);
    u8 MakeDirectory(u32 dirCluster, const char* name);
    u8 RemoveDirectory(u32 dirCluster, const char* name);

    // The volume's own consistency check: both FAT copies equal, every chain
    // reached from the directory tree inside the volume, ending properly,
    // never through a free cluster and never shared. kOk or kDiskError.
    u8 CheckConsistency();

    // Geometry, for tests and the monitor.
    u32 FatStart() const { return fatStart; }
    u32 DataStart() const { return dataStart; }
    u32 RootDirStart() const { return rootDirStart; }
    u32 SectorsPerCluster() const { return sectorsPerCluster; }
    u32 LastCluster() const { return lastCluster; }
    bool EndOfChain() const { return endOfChain != 0; }
    const u8* FatCache() const { return fatCache; }
    const OpenFileEntry& OpenFileSlot(int handle) const { return openFiles[handle]; }

private:
    // Where an entry lives: its short entry's slot and the first slot of the
    // long-name run before it (the same slot when it has none).
    struct EntryPlace {
        u32 dir;
        u32 firstSlot;
        u32 slot;
    };

    drivers::AdvancedTechnologyAttachment* ata;
    u8 partitionIndex;
    u8 mbr[512];
    u8 bootSector[90];
    u8 endOfChain;
    u32 fatStart;
    u32 dataStart;
    u32 rootDirStart;
    u8* fatTable;
    u32 currentSector;
    u8* fatCache;
    OpenFileEntry openFiles[kHandles];

    // Chain walker state.
    u8 buffer[512];
    u32 sectorCtr;
    u32 dataCluster;
    u32 clustersWalked;
    u32 walkLimit;        // distinct clusters of the chain being walked

    // Directory slot cache: one sector of one directory.
    u8 dirBuffer[512];
    u32 dirSector;        // 0: nothing cached
    bool dirDirty;
    u32 slotDir;          // chain position cache of DirSlot
    u32 slotIndex;
    u32 slotCluster;
    u32 slotLimit;

    // Geometry checked at mount.
    bool mbrRead;
    bool volumeMounted;
    bool diskError;
    const char* mountProblem;
    u32 partitionStart;
    u32 bytesPerSector;
    u32 sectorsPerCluster;
    u32 reservedSectors;
    u32 numberOfFats;
    u32 sectorsPerFat;
    u32 rootCluster;
    u32 lastCluster;      // highest cluster number with data sectors
    u32 fsInfoSector;     // absolute; 0 when the volume has none
    u32 freeClusters;

    bool Mount();
    bool Refuse(const char* problem);
    u32 ClusterSector(u32 cluster) const;
    u32 FatEntry(u32 cluster) const;
    void SetFatEntry(u32 cluster, u32 value);
    bool IsDataCluster(u32 cluster) const { return cluster >= 2 && cluster <= lastCluster; }
    u32 NextInChain(u32 cluster) const;
    u32 ChainLength(u32 first) const;
    u8 WriteFatSectorOf(u32 cluster);
    u8 WriteFsInfo();
    u32 CountFreeClusters() const;
    bool InRootChain(u32 cluster) const;
    u8 FreeChain(u32 first);
    u8 AllocateChain(u32 clusters, u32* first);
    u8 StoreChain(const u8* data, u32 length, u32* first);
    u8 ZeroCluster(u32 cluster);
    u8 WriteCluster(u32 cluster, const u8* data, u32 bytes);
    bool ValidHandle(u8 handle) const { return handle < kHandles; }
    bool ValidShortName(const u8* name, const u8* ext) const;
    void BuildPaddedName(const u8* entry, char* out) const;

    // Directory slots: slot n of the directory starting at dir, through a
    // one-sector cache. Null past the chain's end or on a read error
    // (diskError set).
    u8* DirSlot(u32 dir, u32 slot);
    void MarkDirty() { dirDirty = true; }
    u8 FlushDir();
    void ForgetChainCache() { slotDir = 0; }
    // The next live entry at or after *slot (labels included): fills info
    // and place, moves *slot past it. False at the end marker or chain end.
    bool NextEntry(u32 dir, u32* slot, FatEntryInfo* info, EntryPlace* place);
    bool FindByName(u32 dir, const char* name, FatEntryInfo* info, EntryPlace* place);
    bool FindShort(u32 dir, const u8* shortName, FatEntryInfo* info, EntryPlace* place);
    // count free slots in a row (erased or past the end marker), growing the
    // directory by zeroed clusters when it has none.
    u8 AllocateSlots(u32 dir, u32 count, u32* first);
    u8 GrowDirectory(u32 dir, u32 lastClusterOfDir);
    u8 EraseEntry(const EntryPlace& place);
    // Writes name's entries (long-name run when needed, then the short
    // entry carrying attributes, cluster and size).
    u8 CreateEntry(u32 dir, const char* name, u8 attributes, u32 cluster, u32 size);
    u8 MakeShortAlias(u32 dir, const char* name, u8* shortName, bool* needsLong);
    void FillShortEntry(u8* e, const u8* shortName, u8 attributes, u32 cluster, u32 size) const;
    // The root file whose padded "NAME    .EXT" equals name.
    bool FindRootFile(const char* name, FatEntryInfo* info, EntryPlace* place);
    bool MarkChain(u32 first, u8* marks) const;
    bool CheckChainsFrom(u32 dir, u8* marks, u32 depth);
};


}  // namespace filesystem
}  // namespace tarn

#endif

// FAT32: one mounted volume on a partition of a block device, its directory
// tree (8.3 and long names), whole-file reads and writes, and the checks a
// repair tool would make.
#ifndef TARN_FILESYSTEM_FAT_H
#define TARN_FILESYSTEM_FAT_H

#include "drivers/block_device.h"
#include "filesystem/disk_window.h"
#include "filesystem/partitions.h"
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
    u16 date;             // last write: yyyyyyym mmmddddd (year - 1980)
    u16 time;             // hhhhhmmm mmmsssss (seconds / 2)
};

class Fat32 {
public:
    // Status codes.
    static constexpr u8 kOk = 0;
    static constexpr u8 kNotFound = 2;       // also: name does not parse
    static constexpr u8 kWrongMode = 3;      // a directory where a file is wanted, or the reverse
    static constexpr u8 kEndOfFile = 4;      // a listing past its last entry
    static constexpr u8 kExists = 6;
    static constexpr u8 kFatFull = 7;
    static constexpr u8 kDirectoryFull = 8;  // directory at its 65536-entry limit
    static constexpr u8 kNotMounted = 9;     // no usable FAT32 volume
    static constexpr u8 kNoMemory = 10;      // heap could not supply a buffer
    static constexpr u8 kDiskError = 11;     // a sector read or write failed

    // Largest file read or written whole.
    static constexpr u32 kMaxFileBytes = 16u * 1024 * 1024;

    // The volume in a partition of disk; its layout is checked before
    // anything is read through it.
    Fat32(drivers::BlockDevice* disk, const Partition& partition);
    ~Fat32();
    Fat32(const Fat32&) = delete;
    Fat32& operator=(const Fat32&) = delete;

    bool mounted() const { return volumeMounted; }
    // Why the volume was not mounted (empty when it was, or when there was
    // no partition to look at).
    const char* MountProblem() const { return mountProblem; }
    drivers::BlockDevice* Disk() const { return io.disk(); }
    // The disk is still there: a USB stick pulled out reports no sectors.
    bool DiskPresent() const { return io.disk() && io.disk()->SectorCount() != 0; }

    // The volume's name: the root directory's label entry, else the boot
    // sector's, trailing spaces dropped; empty when it has none ("NO NAME").
    void Label(char out[12]);
    // The serial number the boot sector carries (blkid shows it as XXXX-XXXX).
    u32 Serial() const { return serial; }

    // Directory trees and whole files (names: long or 8.3, any case;
    // dirCluster 0 is the root).
    u32 RootCluster() const { return rootCluster; }
    u32 BytesPerCluster() const { return sectorsPerCluster * kPieceBytes; }
    u32 FreeClusters();
    u8 ListDirectory(u32 dirCluster, u32 index, FatEntryInfo* out);
    u8 FindEntry(u32 dirCluster, const char* name, FatEntryInfo* out);
    u8 ReadWholeFile(const FatEntryInfo& entry, u8* out, u32 capacity, u32* length);
    // The data is stored before the entry is written (or switched over):
    // a failure leaves the directory as it was.
    u8 WriteWholeFile(u32 dirCluster, const char* name, const u8* data, u32 length, bool replace);
    u8 DeleteEntry(u32 dirCluster, const char* name);
    u8 RenameEntry(u32 dirCluster, const char* oldName, const char* newName);
    u8 MakeDirectory(u32 dirCluster, const char* name);
    u8 RemoveDirectory(u32 dirCluster, const char* name);

    // The volume's own consistency check: both FAT copies equal, every chain
    // reached from the directory tree inside the volume, ending properly,
    // never through a free cluster and never shared. kOk or kDiskError.
    u8 CheckConsistency();

    // One 512-byte piece of the disk (numbered from the disk's start), for
    // the monitor's sector dump: kOk, or kDiskError with out untouched.
    u8 ReadPiece(u64 piece, u8* out);

    // Geometry, in 512-byte pieces from the disk's start, for tests and the
    // monitor.
    u64 FatStart() const { return fatStart; }
    u64 DataStart() const { return dataStart; }
    u64 RootDirStart() const { return ClusterSector(rootCluster); }
    u64 ClusterSector(u32 cluster) const;
    u32 BytesPerSector() const { return bytesPerSector; }
    u32 SectorsPerCluster() const { return sectorsPerCluster; }
    u32 LastCluster() const { return lastCluster; }
    const u8* FatCache() const { return fatCache; }

private:
    static constexpr u32 kPieceBytes = DiskWindow::kPieceBytes;

    // Where an entry lives: its short entry's slot and the first slot of the
    // long-name run before it (the same slot when it has none).
    struct EntryPlace {
        u32 dir;
        u32 firstSlot;
        u32 slot;
    };

    DiskWindow io;
    Partition partition;
    u8 bootSector[kPieceBytes];
    u64 fatStart;
    u64 dataStart;
    u8* fatCache;
    u8* clusterBuffer;    // one cluster, for the last piece of a file

    // Chain walker state.
    u8 buffer[kPieceBytes];
    bool endOfChain;
    u32 sectorCtr;
    u32 dataCluster;
    u32 clustersWalked;
    u32 walkLimit;        // distinct clusters of the chain being walked

    // Directory slot cache: one piece of one directory.
    u8 dirBuffer[kPieceBytes];
    u64 dirSector;        // 0: nothing cached
    bool dirDirty;
    u32 slotDir;          // chain position cache of DirSlot
    u32 slotIndex;
    u32 slotCluster;
    u32 slotLimit;

    // Geometry checked at mount; sector counts in 512-byte pieces.
    bool volumeMounted;
    bool diskError;
    const char* mountProblem;
    u64 partitionStart;
    u32 bytesPerSector;   // the volume's own sector, as its boot sector says
    u32 sectorsPerCluster;
    u32 sectorsPerFat;
    u32 numberOfFats;
    u32 rootCluster;
    u32 lastCluster;      // highest cluster number with data sectors
    u64 fsInfoSector;     // 0 when the volume has none
    u32 freeClusters;
    u32 serial;

    bool Mount();
    bool Refuse(const char* problem);
    bool ReadPieces(u64 piece, u32 count, u8* out);
    bool WritePieces(u64 piece, u32 count, const u8* in);
    void LoadFAT();
    u8* ReadNextSectorInChain(u32 cluster);
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
    u8 WriteClusters(u32 first, u32 count, const u8* data);
    bool ValidShortName(const u8* name, const u8* ext) const;

    // Directory slots: slot n of the directory starting at dir, through a
    // one-piece cache. Null past the chain's end or on a read error
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
    bool MarkChain(u32 first, u8* marks) const;
    bool CheckChainsFrom(u32 dir, u8* marks, u32 depth);
};

}  // namespace filesystem
}  // namespace tarn

#endif

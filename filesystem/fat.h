// FAT32: one volumeMounted volume, its root directory, 8.3 names, ten file handles
// and the C64-style directory listing.
#ifndef TARN_FILESYSTEM_FAT_H
#define TARN_FILESYSTEM_FAT_H

#include "drivers/ata.h"
#include "lib/types.h"

namespace kestrel {
namespace filesystem {

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
    static constexpr u8 kDirectoryFull = 8;  // no never-used root-directory slot
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

    // Volume and directory reading.
    void ReadPartitions();
    void LoadFAT();
    void ReadDirectory(u32 cluster);
    u8* ReadNextSectorInChain(u32 cluster);
    u32 GetFileCluster(const char* name);
    u32 GetFileSize(const char* name);
    u8 ParseFilename(const char* src, u8* name, u8* ext);
    void ReadSector(u32 sector, u8* buffer);

    // Files.
    u8 OpenFile(u8 handle, const char* name, u8 mode);
    u8 CloseFile(u8 handle);
    u8 ReadNextFileByte(u8 handle, u8* out);
    u8 WriteNextFileByte(u8 handle, u8 value);
    void ReadFile(const char* name, u8* destination, u32 length);
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
    u32 previousSector;   // sector the walk returned before currentSector

    // Geometry checked at mount.
    bool mbrRead;
    bool volumeMounted;
    bool diskError;
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
    u32 ClusterSector(u32 cluster) const;
    u32 FatEntry(u32 cluster) const;
    void SetFatEntry(u32 cluster, u32 value);
    u8 WriteFatSectorOf(u32 cluster);
    u8 WriteFsInfo();
    u8 WriteBack();
    u32 CountFreeClusters() const;
    u8 FreeChain(u32 first);
    u8 AllocateChain(u32 clusters, u32* first);
    bool ValidHandle(u8 handle) const { return handle < kHandles; }
    bool ValidShortName(const u8* name, const u8* ext) const;
    void BuildPaddedName(const u8* entry, char* out) const;
    // The root-directory file entry whose padded name equals name, or null.
    // Points into the chain walker's buffer: valid until the next walk.
    const u8* FindRootFile(const char* name);
    // Finds the root entry whose 11 name bytes match; the walker's buffer
    // then holds its sector. Returns the entry's index or -1.
    int FindEntry(const u8* name, const u8* ext);
    void DeleteLongNameBefore(int index);
    u8 WriteCluster(u32 cluster, const u8* data, u32 bytes);
};

}  // namespace filesystem
}  // namespace kestrel

#endif

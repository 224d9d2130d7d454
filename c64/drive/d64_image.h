// A 1541 disk image (.D64) held in a byte buffer: directory, file chains and
// the BAM, read and written the way the 1541's DOS lays them out.
//
// Layout: tracks 1-35 (or 40), sectors per track 21 (tracks 1-17), 19
// (18-24), 18 (25-30), 17 (31-40); 256-byte sectors stored track by track,
// optionally followed by one error byte per sector. Track 18 holds the BAM
// (sector 0) and the directory chain (from sector 1, 8 entries of 32 bytes a
// sector). Every sector starts with a link: next track, next sector; a track
// of 0 ends the chain, its sector byte then indexing the last used byte.
//
// A relative (REL) file is a chain of data blocks holding its records one
// after another, plus a chain of up to 6 side sectors that list those
// blocks: link (2), side-sector number, record length, the track/sector of
// all 6 side sectors (12), then the track/sector of up to 120 data blocks.
// Its directory entry names the first side sector and the record length.
//
// Statuses are CBM DOS error numbers, so the drive can show them unchanged.
#ifndef TARN_C64_DRIVE_D64_IMAGE_H
#define TARN_C64_DRIVE_D64_IMAGE_H

#include "lib/types.h"

namespace drive {

struct D64Entry {
    u8 name[16];      // PETSCII, without the $A0 padding
    u8 nameLength;
    u8 type;          // 0 DEL, 1 SEQ, 2 PRG, 3 USR, 4 REL
    bool closed;      // false: a file left open while written ("splat")
    bool locked;
    u16 blocks;       // as the directory states it
    u8 track, sector; // first data sector
    u8 recordLength;  // REL files: bytes a record, and the first side sector
    u8 sideTrack, sideSector;
    u32 slot;         // where the entry lives: track << 16 | sector << 8 | offset
};

class D64Image {
public:
    static constexpr u8 kOk = 0;
    static constexpr u8 kWriteProtect = 26;
    static constexpr u8 kSyntaxError = 33;
    static constexpr u8 kReadError = 20;      // 20-29: a block's error byte, as the 1541 reports it
    static constexpr u8 kFileTooLarge = 52;   // the caller's buffer is too small
    static constexpr u8 kTypeMismatch = 64;
    static constexpr u8 kNotFound = 62;
    static constexpr u8 kExists = 63;
    static constexpr u8 kIllegalTrackSector = 66;
    static constexpr u8 kDirectoryError = 71;
    static constexpr u8 kDiskFull = 72;
    static constexpr u8 kNotUsable = 74;

    static constexpr u32 kSectorBytes = 256;
    static constexpr u32 kDataBytes = 254;    // payload of one block

    D64Image();

    // 35 or 40 tracks, with or without error bytes (174848, 175531, 196608,
    // 197376 bytes). The image is not owned and must outlive this object.
    u8 Open(u8* image, u32 length);
    u8 Tracks() const { return tracks; }

    void DiskName(u8 out[16]) const;  // $A0-padded, as in the BAM
    void DiskId(u8 out[5]) const;     // id, $A0, DOS type (directory header)

    // The index-th live entry (type byte != 0) in directory order. False past
    // the last one, or where the directory chain breaks (a link off track 18
    // or back into itself): DirectoryStatus() then says 71.
    bool Entry(u32 index, D64Entry* out);
    u8 DirectoryStatus() const { return directoryStatus; }

    // The file's bytes; 66 on a link outside the disk, into the BAM or a
    // loop, 20-29 on a block the image's error bytes mark bad (ErrorPlace()
    // names the block), 52 (with *length = capacity) when they do not fit.
    u8 ReadFile(const D64Entry& e, u8* out, u32 capacity, u32* length);
    // A REL file's record length, then its whole records; 64 where the file
    // states no record length.
    u8 ReadRelative(const D64Entry& e, u8* out, u32 capacity, u32* length);
    // The directory as a file: the chain from the BAM sector, 254 bytes a block.
    u8 ReadDirectory(u8* out, u32 capacity, u32* length);
    u16 ErrorPlace() const { return (u16)(errorTrack << 8 | errorSector); }
    // A new closed file (type 1 SEQ, 2 PRG or 3 USR, name of 1-16 bytes, no
    // $A0 among them; 33 otherwise):
    // 63 if the name exists, 72 when the disk or directory is full; on any
    // error nothing has changed.
    u8 WriteFile(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length);
    // A new REL file of these records (length a multiple of recordLength,
    // 1-254) with its side sectors; 52 past 6 side sectors, else as WriteFile.
    u8 WriteRelative(const u8* name, u8 nameLength, u8 recordLength, const u8* records, u32 length);
    // Frees the file's sectors and marks its entry deleted. 26 for a locked
    // file, 66 for a broken chain, 62 if the entry is no longer there; on any
    // error nothing has changed.
    u8 Scratch(const D64Entry& e);
    // Gives an entry a new name: 63 if the name exists.
    u8 Rename(const D64Entry& e, const u8* name, u8 nameLength);
    u16 FreeBlocks() const;  // sum of the BAM's free counts, track 18 excluded

    // CBM DOS name matching: '?' matches any one character, '*' the rest of
    // the name (what follows it is ignored, as on a 1541).
    static bool Matches(const u8* pattern, u8 patternLength, const u8* name, u8 nameLength);

private:
    static constexpr u8 kDirectoryTrack = 18;
    static constexpr u32 kMaxSectors = 768;   // 40 tracks
    static constexpr u32 kMaxTracks = 40;

    u8* image;
    u32 length;
    u8 tracks;
    u32 extendedBam;     // BAM offset of tracks 36-40, 0 where none is kept
    u8 directoryStatus;
    u8 errorTrack, errorSector;

    static u8 SectorsOnTrack(u8 track);
    bool Valid(u8 track, u8 sector) const;
    u32 SectorIndex(u8 track, u8 sector) const;
    u8* Sector(u8 track, u8 sector) const;
    u8* BamEntry(u8 track) const;  // free count, then 3 bitmap bytes (bit set = free)
    bool IsFree(u8 track, u8 sector) const;
    void SetFree(u8 track, u8 sector, bool free);
    bool Allocatable(u8 track) const;
    u32 FreeOnTrack(u8 track) const;
    u32 FreeDataSectors() const;
    bool NextDataSector(u8* track, u8* sector) const;
    static bool ValidName(const u8* name, u8 nameLength);
    bool FindName(const u8* name, u8 nameLength);
    u8* EntryAt(u32 slot);
    bool LiveEntryMatches(const D64Entry& e, u8** raw);
    u8 WalkChain(u8 track, u8 sector, u8* visited, u32* blocks) const;
    u8 ReadChain(u8 track, u8 sector, bool directory, u8* out, u32 capacity, u32* length);
    u8 BlockError(u8 track, u8 sector) const;
    u8 Store(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length, u8 recordLength);
    void WriteSideSectors(u8 first, u8 firstSector, u8 recordLength, const u8 side[][2], u32 sideBlocks);
    u8 FindSlot(u32* slot, u8* lastSector, u8* newSector);
    u32 DirectoryMask();
    void DetectExtendedBam();
};

}  // namespace drive

#endif

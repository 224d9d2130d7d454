// What drive 8 serves its files from: a directory of the FAT32 volume or a
// .D64 image. Names are the C64's (PETSCII, at most 16 characters); every
// status is a CBM DOS error number, as the error channel reports it.
#ifndef TARN_C64_DRIVE_DRIVE_STORE_H
#define TARN_C64_DRIVE_DRIVE_STORE_H

#include "lib/types.h"

namespace drive {

// CBM DOS error numbers.
constexpr u8 kOk = 0;
constexpr u8 kFilesScratched = 1;
constexpr u8 kReadError = 20;         // 20-24 and 27: the 1541's read errors
constexpr u8 kWriteError = 25;
constexpr u8 kWriteProtect = 26;
constexpr u8 kDiskIdMismatch = 29;
constexpr u8 kSyntaxError = 30;      // command not understood
constexpr u8 kSyntaxCommand = 31;    // unknown command
constexpr u8 kSyntaxLong = 32;       // command line too long
constexpr u8 kSyntaxName = 33;       // invalid file name
constexpr u8 kSyntaxNoName = 34;     // no file name given
constexpr u8 kRecordNotPresent = 50;
constexpr u8 kOverflowInRecord = 51;
constexpr u8 kFileTooLarge = 52;
constexpr u8 kFileNotOpen = 61;
constexpr u8 kFileNotFound = 62;
constexpr u8 kFileExists = 63;
constexpr u8 kFileTypeMismatch = 64;
constexpr u8 kIllegalTrackSector = 66;
constexpr u8 kNoChannel = 70;
constexpr u8 kDirError = 71;
constexpr u8 kDiskFull = 72;
constexpr u8 kDosVersion = 73;
constexpr u8 kNotReady = 74;

// File types, as the directory shows them.
constexpr u8 kTypeDel = 0;
constexpr u8 kTypeSeq = 1;
constexpr u8 kTypePrg = 2;
constexpr u8 kTypeUsr = 3;
constexpr u8 kTypeRel = 4;
constexpr u8 kTypeDir = 5;   // a subdirectory, or a disk image that CD enters

constexpr u32 kNameMax = 16;

struct DriveEntry {
    u8 name[kNameMax];
    u8 nameLength;
    u8 type;
    bool image;        // a .D64 file (type kTypeDir)
    u32 size;          // bytes
    u16 blocks;        // 254-byte blocks, as the directory counts them
    u32 key;           // the store's own reference to the entry
    u8 shortName[11];  // FAT: the 8.3 name, space padded
};

// A relative file's bytes, as Read gives them and Write takes them: its
// record length, then its records one after another.
class DriveStore {
public:
    // The index-th live entry, false past the last (or on a read failure).
    virtual bool Entry(u32 index, DriveEntry* out) = 0;
    // Reads the whole file; length is what was stored. A read error (20-29,
    // 66) names its block in ErrorPlace.
    virtual u8 Read(const DriveEntry& e, u8* out, u32 capacity, u32* length) = 0;
    // Writes a complete file. With replace an existing file of that name
    // goes only once the new one is stored; without it that is kFileExists.
    virtual u8 Write(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length, bool replace) = 0;
    virtual u8 Scratch(const DriveEntry& e) = 0;
    virtual u8 Rename(const DriveEntry& e, const u8* name, u8 nameLength) = 0;
    virtual u32 FreeBlocks() = 0;
    // Disk name (16, padded with spaces) and ID (5: "ID 2A") for the header.
    virtual void Title(u8 name[kNameMax], u8 id[5]) = 0;
    // Files Tarn saved before it wrote load addresses live only on the volume.
    virtual bool MayHoldHeaderless() const { return false; }
    // What the last walk of the directory found wrong (71), or kOk.
    virtual u8 Status() { return kOk; }
    // Track << 8 | sector of the block the last read error was met in.
    virtual u16 ErrorPlace() const { return 0; }
    // Whether a name typed in full names the entry (a store may know more
    // of it than the 16 characters shown).
    virtual bool NameIs(const DriveEntry& e, const u8* name, u32 length);
    // The directory's own blocks, BAM first, 254 data bytes each, where the
    // store keeps a 1541's sectors; false where it has none to give.
    virtual bool DirectorySectors(u8* out, u32 capacity, u32* length) { return false; }
    // False once the medium is gone (a USB stick pulled out).
    virtual bool Ready() const { return true; }

    // Subdirectories, where the store has them.
    virtual u8 Enter(const DriveEntry& e) { return kFileNotFound; }
    virtual bool Leave() { return false; }  // false at the top
    virtual u8 MakeDirectory(const u8* name, u8 nameLength) { return kWriteProtect; }
    virtual u8 RemoveDirectory(const DriveEntry& e) { return kWriteProtect; }
    // Replaces an existing file's bytes (a disk image written back, a file
    // appended to, a relative file closed), keeping its name and type.
    virtual u8 Overwrite(const DriveEntry& e, const u8* data, u32 length) { return kWriteProtect; }

protected:
    ~DriveStore() {}
};

}  // namespace drive

#endif

// Drive 8: the directory as the 1541 sends it: to LOAD a BASIC program for
// $0401 whose line numbers are block counts, on a data channel the raw
// blocks of track 18 (the BAM, then 8 entries a block).
#include "c64/drive/drive.h"

namespace drive {

namespace {

constexpr u16 kListingAddress = 0x0401;
constexpr u16 kLinkPlaceholder = 0x0101;   // BASIC relinks after LOAD
constexpr u8 kReverseOn = 0x12;
constexpr u32 kLineText = 27;              // a file line's text, padded
constexpr u16 kMostBlocks = 65535;

const char* const kTypeNames[] = {"DEL", "SEQ", "PRG", "USR", "REL", "DIR"};

// Raw blocks: 256 bytes with a link in front, 254 of them read.
constexpr u32 kSectorBytes = 256;
constexpr u32 kLinkBytes = 2;
constexpr u32 kDirectoryBlocks = 19;      // track 18 holds no more
constexpr u8 kDirectoryTrack = 18;
constexpr u8 kPad = 0xA0;
constexpr u8 kClosed = 0x80;
constexpr u8 kRawDirType = 6;             // a subdirectory, as CMD drives mark one
constexpr u32 kEntriesPerBlock = 8;
constexpr u32 kEntryBytes = 32;
// BAM block: DOS version, free counts and bitmaps, the disk's name and ID.
constexpr u32 kBamDosVersion = 2;
constexpr u32 kBamTracks = 4;             // 4 bytes a track from track 1
constexpr u32 kBamDiskName = 0x90;
constexpr u32 kBamDiskId = 0xA2;          // id (2), $A0, DOS type (2)
constexpr u32 kBamPadEnd = 0xAB;
constexpr u32 kTracks = 35;
// Entry: type, first track/sector, name, size in blocks.
constexpr u32 kEntryType = 2;
constexpr u32 kEntryName = 5;
constexpr u32 kEntryBlocks = 30;

u8 SectorsOn(u32 track) { return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17; }

void Fill(u8* to, u8 value, u32 n) {
    for (u32 i = 0; i < n; i++) to[i] = value;
}

}  // namespace

bool Drive::ListLine(Channel& c, u16 number, const u8* text, u32 length) {
    if (!Reserve(c, c.length + length + 5)) return false;
    c.data[c.length++] = kLinkPlaceholder & 0xFF;
    c.data[c.length++] = kLinkPlaceholder >> 8;
    c.data[c.length++] = number & 0xFF;
    c.data[c.length++] = number >> 8;
    for (u32 i = 0; i < length; i++) c.data[c.length++] = text[i];
    c.data[c.length++] = 0;
    return true;
}

bool Drive::List(Channel& c, const FileSpec& parsed) {
    if (!Reserve(c, 256)) return false;
    c.data[c.length++] = kListingAddress & 0xFF;
    c.data[c.length++] = kListingAddress >> 8;

    u8 line[40];
    u8 name[kNameMax];
    u8 id[5];
    current_->Title(name, id);
    u32 n = 0;
    line[n++] = kReverseOn;
    line[n++] = '"';
    for (u32 i = 0; i < kNameMax; i++) line[n++] = name[i];
    line[n++] = '"';
    line[n++] = ' ';
    for (u32 i = 0; i < 5; i++) line[n++] = id[i];
    if (!ListLine(c, 0, line, n)) return false;

    DriveEntry e;
    for (u32 index = 0; current_->Entry(index, &e); index++) {
        if (parsed.length > 0 && !Matches(parsed.name, parsed.length, e.name, e.nameLength)) continue;
        if (parsed.type != kNoType && e.type != parsed.type) continue;
        n = 0;
        // Names line up whatever the width of the block count.
        for (u32 width = e.blocks < 10 ? 3 : e.blocks < 100 ? 2 : e.blocks < 1000 ? 1 : 0; width > 0; width--)
            line[n++] = ' ';
        line[n++] = '"';
        for (u32 i = 0; i < e.nameLength; i++) line[n++] = e.name[i];
        line[n++] = '"';
        for (u32 i = e.nameLength; i < kNameMax; i++) line[n++] = ' ';
        line[n++] = ' ';
        const char* type = kTypeNames[e.type <= kTypeDir ? e.type : kTypePrg];
        for (u32 i = 0; i < 3; i++) line[n++] = (u8)type[i];
        while (n < kLineText) line[n++] = ' ';
        if (!ListLine(c, e.blocks, line, n)) return false;
    }

    static const char kFree[] = "BLOCKS FREE.             ";
    n = 0;
    for (const char* s = kFree; *s; s++) line[n++] = (u8)*s;
    u32 free = current_->FreeBlocks();
    if (!ListLine(c, (u16)(free > kMostBlocks ? kMostBlocks : free), line, n)) return false;
    if (!Reserve(c, c.length + 2)) return false;
    c.data[c.length++] = 0;
    c.data[c.length++] = 0;
    return true;
}


bool Drive::RawBlock(Channel& c, const u8* sector) {
    if (!Reserve(c, c.length + kSectorBytes)) return false;
    for (u32 i = kLinkBytes; i < kSectorBytes; i++) c.data[c.length++] = sector[i];
    return true;
}

// An image gives its own blocks. Elsewhere they are made up from the
// listing: the disk name and ID, the free blocks spread over the BAM as
// far as 35 tracks hold them, and an entry for each file.
bool Drive::RawDirectory(Channel& c, const FileSpec& parsed) {
    u32 capacity = kDirectoryBlocks * (kSectorBytes - kLinkBytes);
    if (!Reserve(c, capacity)) return false;
    if (current_->DirectorySectors(c.data, capacity, &c.length)) return true;

    u8 block[kSectorBytes];
    Fill(block, 0, kSectorBytes);
    block[0] = kDirectoryTrack;
    block[1] = 1;
    block[kBamDosVersion] = 'A';
    u32 free = current_->FreeBlocks();
    for (u32 t = 1; t <= kTracks; t++) {
        u32 n = t == kDirectoryTrack ? 0 : free < SectorsOn(t) ? free : SectorsOn(t);
        free -= n;
        u32 bits = (1u << n) - 1;
        u8* e = block + kBamTracks * t;
        e[0] = (u8)n;
        e[1] = (u8)bits, e[2] = (u8)(bits >> 8), e[3] = (u8)(bits >> 16);
    }
    u8 name[kNameMax], id[5];
    current_->Title(name, id);
    Fill(block + kBamDiskName, kPad, kBamPadEnd - kBamDiskName);
    u32 shown = kNameMax;
    while (shown > 0 && name[shown - 1] == ' ') shown--;
    for (u32 i = 0; i < shown; i++) block[kBamDiskName + i] = name[i];
    for (u32 i = 0; i < 5; i++) block[kBamDiskId + i] = id[i] == ' ' ? kPad : id[i];
    if (!RawBlock(c, block)) return false;

    DriveEntry e;
    u32 slot = 0;
    Fill(block, 0, kSectorBytes);
    for (u32 index = 0; current_->Entry(index, &e); index++) {
        if (parsed.length > 0 && !Matches(parsed.name, parsed.length, e.name, e.nameLength)) continue;
        if (slot == kEntriesPerBlock) {
            block[0] = kDirectoryTrack;
            block[1] = 1;
            if (!RawBlock(c, block)) return false;
            Fill(block, 0, kSectorBytes);
            slot = 0;
        }
        u8* entry = block + kEntryBytes * slot++;
        entry[kEntryType] = (u8)(kClosed | (e.type == kTypeDir ? kRawDirType : e.type));
        Fill(entry + kEntryName, kPad, kNameMax);
        for (u32 i = 0; i < e.nameLength; i++) entry[kEntryName + i] = e.name[i];
        entry[kEntryBlocks] = (u8)e.blocks;
        entry[kEntryBlocks + 1] = (u8)(e.blocks >> 8);
    }
    // The last block's link: no next track, every byte used.
    block[0] = 0;
    block[1] = 0xFF;
    return RawBlock(c, block);
}

}  // namespace drive

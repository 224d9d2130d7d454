// The 1541 disk image: every walk over a chain is bounded by the number of
// sectors on the disk (a bitmap of those visited), so a hostile image ends
// in a status, never in a loop or a read outside the buffer.
#include "c64/drive/d64_image.h"

namespace drive {

namespace {

constexpr u32 k35TrackBytes = 174848;   // 683 sectors
constexpr u32 k40TrackBytes = 196608;   // 768 sectors
constexpr u32 k35TrackSectors = 683;
constexpr u32 k40TrackSectors = 768;

// BAM sector (18/0) layout.
constexpr u32 kBamTracks = 4;           // 4 bytes a track from track 1
constexpr u32 kBamDiskName = 0x90;      // 16 bytes, $A0-padded
constexpr u32 kBamDiskId = 0xA2;        // id (2), $A0, DOS type (2)
constexpr u32 kSpeedDosBam = 0xC0;      // tracks 36-40, where 40-track DOSes keep them
constexpr u32 kDolphinDosBam = 0xAC;

// Directory entry layout (32 bytes; the first two of each sector's first
// entry are the sector's link).
constexpr u32 kEntryBytes = 32;
constexpr u32 kEntriesPerSector = 8;
constexpr u32 kEntryType = 2;           // bit 7 closed, bit 6 locked, bits 0-2 type
constexpr u32 kEntryTrack = 3;
constexpr u32 kEntrySector = 4;
constexpr u32 kEntryName = 5;           // 16 bytes, $A0-padded
constexpr u32 kEntrySideTrack = 21;     // REL files: side-sector chain
constexpr u32 kEntrySideSector = 22;
constexpr u32 kEntryRecordLength = 23;
constexpr u32 kEntryExtraEnd = 30;      // bytes 21-29: REL and GEOS fields
constexpr u32 kEntryBlocks = 30;        // little-endian block count
constexpr u8 kTypeClosed = 0x80;
constexpr u8 kTypeLocked = 0x40;
constexpr u8 kTypeMask = 0x07;
constexpr u8 kTypeRel = 4;
constexpr u8 kPad = 0xA0;

// Side sector layout (REL files).
constexpr u32 kSideNumber = 2;          // 0-5
constexpr u32 kSideRecordLength = 3;
constexpr u32 kSideGroup = 4;           // track/sector of all 6 side sectors
constexpr u32 kSidePointerList = 16;    // track/sector of up to 120 data blocks
constexpr u32 kSidePointers = 120;
constexpr u32 kSideSectors = 6;

// Error bytes: 1 (or 0) a good block, 2-11 the 1541's errors 20-29.
constexpr u8 kFirstBadBlock = 2;
constexpr u8 kLastBadBlock = 11;
constexpr u8 kBadBlockToError = 18;

constexpr u8 kFileInterleave = 10;
constexpr u8 kDirectoryInterleave = 3;
constexpr u8 kFirstDirectorySector = 1;

bool Visit(u8* visited, u32 index) {
    u8 bit = (u8)(1u << (index & 7));
    if (visited[index >> 3] & bit) return false;
    visited[index >> 3] |= bit;
    return true;
}

}  // namespace

D64Image::D64Image()
    : image(nullptr), length(0), tracks(0), extendedBam(0), directoryStatus(kOk), errorTrack(0), errorSector(0) {}

u8 D64Image::Open(u8* data, u32 bytes) {
    image = nullptr;
    tracks = 0;
    if (!data) return kNotUsable;
    if (bytes == k35TrackBytes || bytes == k35TrackBytes + k35TrackSectors) {
        tracks = 35;
    } else if (bytes == k40TrackBytes || bytes == k40TrackBytes + k40TrackSectors) {
        tracks = 40;
    } else {
        return kNotUsable;
    }
    image = data;
    length = bytes;
    directoryStatus = kOk;
    DetectExtendedBam();
    return kOk;
}

// ---- geometry and BAM -------------------------------------------------------------

u8 D64Image::SectorsOnTrack(u8 track) {
    if (track <= 17) return 21;
    if (track <= 24) return 19;
    if (track <= 30) return 18;
    return 17;
}

bool D64Image::Valid(u8 track, u8 sector) const {
    return track >= 1 && track <= tracks && sector < SectorsOnTrack(track);
}

u32 D64Image::SectorIndex(u8 track, u8 sector) const {
    u32 index = sector;
    for (u8 t = 1; t < track; t++) index += SectorsOnTrack(t);
    return index;
}

u8* D64Image::Sector(u8 track, u8 sector) const {
    return image + SectorIndex(track, sector) * kSectorBytes;
}

u8* D64Image::BamEntry(u8 track) const {
    u8* bam = Sector(kDirectoryTrack, 0);
    if (track >= 1 && track <= 35) return bam + kBamTracks * track;
    if (track <= tracks && extendedBam) return bam + extendedBam + kBamTracks * (track - 36);
    return nullptr;
}

bool D64Image::IsFree(u8 track, u8 sector) const {
    const u8* entry = BamEntry(track);
    return entry && (entry[1 + sector / 8] >> (sector % 8)) & 1;
}

u32 D64Image::FreeOnTrack(u8 track) const {
    u32 count = 0;
    for (u8 s = 0; s < SectorsOnTrack(track); s++) count += IsFree(track, s);
    return count;
}

// The bitmap is the truth; the count byte is set from it, which also mends a
// count that disagreed.
void D64Image::SetFree(u8 track, u8 sector, bool free) {
    u8* entry = BamEntry(track);
    if (!entry) return;
    u8 bit = (u8)(1u << (sector % 8));
    if (free) entry[1 + sector / 8] |= bit;
    else entry[1 + sector / 8] &= (u8)~bit;
    entry[0] = (u8)FreeOnTrack(track);
}

bool D64Image::Allocatable(u8 track) const {
    return track != kDirectoryTrack && track >= 1 && track <= tracks && BamEntry(track);
}

u32 D64Image::FreeDataSectors() const {
    u32 count = 0;
    for (u8 t = 1; t <= tracks; t++)
        if (Allocatable(t)) count += FreeOnTrack(t);
    return count;
}

// A 40-track image keeps tracks 36-40 in the BAM only where its DOS did; take
// a layout whose counts agree with its bitmaps, else leave those tracks alone.
void D64Image::DetectExtendedBam() {
    extendedBam = 0;
    if (tracks != 40) return;
    const u8* bam = Sector(kDirectoryTrack, 0);
    const u32 candidates[] = {kSpeedDosBam, kDolphinDosBam};
    for (u32 offset : candidates) {
        bool any = false, consistent = true;
        for (u32 t = 0; t < 5; t++) {
            const u8* entry = bam + offset + kBamTracks * t;
            u32 bits = entry[1] | entry[2] << 8 | (u32)entry[3] << 16;
            if (bits >> 17) consistent = false;
            u32 count = 0;
            for (; bits; bits &= bits - 1) count++;
            if (entry[0] != count) consistent = false;
            any = any || entry[0];
        }
        if (any && consistent) {
            extendedBam = offset;
            return;
        }
    }
}

u16 D64Image::FreeBlocks() const {
    if (!image) return 0;
    u32 total = 0;
    for (u8 t = 1; t <= tracks; t++) {
        const u8* entry = BamEntry(t);
        if (t != kDirectoryTrack && entry) total += entry[0];
    }
    return (u16)total;
}

// ---- header ------------------------------------------------------------------------

void D64Image::DiskName(u8 out[16]) const {
    for (u32 i = 0; i < 16; i++) out[i] = image ? Sector(kDirectoryTrack, 0)[kBamDiskName + i] : kPad;
}

void D64Image::DiskId(u8 out[5]) const {
    for (u32 i = 0; i < 5; i++) out[i] = image ? Sector(kDirectoryTrack, 0)[kBamDiskId + i] : kPad;
}

// ---- directory ---------------------------------------------------------------------

// The sectors of the directory chain as a mask over track 18 (bit 0 the BAM,
// which is always part of the directory). Sets directoryStatus.
u32 D64Image::DirectoryMask() {
    directoryStatus = kOk;
    u32 seen = 1;
    u8 track = kDirectoryTrack, sector = kFirstDirectorySector;
    for (;;) {
        if (track != kDirectoryTrack || sector >= SectorsOnTrack(kDirectoryTrack) || (seen >> sector) & 1) {
            directoryStatus = kDirectoryError;
            return seen;
        }
        seen |= 1u << sector;
        const u8* s = Sector(track, sector);
        if (s[0] == 0) return seen;
        track = s[0];
        sector = s[1];
    }
}

bool D64Image::Entry(u32 index, D64Entry* out) {
    if (!image) {
        directoryStatus = kNotUsable;
        return false;
    }
    directoryStatus = kOk;
    u32 seen = 1, live = 0;
    u8 track = kDirectoryTrack, sector = kFirstDirectorySector;
    for (;;) {
        if (track != kDirectoryTrack || sector >= SectorsOnTrack(kDirectoryTrack) || (seen >> sector) & 1) {
            directoryStatus = kDirectoryError;
            return false;
        }
        seen |= 1u << sector;
        const u8* s = Sector(track, sector);
        for (u32 k = 0; k < kEntriesPerSector; k++) {
            const u8* raw = s + k * kEntryBytes;
            if (raw[kEntryType] == 0) continue;
            if (live++ != index) continue;
            out->nameLength = 16;
            for (u32 i = 0; i < 16; i++) {
                out->name[i] = raw[kEntryName + i];
                if (raw[kEntryName + i] == kPad && out->nameLength == 16) out->nameLength = (u8)i;
            }
            for (u32 i = out->nameLength; i < 16; i++) out->name[i] = 0;
            out->type = raw[kEntryType] & kTypeMask;
            out->closed = raw[kEntryType] & kTypeClosed;
            out->locked = raw[kEntryType] & kTypeLocked;
            out->blocks = (u16)(raw[kEntryBlocks] | raw[kEntryBlocks + 1] << 8);
            out->track = raw[kEntryTrack];
            out->sector = raw[kEntrySector];
            out->recordLength = raw[kEntryRecordLength];
            out->sideTrack = raw[kEntrySideTrack];
            out->sideSector = raw[kEntrySideSector];
            out->slot = (u32)track << 16 | (u32)sector << 8 | k * kEntryBytes;
            return true;
        }
        if (s[0] == 0) return false;
        track = s[0];
        sector = s[1];
    }
}

// 1-16 bytes, none of them the padding byte, which would cut the name short.
bool D64Image::ValidName(const u8* name, u8 nameLength) {
    if (nameLength == 0 || nameLength > 16) return false;
    for (u32 i = 0; i < nameLength; i++)
        if (name[i] == kPad) return false;
    return true;
}

bool D64Image::FindName(const u8* name, u8 nameLength) {
    D64Entry e;
    for (u32 i = 0; Entry(i, &e); i++) {
        if (e.nameLength != nameLength) continue;
        u32 k = 0;
        while (k < nameLength && e.name[k] == name[k]) k++;
        if (k == nameLength) return true;
    }
    return false;
}

u8* D64Image::EntryAt(u32 slot) {
    u8 track = (u8)(slot >> 16), sector = (u8)(slot >> 8), offset = (u8)slot;
    if (slot >> 24 || track != kDirectoryTrack || sector == 0 || sector >= SectorsOnTrack(track) ||
        offset % kEntryBytes)
        return nullptr;
    if (!((DirectoryMask() >> sector) & 1)) return nullptr;
    return Sector(track, sector) + offset;
}

bool D64Image::LiveEntryMatches(const D64Entry& e, u8** raw) {
    *raw = EntryAt(e.slot);
    if (!*raw || (*raw)[kEntryType] == 0) return false;
    if ((*raw)[kEntryTrack] != e.track || (*raw)[kEntrySector] != e.sector || e.nameLength > 16) return false;
    for (u32 i = 0; i < 16; i++) {
        u8 want = i < e.nameLength ? e.name[i] : kPad;
        if ((*raw)[kEntryName + i] != want) return false;
    }
    return true;
}

// A free directory slot (a type byte of 0), or failing that a free sector on
// track 18 to extend the chain with, at the 1541's directory interleave.
u8 D64Image::FindSlot(u32* slot, u8* lastSector, u8* newSector) {
    u32 mask = DirectoryMask();
    if (directoryStatus) return directoryStatus;
    *newSector = 0;
    u8 sector = kFirstDirectorySector;
    for (;;) {
        const u8* s = Sector(kDirectoryTrack, sector);
        for (u32 k = 0; k < kEntriesPerSector; k++) {
            if (s[k * kEntryBytes + kEntryType] == 0) {
                *slot = (u32)kDirectoryTrack << 16 | (u32)sector << 8 | k * kEntryBytes;
                return kOk;
            }
        }
        if (s[0] == 0) break;
        sector = s[1];
    }
    *lastSector = sector;
    u8 n = SectorsOnTrack(kDirectoryTrack);
    for (u8 i = 0; i < n; i++) {
        u8 candidate = (u8)((sector + kDirectoryInterleave + i) % n);
        if (candidate != 0 && !((mask >> candidate) & 1) && IsFree(kDirectoryTrack, candidate)) {
            *newSector = candidate;
            *slot = (u32)kDirectoryTrack << 16 | (u32)candidate << 8;
            return kOk;
        }
    }
    return kDiskFull;
}

// ---- files ---------------------------------------------------------------------------

u8 D64Image::WalkChain(u8 track, u8 sector, u8* visited, u32* blocks) const {
    *blocks = 0;
    for (;;) {
        if (!Valid(track, sector) || !Visit(visited, SectorIndex(track, sector))) return kIllegalTrackSector;
        ++*blocks;
        const u8* s = Sector(track, sector);
        if (s[0] == 0) return kOk;
        track = s[0];
        sector = s[1];
    }
}

// The block's error byte, where the image keeps them: the error the 1541
// met reading it, or kOk.
u8 D64Image::BlockError(u8 track, u8 sector) const {
    u32 sectors = tracks == 35 ? k35TrackSectors : k40TrackSectors;
    if (length != sectors * (kSectorBytes + 1)) return kOk;
    u8 code = image[sectors * kSectorBytes + SectorIndex(track, sector)];
    return code >= kFirstBadBlock && code <= kLastBadBlock ? (u8)(code + kBadBlockToError) : kOk;
}

// A file's chain never runs into the BAM; the directory's starts there.
u8 D64Image::ReadChain(u8 track, u8 sector, bool directory, u8* out, u32 capacity, u32* bytes) {
    *bytes = 0;
    if (!image) return kNotUsable;
    u8 visited[kMaxSectors / 8] = {};
    for (;;) {
        errorTrack = track;
        errorSector = sector;
        bool bam = track == kDirectoryTrack && sector == 0;
        if (!Valid(track, sector) || (bam && !directory) || !Visit(visited, SectorIndex(track, sector)))
            return kIllegalTrackSector;
        u8 error = directory ? kOk : BlockError(track, sector);
        if (error) return error;
        const u8* s = Sector(track, sector);
        // The last sector's second byte indexes its last used byte.
        u32 used = s[0] ? kDataBytes : (s[1] >= 2 ? s[1] - 1u : 0u);
        for (u32 i = 0; i < used; i++) {
            if (*bytes == capacity) return kFileTooLarge;
            out[(*bytes)++] = s[2 + i];
        }
        if (s[0] == 0) return kOk;
        track = s[0];
        sector = s[1];
    }
}

u8 D64Image::ReadFile(const D64Entry& e, u8* out, u32 capacity, u32* bytes) {
    return ReadChain(e.track, e.sector, false, out, capacity, bytes);
}

u8 D64Image::ReadDirectory(u8* out, u32 capacity, u32* bytes) {
    return ReadChain(kDirectoryTrack, 0, true, out, capacity, bytes);
}

// The records are the data chain's bytes; a partial record at its end is
// no record. The entry names the record length, as the first side sector does.
u8 D64Image::ReadRelative(const D64Entry& e, u8* out, u32 capacity, u32* bytes) {
    *bytes = 0;
    if (!image) return kNotUsable;
    u8 recordLength = e.recordLength;
    if (!recordLength && Valid(e.sideTrack, e.sideSector)) recordLength = Sector(e.sideTrack, e.sideSector)[kSideRecordLength];
    if (!recordLength) return kTypeMismatch;
    if (capacity == 0) return kFileTooLarge;
    out[0] = recordLength;
    u32 data;
    u8 status = ReadChain(e.track, e.sector, false, out + 1, capacity - 1, &data);
    if (status) return status;
    *bytes = 1 + data / recordLength * recordLength;
    return kOk;
}

// The 1541's choice: the first block on the track nearest the directory, the
// next ones on the same track at the file interleave, then outward from
// track 18, then on the other half of the disk.
bool D64Image::NextDataSector(u8* track, u8* sector) const {
    u8 t = *track;
    if (t && FreeOnTrack(t)) {
        u8 n = SectorsOnTrack(t);
        for (u8 i = 0; i < n; i++) {
            u8 candidate = (u8)((*sector + kFileInterleave + i) % n);
            if (IsFree(t, candidate)) {
                *sector = candidate;
                return true;
            }
        }
    }
    u8 order[2 * kMaxTracks];  // tracks in the order they are tried
    u32 count = 0;
    const int dir = kDirectoryTrack, last = tracks;
    if (t == 0) {
        for (int d = 1; d < last; d++) {
            if (dir - d >= 1) order[count++] = (u8)(dir - d);
            if (dir + d <= last) order[count++] = (u8)(dir + d);
        }
    } else if (t < dir) {
        for (int u = t - 1; u >= 1; u--) order[count++] = (u8)u;
        for (int u = dir + 1; u <= last; u++) order[count++] = (u8)u;
        for (int u = dir - 1; u > t; u--) order[count++] = (u8)u;
    } else {
        for (int u = t + 1; u <= last; u++) order[count++] = (u8)u;
        for (int u = dir - 1; u >= 1; u--) order[count++] = (u8)u;
        for (int u = dir + 1; u < t; u++) order[count++] = (u8)u;
    }
    for (u32 i = 0; i < count; i++) {
        u8 u = order[i];
        if (!Allocatable(u)) continue;
        for (u8 s = 0; s < SectorsOnTrack(u); s++) {
            if (IsFree(u, s)) {
                *track = u;
                *sector = s;
                return true;
            }
        }
    }
    return false;
}

u8 D64Image::WriteFile(const u8* name, u8 nameLength, u8 type, const u8* data, u32 bytes) {
    if (type < 1 || type > 3) return kSyntaxError;
    return Store(name, nameLength, type, data, bytes, 0);
}

u8 D64Image::WriteRelative(const u8* name, u8 nameLength, u8 recordLength, const u8* records, u32 bytes) {
    if (recordLength == 0 || recordLength > kDataBytes || bytes == 0 || bytes % recordLength) return kSyntaxError;
    return Store(name, nameLength, kTypeRel, records, bytes, recordLength);
}

u8 D64Image::Store(const u8* name, u8 nameLength, u8 type, const u8* data, u32 bytes, u8 recordLength) {
    if (!image) return kNotUsable;
    if (!ValidName(name, nameLength)) return kSyntaxError;
    if (FindName(name, nameLength)) return kExists;
    if (directoryStatus) return directoryStatus;
    u32 slot;
    u8 lastSector = 0, newSector = 0;
    u8 status = FindSlot(&slot, &lastSector, &newSector);
    if (status) return status;
    u32 blocks = bytes ? (bytes + kDataBytes - 1) / kDataBytes : 1;
    u32 sideBlocks = recordLength ? (blocks + kSidePointers - 1) / kSidePointers : 0;
    if (sideBlocks > kSideSectors) return kFileTooLarge;
    if (blocks + sideBlocks > FreeDataSectors() || blocks + sideBlocks > 0xFFFF) return kDiskFull;

    // Nothing can fail from here on.
    if (newSector) {
        SetFree(kDirectoryTrack, newSector, false);
        u8* s = Sector(kDirectoryTrack, newSector);
        for (u32 i = 0; i < kSectorBytes; i++) s[i] = 0;
        s[1] = 0xFF;
        Sector(kDirectoryTrack, lastSector)[0] = kDirectoryTrack;
        Sector(kDirectoryTrack, lastSector)[1] = newSector;
    }
    u8 track = 0, sector = 0, first = 0, firstSector = 0;
    u8* previous = nullptr;
    u32 done = 0;
    for (u32 b = 0; b < blocks; b++) {
        NextDataSector(&track, &sector);
        SetFree(track, sector, false);
        if (previous) {
            previous[0] = track;
            previous[1] = sector;
        } else {
            first = track;
            firstSector = sector;
        }
        u8* s = Sector(track, sector);
        u32 chunk = bytes - done < kDataBytes ? bytes - done : kDataBytes;
        for (u32 i = 0; i < kDataBytes; i++) s[2 + i] = i < chunk ? data[done + i] : 0;
        s[0] = 0;
        s[1] = (u8)(chunk + 1);
        done += chunk;
        previous = s;
    }
    u8 side[kSideSectors][2] = {};
    for (u32 k = 0; k < sideBlocks; k++) {
        NextDataSector(&track, &sector);
        SetFree(track, sector, false);
        side[k][0] = track;
        side[k][1] = sector;
    }
    if (sideBlocks) WriteSideSectors(first, firstSector, recordLength, side, sideBlocks);
    u8* raw = Sector(kDirectoryTrack, (u8)(slot >> 8)) + (slot & 0xFF);
    raw[kEntryType] = (u8)(kTypeClosed | type);
    raw[kEntryTrack] = first;
    raw[kEntrySector] = firstSector;
    for (u32 i = 0; i < 16; i++) raw[kEntryName + i] = i < nameLength ? name[i] : kPad;
    for (u32 i = kEntrySideTrack; i < kEntryExtraEnd; i++) raw[i] = 0;
    raw[kEntrySideTrack] = side[0][0];
    raw[kEntrySideSector] = side[0][1];
    raw[kEntryRecordLength] = recordLength;
    raw[kEntryBlocks] = (u8)(blocks + sideBlocks);
    raw[kEntryBlocks + 1] = (u8)((blocks + sideBlocks) >> 8);
    return kOk;
}

// Side sector k lists data blocks 120k to 120k + 119 of the chain from
// track/sector; each names all the side sectors, and the last one's link
// indexes its last used byte, as a data block's does.
void D64Image::WriteSideSectors(u8 track, u8 sector, u8 recordLength, const u8 side[][2], u32 count) {
    for (u32 k = 0; k < count; k++) {
        u8* s = Sector(side[k][0], side[k][1]);
        for (u32 i = 0; i < kSectorBytes; i++) s[i] = 0;
        s[kSideNumber] = (u8)k;
        s[kSideRecordLength] = recordLength;
        for (u32 g = 0; g < count; g++) {
            s[kSideGroup + 2 * g] = side[g][0];
            s[kSideGroup + 2 * g + 1] = side[g][1];
        }
        u32 n = 0;
        for (; n < kSidePointers && track; n++) {
            s[kSidePointerList + 2 * n] = track;
            s[kSidePointerList + 2 * n + 1] = sector;
            const u8* block = Sector(track, sector);
            track = block[0];
            sector = block[1];
        }
        bool last = k + 1 == count;
        s[0] = last ? 0 : side[k + 1][0];
        s[1] = last ? (u8)(kSidePointerList + 2 * n - 1) : side[k + 1][1];
    }
}

u8 D64Image::Scratch(const D64Entry& e) {
    if (!image) return kNotUsable;
    u8* raw;
    if (!LiveEntryMatches(e, &raw)) return directoryStatus ? directoryStatus : kNotFound;
    if (raw[kEntryType] & kTypeLocked) return kWriteProtect;
    u8 visited[kMaxSectors / 8] = {};
    u32 blocks, sideBlocks = 0;
    u8 status = WalkChain(raw[kEntryTrack], raw[kEntrySector], visited, &blocks);
    bool rel = (raw[kEntryType] & kTypeMask) == kTypeRel && raw[kEntrySideTrack];
    if (!status && rel) status = WalkChain(raw[kEntrySideTrack], raw[kEntrySideSector], visited, &sideBlocks);
    if (status) return status;
    // The chains are sound: free them, but never the BAM or a directory sector.
    u32 directory = DirectoryMask();
    u8 starts[2][2] = {{raw[kEntryTrack], raw[kEntrySector]}, {raw[kEntrySideTrack], raw[kEntrySideSector]}};
    for (u32 chain = 0; chain < (rel ? 2u : 1u); chain++) {
        u8 track = starts[chain][0], sector = starts[chain][1];
        for (u32 b = 0; b < (chain ? sideBlocks : blocks); b++) {
            const u8* s = Sector(track, sector);
            if (track != kDirectoryTrack || !((directory >> sector) & 1)) SetFree(track, sector, true);
            track = s[0];
            sector = s[1];
        }
    }
    raw[kEntryType] = 0;
    return kOk;
}

u8 D64Image::Rename(const D64Entry& e, const u8* name, u8 nameLength) {
    if (!image) return kNotUsable;
    if (!ValidName(name, nameLength)) return kSyntaxError;
    if (FindName(name, nameLength)) return kExists;
    u8* raw;
    if (!LiveEntryMatches(e, &raw)) return directoryStatus ? directoryStatus : kNotFound;
    for (u32 i = 0; i < 16; i++) raw[kEntryName + i] = i < nameLength ? name[i] : kPad;
    return kOk;
}

bool D64Image::Matches(const u8* pattern, u8 patternLength, const u8* name, u8 nameLength) {
    for (u32 i = 0; i < patternLength; i++) {
        if (pattern[i] == '*') return true;
        if (i >= nameLength || (pattern[i] != '?' && pattern[i] != name[i])) return false;
    }
    return patternLength == nameLength;
}

}  // namespace drive

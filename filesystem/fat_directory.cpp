// FAT32 directories: slots through a one-sector cache, entries with their
// long names, and slot allocation that reuses erased slots and grows the
// directory.
#include "filesystem/fat.h"

#include "filesystem/fat_internal.h"

namespace tarn {
namespace filesystem {

using namespace fatfs;

namespace {
// Every entry this system creates carries the same last-write stamp.
const u16 kFixedTime = 0x83C7;  // 16:30:14
const u16 kFixedDate = 0x4B3D;  // 29 September 2017

const u8 kLongAttrMask = 0x3F;  // the two top attribute bits are not part of the test

bool IsLongName(const u8* e) { return (e[kDirAttr] & kLongAttrMask) == kAttrLongName; }

// "NAME.EXT" without padding, no dot when the extension is empty; bytes
// outside ASCII as '?'.
void ShortDisplayName(const u8* shortName, char* out) {
    int n = 0;
    for (int i = 0; i < 8 && shortName[i] != ' '; i++) out[n++] = (char)shortName[i];
    if (n > 0 && shortName[0] == kEntryKanji) out[0] = (char)kEntryDeleted;
    if (shortName[8] != ' ') {
        out[n++] = '.';
        for (int i = 8; i < 11 && shortName[i] != ' '; i++) out[n++] = (char)shortName[i];
    }
    out[n] = 0;
    for (int i = 0; i < n; i++)
        if ((u8)out[i] >= 0x80 || (u8)out[i] < 0x20) out[i] = '?';
}
}  // namespace

bool Fat32::ValidShortName(const u8* name, const u8* ext) const {
    static const char kBad[] = "\"*+,./:;<=>?[\\]|";
    u8 all[11];
    Copy(all, name, 8);
    Copy(all + 8, ext, 3);
    if (all[0] == ' ') return false;
    for (int i = 0; i < 11; i++) {
        u8 c = all[i];
        if (c < 0x20 || c == 0x7F || (c >= 'a' && c <= 'z')) return false;
        for (const char* b = kBad; *b; b++)
            if (c == (u8)*b) return false;
    }
    // Spaces only pad: none may be followed by another character.
    for (int start = 0, len = 8; start < 11; start += len, len = 3) {
        bool space = false;
        for (int i = start; i < start + len; i++) {
            if (all[i] == ' ') space = true;
            else if (space) return false;
        }
    }
    return true;
}


// ---- slots ------------------------------------------------------------------

u8* Fat32::DirSlot(u32 dir, u32 slot) {
    if (!IsDataCluster(dir) || slot >= kMaxDirectorySlots) return nullptr;
    u32 perCluster = sectorsPerCluster * kEntriesPerSector;
    u32 index = slot / perCluster;
    if (slotDir != dir || index < slotIndex) {
        slotDir = dir;
        slotIndex = 0;
        slotCluster = dir;
        slotLimit = ChainLength(dir);
    }
    while (slotIndex < index) {
        u32 next = NextInChain(slotCluster);
        if (!next || slotIndex + 1 >= slotLimit) return nullptr;
        slotCluster = next;
        slotIndex++;
    }
    u64 sector = ClusterSector(slotCluster) + (slot % perCluster) / kEntriesPerSector;
    if (sector != dirSector) {
        if (FlushDir() != kOk) return nullptr;
        if (!ReadPieces(sector, 1, dirBuffer)) {
            dirSector = 0;
            return nullptr;
        }
        dirSector = sector;
    }
    return dirBuffer + (slot % kEntriesPerSector) * kEntryBytes;
}

u8 Fat32::FlushDir() {
    if (!dirDirty) return kOk;
    dirDirty = false;
    if (WritePieces(dirSector, 1, dirBuffer)) return kOk;
    dirSector = 0;  // what the disk holds is unknown now
    return kDiskError;
}

// Long-name pieces are collected until the short entry they belong to; a
// piece out of order or with another checksum drops the run, and the short
// name stands alone, as on other systems.
bool Fat32::NextEntry(u32 dir, u32* slot, FatEntryInfo* info, EntryPlace* place) {
    if (*slot == 0 && FlushDir() == kOk) dirSector = 0;  // a new walk rereads the disk
    bool haveLong = false;
    u32 longStart = 0;
    u8 expect = 0, sum = 0;
    for (;;) {
        u32 n = *slot;
        const u8* e = DirSlot(dir, n);
        if (!e || e[0] == kEntryFree) return false;
        (*slot)++;
        if (e[0] == kEntryDeleted) {
            haveLong = false;
            continue;
        }
        if (IsLongName(e)) {
            u8 ordinal = e[kLongOrdinal];
            u8 piece = ordinal & kLongOrdinalMask;
            if ((ordinal & kLongLast) && piece >= 1 && piece <= kLongMaxPieces) {
                haveLong = true;
                longStart = n;
                sum = e[kLongChecksum];
                Fill((u8*)info->name, 0, sizeof info->name);
            } else if (!haveLong || ordinal != expect - 1 || e[kLongChecksum] != sum) {
                haveLong = false;
                continue;
            }
            expect = piece;
            for (u32 k = 0; k < kLongChars; k++) {
                u32 at = (u32)(piece - 1) * kLongChars + k;
                u16 c = Le16(e + kLongCharAt[k]);
                if (at >= kLongNameMax) break;
                info->name[at] = c == 0 || c == 0xFFFF ? 0 : (c < 0x80 && c >= 0x20 ? (char)c : '?');
            }
            continue;
        }
        Copy(info->shortName, e, 11);
        info->attributes = e[kDirAttr];
        info->firstCluster = EntryCluster(e);
        info->size = Le32(e + kDirSize);
        info->date = Le16(e + kDirDate);
        info->time = Le16(e + kDirTime);
        bool useLong = haveLong && expect == 1 && ShortNameChecksum(e) == sum && info->name[0] != 0;
        if (!useLong) ShortDisplayName(info->shortName, info->name);
        info->name[kLongNameMax] = 0;
        place->dir = dir;
        place->slot = n;
        place->firstSlot = useLong ? longStart : n;
        return true;
    }
}

bool Fat32::FindByName(u32 dir, const char* name, FatEntryInfo* info, EntryPlace* place) {
    u32 slot = 0;
    char shortName[13];
    while (NextEntry(dir, &slot, info, place)) {
        if (info->attributes & kAttrVolumeLabel) continue;
        ShortDisplayName(info->shortName, shortName);
        if (SameNoCase(info->name, name) || SameNoCase(shortName, name)) return true;
    }
    return false;
}

bool Fat32::FindShort(u32 dir, const u8* shortName, FatEntryInfo* info, EntryPlace* place) {
    u8 stored[11];
    Copy(stored, shortName, 11);
    if (stored[0] == kEntryDeleted) stored[0] = kEntryKanji;
    u32 slot = 0;
    while (NextEntry(dir, &slot, info, place)) {
        if (!(info->attributes & kAttrVolumeLabel) && Same(info->shortName, stored, 11)) return true;
    }
    return false;
}

// A directory in use ends in a proper end mark; one that loops or runs
// into free space is not grown.
u8 Fat32::GrowDirectory(u32 dir, u32 lastOfDir) {
    if (FatEntry(lastOfDir) < kEndOfChainMin) return kDiskError;
    u32 added;
    u8 status = AllocateChain(1, &added);
    if (status != kOk) return status;
    status = ZeroCluster(added);
    if (status == kOk) {
        SetFatEntry(lastOfDir, added);
        status = WriteFatSectorOf(lastOfDir);
    }
    if (status != kOk) {
        SetFatEntry(lastOfDir, kEndOfChainMark);
        WriteFatSectorOf(lastOfDir);
        FreeChain(added);
    }
    return status;
}

// Erased slots are reused; from the end marker on every slot is free, and
// the slot after the new ones gets the marker back so that nothing stale
// behind it comes to life.
u8 Fat32::AllocateSlots(u32 dir, u32 count, u32* first) {
    if (FlushDir() != kOk) return kDiskError;
    dirSector = 0;
    diskError = false;
    u32 run = 0, start = 0;
    bool pastEnd = false;
    for (u32 slot = 0;; slot++) {
        if (slot >= kMaxDirectorySlots) return kDirectoryFull;
        u8* e = DirSlot(dir, slot);
        if (!e) {
            if (diskError) return kDiskError;
            u32 length = ChainLength(dir), last = dir;
            for (u32 i = 1; i < length; i++) last = NextInChain(last);
            u8 status = GrowDirectory(dir, last);
            if (status != kOk) return status;
            e = DirSlot(dir, slot);
            if (!e) return kDiskError;
        }
        if (pastEnd || e[0] == kEntryFree || e[0] == kEntryDeleted) {
            if (e[0] == kEntryFree) pastEnd = true;
            if (run++ == 0) start = slot;
            if (run < count) continue;
            *first = start;
            if (!pastEnd) return kOk;
            u8* after = DirSlot(dir, slot + 1);
            if (after && after[0] != kEntryFree) {
                after[0] = kEntryFree;
                MarkDirty();
            }
            return diskError ? kDiskError : FlushDir();
        }
        run = 0;
    }
}

u8 Fat32::EraseEntry(const EntryPlace& place) {
    for (u32 s = place.firstSlot; s <= place.slot; s++) {
        u8* e = DirSlot(place.dir, s);
        if (!e) return kDiskError;
        e[0] = kEntryDeleted;
        MarkDirty();
    }
    return FlushDir();
}

void Fat32::FillShortEntry(u8* e, const u8* shortName, u8 attributes, u32 cluster, u32 size) const {
    Fill(e, 0, kEntryBytes);
    Copy(e + kDirName, shortName, 11);
    if (e[0] == kEntryDeleted) e[0] = kEntryKanji;
    e[kDirAttr] = attributes;
    Put16(e + kDirTime, kFixedTime);
    Put16(e + kDirDate, kFixedDate);
    Put16(e + kDirClusterHi, (u16)(cluster >> 16));
    Put16(e + kDirClusterLo, (u16)cluster);
    Put32(e + kDirSize, size);
}

}  // namespace filesystem
}  // namespace tarn

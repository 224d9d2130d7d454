// FAT32 directory trees for the disk drive: entries listed and found by
// long or short name, whole files read and written, long names with their
// short aliases, subdirectories made and removed.
#include "filesystem/fat.h"

#include "filesystem/fat_internal.h"

namespace tarn {
namespace filesystem {

using namespace fatfs;

namespace {
const char kForbiddenInNames[] = "\"*/:<>?\\|";
const char kForbiddenInShortNames[] = "\"*+,./:;<=>?[\\]| ";
const u32 kMaxAliasNumber = 999999;  // "~999999" still leaves one character of the name

bool Contains(const char* set, char c) {
    for (const char* p = set; *p; p++)
        if (*p == c) return true;
    return false;
}

// A name other systems can store: printable ASCII without the characters
// FAT forbids, not ending in a space or a dot (other systems drop those).
bool ValidLongName(const char* name) {
    if (!name) return false;
    u32 length = Length(name);
    if (length == 0 || length > kLongNameMax) return false;
    for (u32 i = 0; i < length; i++) {
        u8 c = (u8)name[i];
        if (c < 0x20 || c >= 0x7F || Contains(kForbiddenInNames, (char)c)) return false;
    }
    return name[length - 1] != ' ' && name[length - 1] != '.';
}

bool IsDotEntry(const u8* shortName) {
    return shortName[0] == '.' && (shortName[1] == ' ' || (shortName[1] == '.' && shortName[2] == ' '));
}

// The character as a short name holds it: upper case, '_' for one a short
// name cannot hold.
u8 ShortChar(char c) {
    c = Upper(c);
    if ((u8)c < 0x20 || (u8)c >= 0x7F || Contains(kForbiddenInShortNames, c)) return '_';
    return (u8)c;
}

const char* LastDot(const char* name) {
    const char* dot = nullptr;
    for (const char* p = name; *p; p++)
        if (*p == '.') dot = p;
    return dot;
}

u8 Digits(u32 n, char* out) {
    char tmp[10];
    u8 count = 0;
    do { tmp[count++] = (char)('0' + n % 10); n /= 10; } while (n);
    for (u8 i = 0; i < count; i++) out[i] = tmp[count - 1 - i];
    return count;
}
}  // namespace

// The name itself when it is a valid short name as written (upper case,
// 8.3, one dot at most); otherwise a long name is needed and the alias is
// the name's letters, upper case, cut to 8.3, with the first free "~N".
u8 Fat32::MakeShortAlias(u32 dir, const char* name, u8* shortName, bool* needsLong) {
    u32 length = Length(name);
    const char* dot = LastDot(name);
    u32 baseLength = dot ? (u32)(dot - name) : length;
    u32 extLength = dot ? length - baseLength - 1 : 0;
    Fill(shortName, ' ', 11);
    if (baseLength >= 1 && baseLength <= 8 && extLength <= 3 && (!dot || extLength > 0)) {
        Copy(shortName, (const u8*)name, baseLength);
        Copy(shortName + 8, (const u8*)name + baseLength + 1, extLength);
        *needsLong = false;
        if (ValidShortName(shortName, shortName + 8) && shortName[0] != kEntryDeleted) return kOk;
        Fill(shortName, ' ', 11);
    }
    *needsLong = true;
    if (dot == name) dot = nullptr;  // ".name" has no extension
    u8 base[8];
    u32 nb = 0, ne = 0;
    for (const char* p = name; *p && p != dot && nb < 8; p++)
        if (*p != ' ' && *p != '.') base[nb++] = ShortChar(*p);
    for (const char* p = dot ? dot + 1 : ""; *p && ne < 3; p++)
        if (*p != ' ' && *p != '.') shortName[8 + ne++] = ShortChar(*p);
    if (nb == 0) base[nb++] = '_';
    FatEntryInfo info;
    EntryPlace place;
    for (u32 n = 1; n <= kMaxAliasNumber; n++) {
        char tail[8] = {'~'};
        u32 tailLength = 1u + Digits(n, tail + 1);
        u32 keep = nb < 8 - tailLength ? nb : 8 - tailLength;
        Fill(shortName, ' ', 8);
        Copy(shortName, base, keep);
        Copy(shortName + keep, (const u8*)tail, tailLength);
        diskError = false;
        if (!FindShort(dir, shortName, &info, &place)) return diskError ? kDiskError : kOk;
    }
    return kDirectoryFull;
}

u8 Fat32::CreateEntry(u32 dir, const char* name, u8 attributes, u32 cluster, u32 size) {
    u8 shortName[11];
    bool needsLong = false;
    u8 status = MakeShortAlias(dir, name, shortName, &needsLong);
    if (status != kOk) return status;
    u32 length = Length(name);
    u32 pieces = needsLong ? (length + kLongChars - 1) / kLongChars : 0;
    u32 first;
    status = AllocateSlots(dir, pieces + 1, &first);
    if (status != kOk) return status;
    u8 entry[kEntryBytes];
    FillShortEntry(entry, shortName, attributes, cluster, size);
    u8 sum = ShortNameChecksum(entry);
    // The pieces go highest first; each holds 13 characters, the name ends
    // in a 0 and the rest of its piece is padded with 0xFFFF.
    for (u32 p = 0; p < pieces; p++) {
        u8* e = DirSlot(dir, first + p);
        if (!e) return kDiskError;
        u8 ordinal = (u8)(pieces - p);
        Fill(e, 0, kEntryBytes);
        e[kLongOrdinal] = (u8)(ordinal | (p == 0 ? kLongLast : 0));
        e[kDirAttr] = kAttrLongName;
        e[kLongChecksum] = sum;
        for (u32 k = 0; k < kLongChars; k++) {
            u32 at = (ordinal - 1u) * kLongChars + k;
            u16 c = at < length ? (u8)name[at] : (at == length ? 0 : 0xFFFF);
            Put16(e + kLongCharAt[k], c);
        }
        MarkDirty();
    }
    u8* e = DirSlot(dir, first + pieces);
    if (!e) return kDiskError;
    Copy(e, entry, kEntryBytes);
    MarkDirty();
    return FlushDir();
}

u32 Fat32::FreeClusters() {
    if (!volumeMounted) return 0;
    freeClusters = CountFreeClusters();
    return freeClusters;
}

u8 Fat32::ListDirectory(u32 dirCluster, u32 index, FatEntryInfo* out) {
    if (!volumeMounted) return kNotMounted;
    if (dirCluster == 0) dirCluster = rootCluster;
    if (!IsDataCluster(dirCluster) || !out) return kNotFound;
    diskError = false;
    u32 slot = 0, n = 0;
    EntryPlace place;
    while (NextEntry(dirCluster, &slot, out, &place)) {
        if ((out->attributes & kAttrVolumeLabel) || IsDotEntry(out->shortName)) continue;
        if (n++ == index) return kOk;
    }
    return diskError ? kDiskError : kEndOfFile;
}

u8 Fat32::FindEntry(u32 dirCluster, const char* name, FatEntryInfo* out) {
    if (!volumeMounted) return kNotMounted;
    if (dirCluster == 0) dirCluster = rootCluster;
    if (!IsDataCluster(dirCluster) || !name || !name[0] || !out) return kNotFound;
    diskError = false;
    EntryPlace place;
    if (!FindByName(dirCluster, name, out, &place)) return diskError ? kDiskError : kNotFound;
    // ".." of a directory in the root names the root as cluster 0.
    if ((out->attributes & kAttrDirectory) && out->firstCluster == 0) out->firstCluster = rootCluster;
    return kOk;
}

u8 Fat32::ReadWholeFile(const FatEntryInfo& entry, u8* out, u32 capacity, u32* length) {
    if (length) *length = 0;
    if (!volumeMounted) return kNotMounted;
    if (entry.attributes & (kAttrDirectory | kAttrVolumeLabel)) return kWrongMode;
    if (entry.size > capacity || entry.size > kMaxFileBytes) return kNoMemory;
    if (entry.size == 0) return kOk;
    if (!IsDataCluster(entry.firstCluster)) return kDiskError;
    diskError = false;
    u32 copied = 0;
    for (u8* s = ReadNextSectorInChain(entry.firstCluster); s && copied < entry.size;
         s = ReadNextSectorInChain(0)) {
        u32 bytes = entry.size - copied < kSectorBytes ? entry.size - copied : kSectorBytes;
        Copy(out + copied, s, bytes);
        copied += bytes;
    }
    if (length) *length = copied;
    // A chain shorter than the size is damage, not a short file.
    return copied == entry.size ? kOk : kDiskError;
}

u8 Fat32::WriteWholeFile(u32 dirCluster, const char* name, const u8* data, u32 length, bool replace) {
    if (!volumeMounted) return kNotMounted;
    if (dirCluster == 0) dirCluster = rootCluster;
    if (!IsDataCluster(dirCluster) || !ValidLongName(name)) return kNotFound;
    if (length > kMaxFileBytes) return kNoMemory;
    diskError = false;
    FatEntryInfo old;
    EntryPlace place;
    bool exists = FindByName(dirCluster, name, &old, &place);
    if (diskError) return kDiskError;
    if (exists && (!replace || (old.attributes & (kAttrDirectory | kAttrVolumeLabel | kAttrReadOnly))))
        return kExists;
    u32 first;
    u8 status = StoreChain(data, length, &first);
    if (status != kOk) return status;
    if (!exists) {
        status = CreateEntry(dirCluster, name, kAttrArchive, first, length);
        if (status != kOk) FreeChain(first);
        return status;
    }
    // The new data is on the disk; one sector write switches the entry
    // over, and only then is the old chain freed.
    u8* e = DirSlot(dirCluster, place.slot);
    if (!e) {
        FreeChain(first);
        return kDiskError;
    }
    Put16(e + kDirClusterHi, (u16)(first >> 16));
    Put16(e + kDirClusterLo, (u16)first);
    Put32(e + kDirSize, length);
    MarkDirty();
    status = FlushDir();
    if (status != kOk) {
        FreeChain(first);
        return status;
    }
    FreeChain(old.firstCluster);
    return kOk;
}

u8 Fat32::DeleteEntry(u32 dirCluster, const char* name) {
    if (!volumeMounted) return kNotMounted;
    if (dirCluster == 0) dirCluster = rootCluster;
    if (!IsDataCluster(dirCluster) || !name) return kNotFound;
    diskError = false;
    FatEntryInfo info;
    EntryPlace place;
    if (!FindByName(dirCluster, name, &info, &place)) return diskError ? kDiskError : kNotFound;
    if (info.attributes & (kAttrDirectory | kAttrVolumeLabel | kAttrReadOnly)) return kWrongMode;
    u8 status = EraseEntry(place);
    if (status != kOk) return status;
    // The entry is gone first, so a failure here only loses free space.
    return FreeChain(info.firstCluster);
}

// The new entries are written before the old ones are erased: an
// interruption leaves the file under both names, never under none.
u8 Fat32::RenameEntry(u32 dirCluster, const char* oldName, const char* newName) {
    if (!volumeMounted) return kNotMounted;
    if (dirCluster == 0) dirCluster = rootCluster;
    if (!IsDataCluster(dirCluster) || !oldName || !ValidLongName(newName)) return kNotFound;
    diskError = false;
    FatEntryInfo info, other;
    EntryPlace place, otherPlace;
    if (!FindByName(dirCluster, oldName, &info, &place)) return diskError ? kDiskError : kNotFound;
    if ((info.attributes & kAttrVolumeLabel) || IsDotEntry(info.shortName)) return kWrongMode;
    if (FindByName(dirCluster, newName, &other, &otherPlace) && otherPlace.slot != place.slot) return kExists;
    if (diskError) return kDiskError;
    u8 status = CreateEntry(dirCluster, newName, info.attributes, info.firstCluster, info.size);
    if (status != kOk) return status;
    return EraseEntry(place);
}

u8 Fat32::MakeDirectory(u32 dirCluster, const char* name) {
    if (!volumeMounted) return kNotMounted;
    if (dirCluster == 0) dirCluster = rootCluster;
    if (!IsDataCluster(dirCluster) || !ValidLongName(name)) return kNotFound;
    diskError = false;
    FatEntryInfo info;
    EntryPlace place;
    if (FindByName(dirCluster, name, &info, &place)) return kExists;
    if (diskError) return kDiskError;
    u32 added;
    u8 status = AllocateChain(1, &added);
    if (status != kOk) return status;
    // "." names the new directory, ".." its parent (0 for the root).
    u8 dots[2 * kEntryBytes];
    u8 dot[11], dotdot[11];
    Fill(dot, ' ', 11);
    Fill(dotdot, ' ', 11);
    dot[0] = dotdot[0] = dotdot[1] = '.';
    FillShortEntry(dots, dot, kAttrDirectory, added, 0);
    FillShortEntry(dots + kEntryBytes, dotdot, kAttrDirectory, dirCluster == rootCluster ? 0 : dirCluster, 0);
    status = WriteCluster(added, dots, sizeof dots);
    if (status == kOk) status = CreateEntry(dirCluster, name, kAttrDirectory, added, 0);
    if (status != kOk) FreeChain(added);
    return status;
}

u8 Fat32::RemoveDirectory(u32 dirCluster, const char* name) {
    if (!volumeMounted) return kNotMounted;
    if (dirCluster == 0) dirCluster = rootCluster;
    if (!IsDataCluster(dirCluster) || !name) return kNotFound;
    diskError = false;
    FatEntryInfo info;
    EntryPlace place;
    if (!FindByName(dirCluster, name, &info, &place)) return diskError ? kDiskError : kNotFound;
    if (!(info.attributes & kAttrDirectory) || IsDotEntry(info.shortName)) return kWrongMode;
    if (!IsDataCluster(info.firstCluster) || info.firstCluster == rootCluster) return kDiskError;
    // Only an empty directory goes: nothing but "." and "..".
    u32 slot = 0;
    FatEntryInfo inner;
    EntryPlace innerPlace;
    while (NextEntry(info.firstCluster, &slot, &inner, &innerPlace))
        if (!(inner.attributes & kAttrVolumeLabel) && !IsDotEntry(inner.shortName)) return kExists;
    if (diskError) return kDiskError;
    // The walk above moved the slot cache; the parent's entry is reread.
    u8 status = EraseEntry(place);
    if (status != kOk) return status;
    return FreeChain(info.firstCluster);
}

}  // namespace filesystem
}  // namespace tarn

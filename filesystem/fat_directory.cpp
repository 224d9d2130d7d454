// FAT32 root-directory maintenance (create, update, delete, rename) and the
// C64 disk-drive style directory listing.
#include "filesystem/fat.h"

#include "filesystem/fat_internal.h"

namespace kestrel {
namespace filesystem {

using namespace fatfs;

namespace {
// Every entry this system creates carries the same last-write stamp.
const u16 kFixedTime = 0x83C7;  // 16:30:14
const u16 kFixedDate = 0x4B3D;  // 29 September 2017

// The listing is a BASIC program placed at $0801.
const u16 kBasicStart = 0x0801;
const u32 kHeaderBytes = 30;
const u32 kClosingBytes = 20;   // closing line and the end marker
const u32 kLongestLine = 31;
const u32 kListingLimit = 0x10000 - kBasicStart;  // what fits in C64 memory

const u8 kHeader[kHeaderBytes] = {
    0x1F, 0x08, 0x00, 0x00, 0x12, '"',
    ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
    '"', ' ', '0', '0', ' ', '2', 'A', 0x00};
const char kBlocksFree[] = "BLOCKS FREE.";

bool IsLongName(const u8* e) { return e[kDirAttr] == kAttrLongName && e[0] != kEntryDeleted; }
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

int Fat32::FindEntry(const u8* name, const u8* ext) {
    if (!volumeMounted) return -1;
    endOfChain = 0;
    for (u8* s = ReadNextSectorInChain(rootCluster); s; s = ReadNextSectorInChain(0)) {
        for (u32 i = 0; i < kEntriesPerSector; i++) {
            const u8* e = s + i * kEntryBytes;
            if (e[kDirAttr] == kAttrLongName) continue;
            if (Same(e + kDirName, name, 8) && Same(e + kDirExt, ext, 3)) return (int)i;
        }
    }
    return -1;
}

u8 Fat32::WriteBack() {
    return ata->WriteSector(currentSector, buffer, kSectorBytes) == 0 ? kOk : kDiskError;
}

// A long name belongs to the short entry right after it; once that entry is
// gone or renamed the long-name entries before it are deleted too.
void Fat32::DeleteLongNameBefore(int index) {
    int i = index - 1;
    while (i >= 0 && IsLongName(buffer + i * kEntryBytes)) {
        buffer[i * kEntryBytes] = kEntryDeleted;
        i--;
    }
    if (i >= 0 || previousSector == 0) return;
    // The run may continue at the end of the previous directory sector.
    u8 sector[kSectorBytes];
    if (ata->ReadSector(previousSector, sector, kSectorBytes) != 0) return;
    bool changed = false;
    for (int k = kEntriesPerSector - 1; k >= 0 && IsLongName(sector + k * kEntryBytes); k--) {
        sector[k * kEntryBytes] = kEntryDeleted;
        changed = true;
    }
    if (changed) ata->WriteSector(previousSector, sector, kSectorBytes);
}

u8 Fat32::CreateDirectoryEntry(const u8* name, const u8* ext, u32 size) {
    if (!volumeMounted) return kNotMounted;
    diskError = false;
    endOfChain = 0;
    for (u8* s = ReadNextSectorInChain(rootCluster); s; s = ReadNextSectorInChain(0)) {
        for (u32 i = 0; i < kEntriesPerSector; i++) {
            u8* e = s + i * kEntryBytes;
            if (e[0] != kEntryFree) continue;
            Fill(e, 0, kEntryBytes);
            Copy(e + kDirName, name, 8);
            Copy(e + kDirExt, ext, 3);
            if (e[0] == kEntryDeleted) e[0] = kEntryKanji;
            e[kDirAttr] = kAttrArchive;
            Put16(e + kDirTime, kFixedTime);
            Put16(e + kDirDate, kFixedDate);
            Put32(e + kDirSize, size);
            return WriteBack();
        }
    }
    return diskError ? kDiskError : kDirectoryFull;
}

u8 Fat32::UpdateDirectoryEntry(const u8* name, const u8* ext, u32 size, u32 cluster) {
    if (!volumeMounted) return kNotMounted;
    diskError = false;
    int i = FindEntry(name, ext);
    if (i < 0) return diskError ? kDiskError : kNotFound;
    u8* e = buffer + i * kEntryBytes;
    Put16(e + kDirClusterHi, (u16)(cluster >> 16));
    Put16(e + kDirClusterLo, (u16)cluster);
    Put32(e + kDirSize, size);
    return WriteBack();
}

u8 Fat32::DeleteFile(const char* name) {
    if (!volumeMounted) return kNotMounted;
    u8 base[8], ext[3];
    if (ParseFilename(name, base, ext) != kOk) return kNotFound;
    diskError = false;
    int i = FindEntry(base, ext);
    if (i < 0) return diskError ? kDiskError : kNotFound;
    u8* e = buffer + i * kEntryBytes;
    // Only files: a directory's contents or the label are not ours to drop.
    if (e[kDirAttr] & (kAttrDirectory | kAttrVolumeLabel)) return kNotFound;
    u32 first = EntryCluster(e);
    e[0] = kEntryDeleted;
    DeleteLongNameBefore(i);
    u8 status = WriteBack();
    if (status != kOk) return status;
    // The entry is gone first, so a failure here only loses free space.
    return FreeChain(first);
}

u8 Fat32::RenameFile(const char* oldName, const char* newName) {
    if (!volumeMounted) return kNotMounted;
    u8 oldBase[8], oldExt[3], newBase[8], newExt[3];
    if (ParseFilename(oldName, oldBase, oldExt) != kOk) return kNotFound;
    if (ParseFilename(newName, newBase, newExt) != kOk) return kNotFound;
    if (!ValidShortName(newBase, newExt)) return kNotFound;
    diskError = false;
    bool same = Same(oldBase, newBase, 8) && Same(oldExt, newExt, 3);
    if (!same && FindEntry(newBase, newExt) >= 0) return kExists;
    int i = FindEntry(oldBase, oldExt);
    if (i < 0) return diskError ? kDiskError : kNotFound;
    if (same) return kOk;
    u8* e = buffer + i * kEntryBytes;
    Copy(e + kDirName, newBase, 8);
    Copy(e + kDirExt, newExt, 3);
    if (e[0] == kEntryDeleted) e[0] = kEntryKanji;
    DeleteLongNameBefore(i);
    return WriteBack();
}

u16 Fat32::GetCBMDir(u8* out) { return GetCBMDir(out, kListingLimit); }

u16 Fat32::GetCBMDir(u8* out, u32 outLength) {
    if (!volumeMounted || outLength < kHeaderBytes + kClosingBytes) return 0;
    if (outLength > kListingLimit) outLength = kListingLimit;
    Copy(out, kHeader, kHeaderBytes);
    u16 offset = kHeaderBytes;
    bool full = false;
    endOfChain = 0;
    for (u8* s = ReadNextSectorInChain(rootCluster); s && !full; s = ReadNextSectorInChain(0)) {
        for (u32 i = 0; i < kEntriesPerSector; i++) {
            const u8* e = s + i * kEntryBytes;
            if (e[0] == kEntryFree || e[0] == kEntryDeleted) continue;
            u8 first = e[0] == kEntryKanji ? kEntryDeleted : e[0];
            if (e[kDirAttr] & kAttrVolumeLabel) {
                Copy(out + 6, e, 11);
                out[6] = first;
                continue;
            }
            if ((u32)offset + kLongestLine + kClosingBytes > outLength) {
                full = true;
                break;
            }
            u16 start = offset;
            offset += 2;
            u32 size = Le32(e + kDirSize);
            u32 blocks = ((size + 254) >> 1) / 127;
            out[offset++] = (u8)blocks;
            out[offset++] = (u8)(blocks >> 8);
            u32 spaces = 3;
            if (blocks > 10) spaces--;
            if (blocks > 100) spaces--;
            while (spaces--) out[offset++] = ' ';
            out[offset++] = '"';
            Copy(out + offset, e, 8);
            out[offset] = first;
            offset += 8;
            out[offset++] = '"';
            for (int k = 0; k < 9; k++) out[offset++] = ' ';
            if (e[kDirAttr] & kAttrDirectory) {
                out[offset++] = 'D';
                out[offset++] = 'I';
                out[offset++] = 'R';
            } else {
                Copy(out + offset, e + kDirExt, 4);
                offset += 4;
            }
            out[offset++] = 0;
            u16 link = (u16)(kBasicStart + offset);
            out[start] = (u8)link;
            out[start + 1] = (u8)(link >> 8);
        }
    }
    u16 link = (u16)(kBasicStart + offset + 17);
    out[offset++] = (u8)link;
    out[offset++] = (u8)(link >> 8);
    out[offset++] = 0;
    out[offset++] = 0;
    for (const char* t = kBlocksFree; *t; t++) out[offset++] = (u8)*t;
    out[offset++] = 0;
    out[offset++] = 0;
    out[offset++] = 0;
    out[offset++] = 0;
    return offset;
}

}  // namespace filesystem
}  // namespace kestrel

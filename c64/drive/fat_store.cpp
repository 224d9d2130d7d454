// Drive 8's files in a directory of the FAT32 volume.
#include "c64/drive/fat_store.h"

#include "filesystem/fat.h"

using tarn::filesystem::Fat32;
using tarn::filesystem::FatEntryInfo;

namespace drive {

namespace {

constexpr u32 kBlockBytes = 254;
constexpr u32 kMostBlocks = 65535;
constexpr u32 kMostEntries = 65536;   // a FAT directory holds no more
constexpr u8 kAttrVolumeLabel = 0x08;
constexpr u8 kAttrDirectory = 0x10;
constexpr u32 kFatName = 24;          // C64 name, dot, extension, terminator

struct Extension {
    const char* text;
    u8 type;
};
// A .REL file holds a relative file's record length (one byte), then its records.
const Extension kExtensions[] = {{"PRG", kTypePrg}, {"SEQ", kTypeSeq}, {"USR", kTypeUsr}, {"REL", kTypeRel}};

u8 Upper(char c) { return (c >= 'a' && c <= 'z') ? (u8)(c - 'a' + 'A') : (u8)c; }

u32 Length(const char* s) {
    u32 n = 0;
    while (s[n]) n++;
    return n;
}

bool EndsWith(const char* name, u32 length, const char* ext) {
    if (length < 5 || name[length - 4] != '.') return false;
    for (u32 i = 0; i < 3; i++)
        if (Upper(name[length - 3 + i]) != (u8)ext[i]) return false;
    return true;
}

// A name's character as the C64 shows it: capitals, '?' where PETSCII has none.
u8 Shown(char c) {
    u8 u = Upper(c);
    return (u >= 0x20 && u <= 0x5F) ? u : '?';
}

// The type a FAT entry is listed with, and how much of its name the C64
// name is: all of it but the extension that gave the type.
u8 TypeOf(const FatEntryInfo& info, bool* image, u32* nameLength) {
    u32 length = Length(info.name);
    *image = false;
    *nameLength = length;
    if (info.attributes & kAttrDirectory) return kTypeDir;
    *nameLength = length - 4;
    if (EndsWith(info.name, length, "D64")) {
        *image = true;
        return kTypeDir;
    }
    for (const Extension& x : kExtensions)
        if (EndsWith(info.name, length, x.text)) return x.type;
    *nameLength = length;
    return kTypePrg;
}

bool SameShortName(const FatEntryInfo& info, const DriveEntry& e) {
    for (u32 i = 0; i < 11; i++)
        if (info.shortName[i] != e.shortName[i]) return false;
    return true;
}

// A C64 name for a FAT entry: "Boulder Dash.prg" is BOULDER DASH, a program;
// characters PETSCII has no capital for show as '?'; at most 16 of them.
void Describe(const FatEntryInfo& info, DriveEntry* out) {
    u32 length;
    out->type = TypeOf(info, &out->image, &length);
    out->nameLength = 0;
    for (u32 i = 0; i < length && out->nameLength < kNameMax; i++) out->name[out->nameLength++] = Shown(info.name[i]);
    for (u32 i = 0; i < 11; i++) out->shortName[i] = info.shortName[i];
    out->size = out->type == kTypeDir && !out->image ? 0 : info.size;
    u32 blocks = (out->size + kBlockBytes - 1) / kBlockBytes;
    out->blocks = (u16)(blocks > kMostBlocks ? kMostBlocks : blocks);
}

// The FAT name a C64 name is stored under: "NAME.SEQ", or "NAME" for a
// directory (type kTypeDir).
void FatName(const u8* name, u8 length, u8 type, char out[kFatName]) {
    u32 n = 0;
    for (u32 i = 0; i < length && i < kNameMax; i++) out[n++] = (char)name[i];
    const char* ext = nullptr;
    for (const Extension& x : kExtensions)
        if (x.type == type) ext = x.text;
    if (ext) {
        out[n++] = '.';
        for (u32 i = 0; i < 3; i++) out[n++] = ext[i];
    }
    out[n] = 0;
}

u8 DosStatus(u8 fat) {
    switch (fat) {
    case Fat32::kOk: return kOk;
    case Fat32::kNotFound: return kFileNotFound;
    case Fat32::kExists: return kFileExists;
    case Fat32::kFatFull:
    case Fat32::kDirectoryFull: return kDiskFull;
    case Fat32::kNoMemory: return kNoChannel;
    case Fat32::kNotMounted: return kNotReady;
    default: return kWriteError;
    }
}

}  // namespace

void FatStore::Volume(Fat32* fat) {
    fat_ = fat;
    depth_ = 0;
    haveLast_ = false;
}

bool FatStore::Ready() const { return fat_ && fat_->mounted() && fat_->DiskPresent(); }

u32 FatStore::Directory() const { return depth_ ? path_[depth_ - 1] : fat_->RootCluster(); }

bool FatStore::Entry(u32 index, DriveEntry* out) {
    if (!Ready()) return false;
    u32 live = 0, slot = 0;
    if (haveLast_ && index > lastIndex_) {
        live = lastIndex_ + 1;
        slot = lastSlot_ + 1;
    }
    FatEntryInfo info;
    for (; slot < kMostEntries && fat_->ListDirectory(Directory(), slot, &info) == Fat32::kOk; slot++) {
        if (info.attributes & kAttrVolumeLabel) continue;
        if (info.name[0] == '.' && (info.name[1] == 0 || (info.name[1] == '.' && info.name[2] == 0))) continue;
        if (live++ != index) continue;
        Describe(info, out);
        out->key = slot;
        lastIndex_ = index;
        lastSlot_ = slot;
        haveLast_ = true;
        return true;
    }
    haveLast_ = false;
    return false;
}

// The entry is looked up where it was listed, and by its short name where
// files made or erased since have moved it.
bool FatStore::Info(const DriveEntry& e, FatEntryInfo* out) {
    if (!Ready()) return false;
    if (fat_->ListDirectory(Directory(), e.key, out) == Fat32::kOk && SameShortName(*out, e)) return true;
    char shortName[13];
    u32 n = 0;
    for (u32 i = 0; i < 8 && e.shortName[i] != ' '; i++) shortName[n++] = (char)e.shortName[i];
    if (e.shortName[8] != ' ') shortName[n++] = '.';
    for (u32 i = 8; i < 11 && e.shortName[i] != ' '; i++) shortName[n++] = (char)e.shortName[i];
    shortName[n] = 0;
    return fat_->FindEntry(Directory(), shortName, out) == Fat32::kOk && SameShortName(*out, e);
}

// The whole C64 name, also past the 16 characters the listing shows.
bool FatStore::NameIs(const DriveEntry& e, const u8* name, u32 length) {
    FatEntryInfo info;
    bool image;
    u32 full;
    if (!Info(e, &info) || (TypeOf(info, &image, &full), full != length)) return false;
    for (u32 i = 0; i < length; i++)
        if (Shown(info.name[i]) != name[i]) return false;
    return true;
}

u8 FatStore::Read(const DriveEntry& e, u8* out, u32 capacity, u32* length) {
    *length = 0;
    FatEntryInfo info;
    if (!Info(e, &info)) return Failed(kFileNotFound);
    u8 status = fat_->ReadWholeFile(info, out, capacity, length);
    return status == Fat32::kOk ? kOk : Failed(kReadError);
}

u8 FatStore::Write(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length, bool replace) {
    if (!Ready()) return kNotReady;
    char fatName[kFatName];
    FatName(name, nameLength, type, fatName);
    haveLast_ = false;
    return Failed(DosStatus(fat_->WriteWholeFile(Directory(), fatName, data, length, replace)));
}

u8 FatStore::Overwrite(const DriveEntry& e, const u8* data, u32 length) {
    FatEntryInfo info;
    if (!Info(e, &info)) return kFileNotFound;
    haveLast_ = false;
    return Failed(DosStatus(fat_->WriteWholeFile(Directory(), info.name, data, length, true)));
}

u8 FatStore::Scratch(const DriveEntry& e) {
    FatEntryInfo info;
    if (!Info(e, &info)) return kFileNotFound;
    haveLast_ = false;
    return Failed(DosStatus(fat_->DeleteEntry(Directory(), info.name)));
}

u8 FatStore::Rename(const DriveEntry& e, const u8* name, u8 nameLength) {
    FatEntryInfo info;
    if (!Info(e, &info)) return kFileNotFound;
    char fatName[kFatName];
    // The new name keeps the file's extension (and a .D64 stays an image).
    FatName(name, nameLength, e.image ? kTypeDir : e.type, fatName);
    if (e.image) {
        u32 n = Length(fatName);
        const char* ext = ".D64";
        for (u32 i = 0; i <= 4; i++) fatName[n + i] = ext[i];
    }
    haveLast_ = false;
    return Failed(DosStatus(fat_->RenameEntry(Directory(), info.name, fatName)));
}

u8 FatStore::Enter(const DriveEntry& e) {
    FatEntryInfo info;
    if (!Info(e, &info) || !(info.attributes & kAttrDirectory)) return kFileNotFound;
    if (depth_ == kDepth) return kNoChannel;
    // ".." of a directory below the root names cluster 0.
    path_[depth_] = info.firstCluster ? info.firstCluster : fat_->RootCluster();
    for (u32 i = 0; i < kNameMax; i++) titles_[depth_][i] = i < e.nameLength ? e.name[i] : ' ';
    depth_++;
    haveLast_ = false;
    return kOk;
}

bool FatStore::Leave() {
    if (depth_ == 0) return false;
    depth_--;
    haveLast_ = false;
    return true;
}

u8 FatStore::MakeDirectory(const u8* name, u8 nameLength) {
    if (!Ready()) return kNotReady;
    char fatName[kFatName];
    FatName(name, nameLength, kTypeDir, fatName);
    haveLast_ = false;
    return Failed(DosStatus(fat_->MakeDirectory(Directory(), fatName)));
}

u8 FatStore::RemoveDirectory(const DriveEntry& e) {
    FatEntryInfo info;
    if (!Info(e, &info)) return kFileNotFound;
    haveLast_ = false;
    u8 status = fat_->RemoveDirectory(Directory(), info.name);
    // A directory with files in it stays, as the error says.
    return status == Fat32::kExists ? kFileExists : DosStatus(status);
}

u32 FatStore::FreeBlocks() {
    if (!Ready()) return 0;
    u64 blocks = (u64)fat_->FreeClusters() * fat_->BytesPerCluster() / kBlockBytes;
    return blocks > 0xFFFFFFFFu ? 0xFFFFFFFFu : (u32)blocks;
}

// A subdirectory's name, or the volume's label, names the disk; "TARN"
// where there is neither.
void FatStore::Title(u8 name[kNameMax], u8 id[5]) {
    static const char kRoot[] = "TARN            ";
    static const char kId[] = "00 2A";
    for (u32 i = 0; i < kNameMax; i++) name[i] = depth_ ? titles_[depth_ - 1][i] : (u8)kRoot[i];
    for (u32 i = 0; i < 5; i++) id[i] = (u8)kId[i];
    if (depth_ == 0 && Ready()) Label(name);
}

// The volume's label, padded with spaces; the default stays without one.
void FatStore::Label(u8 name[kNameMax]) {
    char label[12];
    fat_->Label(label);
    if (!label[0]) return;
    for (u32 k = 0; k < kNameMax; k++) name[k] = ' ';
    for (u32 k = 0; label[k]; k++) name[k] = (u8)label[k];
}

}  // namespace drive

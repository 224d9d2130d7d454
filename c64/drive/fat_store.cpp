// Drive 8's files in the root directory of the FAT32 volume.
#include "c64/drive/fat_store.h"

#include "filesystem/fat.h"

using kestrel::filesystem::Fat32;

namespace drive {

namespace {

constexpr u8 kHandle = 8;
constexpr u8 kModeRead = 1;
constexpr u8 kModeCreate = 3;
constexpr u32 kSectorBytes = 512;
constexpr u32 kEntryBytes = 32;
constexpr u32 kLabelBytes = 11;
constexpr u32 kBlockBytes = 254;
constexpr u32 kMostBlocks = 65535;

// Directory entry bytes.
constexpr u32 kEntryAttributes = 11;
constexpr u32 kEntrySize = 28;
constexpr u8 kEntryEnd = 0x00;
constexpr u8 kEntryDeleted = 0xE5;
constexpr u8 kAttrLongName = 0x0F;
constexpr u8 kAttrVolumeLabel = 0x08;
constexpr u8 kAttrDirectory = 0x10;

const char* const kExtensions[] = {"SEQ", "PRG", "USR"};
const u8 kExtensionTypes[] = {kTypeSeq, kTypePrg, kTypeUsr};

u32 Le32(const u8* p) { return p[0] | p[1] << 8 | p[2] << 16 | (u32)p[3] << 24; }

bool SameExtension(const u8* ext, const char* name) {
    return ext[0] == (u8)name[0] && ext[1] == (u8)name[1] && ext[2] == (u8)name[2];
}

// "NAME    .EXT", the form Fat32 looks files up by.
void Padded(const u8 shortName[11], char out[13]) {
    for (u32 i = 0; i < 8; i++) out[i] = (char)shortName[i];
    out[8] = '.';
    for (u32 i = 0; i < 3; i++) out[9 + i] = (char)shortName[8 + i];
    out[12] = 0;
}

// The 8.3 form of a C64 name; false when it has no such form.
bool ShortName(const u8* name, u8 length, u8 type, u8 out[11]) {
    if (length == 0 || length > 8) return false;
    for (u32 i = 0; i < 11; i++) out[i] = ' ';
    for (u32 i = 0; i < length; i++) {
        if (name[i] == ' ' || name[i] == '.') return false;
        out[i] = name[i];
    }
    const char* ext = "PRG";
    for (u32 i = 0; i < 3; i++)
        if (kExtensionTypes[i] == type) ext = kExtensions[i];
    for (u32 i = 0; i < 3; i++) out[8 + i] = (u8)ext[i];
    return true;
}

// A C64 name and type for an 8.3 entry: "HELLO.PRG" is HELLO, a program;
// "NOTES.TXT" keeps its whole name.
void Describe(const u8* entry, DriveEntry* out) {
    out->nameLength = 0;
    for (u32 i = 0; i < 8 && entry[i] != ' '; i++) out->name[out->nameLength++] = entry[i];
    const u8* ext = entry + 8;
    out->type = kTypePrg;
    bool known = false;
    for (u32 i = 0; i < 3; i++)
        if (SameExtension(ext, kExtensions[i])) {
            out->type = kExtensionTypes[i];
            known = true;
        }
    out->image = SameExtension(ext, "D64");
    if (out->image) {
        out->type = kTypeDir;
        known = true;
    }
    if (!known && ext[0] != ' ') {
        out->name[out->nameLength++] = '.';
        for (u32 i = 0; i < 3 && ext[i] != ' '; i++) out->name[out->nameLength++] = ext[i];
    }
    for (u32 i = 0; i < 11; i++) out->shortName[i] = entry[i];
}

}  // namespace

bool FatStore::Ready() const { return fat_ && fat_->mounted(); }


bool FatStore::Entry(u32 index, DriveEntry* out) {
    if (!Ready()) return false;
    u32 live = 0;
    u32 position = 0;
    for (u8* s = fat_->ReadNextSectorInChain(fat_->RootCluster()); s; s = fat_->ReadNextSectorInChain(0)) {
        for (u32 i = 0; i < kSectorBytes / kEntryBytes; i++, position++) {
            const u8* e = s + i * kEntryBytes;
            if (e[0] == kEntryEnd) return false;
            if (e[0] == kEntryDeleted || e[kEntryAttributes] == kAttrLongName) continue;
            if (e[kEntryAttributes] & kAttrVolumeLabel) continue;
            if (live++ != index) continue;
            Describe(e, out);
            out->size = Le32(e + kEntrySize);
            if (e[kEntryAttributes] & kAttrDirectory) {
                out->type = kTypeDir;
                out->image = false;
                out->size = 0;
            }
            u32 blocks = (out->size + kBlockBytes - 1) / kBlockBytes;
            out->blocks = (u16)(blocks > kMostBlocks ? kMostBlocks : blocks);
            out->key = position;
            return true;
        }
    }
    return false;
}

u8 FatStore::Read(const DriveEntry& e, u8* out, u32 capacity, u32* length) {
    *length = 0;
    if (!Ready()) return kNotReady;
    char padded[13];
    Padded(e.shortName, padded);
    u8 status = fat_->OpenFile(kHandle, padded, kModeRead);
    if (status == Fat32::kNotFound) return kFileNotFound;
    if (status != Fat32::kOk) return kReadError;
    u8 b;
    while (*length < capacity && fat_->ReadNextFileByte(kHandle, &b) == Fat32::kOk) out[(*length)++] = b;
    fat_->CloseFile(kHandle);
    return kOk;
}

u8 FatStore::Store(const char* padded, const u8* data, u32 length) {
    u8 status = fat_->OpenFile(kHandle, padded, kModeCreate);
    if (status == Fat32::kExists) return kFileExists;
    if (status == Fat32::kNotFound) return kSyntaxName;
    if (status != Fat32::kOk) return kDiskFull;
    for (u32 i = 0; i < length && status == Fat32::kOk; i++) status = fat_->WriteNextFileByte(kHandle, data[i]);
    // The handle keeps all bytes but the last (its writers pass inclusive
    // address ranges): one more makes the file whole.
    if (status == Fat32::kOk) status = fat_->WriteNextFileByte(kHandle, 0);
    u8 closed = fat_->CloseFile(kHandle);
    if (status == Fat32::kOk) status = closed;
    if (status == Fat32::kOk) return kOk;
    // A file not stored whole is not left behind looking saved.
    fat_->DeleteFile(padded);
    return kDiskFull;
}

u8 FatStore::Write(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length, bool replace) {
    if (!Ready()) return kNotReady;
    u8 shortName[11];
    if (!ShortName(name, nameLength, type, shortName)) return kSyntaxName;
    char padded[13];
    Padded(shortName, padded);
    if (!replace) return Store(padded, data, length);
    return Replace(padded, data, length);
}

u8 FatStore::Overwrite(const DriveEntry& e, const u8* data, u32 length) {
    if (!Ready()) return kNotReady;
    char padded[13];
    Padded(e.shortName, padded);
    return Replace(padded, data, length);
}

// The new file is complete before the old one goes.
u8 FatStore::Replace(const char* padded, const u8* data, u32 length) {
    char spare[13] = "~TARNNEW.";
    for (u32 i = 0; i < 3; i++) spare[9 + i] = padded[9 + i];
    spare[12] = 0;
    fat_->DeleteFile(spare);
    u8 status = Store(spare, data, length);
    if (status != kOk) return status;
    fat_->DeleteFile(padded);
    return fat_->RenameFile(spare, padded) == Fat32::kOk ? kOk : kDirError;
}

u8 FatStore::Scratch(const DriveEntry& e) {
    if (!Ready()) return kNotReady;
    char padded[13];
    Padded(e.shortName, padded);
    return fat_->DeleteFile(padded) == Fat32::kOk ? kOk : kFileNotFound;
}

u8 FatStore::Rename(const DriveEntry& e, const u8* name, u8 nameLength) {
    if (!Ready()) return kNotReady;
    u8 shortName[11];
    if (!ShortName(name, nameLength, e.type, shortName)) return kSyntaxName;
    char from[13], to[13];
    Padded(e.shortName, from);
    Padded(shortName, to);
    u8 status = fat_->RenameFile(from, to);
    if (status == Fat32::kExists) return kFileExists;
    return status == Fat32::kOk ? kOk : kFileNotFound;
}

u32 FatStore::FreeBlocks() {
    if (!Ready()) return 0;
    u64 blocks = (u64)fat_->FreeClusters() * fat_->BytesPerCluster() / kBlockBytes;
    return blocks > 0xFFFFFFFFu ? 0xFFFFFFFFu : (u32)blocks;
}

// The volume's label names the disk; "TARN" where it has none.
void FatStore::Title(u8 name[kNameMax], u8 id[5]) {
    static const char kName[] = "TARN            ";
    static const char kId[] = "00 2A";
    for (u32 i = 0; i < kNameMax; i++) name[i] = (u8)kName[i];
    for (u32 i = 0; i < 5; i++) id[i] = (u8)kId[i];
    if (!Ready()) return;
    for (u8* s = fat_->ReadNextSectorInChain(fat_->RootCluster()); s; s = fat_->ReadNextSectorInChain(0)) {
        for (u32 i = 0; i < kSectorBytes / kEntryBytes; i++) {
            const u8* e = s + i * kEntryBytes;
            if (e[0] == kEntryEnd) return;
            bool label = e[0] != kEntryDeleted && e[kEntryAttributes] != kAttrLongName &&
                         (e[kEntryAttributes] & kAttrVolumeLabel);
            if (!label) continue;
            for (u32 k = 0; k < kNameMax; k++) name[k] = k < kLabelBytes ? e[k] : ' ';
            return;
        }
    }
}

}  // namespace drive

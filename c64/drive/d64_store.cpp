// Drive 8's files inside a .D64 image.
#include "c64/drive/d64_store.h"

namespace drive {

namespace {

constexpr u8 kShiftedSpace = 0xA0;   // the padding of names on a CBM disk
// No file on a 40-track disk holds more; the chain decides the real length.
constexpr u32 kLargestFile = 768 * D64Image::kDataBytes;

void CopyBytes(u8* to, const u8* from, u32 n) {
    for (u32 i = 0; i < n; i++) to[i] = from[i];
}

u8 Shown(u8 c) { return c == kShiftedSpace ? ' ' : c; }

}  // namespace

u8 D64Store::Open(u8* bytes, u32 length, DriveStore* parent, const DriveEntry& file) {
    Close();
    if (image_.Open(bytes, length) != D64Image::kOk) {
        delete[] bytes;
        return kNotReady;
    }
    saved_ = new u8[length];
    if (!saved_) {
        delete[] bytes;
        return kNoChannel;
    }
    CopyBytes(saved_, bytes, length);
    bytes_ = bytes;
    length_ = length;
    parent_ = parent;
    file_ = file;
    return kOk;
}

void D64Store::Close() {
    delete[] bytes_;
    delete[] saved_;
    bytes_ = saved_ = nullptr;
    length_ = 0;
}

bool D64Store::Entry(u32 index, DriveEntry* out) {
    D64Entry d;
    if (!bytes_ || !image_.Entry(index, &d)) return false;
    for (u32 i = 0; i < d.nameLength && i < kNameMax; i++) out->name[i] = d.name[i];
    out->nameLength = d.nameLength;
    out->type = d.type <= kTypeRel ? d.type : kTypePrg;
    out->image = false;
    out->blocks = d.blocks;
    out->size = kLargestFile;
    out->key = d.slot;
    return true;
}

// The entry still in its slot under its name: a file opened before other
// changes to the directory is never mistaken for the one now there.
bool D64Store::Find(const DriveEntry& e, D64Entry* out) {
    for (u32 i = 0; image_.Entry(i, out); i++) {
        if (out->slot != e.key) continue;
        return out->nameLength == e.nameLength && D64Image::Matches(e.name, e.nameLength, out->name, out->nameLength);
    }
    return false;
}

u8 D64Store::Read(const DriveEntry& e, u8* out, u32 capacity, u32* length) {
    *length = 0;
    D64Entry d;
    if (!bytes_ || !Find(e, &d)) return kFileNotFound;
    if (d.type == kTypeRel) return image_.ReadRelative(d, out, capacity, length);
    return image_.ReadFile(d, out, capacity, length);
}

bool D64Store::DirectorySectors(u8* out, u32 capacity, u32* length) {
    *length = 0;
    if (bytes_) image_.ReadDirectory(out, capacity, length);
    return true;
}

// Every change reaches the volume at once; a change the volume cannot take
// is undone, so memory and the file never differ.
u8 D64Store::WriteBack(u8 status) {
    if (status == kOk) status = parent_->Overwrite(file_, bytes_, length_);
    if (status == kOk) {
        CopyBytes(saved_, bytes_, length_);
    } else {
        CopyBytes(bytes_, saved_, length_);
        image_.Open(bytes_, length_);
    }
    return status;
}

u8 D64Store::Write(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length, bool replace) {
    if (!bytes_) return kNotReady;
    u8 status = kOk;
    if (replace) {
        DriveEntry e;
        for (u32 i = 0; Entry(i, &e); i++) {
            if (!D64Image::Matches(name, nameLength, e.name, e.nameLength) || e.nameLength != nameLength) continue;
            D64Entry d;
            status = Find(e, &d) ? image_.Scratch(d) : kFileNotFound;
            break;
        }
    }
    if (status == kOk) status = Store(name, nameLength, type, data, length);
    return WriteBack(status);
}

u8 D64Store::Store(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length) {
    if (type != kTypeRel) return image_.WriteFile(name, nameLength, type, data, length);
    if (length == 0) return kSyntaxError;
    return image_.WriteRelative(name, nameLength, data[0], data + 1, length - 1);
}

// The old file goes and the new one takes its name and type; in memory, so
// a failure undoes both.
u8 D64Store::Overwrite(const DriveEntry& e, const u8* data, u32 length) {
    D64Entry d;
    if (!bytes_ || !Find(e, &d)) return kFileNotFound;
    u8 status = image_.Scratch(d);
    if (status == kOk) status = Store(d.name, d.nameLength, d.type, data, length);
    return WriteBack(status);
}

u8 D64Store::Scratch(const DriveEntry& e) {
    D64Entry d;
    if (!bytes_ || !Find(e, &d)) return kFileNotFound;
    return WriteBack(image_.Scratch(d));
}

u8 D64Store::Rename(const DriveEntry& e, const u8* name, u8 nameLength) {
    D64Entry d;
    if (!bytes_ || !Find(e, &d)) return kFileNotFound;
    return WriteBack(image_.Rename(d, name, nameLength));
}

u32 D64Store::FreeBlocks() { return bytes_ ? image_.FreeBlocks() : 0; }

void D64Store::Title(u8 name[kNameMax], u8 id[5]) {
    image_.DiskName(name);
    image_.DiskId(id);
    for (u32 i = 0; i < kNameMax; i++) name[i] = Shown(name[i]);
    for (u32 i = 0; i < 5; i++) id[i] = Shown(id[i]);
}

u8 D64Store::Status() { return bytes_ ? image_.DirectoryStatus() : kOk; }

}  // namespace drive

// Drive 8's files inside a .D64 image entered with CD: the image is read
// whole into memory and written back to its file on the volume after every
// change, so the volume always holds a consistent disk.
#ifndef TARN_C64_DRIVE_D64_STORE_H
#define TARN_C64_DRIVE_D64_STORE_H

#include "c64/drive/drive_store.h"
#include "c64/drive/d64_image.h"

namespace drive {

class D64Store : public DriveStore {
public:
    D64Store() {}
    virtual ~D64Store() { Close(); }
    D64Store(const D64Store&) = delete;
    D64Store& operator=(const D64Store&) = delete;

    // Takes the image bytes (allocated with new[]) and the entry of its file
    // in parent, where changes are written back. kOk, or 74 for bytes that
    // are no usable image (they are then freed).
    u8 Open(u8* bytes, u32 length, DriveStore* parent, const DriveEntry& file);
    void Close();
    bool Opened() const { return bytes_ != nullptr; }

    bool Entry(u32 index, DriveEntry* out) override;
    u8 Read(const DriveEntry& e, u8* out, u32 capacity, u32* length) override;
    u8 Write(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length, bool replace) override;
    u8 Scratch(const DriveEntry& e) override;
    u8 Rename(const DriveEntry& e, const u8* name, u8 nameLength) override;
    u32 FreeBlocks() override;
    void Title(u8 name[kNameMax], u8 id[5]) override;
    u8 Status() override;
    u16 ErrorPlace() const override { return image_.ErrorPlace(); }
    bool DirectorySectors(u8* out, u32 capacity, u32* length) override;
    u8 Overwrite(const DriveEntry& e, const u8* data, u32 length) override;

private:
    bool Find(const DriveEntry& e, D64Entry* out);
    u8 WriteBack(u8 status);
    u8 Store(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length);

    D64Image image_;
    u8* bytes_ = nullptr;
    u8* saved_ = nullptr;    // the image as the volume holds it, for undoing
    u32 length_ = 0;
    DriveStore* parent_ = nullptr;
    DriveEntry file_;
};

}  // namespace drive

#endif

// Drive 8's files in the root directory of the FAT32 volume: NAME.PRG,
// NAME.SEQ, NAME.USR; NAME.D64 is a disk image CD enters; any other file is
// listed under its whole name as PRG.
#ifndef TARN_C64_DRIVE_FAT_STORE_H
#define TARN_C64_DRIVE_FAT_STORE_H

#include "c64/drive/drive_store.h"

namespace kestrel { namespace filesystem { class Fat32; } }

namespace drive {

class FatStore : public DriveStore {
public:
    explicit FatStore(kestrel::filesystem::Fat32* fat) : fat_(fat) {}
    virtual ~FatStore() {}
    void Volume(kestrel::filesystem::Fat32* fat) { fat_ = fat; }

    bool Entry(u32 index, DriveEntry* out) override;
    u8 Read(const DriveEntry& e, u8* out, u32 capacity, u32* length) override;
    u8 Write(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length, bool replace) override;
    u8 Scratch(const DriveEntry& e) override;
    u8 Rename(const DriveEntry& e, const u8* name, u8 nameLength) override;
    u32 FreeBlocks() override;
    void Title(u8 name[kNameMax], u8 id[5]) override;
    bool MayHoldHeaderless() const override { return true; }
    u8 Overwrite(const DriveEntry& e, const u8* data, u32 length) override;

private:
    bool Ready() const;
    u8 Store(const char* padded, const u8* data, u32 length);
    u8 Replace(const char* padded, const u8* data, u32 length);

    kestrel::filesystem::Fat32* fat_;
};

}  // namespace drive

#endif

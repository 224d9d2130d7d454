// Drive 8's files in a directory of the FAT32 volume: NAME.PRG, NAME.SEQ,
// NAME.USR, NAME.REL (long names where a name needs one); subdirectories and NAME.D64
// disk images are listed as DIR and entered with CD; any other file is
// listed under its whole name as PRG.
#ifndef TARN_C64_DRIVE_FAT_STORE_H
#define TARN_C64_DRIVE_FAT_STORE_H

#include "c64/drive/drive_store.h"

namespace tarn { namespace filesystem { class Fat32; struct FatEntryInfo; } }

namespace drive {

class FatStore : public DriveStore {
public:
    explicit FatStore(tarn::filesystem::Fat32* fat) : fat_(fat) {}
    virtual ~FatStore() {}
    // The volume (null: none); back at its root directory.
    void Volume(tarn::filesystem::Fat32* fat);

    bool Entry(u32 index, DriveEntry* out) override;
    u8 Read(const DriveEntry& e, u8* out, u32 capacity, u32* length) override;
    u8 Write(const u8* name, u8 nameLength, u8 type, const u8* data, u32 length, bool replace) override;
    u8 Scratch(const DriveEntry& e) override;
    u8 Rename(const DriveEntry& e, const u8* name, u8 nameLength) override;
    u32 FreeBlocks() override;
    void Title(u8 name[kNameMax], u8 id[5]) override;
    bool MayHoldHeaderless() const override { return true; }
    u8 Enter(const DriveEntry& e) override;
    bool Leave() override;
    u8 MakeDirectory(const u8* name, u8 nameLength) override;
    u8 RemoveDirectory(const DriveEntry& e) override;
    u8 Overwrite(const DriveEntry& e, const u8* data, u32 length) override;
    bool NameIs(const DriveEntry& e, const u8* name, u32 length) override;
    // A volume is attached, mounted, and its disk still there.
    bool Ready() const override;

private:
    static constexpr u32 kDepth = 32;

    // status, or 74 when the failure came from a disk that has left.
    u8 Failed(u8 status) const { return Ready() ? status : kNotReady; }
    u32 Directory() const;
    void Label(u8 name[kNameMax]);
    bool Info(const DriveEntry& e, tarn::filesystem::FatEntryInfo* out);

    tarn::filesystem::Fat32* fat_;
    u32 path_[kDepth];         // clusters of the directories entered, root first
    u8 titles_[kDepth][kNameMax];
    u32 depth_ = 0;            // 0: the root directory
    // The last entry handed out, so a listing walks the directory once.
    u32 lastIndex_ = 0;
    u32 lastSlot_ = 0;
    bool haveLast_ = false;
};

}  // namespace drive

#endif

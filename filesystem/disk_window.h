// A block device seen as numbered 512-byte pieces, whatever its own sector
// size: FAT32 addresses everything in these pieces, and a 4096-byte device
// is read whole sectors at a time (a piece written alone is read, changed
// and written back).
#ifndef TARN_FILESYSTEM_DISK_WINDOW_H
#define TARN_FILESYSTEM_DISK_WINDOW_H

#include "drivers/block_device.h"
#include "lib/types.h"

namespace tarn {
namespace filesystem {

class DiskWindow {
public:
    static constexpr u32 kPieceBytes = 512;
    using Status = drivers::BlockDevice::Status;

    explicit DiskWindow(drivers::BlockDevice* disk);
    ~DiskWindow();
    DiskWindow(const DiskWindow&) = delete;
    DiskWindow& operator=(const DiskWindow&) = delete;

    // False without a disk, with a sector size that is not a multiple of
    // 512, or without memory for one sector.
    bool usable() const { return usable_; }
    drivers::BlockDevice* disk() const { return disk_; }
    // Pieces in one device sector.
    u32 PiecesPerSector() const { return per_; }
    u64 Pieces() const;

    Status Read(u64 piece, u32 count, u8* out);
    Status Write(u64 piece, u32 count, const u8* in);

private:
    Status Load(u64 lba);
    void Forget(u64 lba, u64 count);

    drivers::BlockDevice* disk_;
    u32 per_ = 1;
    bool usable_ = false;
    u8* sector_ = nullptr;   // one device sector, for pieces read or written alone
    u64 cachedLba_ = 0;
    bool cached_ = false;
};

}  // namespace filesystem
}  // namespace tarn

#endif

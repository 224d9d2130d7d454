// 512-byte pieces over a block device of any sector size.
#include "filesystem/disk_window.h"

namespace tarn {
namespace filesystem {

namespace {
const u32 kLargestSector = 4096;

void Copy(u8* dst, const u8* src, u32 n) {
    for (u32 i = 0; i < n; i++) dst[i] = src[i];
}
}  // namespace

DiskWindow::DiskWindow(drivers::BlockDevice* disk) : disk_(disk) {
    if (!disk_) return;
    u32 size = disk_->SectorSize();
    if (size < kPieceBytes || size > kLargestSector || size % kPieceBytes) return;
    per_ = size / kPieceBytes;
    if (per_ > 1) {
        sector_ = new u8[size];
        if (!sector_) return;
    }
    usable_ = true;
}

DiskWindow::~DiskWindow() { delete[] sector_; }

u64 DiskWindow::Pieces() const { return disk_ ? disk_->SectorCount() * per_ : 0; }

DiskWindow::Status DiskWindow::Load(u64 lba) {
    if (cached_ && cachedLba_ == lba) return drivers::BlockDevice::kOk;
    cached_ = false;
    Status status = disk_->ReadSectors(lba, 1, sector_);
    if (status != drivers::BlockDevice::kOk) return status;
    cached_ = true;
    cachedLba_ = lba;
    return status;
}

void DiskWindow::Forget(u64 lba, u64 count) {
    if (cached_ && cachedLba_ >= lba && cachedLba_ < lba + count) cached_ = false;
}

DiskWindow::Status DiskWindow::Read(u64 piece, u32 count, u8* out) {
    if (!usable_) return drivers::BlockDevice::kNoMedium;
    if (per_ == 1) return disk_->ReadSectors(piece, count, out);
    while (count) {
        u64 lba = piece / per_;
        u32 offset = (u32)(piece % per_);
        u32 n;
        if (offset == 0 && count >= per_) {
            u32 whole = count / per_;
            Status status = disk_->ReadSectors(lba, whole, out);
            if (status != drivers::BlockDevice::kOk) return status;
            n = whole * per_;
        } else {
            Status status = Load(lba);
            if (status != drivers::BlockDevice::kOk) return status;
            n = per_ - offset < count ? per_ - offset : count;
            Copy(out, sector_ + offset * kPieceBytes, n * kPieceBytes);
        }
        piece += n;
        out += n * kPieceBytes;
        count -= n;
    }
    return drivers::BlockDevice::kOk;
}

DiskWindow::Status DiskWindow::Write(u64 piece, u32 count, const u8* in) {
    if (!usable_) return drivers::BlockDevice::kNoMedium;
    if (per_ == 1) return disk_->WriteSectors(piece, count, in);
    while (count) {
        u64 lba = piece / per_;
        u32 offset = (u32)(piece % per_);
        u32 n;
        Status status;
        if (offset == 0 && count >= per_) {
            u32 whole = count / per_;
            Forget(lba, whole);
            status = disk_->WriteSectors(lba, whole, in);
            n = whole * per_;
        } else {
            status = Load(lba);
            if (status != drivers::BlockDevice::kOk) return status;
            n = per_ - offset < count ? per_ - offset : count;
            Copy(sector_ + offset * kPieceBytes, in, n * kPieceBytes);
            status = disk_->WriteSectors(lba, 1, sector_);
            // What the disk holds after a failed write is unknown.
            if (status != drivers::BlockDevice::kOk) cached_ = false;
        }
        if (status != drivers::BlockDevice::kOk) return status;
        piece += n;
        in += n * kPieceBytes;
        count -= n;
    }
    return drivers::BlockDevice::kOk;
}

}  // namespace filesystem
}  // namespace tarn

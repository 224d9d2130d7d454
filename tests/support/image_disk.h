// A block device over a disk image file, of any sector size, for the
// volume and partition tests: reads and writes go to the file in place;
// chosen sectors fail, and transfers are counted.
#ifndef TARN_TESTS_SUPPORT_IMAGE_DISK_H
#define TARN_TESTS_SUPPORT_IMAGE_DISK_H

#include <cstdint>
#include <set>
#include <string>

#include "drivers/block_device.h"

class ImageDisk : public tarn::drivers::BlockDevice {
public:
    ImageDisk(const std::string& path, uint32_t sector_bytes);
    ~ImageDisk();
    bool ok() const { return fd_ >= 0; }

    u32 SectorSize() const override { return sector_bytes_; }
    u64 SectorCount() const override { return gone ? 0 : sectors_; }
    Status ReadSectors(u64 lba, u32 count, u8* data) override;
    Status WriteSectors(u64 lba, u32 count, const u8* data) override;
    const char* Name() const override { return name.c_str(); }

    std::set<uint64_t> bad_sectors;   // reads and writes touching these fail
    bool gone = false;                // pulled out: no sectors, every transfer kNoMedium
    int reads = 0, writes = 0;        // calls
    std::string name = "IMAGE";

private:
    int fd_ = -1;
    uint32_t sector_bytes_;
    uint64_t sectors_ = 0;
};

#endif

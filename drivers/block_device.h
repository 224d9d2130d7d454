// A disk as the volume layer sees it: numbered sectors of one size, read and
// written whole. ATA, AHCI, NVMe and USB mass storage each implement it, so
// nothing above the drivers knows which controller holds the volume.
#ifndef TARN_DRIVERS_BLOCK_DEVICE_H
#define TARN_DRIVERS_BLOCK_DEVICE_H

#include "lib/types.h"

namespace tarn {
namespace drivers {

class BlockDevice {
public:
    enum Status : u8 {
        kOk = 0,
        kError = 1,       // the device reported a failure
        kTimeout = 2,     // the device stopped answering
        kNoMedium = 3,    // removed, or never there
        kOutOfRange = 4,  // a sector past the end
    };

    // Bytes in one sector: 512 or 4096.
    virtual u32 SectorSize() const = 0;
    // Sectors on the device; 0 when it cannot be used.
    virtual u64 SectorCount() const = 0;
    // Reads `count` whole sectors from `lba` into data.
    virtual Status ReadSectors(u64 lba, u32 count, u8* data) = 0;
    // Writes `count` whole sectors; kOk only once the device holds them
    // (its write cache flushed).
    virtual Status WriteSectors(u64 lba, u32 count, const u8* data) = 0;
    // A short name for the start-up console and the monitor ("ATA 0 master").
    virtual const char* Name() const = 0;

    Status ReadSector(u64 lba, u8* data) { return ReadSectors(lba, 1, data); }
    Status WriteSector(u64 lba, const u8* data) { return WriteSectors(lba, 1, data); }

protected:
    ~BlockDevice() = default;
};

}  // namespace drivers
}  // namespace tarn

#endif

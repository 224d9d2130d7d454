// The disks found at start-up, in the order drive 8's volume is looked for
// (USB, then AHCI and NVMe, then IDE), each with its partition table, and
// the volume chosen among them.
#ifndef TARN_FILESYSTEM_DISK_REGISTRY_H
#define TARN_FILESYSTEM_DISK_REGISTRY_H

#include "drivers/block_device.h"
#include "filesystem/partitions.h"
#include "lib/types.h"

namespace tarn {
namespace filesystem {

class Fat32;

struct RegisteredDisk {
    drivers::BlockDevice* device;
    PartitionList partitions;
};

class DiskRegistry {
public:
    static constexpr u32 kMost = 16;
    static constexpr u32 kNone = 0xFFFFFFFF;

    DiskRegistry() = default;
    ~DiskRegistry();
    DiskRegistry(const DiskRegistry&) = delete;
    DiskRegistry& operator=(const DiskRegistry&) = delete;

    // Reads the disk's partition table and keeps both, after the disks
    // added before; false when the registry is full.
    bool Add(drivers::BlockDevice* device);
    // The same, at position at (disks from there on move up one): a disk
    // plugged in later still takes its place in the order.
    bool Insert(drivers::BlockDevice* device, u32 at);
    // A disk that left (a USB stick pulled out) is forgotten, and with it
    // drive 8's volume when that was on it: whoever used the volume has let
    // go of it first (see Holds).
    void Remove(drivers::BlockDevice* device);
    // Drive 8's volume (or the refused layout kept in its place) is on device.
    bool Holds(const drivers::BlockDevice* device) const;
    u32 Count() const { return count_; }
    const RegisteredDisk& Disk(u32 i) const { return disks_[i]; }

    // Drive 8's volume, by one rule: the FAT32 partition whose label or
    // serial (XXXX-XXXX) is wanted, or with nothing wanted (null or empty)
    // the first FAT32 partition that mounts, disks and partitions taken in
    // order. False when none qualifies; Volume() then holds the first
    // refused FAT32 layout (unmounted, saying why), or null.
    bool ChooseVolume(const char* wanted);
    Fat32* Volume() const { return volume_; }
    bool Chosen() const;
    u32 VolumeDisk() const { return volumeDisk_; }
    u32 VolumeEntry() const { return volumeEntry_; }  // index into partitions.entries

    // The serial as blkid and mlabel print it: "1A2B-3C4D".
    static void SerialText(u32 serial, char out[10]);

private:
    bool Matches(Fat32* fat, const char* wanted);
    void Keep(Fat32* fat, u32 disk, u32 entry);

    RegisteredDisk disks_[kMost];
    u32 count_ = 0;
    Fat32* volume_ = nullptr;
    u32 volumeDisk_ = kNone;
    u32 volumeEntry_ = kNone;
};

}  // namespace filesystem
}  // namespace tarn

#endif

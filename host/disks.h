// The disks the PC holds and drive 8's volume among them: controllers are
// looked for in a fixed order (USB mass storage, registered by its driver
// before Find, then AHCI and NVMe, then the four IDE positions), every disk
// goes into one registry with its partitions, and the volume is chosen by
// the registry's one rule, with the kernel command line's volume=LABEL or
// volume=XXXX-XXXX naming it.
#ifndef TARN_HOST_DISKS_H
#define TARN_HOST_DISKS_H

#include "drivers/ahci/ahci.h"
#include "drivers/ata.h"
#include "drivers/block_device.h"
#include "drivers/nvme/nvme.h"
#include "filesystem/disk_registry.h"
#include "lib/types.h"

namespace tarn {
namespace host {

class Disks {
public:
    Disks();

    // A disk found by a driver outside this class (USB mass storage); taken
    // ahead of the ones Find looks for.
    void Register(drivers::BlockDevice* disk) {
        if (registry_.Insert(disk, usb_)) usb_++;
    }
    // A USB disk plugged in while the machine runs: placed after the USB
    // disks known, and when drive 8 has no volume the choice is made again
    // (whoever used the old one has let go of it first).
    void Arrived(drivers::BlockDevice* disk);
    // A USB disk that left; when HoldsVolume(disk), whoever used drive 8's
    // volume has let go of it first.
    void Left(drivers::BlockDevice* disk);
    bool HoldsVolume(const drivers::BlockDevice* disk) const { return registry_.Holds(disk); }
    // Looks at every controller in order, printing what each position
    // holds; clock times the controllers' waits.
    void Find(drivers::MillisecondClock clock);
    // Chooses drive 8's volume by the command line (null: none).
    void ChooseVolume(const char* cmdline);
    // Prints the choice: which disk, which partition, the label; or that
    // there is none, and what was looked at.
    void ReportVolume();

    filesystem::DiskRegistry* registry() { return &registry_; }
    filesystem::Fat32* volume() { return registry_.Volume(); }

    // The word after "volume=" on a command line, at most size - 1
    // characters; false when there is none.
    static bool VolumeWanted(const char* cmdline, char* out, u32 size);

    static constexpr u32 kMostControllers = 2;  // of each kind

private:
    void FindAhci(drivers::MillisecondClock clock);
    void FindNvme(drivers::MillisecondClock clock);
    void FindIde();

    filesystem::DiskRegistry registry_;
    char wanted_[32];
    bool named_ = false;
    u32 usb_ = 0;                 // USB disks, first in the registry
    drivers::AhciController ahci_[kMostControllers];
    drivers::NvmeController nvme_[kMostControllers];
    drivers::AdvancedTechnologyAttachment ide_[4];
};

}  // namespace host
}  // namespace tarn

#endif

// USB mass storage (SCSI over the bulk-only transport): the device is
// asked what it is, waited for while it becomes ready, measured, and then
// offered to the host as a block device. Reads and writes wait for their
// commands (bounded), polling the controller meanwhile so keyboards keep
// working; a device that leaves makes them end at once with kNoMedium.
#ifndef TARN_DRIVERS_USB_MASS_STORAGE_H
#define TARN_DRIVERS_USB_MASS_STORAGE_H

#include "drivers/block_device.h"
#include "drivers/usb/bulk_only.h"
#include "drivers/usb/class_driver.h"
#include "drivers/usb/descriptors.h"
#include "drivers/usb/scsi.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class MassStorage;

// The disk the host holds. It outlives the device: once the device has
// left it answers kNoMedium, until the host gives it back with Release().
class UsbDisk final : public BlockDevice {
public:
    UsbDisk(MassStorage* driver, const char* name, u32 sector_size, u64 sectors);

    u32 SectorSize() const override { return sector_size_; }
    u64 SectorCount() const override { return driver_ ? sectors_ : 0; }
    Status ReadSectors(u64 lba, u32 count, u8* data) override;
    Status WriteSectors(u64 lba, u32 count, const u8* data) override;
    const char* Name() const override { return name_; }

    bool present() const { return driver_ != nullptr; }
    // The host is done with the disk; it is freed once the device has left.
    void Release();
    // The device left.
    void Orphan();

private:
    MassStorage* driver_;
    bool released_ = false;
    u32 sector_size_;
    u64 sectors_;
    char name_[40];
};

class MassStorage : public ClassDriver {
public:
    static constexpr u32 kSetupMs = 8000;      // becoming ready may take this long
    static constexpr u32 kRetryMs = 100;       // between two TEST UNIT READYs
    static constexpr u32 kCommandMs = 10000;   // one command, data included
    static constexpr int kTries = 3;           // a failing transfer, tried again

    MassStorage(Device* device, const InterfaceInfo& interface);
    ~MassStorage() override;
    bool claimed() const { return claimed_; }

    const char* Kind() const override { return "disk"; }
    void Start() override;
    void Poll(u32 now) override;
    void Detach() override;
    void TransferDone(Endpoint* ep, u8 code, u32 length, void* buffer) override;

    // count sectors at lba from or to data, waiting until the device has
    // them; kOk only when every command passed (and, for writes, the
    // device's cache was flushed).
    BlockDevice::Status Transfer(bool write, u64 lba, u32 count, u8* data);

private:
    enum class Probe : u8 { Inquiry, TestReady, Sense, Capacity10, Capacity16, Done };

    void Ask(const scsi::Command& c);
    void Probed(u32 now);
    // One command, waited for; the result.
    BulkOnly::Result Run(const scsi::Command& c, void* data);
    // After a refused command: what the device's sense data says.
    BlockDevice::Status SenseStatus();

    BulkOnly bot_;
    bool claimed_ = false;
    Probe probe_ = Probe::Inquiry;
    bool asked_ = false;
    u32 retry_at_ = 0;
    u32 give_up_at_ = 0;
    u8* buffer_ = nullptr;       // answers during set-up and sense data
    scsi::Inquiry inquiry_{};
    scsi::Capacity capacity_{};
    bool flush_refused_ = false; // no cache to flush
    UsbDisk* disk_ = nullptr;
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

// AHCI host bus adapter (SATA): taken from the firmware, reset, and each
// port with a disk started; reads and writes by DMA through one command
// slot (command list, command table, PRDT), polled, with 48-bit LBA and
// FLUSH CACHE EXT after writes. No interrupts.
#ifndef TARN_DRIVERS_AHCI_AHCI_H
#define TARN_DRIVERS_AHCI_AHCI_H

#include "drivers/block_device.h"
#include "drivers/deadline.h"
#include "hardwarecommunication/mmio.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

class AhciController;

// One SATA disk on one port.
class AhciDisk : public BlockDevice {
public:
    AhciDisk() = default;

    u32 SectorSize() const override { return kSectorBytes; }
    u64 SectorCount() const override { return sectors_; }
    Status ReadSectors(u64 lba, u32 count, u8* data) override;
    Status WriteSectors(u64 lba, u32 count, const u8* data) override;
    const char* Name() const override { return name_; }

    const char* Model() const { return model_; }

private:
    friend class AhciController;
    static constexpr u32 kSectorBytes = 512;

    // Port registers (offsets from the port's block).
    u32 Reg(u32 offset) const;
    void SetReg(u32 offset, u32 value) const;
    bool Stop();
    bool Start();
    bool Setup(const AhciController* hba, u32 port);
    bool Identify();
    // One command of count sectors through the DMA buffer; write: data goes
    // out, else comes in. command 0 is a non-data command (FLUSH).
    Status Issue(u8 command, u64 lba, u32 count, bool write);
    Status Transfer(u64 lba, u32 count, u8* in, const u8* out);

    const AhciController* hba_ = nullptr;
    u32 port_ = 0;
    u8* commandList_ = nullptr;   // 32 headers, 1 KiB aligned
    u8* received_ = nullptr;      // received FIS area, 256-byte aligned
    u8* table_ = nullptr;         // command table of slot 0, 128-byte aligned
    u8* buffer_ = nullptr;        // DMA data buffer
    u64 sectors_ = 0;
    char name_[20] = {0};
    char model_[41] = {0};
};

class AhciController {
public:
    static constexpr u32 kMostPorts = 32;

    AhciController() = default;

    // Takes the HBA at its register block (ABAR): hand-off from the
    // firmware, reset, AHCI mode, then every implemented port with a disk
    // started and identified. number names it ("AHCI 0 port 2"); clock
    // times every wait.
    bool Start(uintptr_t abar, u32 number, MillisecondClock clock);
    MillisecondClock Clock() const { return clock_; }
    u32 DiskCount() const { return diskCount_; }
    AhciDisk* Disk(u32 i) { return &disks_[i]; }

    hardwarecommunication::MmioRegion Registers() const { return hba_; }
    u32 Number() const { return number_; }

private:
    bool TakeFromFirmware();
    bool Reset();

    hardwarecommunication::MmioRegion hba_;
    u32 number_ = 0;
    MillisecondClock clock_ = nullptr;
    AhciDisk disks_[kMostPorts];
    u32 diskCount_ = 0;
};

}  // namespace drivers
}  // namespace tarn

#endif

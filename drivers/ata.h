// ATA disk: one device position (master or slave) on a legacy IDE channel,
// driven by programmed I/O with status polling; no interrupts.
#ifndef TARN_DRIVERS_ATA_H
#define TARN_DRIVERS_ATA_H

#include "drivers/block_device.h"
#include "hardwarecommunication/port.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

class AdvancedTechnologyAttachment : public BlockDevice {
public:
    // Status polls allowed per wait; a present disk answers in far fewer.
    static constexpr u32 kPollLimit = 4000000;

    AdvancedTechnologyAttachment(bool master, u16 portBase);
    // Not virtual: the kernel never deletes a disk through a base pointer.
    ~AdvancedTechnologyAttachment() = default;

    // IDENTIFY DEVICE: true when a disk (not a packet device) answers; its
    // size, model and serial are kept.
    bool Identify();
    // What Identify found, for the start-up console: "no device", or the
    // kind, serial, model, size and addressing.
    void Report() const;

    u32 SectorSize() const override { return kSectorBytes; }
    // Sectors IDENTIFY reported; 0 before it, or without a disk.
    u64 SectorCount() const override { return sectors; }
    Status ReadSectors(u64 lba, u32 count, u8* data) override;
    // Every sector, then one FLUSH CACHE: kOk only once that succeeded.
    Status WriteSectors(u64 lba, u32 count, const u8* data) override;
    const char* Name() const override { return name; }

private:
    static constexpr u32 kSectorBytes = 512;
    enum Probe : u8 { kAbsent, kNoAnswer, kDisk, kPacket };

    // Programs select, LBA and count registers and issues the command.
    void StartTransfer(u64 lba, u8 command28, u8 command48);
    // Polls until BSY clears: kOk, kError (ERR or DF), kTimeout; the last
    // status read goes to *last.
    Status WaitNotBusy(u8* last);
    Status ReadOne(u64 lba, u8* data);
    Status WriteOne(u64 lba, const u8* data);
    Status Flush(bool lba48);
    Status CheckRange(u64 lba, u32 count) const;
    Probe ReadIdentify(u8* id);

    bool master;
    hardwarecommunication::Port16Bit dataPort;
    hardwarecommunication::Port8Bit errorPort;
    hardwarecommunication::Port8Bit sectorCountPort;
    hardwarecommunication::Port8Bit lbaLowPort;
    hardwarecommunication::Port8Bit lbaMidPort;
    hardwarecommunication::Port8Bit lbaHiPort;
    hardwarecommunication::Port8Bit devicePort;
    hardwarecommunication::Port8Bit commandPort;
    hardwarecommunication::Port8Bit controlPort;

    Probe probe;
    bool lba48;
    u64 sectors;
    char name[16];
    char serial[21];
    char model[41];
};

}  // namespace drivers
}  // namespace tarn

#endif

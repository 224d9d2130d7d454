// ATA disk: one device position (master or slave) on a legacy IDE channel,
// driven by programmed I/O with status polling; no interrupts.
#ifndef TARN_DRIVERS_ATA_H
#define TARN_DRIVERS_ATA_H

#include "hardwarecommunication/port.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

class AdvancedTechnologyAttachment {
public:
    // Results of ReadSector.
    static constexpr int kReadOk = 0;
    static constexpr int kReadError = 1;    // device raised ERR
    static constexpr int kReadTimeout = 2;  // device stayed busy
    static constexpr int kReadBadCount = 3; // count outside 0..512

    // Results of WriteSector: 0 written and flushed, 1 count above 512,
    // 2 ERR after the write command, 3 status 0 after the data, 4 status 0
    // after the flush command, 5 ERR or DF after the flush, 6 device stayed
    // busy, 7 ERR or DF after the data.
    static constexpr int kWriteTimeout = 6;
    static constexpr int kWriteDataError = 7;

    // Status polls allowed per wait; a present disk answers in far fewer.
    static constexpr u32 kPollLimit = 4000000;

    AdvancedTechnologyAttachment(bool master, u16 portBase);
    // Not virtual: the kernel never deletes a disk through a base pointer.
    ~AdvancedTechnologyAttachment() = default;

    void Identify();
    // Sectors the device reports through IDENTIFY, 0 when it does not answer.
    virtual u32 SectorCount();
    // Reads one sector, storing its first count bytes. 0 on success; on any
    // failure (ERR, DF, no data, time-out) prints "ERROR", leaves data
    // untouched and returns non-zero.
    virtual int ReadSector(u32 sector, u8* data, int count);
    // Writes count bytes followed by zeros as one sector, then flushes.
    virtual int WriteSector(u32 sector, u8* data, u32 count);

protected:
    bool master;
    hardwarecommunication::Port16Bit dataPort;
    hardwarecommunication::Port8Bit errorPort;
    hardwarecommunication::Port8Bit sectorCountPort;
    hardwarecommunication::Port8Bit lbaLowPort;
    hardwarecommunication::Port8Bit lbaMidPort;
    hardwarecommunication::Port8Bit lbaHiPort;
    hardwarecommunication::Port8Bit devicePort;
    hardwarecommunication::Port8Bit commandPort;
    hardwarecommunication::Port8Bit altPort8;
    hardwarecommunication::Port8Bit altPort9;
    hardwarecommunication::Port8Bit altPort10;
    hardwarecommunication::Port8Bit altPort11;
    hardwarecommunication::Port8Bit altPort11b;
    hardwarecommunication::Port8Bit altPort12;
    hardwarecommunication::Port8Bit altPort13;
    hardwarecommunication::Port8Bit controlPort;
    u8 flag;

private:
    // Programs select, LBA and count registers and issues the command.
    void StartTransfer(u32 sector, u8 command28, u8 command48);
    // Polls until BSY clears: 0 ready, 1 ERR or DF set, 2 timed out; the
    // last status read goes to *last.
    int WaitNotBusy(u8* last);
    bool ReadIdentify(u8* id, bool* packet);
    static u32 SectorCount(const u8* id);
};

}  // namespace drivers
}  // namespace tarn

#endif

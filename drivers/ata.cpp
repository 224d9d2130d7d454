// ATA disk: programmed-I/O sector reads, writes and IDENTIFY on one position.
#include "drivers/ata.h"

#include "lib/stdio.h"

namespace tarn {
namespace drivers {

namespace {
const u8 kStatusBusy = 0x80;   // BSY
const u8 kStatusFault = 0x20;  // DF: device fault
const u8 kStatusDrq = 0x08;    // DRQ: data ready to transfer
const u8 kStatusError = 0x01;  // ERR

const u8 kCmdRead28 = 0x20;
const u8 kCmdRead48 = 0x24;
const u8 kCmdWrite28 = 0x30;
const u8 kCmdWrite48 = 0x34;
const u8 kCmdFlush28 = 0xE7;
const u8 kCmdFlush48 = 0xEA;
const u8 kCmdIdentify = 0xEC;

const u64 kLba28Max = 0x0FFFFFFF;
const u32 kIdentifyPolls = 1000000;

// IDENTIFY data byte offsets.
const int kIdSerial = 20;        // words 10-19
const int kIdSerialLen = 20;
const int kIdModel = 54;         // words 27-46
const int kIdModelLen = 40;
const int kIdLba28Count = 120;   // words 60-61
const int kIdCommandSets = 164;  // words 82-83
const int kIdLba48Count = 200;   // words 100-103
const u32 kLba48Supported = 1u << 26;  // word 83 bit 10

u32 Le32(const u8* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | ((u32)p[3] << 24);
}

// ATA strings hold two characters per word, first character in the high byte.
void CopySwapped(char* out, const u8* in, int len) {
    for (int i = 0; i < len; i += 2) {
        out[i] = (char)in[i + 1];
        out[i + 1] = (char)in[i];
    }
    out[len] = 0;
}

void CopyText(char* out, const char* in) {
    while ((*out++ = *in++)) {}
}
}  // namespace

AdvancedTechnologyAttachment::AdvancedTechnologyAttachment(bool master, u16 portBase)
    : master(master),
      dataPort(portBase),
      errorPort(portBase + 1),
      sectorCountPort(portBase + 2),
      lbaLowPort(portBase + 3),
      lbaMidPort(portBase + 4),
      lbaHiPort(portBase + 5),
      devicePort(portBase + 6),
      commandPort(portBase + 7),
      controlPort(portBase + 0x206),
      probe(kAbsent),
      lba48(false),
      sectors(0) {
    CopyText(name, portBase == 0x170 ? "ATA 1 " : "ATA 0 ");
    CopyText(name + 6, master ? "master" : "slave");
    serial[0] = model[0] = 0;
}

// IDENTIFY DEVICE into id. A packet device aborts the command and leaves
// its signature, and still sends data here.
AdvancedTechnologyAttachment::Probe AdvancedTechnologyAttachment::ReadIdentify(u8* id) {
    const u8 select = master ? 0xA0 : 0xB0;
    devicePort.Write(select);
    controlPort.Write(0);
    devicePort.Write(0xA0);
    u8 status = commandPort.Read();
    if (status == 0xFF || status == 0x00) return kAbsent;

    devicePort.Write(select);
    sectorCountPort.Write(0);
    lbaLowPort.Write(0);
    lbaMidPort.Write(0);
    lbaHiPort.Write(0);
    commandPort.Write(kCmdIdentify);
    status = commandPort.Read();
    if (status == 0) return kAbsent;

    bool error = false;
    bool ready = false;
    for (u32 i = 0; i < kIdentifyPolls; i++) {
        status = commandPort.Read();
        if (status & kStatusError) { error = true; break; }
        if (status & kStatusBusy) continue;
        if (status & kStatusDrq) { ready = true; break; }
    }
    if (!error && !ready) return kNoAnswer;

    bool packet = false;
    if (error) {
        u8 mid = lbaMidPort.Read();
        u8 hi = lbaHiPort.Read();
        packet = (mid == 0x14 && hi == 0xEB) || (mid == 0x69 && hi == 0x96);
    }

    commandPort.Read();
    for (u32 i = 0; i < kSectorBytes; i += 2) {
        u16 w = dataPort.Read();
        id[i] = (u8)w;
        id[i + 1] = (u8)(w >> 8);
    }
    return packet ? kPacket : kDisk;
}

bool AdvancedTechnologyAttachment::Identify() {
    u8 id[kSectorBytes];
    probe = ReadIdentify(id);
    sectors = 0;
    if (probe != kDisk && probe != kPacket) return false;
    CopySwapped(serial, id + kIdSerial, kIdSerialLen);
    CopySwapped(model, id + kIdModel, kIdModelLen);
    lba48 = (Le32(id + kIdCommandSets) & kLba48Supported) != 0;
    if (probe == kPacket) return false;
    sectors = lba48 ? (u64)Le32(id + kIdLba48Count) | (u64)Le32(id + kIdLba48Count + 4) << 32
                    : Le32(id + kIdLba28Count);
    return sectors != 0;
}

void AdvancedTechnologyAttachment::Report() const {
    if (probe == kNoAnswer) return;
    if (probe == kAbsent) {
        printf("no device");
        return;
    }
    printf(probe == kPacket ? "ATAPI" : "ATA");
    printf("\n       Serial : %s ", serial);
    printf("\n        Model : %s", model);
    printf("\n    Size (MB) : %d - ", (u32)(sectors / 2048));
    printf(lba48 ? "LBA48" : "LBA28");
}

void AdvancedTechnologyAttachment::StartTransfer(u64 lba, u8 command28, u8 command48) {
    const bool wide = lba > kLba28Max;
    // Device register: 1L1Dhhhh  L=LBA mode  D=slave  hhhh=LBA 27-24 (LBA28)
    const u8 select = master ? 0xE0 : 0xF0;
    devicePort.Write(wide ? select : (u8)(select | ((lba >> 24) & 0x0F)));
    errorPort.Write(0);
    if (wide) {
        // High-order pass of the 48-bit address and count.
        sectorCountPort.Write(0);
        lbaLowPort.Write((u8)(lba >> 24));
        lbaMidPort.Write((u8)(lba >> 32));
        lbaHiPort.Write((u8)(lba >> 40));
    }
    sectorCountPort.Write(1);
    lbaLowPort.Write((u8)lba);
    lbaMidPort.Write((u8)(lba >> 8));
    lbaHiPort.Write((u8)(lba >> 16));
    commandPort.Write(wide ? command48 : command28);
}

BlockDevice::Status AdvancedTechnologyAttachment::WaitNotBusy(u8* last) {
    for (u32 i = 0; i < kPollLimit; i++) {
        u8 status = commandPort.Read();
        *last = status;
        if (status & kStatusBusy) continue;
        return status & (kStatusError | kStatusFault) ? kError : kOk;
    }
    return kTimeout;
}

BlockDevice::Status AdvancedTechnologyAttachment::CheckRange(u64 lba, u32 count) const {
    if (count == 0) return kOk;
    if (lba >= (1ull << 48) || count > (1ull << 48) - lba) return kOutOfRange;
    if (sectors != 0 && lba + count > sectors) return kOutOfRange;
    return kOk;
}

BlockDevice::Status AdvancedTechnologyAttachment::ReadOne(u64 lba, u8* data) {
    StartTransfer(lba, kCmdRead28, kCmdRead48);
    u8 status = 0;
    Status wait = WaitNotBusy(&status);
    // Ready without data to transfer is a failed read as well.
    if (wait == kOk && !(status & kStatusDrq)) wait = kError;
    if (wait != kOk) return wait;
    for (u32 i = 0; i < kSectorBytes; i += 2) {
        u16 w = dataPort.Read();
        data[i] = (u8)w;
        data[i + 1] = (u8)(w >> 8);
    }
    return kOk;
}

BlockDevice::Status AdvancedTechnologyAttachment::ReadSectors(u64 lba, u32 count, u8* data) {
    Status status = CheckRange(lba, count);
    for (u32 i = 0; i < count && status == kOk; i++) status = ReadOne(lba + i, data + i * kSectorBytes);
    return status;
}

BlockDevice::Status AdvancedTechnologyAttachment::WriteOne(u64 lba, const u8* data) {
    StartTransfer(lba, kCmdWrite28, kCmdWrite48);
    u8 status = 0;
    Status wait = WaitNotBusy(&status);
    if (wait != kOk) return wait;
    if (!(status & kStatusDrq)) return kError;
    for (u32 i = 0; i < kSectorBytes; i += 2) dataPort.Write((u16)(data[i] | data[i + 1] << 8));
    // The device reports a sector it could not store only now.
    return WaitNotBusy(&status);
}

BlockDevice::Status AdvancedTechnologyAttachment::Flush(bool wide) {
    commandPort.Write(wide ? kCmdFlush48 : kCmdFlush28);
    u8 status = 0;
    return WaitNotBusy(&status);
}

BlockDevice::Status AdvancedTechnologyAttachment::WriteSectors(u64 lba, u32 count, const u8* data) {
    Status status = CheckRange(lba, count);
    if (status != kOk || count == 0) return status;
    for (u32 i = 0; i < count && status == kOk; i++) status = WriteOne(lba + i, data + i * kSectorBytes);
    if (status != kOk) return status;
    return Flush(lba48 || lba + count > kLba28Max);
}

}  // namespace drivers
}  // namespace tarn

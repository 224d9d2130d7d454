// ATA disk: programmed-I/O sector reads, writes and IDENTIFY on one position.
#include "drivers/ata.h"

#include "lib/stdio.h"

namespace tarn {
namespace drivers {

namespace {
const u8 kStatusBusy = 0x80;   // BSY
const u8 kStatusDrq = 0x08;    // DRQ: data ready to transfer
const u8 kStatusFault = 0x20;  // DF: device fault
const u8 kStatusError = 0x01;  // ERR

const u8 kCmdRead28 = 0x20;
const u8 kCmdRead48 = 0x24;
const u8 kCmdWrite28 = 0x30;
const u8 kCmdWrite48 = 0x34;
const u8 kCmdFlush28 = 0xE7;
const u8 kCmdFlush48 = 0xEA;
const u8 kCmdIdentify = 0xEC;

const u32 kLba28Max = 0x0FFFFFFF;
const u32 kIdentifyPolls = 1000000;
const u32 kSectorBytes = 512;

// IDENTIFY data byte offsets.
const int kIdSerial = 20;        // words 10-19
const int kIdSerialLen = 20;
const int kIdModel = 54;         // words 27-46
const int kIdModelLen = 40;
const int kIdLba28Count = 120;   // words 60-61
const int kIdCommandSets = 164;  // words 82-83
const int kIdLba48Count = 200;   // words 100-101
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
      altPort8(portBase + 8),
      altPort9(portBase + 9),
      altPort10(portBase + 10),
      altPort11(portBase + 11),
      altPort11b(portBase + 11),
      altPort12(portBase + 12),
      altPort13(portBase + 13),
      controlPort(portBase + 0x206),
      flag(0) {}

// IDENTIFY DEVICE into id; false when no device answers. A packet device
// aborts the command and leaves its signature, and still sends data here.
bool AdvancedTechnologyAttachment::ReadIdentify(u8* id, bool* packet) {
    const u8 select = master ? 0xA0 : 0xB0;
    devicePort.Write(select);
    controlPort.Write(0);
    devicePort.Write(0xA0);
    u8 status = commandPort.Read();
    if (status == 0xFF || status == 0x00) {
        printf("no device\n");
        return false;
    }

    devicePort.Write(select);
    sectorCountPort.Write(0);
    lbaLowPort.Write(0);
    lbaMidPort.Write(0);
    lbaHiPort.Write(0);
    commandPort.Write(kCmdIdentify);
    status = commandPort.Read();
    if (status == 0) {
        printf("No device");
        return false;
    }

    bool error = false;
    bool ready = false;
    for (u32 i = 0; i < kIdentifyPolls; i++) {
        status = commandPort.Read();
        if (status & kStatusError) { error = true; break; }
        if (status & kStatusBusy) continue;
        if (status & kStatusDrq) { ready = true; break; }
    }
    if (!error && !ready) return false;

    *packet = false;
    if (error) {
        u8 mid = lbaMidPort.Read();
        u8 hi = lbaHiPort.Read();
        *packet = (mid == 0x14 && hi == 0xEB) || (mid == 0x69 && hi == 0x96);
    }

    commandPort.Read();
    for (u32 i = 0; i < kSectorBytes; i++) id[i] = 0;
    for (u32 i = 0; i < kSectorBytes; i += 2) {
        u16 w = dataPort.Read();
        id[i] = (u8)w;
        id[i + 1] = (u8)(w >> 8);
    }
    return true;
}

u32 AdvancedTechnologyAttachment::SectorCount(const u8* id) {
    bool lba48 = (Le32(id + kIdCommandSets) & kLba48Supported) != 0;
    if (!lba48) return Le32(id + kIdLba28Count);
    // Above 2 TiB the 32-bit sector numbers of this driver end anyway.
    bool huge = Le32(id + kIdLba48Count + 4) != 0;
    return huge ? 0xFFFFFFFF : Le32(id + kIdLba48Count);
}

void AdvancedTechnologyAttachment::Identify() {
    u8 id[kSectorBytes];
    bool packet = false;
    if (!ReadIdentify(id, &packet)) return;
    char serial[kIdSerialLen + 1];
    char model[kIdModelLen + 1];
    CopySwapped(serial, id + kIdSerial, kIdSerialLen);
    CopySwapped(model, id + kIdModel, kIdModelLen);
    bool lba48 = (Le32(id + kIdCommandSets) & kLba48Supported) != 0;
    u32 sectors = SectorCount(id);

    printf(packet ? "ATAPI" : "ATA");
    printf("\n       Serial : %s ", serial);
    printf("\n        Model : %s", model);
    printf("\n    Size (MB) : %d - ", sectors / 2048);
    printf(lba48 ? "LBA48" : "LBA28");
}

u32 AdvancedTechnologyAttachment::SectorCount() {
    u8 id[kSectorBytes];
    bool packet = false;
    if (!ReadIdentify(id, &packet) || packet) return 0;
    return SectorCount(id);
}

void AdvancedTechnologyAttachment::StartTransfer(u32 sector, u8 command28, u8 command48) {
    const bool lba48 = sector > kLba28Max;
    // Device register: 1L1Dhhhh  L=LBA mode  D=slave  hhhh=LBA 27-24 (LBA28)
    const u8 select = master ? 0xE0 : 0xF0;
    devicePort.Write(lba48 ? select : (u8)(select | ((sector >> 24) & 0x0F)));
    errorPort.Write(0);
    if (lba48) {
        // High-order pass of the 48-bit address: bits 47-32 are zero.
        sectorCountPort.Write(0);
        lbaLowPort.Write((u8)(sector >> 24));
        lbaMidPort.Write(0);
        lbaHiPort.Write(0);
    }
    sectorCountPort.Write(1);
    lbaLowPort.Write((u8)sector);
    lbaMidPort.Write((u8)(sector >> 8));
    lbaHiPort.Write((u8)(sector >> 16));
    commandPort.Write(lba48 ? command48 : command28);
}

int AdvancedTechnologyAttachment::WaitNotBusy(u8* last) {
    for (u32 i = 0; i < kPollLimit; i++) {
        u8 status = commandPort.Read();
        *last = status;
        if (status & kStatusBusy) continue;
        return status & (kStatusError | kStatusFault) ? 1 : 0;
    }
    return 2;
}

int AdvancedTechnologyAttachment::ReadSector(u32 sector, u8* data, int count) {
    if (count < 0 || count > (int)kSectorBytes) return kReadBadCount;
    StartTransfer(sector, kCmdRead28, kCmdRead48);
    u8 status = 0;
    int wait = WaitNotBusy(&status);
    // Ready without data to transfer is a failed read as well.
    if (wait == 0 && !(status & kStatusDrq)) wait = 1;
    if (wait != 0) {
        printf("ERROR");
        return wait == 1 ? kReadError : kReadTimeout;
    }
    for (int i = 0; i < (int)kSectorBytes; i += 2) {
        u16 w = dataPort.Read();
        if (i < count) data[i] = (u8)w;
        if (i + 1 < count) data[i + 1] = (u8)(w >> 8);
    }
    flag = 0;
    return kReadOk;
}

int AdvancedTechnologyAttachment::WriteSector(u32 sector, u8* data, u32 count) {
    if (count > kSectorBytes) return 1;
    const bool lba48 = sector > kLba28Max;
    StartTransfer(sector, kCmdWrite28, kCmdWrite48);
    u8 status = 0;
    int wait = WaitNotBusy(&status);
    if (wait == 1) return 2;
    if (wait == 2) return kWriteTimeout;

    for (u32 i = 0; i < kSectorBytes; i += 2) {
        u16 w = 0;
        if (i < count) w = data[i];
        if (i + 1 < count) w |= (u16)(data[i + 1] << 8);
        dataPort.Write(w);
    }

    if (commandPort.Read() == 0) return 3;
    // The device reports a sector it could not store only now.
    wait = WaitNotBusy(&status);
    if (wait == 1) return kWriteDataError;
    if (wait == 2) return kWriteTimeout;

    commandPort.Write(lba48 ? kCmdFlush48 : kCmdFlush28);
    if (commandPort.Read() == 0) return 4;
    wait = WaitNotBusy(&status);
    if (wait == 1) return 5;
    if (wait == 2) return kWriteTimeout;
    return 0;
}

}  // namespace drivers
}  // namespace tarn

// AHCI: HBA hand-off and reset, port start-up, and polled DMA commands.
#include "drivers/ahci/ahci.h"

#include "drivers/dma_memory.h"

namespace tarn {
namespace drivers {

namespace {
// Generic host control registers.
const u32 kCap = 0x00;
const u32 kGhc = 0x04;
const u32 kPi = 0x0C;
const u32 kCap2 = 0x24;
const u32 kBohc = 0x28;
const u32 kCapStaggeredSpinUp = 1u << 27;
const u32 kGhcReset = 1u << 0;
const u32 kGhcInterrupts = 1u << 1;
const u32 kGhcAhciEnable = 1u << 31;
const u32 kCap2Handoff = 1u << 0;
const u32 kBohcBiosOwned = 1u << 0;
const u32 kBohcOsOwned = 1u << 1;
const u32 kBohcBiosBusy = 1u << 4;

// Port registers: a 128-byte block per port from 0x100.
const u32 kPortBase = 0x100;
const u32 kPortStride = 0x80;
const u32 kPxClb = 0x00;
const u32 kPxClbu = 0x04;
const u32 kPxFb = 0x08;
const u32 kPxFbu = 0x0C;
const u32 kPxIs = 0x10;
const u32 kPxIe = 0x14;
const u32 kPxCmd = 0x18;
const u32 kPxTfd = 0x20;
const u32 kPxSig = 0x24;
const u32 kPxSsts = 0x28;
const u32 kPxSerr = 0x30;
const u32 kPxCi = 0x38;
const u32 kCmdStart = 1u << 0;
const u32 kCmdSpinUp = 1u << 1;
const u32 kCmdFisReceive = 1u << 4;
const u32 kCmdFisRunning = 1u << 14;
const u32 kCmdListRunning = 1u << 15;
const u32 kIsTaskFileError = 1u << 30;
const u32 kIsFatal = (1u << 30) | (1u << 29) | (1u << 28) | (1u << 27);  // TFES HBFS HBDS IFS
const u32 kTfdError = 1u << 0;
const u32 kTfdDrq = 1u << 3;
const u32 kTfdBusy = 1u << 7;
const u32 kSstsDetMask = 0xF;
const u32 kSstsDetPresent = 3;    // device there, link up
const u32 kSigAta = 0x00000101;

// Command header (slot 0) and command table.
const u32 kHeaderFisDwords = 5;   // a register FIS is 20 bytes
const u32 kHeaderWrite = 1u << 6;
const u32 kHeaderPrdtlShift = 16;
const u32 kTableFis = 0x00;
const u32 kTablePrdt = 0x80;
const u32 kTableBytes = 0x80 + 16;  // one PRDT entry
const u32 kListBytes = 1024;
const u32 kReceivedBytes = 256;

// Register FIS, host to device.
const u8 kFisHostToDevice = 0x27;
const u8 kFisCommand = 0x80;
const u8 kDeviceLba = 0x40;

const u8 kCmdReadDmaExt = 0x25;
const u8 kCmdWriteDmaExt = 0x35;
const u8 kCmdFlushExt = 0xEA;
const u8 kCmdIdentify = 0xEC;

// IDENTIFY data.
const u32 kIdModel = 54;
const u32 kIdLba28Count = 120;
const u32 kIdLba48Count = 200;

const u32 kChunkSectors = 128;    // 64 KiB through the DMA buffer
const u32 kBufferBytes = kChunkSectors * 512;

// How long each wait may take.
const u32 kCommandMs = 5000;      // a command's completion
const u32 kResetMs = 1000;        // HBA reset, hand-off, a port's engines
const u32 kLinkMs = 50;           // the link of a port whose device is there

u32 Le32(const u8* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((u32)p[3] << 24); }
void Put32(u8* p, u32 v) {
    for (int i = 0; i < 4; i++) p[i] = (u8)(v >> (8 * i));
}
void Copy(u8* dst, const u8* src, u32 n) {
    for (u32 i = 0; i < n; i++) dst[i] = src[i];
}

void Text(char* out, const char* a, u32 n, const char* b, u32 m) {
    u32 o = 0;
    while (*a) out[o++] = *a++;
    char digits[4];
    u32 d = 0;
    do { digits[d++] = (char)('0' + n % 10); n /= 10; } while (n);
    while (d) out[o++] = digits[--d];
    while (*b) out[o++] = *b++;
    do { digits[d++] = (char)('0' + m % 10); m /= 10; } while (m);
    while (d) out[o++] = digits[--d];
    out[o] = 0;
}
}  // namespace

// ---- the controller ------------------------------------------------------------

// The firmware may still own the HBA: ask for it and wait until the
// firmware lets go (and finishes what it was doing).
bool AhciController::TakeFromFirmware() {
    if (!(hba_.read32(kCap2) & kCap2Handoff)) return true;
    hba_.write32(kBohc, hba_.read32(kBohc) | kBohcOsOwned);
    for (Deadline wait(clock_, 2 * kResetMs); !wait.Passed();) {
        u32 bohc = hba_.read32(kBohc);
        if (!(bohc & kBohcBiosOwned) && !(bohc & kBohcBiosBusy)) return true;
    }
    return false;
}

bool AhciController::Reset() {
    hba_.write32(kGhc, hba_.read32(kGhc) | kGhcAhciEnable);
    hba_.write32(kGhc, hba_.read32(kGhc) | kGhcReset);
    for (Deadline wait(clock_, kResetMs); !wait.Passed();) {
        if (!(hba_.read32(kGhc) & kGhcReset)) {
            hba_.write32(kGhc, (hba_.read32(kGhc) | kGhcAhciEnable) & ~kGhcInterrupts);
            return true;
        }
    }
    return false;
}

bool AhciController::Start(uintptr_t abar, u32 number, MillisecondClock clock) {
    hba_ = hardwarecommunication::MmioRegion(abar);
    number_ = number;
    clock_ = clock;
    diskCount_ = 0;
    if (!abar || !TakeFromFirmware() || !Reset()) return false;
    u32 implemented = hba_.read32(kPi);
    bool spinUp = (hba_.read32(kCap) & kCapStaggeredSpinUp) != 0;
    for (u32 port = 0; port < kMostPorts; port++) {
        if (!(implemented & (1u << port))) continue;
        AhciDisk& disk = disks_[diskCount_];
        u32 base = kPortBase + port * kPortStride;
        if (spinUp) hba_.write32(base + kPxCmd, hba_.read32(base + kPxCmd) | kCmdSpinUp);
        if (disk.Setup(this, port)) diskCount_++;
    }
    return true;
}

// ---- a port and its disk --------------------------------------------------------

u32 AhciDisk::Reg(u32 offset) const {
    return hba_->Registers().read32(kPortBase + port_ * kPortStride + offset);
}

void AhciDisk::SetReg(u32 offset, u32 value) const {
    hba_->Registers().write32(kPortBase + port_ * kPortStride + offset, value);
}

bool AhciDisk::Stop() {
    SetReg(kPxCmd, Reg(kPxCmd) & ~kCmdStart);
    for (Deadline wait(hba_->Clock(), kResetMs); !wait.Passed();)
        if (!(Reg(kPxCmd) & kCmdListRunning)) break;
    SetReg(kPxCmd, Reg(kPxCmd) & ~kCmdFisReceive);
    for (Deadline wait(hba_->Clock(), kResetMs); !wait.Passed();)
        if (!(Reg(kPxCmd) & (kCmdListRunning | kCmdFisRunning))) return true;
    return false;
}

bool AhciDisk::Start() {
    SetReg(kPxSerr, 0xFFFFFFFF);
    SetReg(kPxIs, 0xFFFFFFFF);
    SetReg(kPxCmd, Reg(kPxCmd) | kCmdFisReceive);
    for (Deadline wait(hba_->Clock(), kResetMs); !wait.Passed();) {
        if (Reg(kPxTfd) & (kTfdBusy | kTfdDrq)) continue;
        SetReg(kPxCmd, Reg(kPxCmd) | kCmdStart);
        return true;
    }
    return false;
}

bool AhciDisk::Setup(const AhciController* hba, u32 port) {
    hba_ = hba;
    port_ = port;
    bool linked = false;
    for (Deadline wait(hba->Clock(), kLinkMs); !linked && !wait.Passed();)
        linked = (Reg(kPxSsts) & kSstsDetMask) == kSstsDetPresent;
    if (!linked || !Stop()) return false;
    if (!commandList_) {
        commandList_ = DmaAllocate(kListBytes, 1024);
        received_ = DmaAllocate(kReceivedBytes, 256);
        table_ = DmaAllocate(kTableBytes, 128);
        buffer_ = DmaAllocate(kBufferBytes, 4096);
        if (!commandList_ || !received_ || !table_ || !buffer_) return false;
    }
    u64 list = DeviceAddress(commandList_), fis = DeviceAddress(received_);
    SetReg(kPxClb, (u32)list);
    SetReg(kPxClbu, (u32)(list >> 32));
    SetReg(kPxFb, (u32)fis);
    SetReg(kPxFbu, (u32)(fis >> 32));
    SetReg(kPxIe, 0);
    if (!Start() || Reg(kPxSig) != kSigAta) return false;
    Text(name_, "AHCI ", hba->Number(), " port ", port);
    return Identify();
}

bool AhciDisk::Identify() {
    if (Issue(kCmdIdentify, 0, 1, false) != kOk) return false;
    for (u32 i = 0; i < 40; i += 2) {
        model_[i] = (char)buffer_[kIdModel + i + 1];
        model_[i + 1] = (char)buffer_[kIdModel + i];
    }
    model_[40] = 0;
    for (int i = 39; i >= 0 && model_[i] == ' '; i--) model_[i] = 0;
    sectors_ = Le32(buffer_ + kIdLba48Count) | (u64)Le32(buffer_ + kIdLba48Count + 4) << 32;
    if (sectors_ == 0) sectors_ = Le32(buffer_ + kIdLba28Count);
    return sectors_ != 0;
}

BlockDevice::Status AhciDisk::Issue(u8 command, u64 lba, u32 count, bool write) {
    u32 bytes = count * kSectorBytes;
    // Slot 0's header: FIS length, direction, one PRDT entry when data moves.
    u8* header = commandList_;
    Put32(header, kHeaderFisDwords | (write ? kHeaderWrite : 0) | (bytes ? 1u << kHeaderPrdtlShift : 0));
    Put32(header + 4, 0);
    u64 table = DeviceAddress(table_);
    Put32(header + 8, (u32)table);
    Put32(header + 12, (u32)(table >> 32));

    u8* fis = table_ + kTableFis;
    for (u32 i = 0; i < 64; i++) fis[i] = 0;
    fis[0] = kFisHostToDevice;
    fis[1] = kFisCommand;
    fis[2] = command;
    if (command != kCmdIdentify) {
        fis[4] = (u8)lba;
        fis[5] = (u8)(lba >> 8);
        fis[6] = (u8)(lba >> 16);
        fis[7] = kDeviceLba;
        fis[8] = (u8)(lba >> 24);
        fis[9] = (u8)(lba >> 32);
        fis[10] = (u8)(lba >> 40);
        fis[12] = (u8)count;
        fis[13] = (u8)(count >> 8);
    }
    u8* prd = table_ + kTablePrdt;
    u64 data = DeviceAddress(buffer_);
    Put32(prd, (u32)data);
    Put32(prd + 4, (u32)(data >> 32));
    Put32(prd + 8, 0);
    Put32(prd + 12, bytes ? bytes - 1 : 0);

    for (Deadline idle(hba_->Clock(), kCommandMs); Reg(kPxTfd) & (kTfdBusy | kTfdDrq);)
        if (idle.Passed()) return kTimeout;
    SetReg(kPxIs, 0xFFFFFFFF);
    SetReg(kPxCi, 1);
    Status status = kTimeout;
    for (Deadline wait(hba_->Clock(), kCommandMs); !wait.Passed();) {
        if (Reg(kPxIs) & kIsFatal) {
            status = kError;
            break;
        }
        if (!(Reg(kPxCi) & 1)) {
            status = (Reg(kPxTfd) & kTfdError) ? kError : kOk;
            break;
        }
    }
    if (status != kOk) {
        // The port stops on an error: restart it for the next command.
        Stop();
        Start();
    }
    return status;
}

BlockDevice::Status AhciDisk::Transfer(u64 lba, u32 count, u8* in, const u8* out) {
    if (!hba_ || sectors_ == 0) return kNoMedium;
    if (lba > sectors_ || count > sectors_ - lba) return kOutOfRange;
    while (count) {
        u32 n = count < kChunkSectors ? count : kChunkSectors;
        if (out) Copy(buffer_, out, n * kSectorBytes);
        Status status = Issue(out ? kCmdWriteDmaExt : kCmdReadDmaExt, lba, n, out != nullptr);
        if (status != kOk) return status;
        if (in) {
            Copy(in, buffer_, n * kSectorBytes);
            in += n * kSectorBytes;
        } else {
            out += n * kSectorBytes;
        }
        lba += n;
        count -= n;
    }
    return kOk;
}

BlockDevice::Status AhciDisk::ReadSectors(u64 lba, u32 count, u8* data) {
    return Transfer(lba, count, data, nullptr);
}

BlockDevice::Status AhciDisk::WriteSectors(u64 lba, u32 count, const u8* data) {
    if (count == 0) return kOk;
    Status status = Transfer(lba, count, nullptr, data);
    return status == kOk ? Issue(kCmdFlushExt, 0, 0, false) : status;
}

}  // namespace drivers
}  // namespace tarn

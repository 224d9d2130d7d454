// NVMe: controller start-up, queues, identify, and polled I/O commands.
#include "drivers/nvme/nvme.h"

#include "drivers/dma_memory.h"

namespace tarn {
namespace drivers {

namespace {
// Controller registers.
const u32 kCap = 0x00;       // 64-bit
const u32 kIntMaskSet = 0x0C;
const u32 kCc = 0x14;
const u32 kCsts = 0x1C;
const u32 kAqa = 0x24;
const u32 kAsq = 0x28;       // 64-bit
const u32 kAcq = 0x30;       // 64-bit
const u32 kDoorbells = 0x1000;
const u64 kCapQueueEntriesMask = 0xFFFF;  // MQES, zero-based
const u32 kCapTimeoutShift = 24;          // TO, in 500 ms units
const u32 kCapStrideShift = 32;           // DSTRD: doorbells 4 << DSTRD apart
const u64 kCapNvmCommandSet = 1ull << 37;
const u32 kCapPageMinShift = 48;          // MPSMIN: 4 KiB << MPSMIN
const u32 kCcEnable = 1u << 0;
const u32 kCcSubmissionEntry = 6u << 16;  // 64 bytes
const u32 kCcCompletionEntry = 4u << 20;  // 16 bytes
const u32 kCstsReady = 1u << 0;
const u32 kCstsFatal = 1u << 1;

// Commands: 64-byte submission entries, 16-byte completion entries.
const u32 kSubmissionBytes = 64;
const u32 kCompletionBytes = 16;
const u32 kCmdId = 2;
const u32 kCmdNsid = 4;
const u32 kCmdPrp1 = 24;
const u32 kCmdPrp2 = 32;
const u32 kCmdDw10 = 40;
const u32 kCmdDw11 = 44;
const u32 kCmdDw12 = 48;
const u32 kCplStatus = 12;                // DW3: CID, phase (bit 16), status
const u32 kCplPhase = 1u << 16;
const u32 kCplStatusShift = 17;
const u32 kCplStatusMask = 0x7FFF;

const u8 kAdminCreateSq = 0x01;
const u8 kAdminCreateCq = 0x05;
const u8 kAdminIdentify = 0x06;
const u8 kIoFlush = 0x00;
const u8 kIoWrite = 0x01;
const u8 kIoRead = 0x02;
const u32 kIdentifyNamespace = 0;
const u32 kIdentifyController = 1;
const u32 kIdentifyActiveList = 2;
const u32 kQueueContiguous = 1u << 0;

// Identify data.
const u32 kIdMaxTransfer = 77;            // MDTS: 2^n minimum pages, 0 no limit
const u32 kNsSize = 0;                    // NSZE, 64-bit
const u32 kNsFormat = 26;                 // FLBAS: bits 3-0 the format in use
const u32 kNsFormats = 128;               // LBAF[n]: MS 15-0, LBADS 23-16

const u32 kPage = 4096;
const u32 kAdminEntries = 16;
const u32 kIoEntries = 64;
const u32 kCommandMs = 5000;   // a command's completion

u32 Le32(const u8* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((u32)p[3] << 24); }
u64 Le64(const u8* p) { return Le32(p) | (u64)Le32(p + 4) << 32; }
void Put32(u8* p, u32 v) {
    for (int i = 0; i < 4; i++) p[i] = (u8)(v >> (8 * i));
}
void Put64(u8* p, u64 v) {
    Put32(p, (u32)v);
    Put32(p + 4, (u32)(v >> 32));
}
void Copy(u8* dst, const u8* src, u32 n) {
    for (u32 i = 0; i < n; i++) dst[i] = src[i];
}

void Name(char* out, u32 controller, u32 ns) {
    const char* parts[2] = {"NVMe ", " ns "};
    u32 numbers[2] = {controller, ns};
    u32 o = 0;
    for (int k = 0; k < 2; k++) {
        for (const char* p = parts[k]; *p; p++) out[o++] = *p;
        char digits[10];
        u32 d = 0, n = numbers[k];
        do { digits[d++] = (char)('0' + n % 10); n /= 10; } while (n);
        while (d) out[o++] = digits[--d];
    }
    out[o] = 0;
}
}  // namespace

// ---- controller ------------------------------------------------------------

u32 NvmeController::Doorbell(u32 queue, bool completion) const {
    return kDoorbells + (2 * queue + (completion ? 1 : 0)) * stride_;
}

bool NvmeController::Disable() {
    regs_.write32(kCc, regs_.read32(kCc) & ~kCcEnable);
    for (Deadline wait(clock_, readyMs_); !wait.Passed();)
        if (!(regs_.read32(kCsts) & kCstsReady)) return true;
    return false;
}

bool NvmeController::Enable() {
    regs_.write32(kAqa, (kAdminEntries - 1) << 16 | (kAdminEntries - 1));
    regs_.write64(kAsq, DeviceAddress(admin_.submissions));
    regs_.write64(kAcq, DeviceAddress(admin_.completions));
    regs_.write32(kCc, kCcEnable | kCcSubmissionEntry | kCcCompletionEntry);
    for (Deadline wait(clock_, readyMs_); !wait.Passed();) {
        u32 status = regs_.read32(kCsts);
        if (status & kCstsFatal) return false;
        if (status & kCstsReady) return true;
    }
    return false;
}

void NvmeController::Command(u8* c, u8 opcode, u32 nsid) const {
    for (u32 i = 0; i < kSubmissionBytes; i++) c[i] = 0;
    c[0] = opcode;
    Put32(c + kCmdNsid, nsid);
}

BlockDevice::Status NvmeController::Submit(Queue& q, const u8* command) {
    if (!q.submissions) return BlockDevice::kNoMedium;
    u8* slot = q.submissions + q.tail * kSubmissionBytes;
    Copy(slot, command, kSubmissionBytes);
    u16 id = nextId_++;
    slot[kCmdId] = (u8)id;
    slot[kCmdId + 1] = (u8)(id >> 8);
    q.tail = (q.tail + 1) % q.size;
    regs_.write32(Doorbell(q.id, false), q.tail);

    const volatile u32* entry = reinterpret_cast<const volatile u32*>(q.completions + q.head * kCompletionBytes);
    for (Deadline wait(clock_, kCommandMs); !wait.Passed();) {
        u32 dw3 = entry[kCplStatus / 4];
        if (((dw3 & kCplPhase) != 0) != q.phase) continue;
        // The entry may be seen while the controller is still storing it:
        // it counts once it names this command.
        if ((u16)dw3 != id) continue;
        dw3 = entry[kCplStatus / 4];
        q.head = (q.head + 1) % q.size;
        if (q.head == 0) q.phase = !q.phase;
        regs_.write32(Doorbell(q.id, true), q.head);
        u32 status = (dw3 >> kCplStatusShift) & kCplStatusMask;
        return status == 0 ? BlockDevice::kOk : BlockDevice::kError;
    }
    // A controller that stopped answering may still finish the command
    // later: the queue is not used again.
    q.submissions = nullptr;
    return BlockDevice::kTimeout;
}

void NvmeController::Pointers(u8* c, u32 bytes) {
    Put64(c + kCmdPrp1, DeviceAddress(buffer_));
    u32 pages = (bytes + kPage - 1) / kPage;
    if (pages <= 1) return;
    if (pages == 2) {
        Put64(c + kCmdPrp2, DeviceAddress(buffer_ + kPage));
        return;
    }
    // PRP 2 points at a list naming the pages after the first.
    for (u32 i = 1; i < pages; i++) Put64(prpList_ + 8 * (i - 1), DeviceAddress(buffer_ + i * kPage));
    Put64(c + kCmdPrp2, DeviceAddress(prpList_));
}

bool NvmeController::CreateIoQueues() {
    u8 c[kSubmissionBytes];
    Command(c, kAdminCreateCq, 0);
    Put64(c + kCmdPrp1, DeviceAddress(io_.completions));
    Put32(c + kCmdDw10, (io_.size - 1) << 16 | io_.id);
    Put32(c + kCmdDw11, kQueueContiguous);
    if (Submit(admin_, c) != BlockDevice::kOk) return false;
    Command(c, kAdminCreateSq, 0);
    Put64(c + kCmdPrp1, DeviceAddress(io_.submissions));
    Put32(c + kCmdDw10, (io_.size - 1) << 16 | io_.id);
    Put32(c + kCmdDw11, io_.id << 16 | kQueueContiguous);
    return Submit(admin_, c) == BlockDevice::kOk;
}

bool NvmeController::IdentifyNamespaces() {
    u8 c[kSubmissionBytes];
    Command(c, kAdminIdentify, 0);
    Put64(c + kCmdPrp1, DeviceAddress(buffer_));
    Put32(c + kCmdDw10, kIdentifyActiveList);
    if (Submit(admin_, c) != BlockDevice::kOk) return false;
    u32 ids[kMostNamespaces];
    u32 found = 0;
    for (u32 i = 0; i < kPage / 4 && found < kMostNamespaces; i++) {
        u32 id = Le32(buffer_ + 4 * i);
        if (id == 0) break;
        ids[found++] = id;
    }
    for (u32 k = 0; k < found; k++) {
        Command(c, kAdminIdentify, ids[k]);
        Put64(c + kCmdPrp1, DeviceAddress(buffer_));
        Put32(c + kCmdDw10, kIdentifyNamespace);
        if (Submit(admin_, c) != BlockDevice::kOk) continue;
        u32 format = Le32(buffer_ + kNsFormats + 4 * (buffer_[kNsFormat] & 0xF));
        u32 shift = (format >> 16) & 0xFF;
        bool metadata = (format & 0xFFFF) != 0;
        u64 blocks = Le64(buffer_ + kNsSize);
        // 512- to 4096-byte blocks without metadata are taken.
        if (shift < 9 || shift > 12 || metadata || blocks == 0) continue;
        NvmeNamespace& ns = namespaces_[count_++];
        ns.controller_ = this;
        ns.id_ = ids[k];
        ns.blockBytes_ = 1u << shift;
        ns.blocks_ = blocks;
        Name(ns.name_, number_, ids[k]);
    }
    return count_ > 0;
}

bool NvmeController::Start(uintptr_t bar, u32 number, MillisecondClock clock) {
    regs_ = hardwarecommunication::MmioRegion(bar);
    number_ = number;
    clock_ = clock;
    count_ = 0;
    if (!bar) return false;
    u64 cap = regs_.read64(kCap);
    if (!(cap & kCapNvmCommandSet) || ((cap >> kCapPageMinShift) & 0xF) != 0) return false;
    stride_ = 4u << ((cap >> kCapStrideShift) & 0xF);
    readyMs_ = (((u32)(cap >> kCapTimeoutShift) & 0xFF) + 1) * 500;
    u32 entries = (u32)(cap & kCapQueueEntriesMask) + 1;

    admin_.submissions = DmaAllocate(kAdminEntries * kSubmissionBytes, kPage);
    admin_.completions = DmaAllocate(kAdminEntries * kCompletionBytes, kPage);
    admin_.size = kAdminEntries;
    io_.size = entries < kIoEntries ? entries : kIoEntries;
    io_.submissions = DmaAllocate(io_.size * kSubmissionBytes, kPage);
    io_.completions = DmaAllocate(io_.size * kCompletionBytes, kPage);
    io_.id = 1;
    buffer_ = DmaAllocate(kBufferBytes, kPage);
    prpList_ = DmaAllocate(kPage, kPage);
    if (!admin_.submissions || !admin_.completions || !io_.submissions || !io_.completions || !buffer_ ||
        !prpList_)
        return false;
    if (!Disable() || !Enable()) return false;
    regs_.write32(kIntMaskSet, 0xFFFFFFFF);

    u8 c[kSubmissionBytes];
    Command(c, kAdminIdentify, 0);
    Put64(c + kCmdPrp1, DeviceAddress(buffer_));
    Put32(c + kCmdDw10, kIdentifyController);
    if (Submit(admin_, c) != BlockDevice::kOk) return false;
    u8 mdts = buffer_[kIdMaxTransfer];
    if (mdts != 0 && mdts < 5 && (kPage << mdts) < maxBytes_) maxBytes_ = kPage << mdts;
    return CreateIoQueues() && IdentifyNamespaces();
}

// ---- namespace -------------------------------------------------------------

BlockDevice::Status NvmeNamespace::Transfer(u64 lba, u32 count, u8* in, const u8* out) {
    if (!controller_ || blocks_ == 0) return kNoMedium;
    if (lba > blocks_ || count > blocks_ - lba) return kOutOfRange;
    NvmeController& c = *controller_;
    u32 chunk = c.maxBytes_ / blockBytes_;
    u8 command[kSubmissionBytes];
    while (count) {
        u32 n = count < chunk ? count : chunk;
        u32 bytes = n * blockBytes_;
        if (out) Copy(c.buffer_, out, bytes);
        c.Command(command, out ? kIoWrite : kIoRead, id_);
        c.Pointers(command, bytes);
        Put32(command + kCmdDw10, (u32)lba);
        Put32(command + kCmdDw11, (u32)(lba >> 32));
        Put32(command + kCmdDw12, n - 1);
        Status status = c.Submit(c.io_, command);
        if (status != kOk) return status;
        if (in) {
            Copy(in, c.buffer_, bytes);
            in += bytes;
        } else {
            out += bytes;
        }
        lba += n;
        count -= n;
    }
    return kOk;
}

BlockDevice::Status NvmeNamespace::ReadSectors(u64 lba, u32 count, u8* data) {
    return Transfer(lba, count, data, nullptr);
}

BlockDevice::Status NvmeNamespace::WriteSectors(u64 lba, u32 count, const u8* data) {
    if (count == 0) return kOk;
    Status status = Transfer(lba, count, nullptr, data);
    if (status != kOk) return status;
    u8 command[kSubmissionBytes];
    controller_->Command(command, kIoFlush, id_);
    return controller_->Submit(controller_->io_, command);
}

}  // namespace drivers
}  // namespace tarn

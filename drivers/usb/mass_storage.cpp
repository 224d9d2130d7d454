// USB sticks and disks: set-up by polling, reads and writes by bounded waits.
#include "drivers/usb/mass_storage.h"

#include "drivers/usb/device.h"
#include "drivers/dma_memory.h"
#include "drivers/usb/xhci.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
const u32 kAnswerBytes = 512;
const u8 kInquiryBytes = 36;
const u8 kSenseBytes = 18;
const u8 kDirectAccess = 0;

bool due(u32 now, u32 when) { return static_cast<i32>(now - when) >= 0; }

void append(char* to, u32* n, u32 size, const char* from) {
    for (u32 i = 0; from[i] && *n + 1 < size; i++) to[(*n)++] = from[i];
    to[*n] = 0;
}
}  // namespace

// ---- the disk the host holds ------------------------------------------------------------

UsbDisk::UsbDisk(MassStorage* driver, const char* name, u32 sector_size, u64 sectors)
    : driver_(driver), sector_size_(sector_size), sectors_(sectors) {
    u32 n = 0;
    name_[0] = 0;
    append(name_, &n, sizeof name_, name);
}

BlockDevice::Status UsbDisk::ReadSectors(u64 lba, u32 count, u8* data) {
    return driver_ ? driver_->Transfer(false, lba, count, data) : kNoMedium;
}

BlockDevice::Status UsbDisk::WriteSectors(u64 lba, u32 count, const u8* data) {
    return driver_ ? driver_->Transfer(true, lba, count, const_cast<u8*>(data)) : kNoMedium;
}

void UsbDisk::Release() {
    released_ = true;
    if (!driver_) delete this;
}

void UsbDisk::Orphan() {
    driver_ = nullptr;
    if (released_) delete this;
}

// ---- the class driver --------------------------------------------------------------------

MassStorage::MassStorage(Device* device, const InterfaceInfo& interface)
    : ClassDriver(device), bot_(device, interface.number) {
    buffer_ = DmaAllocate(kAnswerBytes, kDmaPage);
    claimed_ = buffer_ && bot_.Claim(interface, this);
}

MassStorage::~MassStorage() {
    if (disk_) disk_->Orphan();
    DmaFree(buffer_);
}

void MassStorage::Start() {
    u32 now = device_->controller()->now();
    give_up_at_ = now + kSetupMs;
    retry_at_ = now;
    probe_ = Probe::Inquiry;
}

void MassStorage::Ask(const scsi::Command& c) { asked_ = bot_.Start(c, buffer_); }

void MassStorage::Poll(u32 now) {
    bot_.Poll();
    if (state_ != State::Starting || device_->gone()) return;
    if (asked_) {
        if (!bot_.idle()) return;
        asked_ = false;
        Probed(now);
        return;
    }
    if (due(now, give_up_at_)) {
        state_ = State::Failed;
        return;
    }
    if (!due(now, retry_at_)) return;
    switch (probe_) {
    case Probe::Inquiry: Ask(scsi::inquiry(kInquiryBytes)); return;
    case Probe::TestReady: Ask(scsi::test_unit_ready()); return;
    case Probe::Sense: Ask(scsi::request_sense(kSenseBytes)); return;
    case Probe::Capacity10: Ask(scsi::read_capacity10()); return;
    case Probe::Capacity16: Ask(scsi::read_capacity16()); return;
    default: return;
    }
}

// One set-up command has ended: the next one, a retry later, or the end.
void MassStorage::Probed(u32 now) {
    BulkOnly::Result r = bot_.result();
    if (r == BulkOnly::Result::Gone) return;
    bool passed = r == BulkOnly::Result::Passed;
    u32 got = bot_.moved();
    switch (probe_) {
    case Probe::Inquiry:
        if (!passed) {
            retry_at_ = now + kRetryMs;
        } else if (!scsi::parse_inquiry(buffer_, got, &inquiry_) || inquiry_.device_type != kDirectAccess) {
            state_ = State::Failed;  // a CD drive, a scanner: not a disk
        } else {
            probe_ = Probe::TestReady;
        }
        return;
    case Probe::TestReady:
        if (passed) probe_ = Probe::Capacity10;
        else if (r == BulkOnly::Result::Failed) probe_ = Probe::Sense;
        else retry_at_ = now + kRetryMs;
        return;
    case Probe::Sense: {
        scsi::Sense s{};
        if (passed && scsi::parse_sense(buffer_, got, &s) && s.key == scsi::kSenseNotReady &&
            s.asc == scsi::kAscMediumNotPresent) {
            state_ = State::Failed;  // a card reader without a card
            return;
        }
        probe_ = Probe::TestReady;
        retry_at_ = now + kRetryMs;
        return;
    }
    case Probe::Capacity10:
        if (!passed) {
            probe_ = Probe::TestReady;
            retry_at_ = now + kRetryMs;
        } else if (scsi::parse_capacity10(buffer_, got, &capacity_)) {
            probe_ = Probe::Done;
        } else {
            probe_ = Probe::Capacity16;
        }
        break;
    case Probe::Capacity16:
        if (!passed || !scsi::parse_capacity16(buffer_, got, &capacity_)) {
            state_ = State::Failed;
            return;
        }
        probe_ = Probe::Done;
        break;
    default:
        return;
    }
    if (probe_ != Probe::Done) return;
    if ((capacity_.sector_size != 512 && capacity_.sector_size != 4096) || capacity_.sectors == 0) {
        state_ = State::Failed;
        return;
    }
    char name[40];
    u32 n = 0;
    append(name, &n, sizeof name, "USB ");
    append(name, &n, sizeof name, inquiry_.vendor);
    append(name, &n, sizeof name, " ");
    append(name, &n, sizeof name, inquiry_.product);
    disk_ = new UsbDisk(this, name, capacity_.sector_size, capacity_.sectors);
    if (!disk_) {
        state_ = State::Failed;
        return;
    }
    state_ = State::Ready;
    device_->controller()->events()->DiskArrived(disk_);
}

void MassStorage::TransferDone(Endpoint* ep, u8 code, u32 length, void*) { bot_.TransferDone(ep, code, length); }

void MassStorage::Detach() {
    bot_.Forget();
    if (!disk_) return;
    UsbDisk* disk = disk_;
    disk_ = nullptr;
    device_->controller()->events()->DiskLeft(disk);
    disk->Orphan();
}

BulkOnly::Result MassStorage::Run(const scsi::Command& c, void* data) {
    Xhci* hc = device_->controller();
    auto settled = [](void* self) {
        MassStorage* m = static_cast<MassStorage*>(self);
        return m->bot_.idle() || m->device_->gone();
    };
    // A transport still recovering from a command given up on comes first.
    if (!hc->WaitFor(settled, this, kCommandMs)) return BulkOnly::Result::Busy;
    if (device_->gone()) return BulkOnly::Result::Gone;
    if (!bot_.Start(c, data)) return BulkOnly::Result::Error;
    if (!hc->WaitFor(settled, this, kCommandMs)) {
        bot_.Abort();
        return BulkOnly::Result::Busy;
    }
    return device_->gone() ? BulkOnly::Result::Gone : bot_.result();
}

BlockDevice::Status MassStorage::SenseStatus() {
    BulkOnly::Result r = Run(scsi::request_sense(kSenseBytes), buffer_);
    if (r == BulkOnly::Result::Gone) return BlockDevice::kNoMedium;
    scsi::Sense s{};
    if (r == BulkOnly::Result::Passed && scsi::parse_sense(buffer_, bot_.moved(), &s) &&
        s.key == scsi::kSenseNotReady && !scsi::transient(s))
        return BlockDevice::kNoMedium;
    return BlockDevice::kError;
}

BlockDevice::Status MassStorage::Transfer(bool write, u64 lba, u32 count, u8* data) {
    if (!disk_ || state_ != State::Ready || device_->gone()) return BlockDevice::kNoMedium;
    if (lba >= capacity_.sectors || count > capacity_.sectors - lba) return BlockDevice::kOutOfRange;
    u32 size = capacity_.sector_size;
    u32 per_command = Endpoint::kMaxTransferBytes / size;
    while (count) {
        u32 n = count < per_command ? count : per_command;
        BlockDevice::Status status = BlockDevice::kError;
        for (int attempt = 0; attempt < kTries && status != BlockDevice::kOk; attempt++) {
            scsi::Command c = write ? scsi::write(lba, n, size) : scsi::read(lba, n, size);
            BulkOnly::Result r = Run(c, data);
            if (r == BulkOnly::Result::Passed && bot_.moved() == n * size) status = BlockDevice::kOk;
            else if (r == BulkOnly::Result::Gone) return BlockDevice::kNoMedium;
            else if (r == BulkOnly::Result::Busy) return BlockDevice::kTimeout;
            else if (r == BulkOnly::Result::Failed && SenseStatus() == BlockDevice::kNoMedium)
                return BlockDevice::kNoMedium;
        }
        if (status != BlockDevice::kOk) return status;
        lba += n;
        data += n * size;
        count -= n;
    }
    if (!write || flush_refused_) return BlockDevice::kOk;
    // Written only once the device's own cache has let go of it.
    BulkOnly::Result r = Run(scsi::synchronize_cache(), nullptr);
    if (r == BulkOnly::Result::Passed) return BlockDevice::kOk;
    if (r == BulkOnly::Result::Gone) return BlockDevice::kNoMedium;
    if (r == BulkOnly::Result::Busy) return BlockDevice::kTimeout;
    if (r == BulkOnly::Result::Failed) {
        scsi::Sense s{};
        if (Run(scsi::request_sense(kSenseBytes), buffer_) == BulkOnly::Result::Passed &&
            scsi::parse_sense(buffer_, bot_.moved(), &s) && s.key == scsi::kSenseIllegalRequest) {
            flush_refused_ = true;  // nothing cached to flush
            return BlockDevice::kOk;
        }
    }
    return BlockDevice::kError;
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

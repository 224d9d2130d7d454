// Attaching one device after another, a step per poll.
#include "drivers/usb/enumerator.h"

#include "drivers/usb/class_driver.h"
#include "drivers/usb/device.h"
#include "drivers/dma_memory.h"
#include "drivers/usb/port_owner.h"
#include "drivers/usb/xhci.h"
#include "lib/stdio.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
bool due(u32 now, u32 when) { return static_cast<i32>(now - when) >= 0; }

const char* speed_name(Speed s) {
    switch (s) {
    case Speed::Low: return "low";
    case Speed::Full: return "full";
    case Speed::High: return "high";
    case Speed::Super: return "super";
    case Speed::SuperPlus: return "super+";
    default: return "unknown";
    }
}
}  // namespace

void format_port(const Attachment& at, char* out, u32 size) {
    u32 n = 0;
    auto put = [&](u32 value) {
        char digits[4];
        int k = 0;
        do digits[k++] = static_cast<char>('0' + value % 10); while ((value /= 10) && k < 3);
        while (k && n + 1 < size) out[n++] = digits[--k];
    };
    put(at.root_port);
    for (u8 d = 0; d < at.depth; d++) {
        if (n + 1 < size) out[n++] = '.';
        put((at.route >> (4 * d)) & 0xF);
    }
    out[n < size ? n : size - 1] = 0;
}

Enumerator::~Enumerator() { DmaFree(buffer_); }

void Enumerator::Attach(PortOwner* owner, u8 port, u32 settle_ms) {
    Cancel(owner, port);
    if (queued_ == kQueue) return;  // more at once than any hub tree holds
    queue_[queued_++] = Pending{owner, port, hc_->now() + settle_ms};
}

void Enumerator::Cancel(PortOwner* owner, u8 port) {
    int kept = 0;
    for (int i = 0; i < queued_; i++)
        if (queue_[i].owner != owner || (port && queue_[i].port != port)) queue_[kept++] = queue_[i];
    queued_ = kept;
    if (step_ != Step::Idle && owner_ == owner && (!port || port_ == port)) Abort();
}

void Enumerator::DeviceRemoved(Device* device) {
    if (device && device == device_) {
        device_ = nullptr;
        Abort();
    }
}

void Enumerator::Abort() {
    hc_->ForgetClient(this);
    Device* d = device_;
    device_ = nullptr;
    step_ = Step::Idle;
    if (d) hc_->RemoveDevice(d);
}

void Enumerator::Poll(u32 now) {
    if (step_ == Step::Idle) {
        Begin(now);
        return;
    }
    if (step_ == Step::Recovery) {
        if (due(now, deadline_)) Next(Step::EnableSlot, now);
        return;
    }
    if (step_ == Step::Reset) {
        PortStatus st = owner_->QueryPort(port_);
        if (!st.connected) {
            Finish();
        } else if (!issued_) {
            issued_ = owner_->ResetPort(port_);
        } else if (st.enabled && !st.resetting) {
            speed_ = st.speed;
            step_ = Step::Recovery;
            deadline_ = now + kRecoveryMs;
        } else if (due(now, deadline_)) {
            Fail("does not come out of reset");
        }
        return;
    }
    if (step_ == Step::ClassSetup) {
        while (driver_ < device_->driver_count()) {
            ClassDriver* d = device_->driver(driver_);
            if (!issued_) {
                d->Begin();
                issued_ = true;
                deadline_ = now + kClassSetupMs;
            }
            if (d->state() == ClassDriver::State::Starting && !due(now, deadline_)) return;
            if (hc_->reporting()) {
                char where[24];
                format_port(device_->attachment(), where, sizeof where);
                printf("\nUSB port %s: %s %s", where, d->Kind(),
                       d->state() == ClassDriver::State::Ready ? "ready" : "not usable");
            }
            driver_++;
            issued_ = false;
        }
        Finish();
        return;
    }
    if (!issued_) {
        issued_ = Issue();
        if (!issued_ && due(now, deadline_)) Fail("endpoint 0 stays busy");
        return;
    }
    if (completed_) {
        Completed(now);
        return;
    }
    if (due(now, deadline_)) Fail("does not answer");
}

void Enumerator::Begin(u32 now) {
    int pick = -1;
    for (int i = 0; i < queued_; i++)
        if (due(now, queue_[i].due) && (pick < 0 || static_cast<i32>(queue_[i].due - queue_[pick].due) < 0))
            pick = i;
    if (pick < 0) return;
    owner_ = queue_[pick].owner;
    port_ = queue_[pick].port;
    queue_[pick] = queue_[--queued_];
    if (!buffer_) buffer_ = DmaAllocate(kBufferBytes, kDmaPage);
    if (!buffer_) return;
    device_ = nullptr;
    step_ = Step::Reset;
    issued_ = false;
    deadline_ = now + kResetMs;
}

void Enumerator::Next(Step step, u32 now) {
    step_ = step;
    issued_ = false;
    completed_ = false;
    deadline_ = now + kStepMs;
    Poll(now);
}

bool Enumerator::GetDescriptor(u8 type, u16 length) {
    SetupPacket s{kDirIn, kGetDescriptor, static_cast<u16>(type << 8), 0, length};
    return device_->Control(s, buffer_, this);
}

bool Enumerator::Issue() {
    completed_ = false;
    switch (step_) {
    case Step::EnableSlot:
        return hc_->Command(trb::type(trb::kEnableSlot), 0, 0, this);
    case Step::Address:
        device_->PrepareAddress();
        return hc_->Command(trb::type(trb::kAddressDevice) | trb::slot(device_->slot()),
                            device_->input_context(), 0, this);
    case Step::Head:
        return GetDescriptor(kDescDevice, 8);
    case Step::Evaluate:
        device_->PrepareMaxPacket0(buffer_[7]);
        return hc_->Command(trb::type(trb::kEvaluateContext) | trb::slot(device_->slot()),
                            device_->input_context(), 0, this);
    case Step::Descriptor:
        return GetDescriptor(kDescDevice, 18);
    case Step::ConfigHead:
        return GetDescriptor(kDescConfiguration, 9);
    case Step::Config: {
        u16 total = device_->configuration.total_length;
        return GetDescriptor(kDescConfiguration, total < kBufferBytes ? total : kBufferBytes);
    }
    case Step::Configure:
        device_->PrepareConfigure();
        return hc_->Command(trb::type(trb::kConfigureEndpoint) | trb::slot(device_->slot()),
                            device_->input_context(), 0, this);
    case Step::SetConfiguration: {
        SetupPacket s{kToDevice, kSetConfiguration, device_->configuration.value, 0, 0};
        return device_->Control(s, nullptr, this);
    }
    default:
        return false;
    }
}

void Enumerator::CommandDone(u8 code, u8 slot) {
    code_ = code;
    slot_ = slot;
    completed_ = true;
}

void Enumerator::TransferDone(Endpoint* ep, u8 code, u32 length, void*) {
    if (!device_ || ep != device_->endpoint(1)) return;
    code_ = code;
    length_ = length;
    completed_ = true;
}

void Enumerator::Completed(u32 now) {
    completed_ = false;
    if (!trb::ok(code_)) {
        Fail(step_ == Step::EnableSlot ? "no free device slot" : "refuses to be set up");
        return;
    }
    switch (step_) {
    case Step::EnableSlot: {
        Device* d = new Device(hc_, slot_, owner_->ChildAttachment(port_, speed_));
        if (!d || !d->Init()) {
            delete d;
            hc_->Command(trb::type(trb::kDisableSlot) | trb::slot(slot_), 0, 0, nullptr);
            Fail("no memory");
            return;
        }
        device_ = d;
        hc_->AddDevice(d);
        Next(Step::Address, now);
        return;
    }
    case Step::Address:
        Next(Step::Head, now);
        return;
    case Step::Head:
        if (length_ < 8) {
            Fail("sends no descriptor");
        } else if (speed_ == Speed::Full && buffer_[7] != device_->endpoint(1)->max_packet() &&
                   (buffer_[7] == 8 || buffer_[7] == 16 || buffer_[7] == 32 || buffer_[7] == 64)) {
            Next(Step::Evaluate, now);
        } else {
            Next(Step::Descriptor, now);
        }
        return;
    case Step::Evaluate:
        Next(Step::Descriptor, now);
        return;
    case Step::Descriptor:
        if (!parse_device_descriptor(buffer_, length_, &device_->descriptor)) {
            Fail("sends a broken device descriptor");
            return;
        }
        Next(Step::ConfigHead, now);
        return;
    case Step::ConfigHead:
        if (!parse_configuration(buffer_, length_, &device_->configuration)) {
            Fail("sends a broken configuration");
            return;
        }
        Next(Step::Config, now);
        return;
    case Step::Config:
        parse_configuration(buffer_, length_, &device_->configuration);
        if (!BindDrivers()) return;
        Next(Step::Configure, now);
        return;
    case Step::Configure:
        Next(Step::SetConfiguration, now);
        return;
    case Step::SetConfiguration:
        step_ = Step::ClassSetup;
        driver_ = 0;
        issued_ = false;
        Poll(now);
        return;
    default:
        return;
    }
}

bool Enumerator::BindDrivers() {
    if (bind_class_drivers(device_) > 0) return true;
    if (!hc_->reporting()) {
        Finish();
        return false;
    }
    char where[24];
    format_port(device_->attachment(), where, sizeof where);
    printf("\nUSB port %s: device %04X:%04X (%s speed) not used", where, device_->descriptor.vendor,
           device_->descriptor.product, speed_name(speed_));
    // It stays addressed, so its leaving is noticed like any other's.
    Finish();
    return false;
}

void Enumerator::Fail(const char* why) {
    if (hc_->reporting()) {
        char where[24];
        Attachment at = owner_->ChildAttachment(port_, speed_);
        format_port(at, where, sizeof where);
        printf("\nUSB port %s: device %s", where, why);
    }
    Abort();
}

void Enumerator::Finish() {
    device_ = nullptr;
    step_ = Step::Idle;
    issued_ = false;
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

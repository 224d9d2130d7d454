// Hub class: descriptor, port power, status changes, port resets.
#include "drivers/usb/hub.h"

#include "drivers/usb/device.h"
#include "drivers/dma_memory.h"
#include "drivers/usb/enumerator.h"
#include "drivers/usb/xhci.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
// Class requests.
const u8 kToHub = kTypeClass | kToDevice;
const u8 kToPort = kTypeClass | kToOther;
const u8 kSetHubDepth = 12;

// Port features.
const u16 kPortReset = 4;
const u16 kPortPower = 8;

// wPortStatus bits.
const u16 kConnected = 1 << 0;
const u16 kEnabled = 1 << 1;
const u16 kResetting = 1 << 4;
const u16 kLowSpeed = 1 << 9;
const u16 kHighSpeed = 1 << 10;
// wPortChange bits.
const u16 kConnectChange = 1 << 0;
const u16 kResetChange = 1 << 4;
const u16 kWarmResetChange = 1 << 5;  // USB 3 hubs

// The feature that acknowledges change bit n, 0 for none: USB 2 hubs have
// connection, enable, suspend, over-current and reset changes; USB 3 hubs
// connection, over-current, reset, warm reset, link state and config error.
const u16 kChangeFeature2[8] = {16, 17, 18, 19, 20, 0, 0, 0};
const u16 kChangeFeature3[8] = {16, 0, 0, 19, 20, 29, 25, 26};

u16 le16(const u8* p) { return static_cast<u16>(p[0] | p[1] << 8); }
bool due(u32 now, u32 when) { return static_cast<i32>(now - when) >= 0; }
}  // namespace

Hub::Hub(Device* device, const InterfaceInfo& interface) : ClassDriver(device) {
    const EndpointInfo* in = interface.find(kEndpointInterrupt, true);
    buffer_ = DmaAllocate(64, 64);
    claimed_ = in && buffer_ && changes_.Claim(device, *in, this);
}

Hub::~Hub() { DmaFree(buffer_); }

bool Hub::super() const { return is_super(device_->speed()); }

bool Hub::Request(u8 type, u8 request, u16 value, u16 index, u16 length, Asked what) {
    SetupPacket s{type, request, value, index, length};
    if (!device_->Control(s, length ? buffer_ : nullptr, this)) return false;
    asked_ = what;
    asked_port_ = static_cast<u8>(index);
    return true;
}

void Hub::Start() { step_ = Step::Descriptor; }

void Hub::Poll(u32 now) {
    if (device_->gone() || state_ == State::Failed) return;
    if (step_ != Step::Running) {
        if (asked_ == Asked::None) NextSetupRequest(now);
        return;
    }
    changes_.TopUp();
    // A reset's end is also asked for, should its change report be lost.
    if (resetting_ && due(now, next_reset_poll_)) {
        need_status_ |= resetting_;
        next_reset_poll_ = now + kResetPollMs;
    }
    if (asked_ == Asked::None) NextPortRequest(now);
    // Set up once every port has been looked at and its device queued.
    if (state_ == State::Starting && !need_status_ && asked_ == Asked::None) state_ = State::Ready;
}

void Hub::NextSetupRequest(u32 now) {
    switch (step_) {
    case Step::Descriptor:
        Request(kDirIn | kToHub, kGetDescriptor, static_cast<u16>((super() ? kDescSuperSpeedHub : kDescHub) << 8),
                0, 12, Asked::Setup);
        return;
    case Step::Depth:
        Request(kToHub, kSetHubDepth, device_->attachment().depth, 0, 0, Asked::Setup);
        return;
    case Step::Configure:
        device_->MarkHub(port_count_, false, think_time_);
        device_->PrepareConfigure();
        if (device_->controller()->Command(trb::type(trb::kConfigureEndpoint) | trb::slot(device_->slot()),
                                           device_->input_context(), 0, this))
            asked_ = Asked::Setup;
        return;
    case Step::Power:
        if (powered_ >= port_count_) {
            step_ = Step::PowerWait;
            wait_until_ = now + power_good_ms_;
            return;
        }
        Request(kToPort, kSetFeature, kPortPower, static_cast<u16>(powered_ + 1), 0, Asked::Setup);
        return;
    case Step::PowerWait:
        if (!due(now, wait_until_)) return;
        step_ = Step::Running;
        for (u8 p = 1; p <= port_count_; p++) need_status_ |= static_cast<u16>(1 << p);
        return;
    default:
        return;
    }
}

void Hub::NextPortRequest(u32 now) {
    for (u8 p = 1; p <= port_count_; p++) {
        u16 changes = clear_[p];
        for (int bit = 0; bit < 8; bit++) {
            if (!(changes & (1 << bit))) continue;
            u16 feature = super() ? kChangeFeature3[bit] : kChangeFeature2[bit];
            if (feature == 0) {
                clear_[p] &= static_cast<u16>(~(1 << bit));
                continue;
            }
            Request(kToPort, kClearFeature, feature, p, 0, Asked::Clear);
            return;
        }
    }
    for (u8 p = 1; p <= port_count_; p++) {
        if (!(need_reset_ & (1 << p))) continue;
        if (Request(kToPort, kSetFeature, kPortReset, p, 0, Asked::Reset)) {
            need_reset_ &= static_cast<u16>(~(1 << p));
            next_reset_poll_ = now + kResetPollMs;
        }
        return;
    }
    for (u8 p = 1; p <= port_count_; p++) {
        if (!(need_status_ & (1 << p))) continue;
        Request(kDirIn | kToPort, kGetStatus, 0, p, 4, Asked::Status);
        return;
    }
}

void Hub::TransferDone(Endpoint* ep, u8 code, u32 length, void* buffer) {
    if (changes_.owns(ep)) {
        // Bit n of the bitmap: port n changed (bit 0 is the hub itself).
        const u8* bitmap = static_cast<const u8*>(buffer);
        if (trb::ok(code))
            for (u8 p = 1; p <= port_count_ && p / 8 < length; p++)
                if (bitmap[p / 8] & (1 << (p % 8))) need_status_ |= static_cast<u16>(1 << p);
        changes_.Returned(buffer);
        return;
    }
    Asked what = asked_;
    asked_ = Asked::None;
    u8 port = asked_port_;
    switch (what) {
    case Asked::Setup:
        if (step_ == Step::Descriptor) {
            if (!trb::ok(code) || length < 7) {
                state_ = State::Failed;
                return;
            }
            port_count_ = buffer_[2] < kMaxPorts ? buffer_[2] : kMaxPorts;
            think_time_ = static_cast<u8>((le16(buffer_ + 3) >> 5) & 3);
            u32 good = buffer_[5] * 2u;
            power_good_ms_ = good > 100 ? good : 100;
            step_ = super() ? Step::Depth : Step::Configure;
        } else if (step_ == Step::Depth) {
            step_ = Step::Configure;
        } else if (step_ == Step::Power) {
            powered_++;
        }
        return;
    case Asked::Status:
        if (trb::ok(code) && length >= 4) StatusRead(port);
        return;
    case Asked::Clear:
        // Acknowledged (or refused: not asked again either way).
        for (int bit = 0; bit < 8; bit++)
            if (clear_[port] & (1 << bit)) {
                clear_[port] &= static_cast<u16>(~(1 << bit));
                break;
            }
        return;
    default:
        return;
    }
}

void Hub::CommandDone(u8 code, u8) {
    asked_ = Asked::None;
    if (step_ != Step::Configure) return;
    if (!trb::ok(code)) {
        state_ = State::Failed;
        return;
    }
    step_ = Step::Power;
}

void Hub::StatusRead(u8 port) {
    u16 status = le16(buffer_);
    u16 change = le16(buffer_ + 2);
    u16 bit = static_cast<u16>(1 << port);
    need_status_ &= static_cast<u16>(~bit);
    status_[port] = status;
    clear_[port] |= change & 0xFF;
    if ((change & (kResetChange | kWarmResetChange)) || ((status & kEnabled) && !(status & kResetting)))
        resetting_ &= static_cast<u16>(~bit);

    Xhci* hc = device_->controller();
    Device* present = hc->DeviceOn(this, port);
    bool first_look = state_ == State::Starting;
    if (!(change & kConnectChange) && !(first_look && (status & kConnected) && !present)) return;
    if (status & kConnected) {
        if (present) hc->RemoveDevice(present);
        if (device_->attachment().depth < kMaxDepth - 1)
            hc->enumerator()->Attach(this, port, Enumerator::kSettleMs);
    } else {
        hc->enumerator()->Cancel(this, port);
        if (present) hc->RemoveDevice(present);
    }
}

bool Hub::ResetPort(u8 port) {
    if (port == 0 || port > port_count_) return false;
    need_reset_ |= static_cast<u16>(1 << port);
    resetting_ |= static_cast<u16>(1 << port);
    return true;
}

PortStatus Hub::QueryPort(u8 port) {
    PortStatus st;
    if (port == 0 || port > port_count_) return st;
    u16 s = status_[port];
    st.connected = s & kConnected;
    st.enabled = s & kEnabled;
    st.resetting = (resetting_ & (1 << port)) || (s & kResetting);
    st.speed = super() ? Speed::Super : (s & kLowSpeed) ? Speed::Low : (s & kHighSpeed) ? Speed::High : Speed::Full;
    return st;
}

Attachment Hub::ChildAttachment(u8 port, Speed speed) {
    const Attachment& hub = device_->attachment();
    Attachment at;
    at.owner = this;
    at.port = port;
    at.root_port = hub.root_port;
    at.depth = static_cast<u8>(hub.depth + 1);
    at.route = hub.route | static_cast<u32>(port < 15 ? port : 15) << (4 * hub.depth);
    at.speed = speed;
    if (speed == Speed::Low || speed == Speed::Full) {
        if (hub.speed == Speed::High) {
            // This hub's transaction translator speaks to the device.
            at.tt_slot = device_->slot();
            at.tt_port = port;
        } else {
            at.tt_slot = hub.tt_slot;
            at.tt_port = hub.tt_port;
            at.tt_multi = hub.tt_multi;
        }
    }
    return at;
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

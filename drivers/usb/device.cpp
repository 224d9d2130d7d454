// Device contexts, endpoints and the device's life after addressing.
#include "drivers/usb/device.h"

#include "drivers/usb/class_driver.h"
#include "drivers/dma_memory.h"
#include "drivers/usb/xhci.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
// Input control context: drop flags, add flags.
const u32 kInputAdd = 1;
// Slot context, double word 0.
const u32 kSlotSpeedShift = 20;
const u32 kSlotMultiTt = 1 << 25;
const u32 kSlotHub = 1 << 26;
const u32 kSlotEntriesShift = 27;
// Endpoint context.
const u32 kErrorRetries = 3 << 1;  // CErr: three tries before the endpoint halts
const u32 kEndpointTypeShift = 3;
const u32 kDequeueCycle = 1;

u16 default_max_packet0(Speed speed) {
    switch (speed) {
    case Speed::High: return 64;
    case Speed::Super:
    case Speed::SuperPlus: return 512;
    default: return 8;
    }
}

// Interval as the endpoint context wants it: 2^n 125-microsecond units.
u8 context_interval(const EndpointInfo& e, Speed speed) {
    if (e.type != kEndpointInterrupt && e.type != kEndpointIsochronous) return 0;
    if (speed == Speed::Low || speed == Speed::Full) {
        if (e.type == kEndpointIsochronous) return static_cast<u8>(e.interval + 2);
        // bInterval counts 1 ms frames: the largest power of two in 8 x frames.
        u32 units = (e.interval ? e.interval : 1) * 8u;
        u8 n = 0;
        while ((2u << n) <= units) n++;
        return n < 3 ? 3 : n > 10 ? 10 : n;
    }
    u8 n = e.interval ? static_cast<u8>(e.interval - 1) : 0;
    return n > 15 ? 15 : n;
}

u8 endpoint_type(const EndpointInfo& e) {
    bool in = e.address & kEndpointIn;
    switch (e.type) {
    case kEndpointBulk: return in ? Endpoint::kTypeBulkIn : Endpoint::kTypeBulkOut;
    case kEndpointInterrupt: return in ? Endpoint::kTypeInterruptIn : Endpoint::kTypeInterruptOut;
    default: return 0;  // isochronous endpoints are not served
    }
}
}  // namespace

Device::Device(Xhci* hc, u8 slot, const Attachment& at)
    : hc_(hc), slot_(slot), at_(at), context_size_(hc->context_size()) {}

Device::~Device() {
    for (int i = 0; i < driver_count_; i++) delete drivers_[i];
    for (Endpoint* e : endpoints_) delete e;
    DmaFree(input_);
    DmaFree(output_);
}

bool Device::Init() {
    input_ = DmaAllocate(33 * context_size_, kDmaPage);
    output_ = DmaAllocate(32 * context_size_, kDmaPage);
    Endpoint* ep0 = new Endpoint(hc_, slot_, 1, Endpoint::kTypeControl, default_max_packet0(at_.speed));
    if (!input_ || !output_ || !ep0 || !ep0->Init()) {
        delete ep0;
        return false;
    }
    endpoints_[1] = ep0;
    return true;
}

u64 Device::input_context() const { return DeviceAddress(input_); }
u64 Device::output_context() const { return DeviceAddress(output_); }

u32* Device::input_slot() const { return reinterpret_cast<u32*>(input_ + context_size_); }

u32* Device::input_endpoint(u8 dci) const {
    return reinterpret_cast<u32*>(input_ + (dci + 1) * context_size_);
}

void Device::WriteSlot(u32* slot) const {
    slot[0] = (at_.route & 0xFFFFF) | static_cast<u32>(at_.speed) << kSlotSpeedShift |
              (hub_ && hub_multi_tt_ ? kSlotMultiTt : 0) | (hub_ ? kSlotHub : 0) |
              static_cast<u32>(entries_) << kSlotEntriesShift;
    slot[1] = static_cast<u32>(at_.root_port) << 16 | static_cast<u32>(hub_ ? hub_ports_ : 0) << 24;
    slot[2] = at_.tt_slot | static_cast<u32>(at_.tt_port) << 8 |
              static_cast<u32>(hub_ ? hub_think_time_ : 0) << 16;
    slot[3] = 0;
}

void Device::PrepareAddress() {
    u32* control = reinterpret_cast<u32*>(input_);
    control[0] = 0;
    control[kInputAdd] = 1 << 0 | 1 << 1;  // slot and endpoint 0
    WriteSlot(input_slot());
    u32* ep = input_endpoint(1);
    Endpoint* ep0 = endpoints_[1];
    ep[0] = 0;
    ep[1] = kErrorRetries | static_cast<u32>(Endpoint::kTypeControl) << kEndpointTypeShift |
            static_cast<u32>(ep0->max_packet()) << 16;
    ep[2] = static_cast<u32>(ep0->ring_base()) | kDequeueCycle;
    ep[3] = static_cast<u32>(ep0->ring_base() >> 32);
    ep[4] = 8;  // average TRB: a setup packet
}

void Device::PrepareMaxPacket0(u16 size) {
    u32* control = reinterpret_cast<u32*>(input_);
    control[0] = 0;
    control[kInputAdd] = 1 << 1;
    endpoints_[1]->max_packet(size);
    u32* ep = input_endpoint(1);
    ep[1] = (ep[1] & 0xFFFF) | static_cast<u32>(size) << 16;
}

Endpoint* Device::AddEndpoint(const EndpointInfo& info, TransferClient* client) {
    u8 dci = context_index(info.address);
    u8 type = endpoint_type(info);
    if (dci < 2 || dci > 31 || type == 0 || endpoints_[dci]) return nullptr;
    u16 packet = info.max_packet & 0x7FF;
    u8 burst = is_super(at_.speed) ? info.max_burst
               : at_.speed == Speed::High ? static_cast<u8>((info.max_packet >> 11) & 3)
                                          : 0;
    Endpoint* e = new Endpoint(hc_, slot_, dci, type, packet);
    if (!e || !e->Init()) {
        delete e;
        return nullptr;
    }
    e->client(client);
    endpoints_[dci] = e;
    added_ |= 1u << dci;
    if (dci > entries_) entries_ = dci;

    bool periodic = info.type == kEndpointInterrupt;
    u32 esit = periodic ? static_cast<u32>(packet) * (burst + 1) : 0;
    u32* ep = input_endpoint(dci);
    ep[0] = static_cast<u32>(context_interval(info, at_.speed)) << 16 | (esit >> 16) << 24;
    ep[1] = kErrorRetries | static_cast<u32>(type) << kEndpointTypeShift |
            static_cast<u32>(burst) << 8 | static_cast<u32>(packet) << 16;
    ep[2] = static_cast<u32>(e->ring_base()) | kDequeueCycle;
    ep[3] = static_cast<u32>(e->ring_base() >> 32);
    ep[4] = (periodic ? esit : 3072) | (esit & 0xFFFF) << 16;
    return e;
}

void Device::MarkHub(u8 ports, bool multi_tt, u8 think_time) {
    hub_ = true;
    hub_ports_ = ports;
    hub_multi_tt_ = multi_tt;
    hub_think_time_ = think_time & 3;
}

void Device::PrepareConfigure() {
    u32* control = reinterpret_cast<u32*>(input_);
    control[0] = 0;
    control[kInputAdd] = 1 << 0 | added_;
    added_ = 0;
    WriteSlot(input_slot());
}

bool Device::Control(const SetupPacket& setup, void* data, TransferClient* client) {
    if (gone_) return false;
    Endpoint* ep0 = endpoints_[1];
    if (ep0->Outstanding() || ep0->Recovering()) return false;
    ep0->client(client);
    return ep0->Control(setup, data);
}

void Device::OnTransferEvent(u8 dci, u64 trb, u8 code, u32 residual) {
    if (gone_ || dci >= 32 || !endpoints_[dci]) return;
    endpoints_[dci]->OnTransferEvent(trb, code, residual);
}

void Device::Abandon() {
    if (gone_) return;
    gone_ = true;
    for (Endpoint* e : endpoints_)
        if (e) e->Abandon();
    for (int i = 0; i < driver_count_; i++) drivers_[i]->Detach();
}

void Device::AddDriver(ClassDriver* driver) {
    if (driver_count_ < kMaxDrivers) drivers_[driver_count_++] = driver;
    else delete driver;
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

// One addressed USB device: its slot, the input and output contexts the
// controller reads and fills, endpoint 0 and the endpoints its class
// drivers asked for, and where it hangs in the tree of hubs.
#ifndef TARN_DRIVERS_USB_DEVICE_H
#define TARN_DRIVERS_USB_DEVICE_H

#include "drivers/usb/descriptors.h"
#include "drivers/usb/endpoint.h"
#include "drivers/usb/usb.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class ClassDriver;
class PortOwner;
class Xhci;

// Where a device hangs: the root port its path starts at, the route string
// through the hubs below it, and the transaction translator a low- or
// full-speed device behind a high-speed hub is reached through.
struct Attachment {
    PortOwner* owner = nullptr;  // the root hub or a hub device
    u8 port = 0;                 // on owner
    u8 root_port = 0;
    u32 route = 0;
    u8 depth = 0;                // hubs between the device and the root port
    Speed speed = Speed::None;
    u8 tt_slot = 0;
    u8 tt_port = 0;
    bool tt_multi = false;
};

class Device {
public:
    static constexpr int kMaxDrivers = 4;

    Device(Xhci* hc, u8 slot, const Attachment& at);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Contexts and endpoint 0; false when the heap has no room.
    bool Init();

    Xhci* controller() const { return hc_; }
    u8 slot() const { return slot_; }
    const Attachment& attachment() const { return at_; }
    Speed speed() const { return at_.speed; }
    u64 input_context() const;
    u64 output_context() const;

    // Input context for Address Device: the slot and endpoint 0.
    void PrepareAddress();
    // Input context for Evaluate Context: endpoint 0's packet size.
    void PrepareMaxPacket0(u16 size);
    // A new endpoint for a class driver, added to the next Configure
    // Endpoint; null when the heap has no room or it cannot be served.
    Endpoint* AddEndpoint(const EndpointInfo& info, TransferClient* client);
    // The slot as a hub's: ports, several transaction translators or one,
    // and their think time (0-3).
    void MarkHub(u8 ports, bool multi_tt, u8 think_time);
    // Input context for Configure Endpoint: the slot and the endpoints
    // added since the last one.
    void PrepareConfigure();

    // A control transfer on endpoint 0 whose end goes to client. False when
    // endpoint 0 is busy or recovering: ask again on a later poll.
    bool Control(const SetupPacket& setup, void* data, TransferClient* client);
    Endpoint* endpoint(u8 dci) const { return dci < 32 ? endpoints_[dci] : nullptr; }

    void OnTransferEvent(u8 dci, u64 trb, u8 code, u32 residual);
    // The device left: every outstanding transfer ends, its drivers let go
    // of what it held, and nothing is started on it again.
    void Abandon();
    bool gone() const { return gone_; }

    // The class drivers bound to its interfaces (owned by the device).
    void AddDriver(ClassDriver* driver);
    int driver_count() const { return driver_count_; }
    ClassDriver* driver(int i) const { return drivers_[i]; }

    DeviceDescriptor descriptor{};
    ConfigurationInfo configuration{};

private:
    u32* input_slot() const;
    u32* input_endpoint(u8 dci) const;
    void WriteSlot(u32* slot) const;

    Xhci* hc_;
    u8 slot_;
    Attachment at_;
    u8* input_ = nullptr;
    u8* output_ = nullptr;
    u32 context_size_;
    Endpoint* endpoints_[32] = {};
    u32 added_ = 0;            // add-context flags since the last Configure Endpoint
    u8 entries_ = 1;           // highest endpoint context in use
    bool hub_ = false;
    u8 hub_ports_ = 0;
    bool hub_multi_tt_ = false;
    u8 hub_think_time_ = 0;
    bool gone_ = false;
    ClassDriver* drivers_[kMaxDrivers] = {};
    int driver_count_ = 0;
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

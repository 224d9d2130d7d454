// The controller's own ports. USB 2 ports are reset to be enabled; USB 3
// ports train their link and enable themselves. A port status change event
// is answered here: change bits cleared, a new connection handed to the
// enumerator, a lost one removing the device that was on it.
#ifndef TARN_DRIVERS_USB_ROOT_HUB_H
#define TARN_DRIVERS_USB_ROOT_HUB_H

#include "drivers/usb/port_owner.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class Xhci;

class RootHub : public PortOwner {
public:
    static constexpr u32 kMaxPorts = 255;

    explicit RootHub(Xhci* hc) : hc_(hc) {}

    // Ports first..first+count-1 speak USB major version major.
    void SetProtocol(u32 first, u32 count, u32 major);
    // Powers every port and hands each connected one to the enumerator.
    void Start();
    // A port status change event for port.
    void Changed(u8 port);

    bool ResetPort(u8 port) override;
    PortStatus QueryPort(u8 port) override;
    Attachment ChildAttachment(u8 port, Speed speed) override;

private:
    u32 Read(u8 port) const;
    void Write(u8 port, u32 value) const;

    Xhci* hc_;
    bool usb3_[kMaxPorts + 1] = {};
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

// A hub as the enumerator sees it, whether the controller's root ports or a
// hub device: ports that are reset, report their state, and place a new
// device in the tree.
#ifndef TARN_DRIVERS_USB_PORT_OWNER_H
#define TARN_DRIVERS_USB_PORT_OWNER_H

#include "drivers/usb/device.h"
#include "drivers/usb/usb.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

struct PortStatus {
    bool connected = false;
    bool enabled = false;
    bool resetting = false;
    Speed speed = Speed::None;
};

class PortOwner {
public:
    // Starts resetting port (nothing for a port that enables itself).
    // False when it cannot start now: ask again on a later poll.
    virtual bool ResetPort(u8 port) = 0;
    virtual PortStatus QueryPort(u8 port) = 0;
    // Where a device of that speed on port hangs.
    virtual Attachment ChildAttachment(u8 port, Speed speed) = 0;

protected:
    ~PortOwner() = default;
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

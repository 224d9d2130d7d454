// Root ports: power, reset, state and change events.
#include "drivers/usb/root_hub.h"

#include "drivers/usb/enumerator.h"
#include "drivers/usb/xhci.h"
#include "drivers/usb/xhci_registers.h"

namespace tarn {
namespace drivers {
namespace usb {

using namespace xhci;

u32 RootHub::Read(u8 port) const { return hc_->operational().read32(portsc(port)); }

void RootHub::Write(u8 port, u32 value) const { hc_->operational().write32(portsc(port), value); }

void RootHub::SetProtocol(u32 first, u32 count, u32 major) {
    for (u32 p = first; p < first + count && p <= kMaxPorts; p++) usb3_[p] = major >= 3;
}

void RootHub::Start() {
    for (u32 p = 1; p <= hc_->port_count(); p++) {
        u32 sc = Read(static_cast<u8>(p));
        if (!(sc & kPortPower)) Write(static_cast<u8>(p), (sc & kPortPreserve) | kPortPower);
    }
    // Devices present at start-up have long settled.
    for (u32 p = 1; p <= hc_->port_count(); p++)
        if (Read(static_cast<u8>(p)) & kPortConnected) hc_->enumerator()->Attach(this, static_cast<u8>(p), 0);
}

void RootHub::Changed(u8 port) {
    if (port == 0 || port > hc_->port_count()) return;
    u32 sc = Read(port);
    Write(port, (sc & kPortPreserve) | (sc & kPortChanges));
    if (!(sc & (kPortConnectChange | kPortEnableChange)) && (sc & kPortConnected)) return;

    Device* present = hc_->DeviceOn(this, port);
    if (sc & kPortConnected) {
        // A connect change on a port that has a device is a new device.
        if (!(sc & kPortConnectChange)) return;
        if (present) hc_->RemoveDevice(present);
        hc_->enumerator()->Attach(this, port, Enumerator::kSettleMs);
    } else {
        hc_->enumerator()->Cancel(this, port);
        if (present) hc_->RemoveDevice(present);
    }
}

bool RootHub::ResetPort(u8 port) {
    u32 sc = Read(port);
    if (usb3_[port] && (sc & kPortEnabled)) return true;
    Write(port, (sc & kPortPreserve) | kPortReset);
    return true;
}

PortStatus RootHub::QueryPort(u8 port) {
    u32 sc = Read(port);
    PortStatus st;
    st.connected = sc & kPortConnected;
    st.enabled = sc & kPortEnabled;
    st.resetting = sc & kPortReset;
    st.speed = static_cast<Speed>(port_speed(sc));
    return st;
}

Attachment RootHub::ChildAttachment(u8 port, Speed speed) {
    Attachment at;
    at.owner = this;
    at.port = port;
    at.root_port = port;
    at.speed = speed;
    return at;
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

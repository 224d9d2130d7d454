// USB on the host side: the xHCI controllers found on PCI, started at
// boot and polled from the main loop, and what their devices report routed
// to the machine (keys), the control ports (mouse, pads) and the disks.
#ifndef TARN_HOST_USB_HOST_H
#define TARN_HOST_USB_HOST_H

#include "drivers/usb/usb_events.h"
#include "lib/key_queue.h"
#include "lib/types.h"

namespace tarn {
namespace hardwarecommunication { class PeripheralComponentInterconnectController; }
namespace drivers { namespace usb { class Xhci; } }

namespace host {

class UsbHost : public drivers::usb::UsbEvents {
public:
    static constexpr int kMaxControllers = 4;
    // Start-up waits at most this long for the devices present to be set up.
    static constexpr u32 kSettleMs = 5000;

    typedef u32 (*Clock)();

    // Starts every xHCI controller on the bus and waits (bounded) until
    // the devices already plugged in are set up.
    // Keys go into the queue every keyboard feeds.
    void Start(hardwarecommunication::PeripheralComponentInterconnectController* pci, Clock clock,
               KeyQueue* keys);
    // From the main loop: cheap when nothing happened.
    void Poll();

    void Key(KeyEvent event) override;
    void PointerMoved(i32 dx, i32 dy, u8 buttons) override;
    void PadChanged(u8 pad, const drivers::usb::PadState& state) override;
    void DiskArrived(drivers::usb::UsbDisk* disk) override;
    void DiskLeft(drivers::usb::UsbDisk* disk) override;

private:
    drivers::usb::Xhci* controllers_[kMaxControllers] = {};
    int count_ = 0;
    Clock clock_ = nullptr;
    KeyQueue* keys_ = nullptr;
};

}  // namespace host
}  // namespace tarn

#endif

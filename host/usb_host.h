// USB on the host side: the xHCI controllers found on PCI, started at
// boot and polled from the main loop, and what their devices report routed
// to the key queue, the control ports (mouse, pads) and the disks.
#ifndef TARN_HOST_USB_HOST_H
#define TARN_HOST_USB_HOST_H

#include "drivers/usb/usb_events.h"
#include "host/game_ports.h"
#include "lib/key_queue.h"
#include "lib/types.h"

namespace tarn {
namespace hardwarecommunication { class PeripheralComponentInterconnectController; }
namespace drivers { namespace usb { class Xhci; } }
namespace filesystem { class Fat32; }

namespace host {

class Disks;

// Intel's 7 and 8 series chipsets have an EHCI and an xHCI controller
// sharing their USB 2 ports, and firmware may leave those ports on EHCI,
// which Tarn does not drive. Moves every port the firmware lets move to
// the xHCI controller f (and turns on its USB 3 ports); false for any other
// controller.
bool RouteSharedPortsToXhci(hardwarecommunication::PeripheralComponentInterconnectController* pci,
                            u16 bus, u16 device, u16 function);

class UsbHost : public drivers::usb::UsbEvents {
public:
    static constexpr int kMaxControllers = 4;
    static constexpr int kMaxPending = 16;
    // Start-up waits at most this long for the devices present to be set up.
    static constexpr u32 kSettleMs = 5000;

    typedef u32 (*Clock)();
    // Told (from the main loop) when drive 8's volume goes (null: let go of
    // it now) and when a new one is chosen.
    typedef void (*VolumeChanged)(filesystem::Fat32* volume);

    // Starts every xHCI controller on the bus and waits (bounded) until the
    // devices already plugged in are set up; their disks are registered
    // with disks as they come, ahead of every other controller's. ram_top:
    // the end of the RAM below 4 GiB, which a controller moved down from
    // above 4 GiB must stay clear of.
    void Start(hardwarecommunication::PeripheralComponentInterconnectController* pci, Clock clock,
               KeyQueue* keys, Disks* disks, u32 ram_top);
    void OnVolumeChange(VolumeChanged changed) { volume_changed_ = changed; }
    // From the main loop, between two passes of the machine: cheap when
    // nothing happened. Disks that came or went since are dealt with here.
    void Poll();
    // Milliseconds from the first disk seen at start-up to its being ready.
    u32 disk_ready_ms() const { return disk_ready_ms_; }
    // The mice and pads as the C64's control ports.
    PcGamePorts* game_ports() { return &game_ports_; }

    void Key(KeyEvent event) override;
    void PointerPresent(bool present) override;
    void PointerMoved(i32 dx, i32 dy, u8 buttons) override;
    void PadChanged(u8 pad, const drivers::usb::PadState& state) override;
    void DiskArrived(drivers::usb::UsbDisk* disk) override;
    void DiskLeft(drivers::usb::UsbDisk* disk) override;

private:
    void SettleDisks();
    void Tell(filesystem::Fat32* volume);

    drivers::usb::Xhci* controllers_[kMaxControllers] = {};
    int count_ = 0;
    Clock clock_ = nullptr;
    KeyQueue* keys_ = nullptr;
    Disks* disks_ = nullptr;
    VolumeChanged volume_changed_ = nullptr;
    PcGamePorts game_ports_;
    bool starting_ = false;
    u32 started_at_ = 0;
    u32 disk_ready_ms_ = 0;
    // Disks that came or left inside a poll, dealt with after it.
    drivers::usb::UsbDisk* arrived_[kMaxPending] = {};
    drivers::usb::UsbDisk* left_[kMaxPending] = {};
    int arrivals_ = 0;
    int departures_ = 0;
};

}  // namespace host
}  // namespace tarn

#endif

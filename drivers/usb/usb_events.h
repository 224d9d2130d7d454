// What USB devices report to the rest of the system. The host layer
// implements it; the controller calls it from its poll, never from an
// interrupt, so implementations need no locking against the USB code.
#ifndef TARN_DRIVERS_USB_USB_EVENTS_H
#define TARN_DRIVERS_USB_USB_EVENTS_H

#include "lib/key_event.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class UsbDisk;

// A game pad or joystick as the C64 sees one: four directions and fire.
struct PadState {
    bool up, down, left, right;
    bool fire;
};

// Buttons of a pointing device.
const u8 kButtonLeft = 1 << 0;
const u8 kButtonRight = 1 << 1;
const u8 kButtonMiddle = 1 << 2;

class UsbEvents {
public:
    // A key went down or up; a key held past the typematic delay goes
    // down again and again, as a PC keyboard repeats by itself.
    virtual void Key(KeyEvent event) = 0;
    // A mouse came (ready for use) or left.
    virtual void PointerPresent(bool present) = 0;
    // A mouse moved by dx, dy counts (x to the right, y down) with these
    // buttons held.
    virtual void PointerMoved(i32 dx, i32 dy, u8 buttons) = 0;
    // Pad number pad (0 the first that arrived) is held this way; a pad
    // that leaves is reported once more with nothing held.
    virtual void PadChanged(u8 pad, const PadState& state) = 0;
    // A disk is ready for use, or has left. A disk that left stays a valid
    // object answering kNoMedium until the host gives it back with
    // UsbDisk::Release.
    virtual void DiskArrived(UsbDisk* disk) = 0;
    virtual void DiskLeft(UsbDisk* disk) = 0;

protected:
    ~UsbEvents() = default;
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

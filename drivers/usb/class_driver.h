// A driver for one interface of a device (keyboard, mouse, pad, hub, mass
// storage). It claims its endpoints when it is made, finishes its set-up
// after the device is configured, and is polled with the controller.
#ifndef TARN_DRIVERS_USB_CLASS_DRIVER_H
#define TARN_DRIVERS_USB_CLASS_DRIVER_H

#include "drivers/usb/endpoint.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class Device;
class PortOwner;

class ClassDriver : public TransferClient {
public:
    enum class State : u8 { Starting, Ready, Failed };

    explicit ClassDriver(Device* device) : device_(device) {}
    virtual ~ClassDriver() {}
    ClassDriver(const ClassDriver&) = delete;
    ClassDriver& operator=(const ClassDriver&) = delete;

    // What it drives, for the console ("keyboard", "hub", ...).
    virtual const char* Kind() const = 0;
    // The device is configured: begin the class's own set-up.
    virtual void Start() = 0;
    // Called on every controller poll: set-up steps, timers, transfers to
    // put back on their rings. Never waits.
    virtual void Poll(u32 now) = 0;
    // The device left: let go of whatever it held (keys, buttons, a disk).
    virtual void Detach() = 0;

    // A hub's ports, for the devices below it; null for other classes.
    virtual PortOwner* ports() { return nullptr; }

    // Starts the driver; it is polled from then on.
    void Begin() {
        started_ = true;
        Start();
    }
    bool started() const { return started_; }
    State state() const { return state_; }
    Device* device() const { return device_; }

protected:
    Device* device_;
    State state_ = State::Starting;

private:
    bool started_ = false;
};

// Makes the class drivers for the device's interfaces (they claim their
// endpoints as they are made) and gives them to the device; returns how
// many it has.
int bind_class_drivers(Device* device);

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

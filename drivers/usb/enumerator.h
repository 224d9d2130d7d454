// Attaching devices, one at a time and never waiting: a device that
// appeared on a port is reset, given a slot and an address, its descriptors
// are read, class drivers are bound to its interfaces, its endpoints
// configured, and the drivers' own set-up runs. Each step starts one
// command or control transfer; Poll() moves on when it completes, or gives
// the device up when it takes too long.
#ifndef TARN_DRIVERS_USB_ENUMERATOR_H
#define TARN_DRIVERS_USB_ENUMERATOR_H

#include "drivers/usb/endpoint.h"
#include "drivers/usb/usb.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

struct Attachment;
class Device;
class PortOwner;
class Xhci;

class Enumerator : public CommandClient, public TransferClient {
public:
    // A new connection settles this long before its port is reset.
    static constexpr u32 kSettleMs = 100;
    // The port reset itself, then the device's recovery after it.
    static constexpr u32 kResetMs = 500;
    static constexpr u32 kRecoveryMs = 10;
    // Any one command or control transfer.
    static constexpr u32 kStepMs = 1000;
    // A class driver's own set-up (a disk spinning up takes seconds).
    static constexpr u32 kClassSetupMs = 10000;
    static constexpr int kQueue = 16;
    static constexpr u32 kBufferBytes = 4096;

    explicit Enumerator(Xhci* hc) : hc_(hc) {}
    ~Enumerator();
    Enumerator(const Enumerator&) = delete;
    Enumerator& operator=(const Enumerator&) = delete;

    // A device is on port of owner: attach it once settle_ms have passed.
    // Asked again for the same port, it starts over.
    void Attach(PortOwner* owner, u8 port, u32 settle_ms);
    // The port lost its device (port 0: every port of owner).
    void Cancel(PortOwner* owner, u8 port);
    // A device is being removed; if it is the one being attached, the
    // attach ends.
    void DeviceRemoved(Device* device);
    void Poll(u32 now);
    bool Busy() const { return step_ != Step::Idle || queued_ != 0; }

    void CommandDone(u8 code, u8 slot) override;
    void TransferDone(Endpoint* ep, u8 code, u32 length, void* buffer) override;

private:
    enum class Step : u8 {
        Idle, Reset, Recovery, EnableSlot, Address, Head, Evaluate, Descriptor,
        ConfigHead, Config, Configure, SetConfiguration, ClassSetup,
    };

    struct Pending {
        PortOwner* owner;
        u8 port;
        u32 due;
    };

    void Begin(u32 now);
    // Starts the current step's command or transfer; false when it cannot
    // start yet.
    bool Issue();
    // The current step's command or transfer ended with code_.
    void Completed(u32 now);
    void Next(Step step, u32 now);
    bool GetDescriptor(u8 type, u16 length);
    bool BindDrivers();
    void Fail(const char* why);
    void Finish();
    void Abort();

    Xhci* hc_;
    Pending queue_[kQueue] = {};
    int queued_ = 0;
    Step step_ = Step::Idle;
    PortOwner* owner_ = nullptr;
    u8 port_ = 0;
    Speed speed_ = Speed::None;
    Device* device_ = nullptr;
    bool issued_ = false;      // the step's operation is under way
    bool completed_ = false;   // and has ended with code_ / length_
    u8 code_ = 0;
    u8 slot_ = 0;
    u32 length_ = 0;
    u32 deadline_ = 0;
    int driver_ = 0;           // class set-up: the driver being started
    u8* buffer_ = nullptr;
};

// "3" for a device on root port 3, "3.2" for port 2 of a hub on it.
void format_port(const Attachment& at, char* out, u32 size);

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

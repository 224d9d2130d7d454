// An xHCI host controller: taken over from the firmware, reset, given its
// context array, command ring and event ring, and run. Everything after
// that happens in Poll(), called from the main loop: events are taken from
// the event ring, devices are attached and set up step by step, class
// drivers are polled. Nothing here waits for the controller except the
// start-up itself and WaitFor(), and every wait is bounded.
#ifndef TARN_DRIVERS_USB_XHCI_H
#define TARN_DRIVERS_USB_XHCI_H

#include "drivers/usb/endpoint.h"
#include "drivers/usb/enumerator.h"
#include "drivers/usb/ring.h"
#include "drivers/usb/root_hub.h"
#include "drivers/usb/usb_events.h"
#include "hardwarecommunication/mmio.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class Device;

class Xhci final : public CommandClient {
public:
    // Milliseconds since some start; wraps.
    typedef u32 (*Clock)();

    // Start-up waits (the firmware's hand-over, a reset).
    static constexpr u32 kHandoverMs = 1000;
    static constexpr u32 kResetMs = 1000;
    static constexpr u32 kHaltMs = 100;
    // A command the controller has not completed by then means it died.
    static constexpr u32 kCommandMs = 5000;
    // How often Poll looks at the status register.
    static constexpr u32 kHealthCheckMs = 100;

    Xhci(hardwarecommunication::MmioRegion registers, Clock clock, UsbEvents* events);
    ~Xhci();
    Xhci(const Xhci&) = delete;
    Xhci& operator=(const Xhci&) = delete;

    // Takes the controller over and starts it; false (with the reason on
    // the console) when it does not answer or the heap has no room.
    bool Start();
    // Events, attaching, class drivers. Cheap when nothing happened.
    void Poll();
    bool alive() const { return alive_; }
    // Nothing is being attached or set up: start-up waits for this.
    bool Settled() const { return alive_ && !enumerator_.Busy(); }
    // Polls until done(context) or timeout_ms pass; false on time-out, on a
    // dead controller, or when called from inside a poll.
    bool WaitFor(bool (*done)(void*), void* context, u32 timeout_ms);

    u32 now() const { return clock_(); }
    // Console lines about devices and the controller: on during start-up;
    // off once the machine's picture owns the screen.
    bool reporting() const { return reporting_; }
    void reporting(bool on) { reporting_ = on; }
    UsbEvents* events() const { return events_; }
    Enumerator* enumerator() { return &enumerator_; }
    RootHub* root_hub() { return &root_; }
    u32 context_size() const { return context_size_; }
    hardwarecommunication::MmioRegion operational() const { return op_; }
    u32 port_count() const { return ports_; }

    // Queues a command whose completion goes to client (may be null);
    // false when the ring is full or the controller is dead.
    bool Command(u32 control, u64 parameter, u32 status, CommandClient* client);
    // A client that goes away: completions still due are dropped.
    void ForgetClient(CommandClient* client);
    void RingDoorbell(u8 slot, u8 target);

    // Devices by slot.
    void AddDevice(Device* device);
    Device* device(u8 slot) const { return slot ? devices_[slot] : nullptr; }
    // The device (and any below it, for a hub) left: its drivers let go at
    // once; its slot is disabled and its memory freed later.
    void RemoveDevice(Device* device);
    // The device that hangs on port of owner, or null.
    Device* DeviceOn(PortOwner* owner, u8 port) const;

    void CommandDone(u8 code, u8 slot) override;

private:
    bool TakeOver();
    bool Reset();
    bool SetUpMemory();
    bool Run();
    bool WaitRegister(hardwarecommunication::MmioRegion r, u32 offset, u32 mask, u32 value, u32 ms);
    void ProcessEvents();
    void Dispatch(const Trb& event);
    void CheckHealth(u32 now);
    void Die(const char* why);
    void Retire(Device* device, bool disabling);
    void FreeRemoved();

    hardwarecommunication::MmioRegion cap_, op_, runtime_, doorbells_;
    Clock clock_;
    UsbEvents* events_;
    u32 slots_ = 0;
    u32 ports_ = 0;
    u32 context_size_ = 32;
    u64* dcbaa_ = nullptr;
    u64* scratchpad_array_ = nullptr;
    u32 scratchpad_count_ = 0;
    ProducerRing commands_;
    CommandClient* command_clients_[ProducerRing::kTrbs] = {};
    u32 command_due_[ProducerRing::kTrbs] = {};
    bool command_busy_[ProducerRing::kTrbs] = {};
    EventRing event_ring_;
    Device* devices_[256] = {};
    struct Removed {
        Device* device;
        bool disabling;           // Disable Slot sent, not yet completed
    };
    Removed removed_[64] = {};    // left; freed once their slot is disabled
    RootHub root_;
    Enumerator enumerator_;
    bool alive_ = false;
    bool polling_ = false;
    bool reporting_ = true;
    int waiting_ = 0;             // WaitFor calls under way
    u32 last_health_check_ = 0;
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

// A hub device (USB 2 or USB 3): its descriptor read, the controller told
// it is a hub, its ports powered, and every port change it reports on its
// status-change endpoint answered: connections handed to the enumerator,
// resets done for it, lost devices removed. One control transfer at a time,
// taken from the work the ports have waiting.
#ifndef TARN_DRIVERS_USB_HUB_H
#define TARN_DRIVERS_USB_HUB_H

#include "drivers/usb/class_driver.h"
#include "drivers/usb/descriptors.h"
#include "drivers/usb/interrupt_in.h"
#include "drivers/usb/port_owner.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class Hub : public ClassDriver, public PortOwner, public CommandClient {
public:
    static constexpr int kMaxPorts = 15;     // as far as a route string reaches
    static constexpr int kMaxDepth = 5;      // hubs below a root port
    static constexpr u32 kResetPollMs = 20;  // a port in reset is asked again this often

    Hub(Device* device, const InterfaceInfo& interface);
    ~Hub() override;
    bool claimed() const { return claimed_; }

    const char* Kind() const override { return "hub"; }
    void Start() override;
    void Poll(u32 now) override;
    void Detach() override {}
    PortOwner* ports() override { return this; }
    void TransferDone(Endpoint* ep, u8 code, u32 length, void* buffer) override;
    void CommandDone(u8 code, u8 slot) override;

    bool ResetPort(u8 port) override;
    PortStatus QueryPort(u8 port) override;
    Attachment ChildAttachment(u8 port, Speed speed) override;

private:
    enum class Step : u8 { Descriptor, Depth, Configure, Power, PowerWait, Running };
    enum class Asked : u8 { None, Setup, Status, Clear, Reset };

    bool super() const;
    bool Request(u8 type, u8 request, u16 value, u16 index, u16 length, Asked what);
    void NextSetupRequest(u32 now);
    void NextPortRequest(u32 now);
    void StatusRead(u8 port);

    InterruptIn changes_;
    bool claimed_ = false;
    Step step_ = Step::Descriptor;
    Asked asked_ = Asked::None;
    u8 asked_port_ = 0;
    u8* buffer_ = nullptr;
    u8 port_count_ = 0;
    u8 think_time_ = 0;
    u32 power_good_ms_ = 100;
    u8 powered_ = 0;           // ports switched on so far
    u32 wait_until_ = 0;
    u16 need_status_ = 0;      // bit n: port n's status is to be read
    u16 need_reset_ = 0;
    u16 status_[kMaxPorts + 1] = {};
    u16 clear_[kMaxPorts + 1] = {};   // change bits still to acknowledge
    u16 resetting_ = 0;        // bit n: a reset was asked for and is not over
    u32 next_reset_poll_ = 0;
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

// An interrupt IN endpoint kept busy: a few report buffers always queued,
// so reports arriving between two polls wait on the ring instead of being
// lost. Each buffer that comes back is queued again on the next poll.
#ifndef TARN_DRIVERS_USB_INTERRUPT_IN_H
#define TARN_DRIVERS_USB_INTERRUPT_IN_H

#include "drivers/usb/descriptors.h"
#include "drivers/usb/endpoint.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class Device;

class InterruptIn {
public:
    static constexpr int kBuffers = 4;
    static constexpr u32 kBufferBytes = 64;

    InterruptIn() = default;
    ~InterruptIn();
    InterruptIn(const InterruptIn&) = delete;
    InterruptIn& operator=(const InterruptIn&) = delete;

    // Adds the endpoint to the device for client; false when it cannot.
    bool Claim(Device* device, const EndpointInfo& info, TransferClient* client);
    bool owns(const Endpoint* ep) const { return ep && ep == endpoint_; }
    // Queues every buffer that is not on the ring.
    void TopUp();
    // A transfer of this endpoint ended: its buffer is free again.
    void Returned(void* buffer);

private:
    Endpoint* endpoint_ = nullptr;
    u8* buffers_ = nullptr;
    u32 length_ = 0;
    bool queued_[kBuffers] = {};
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

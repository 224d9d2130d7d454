// Report buffers kept on an interrupt IN ring.
#include "drivers/usb/interrupt_in.h"

#include "drivers/usb/device.h"
#include "drivers/dma_memory.h"

namespace tarn {
namespace drivers {
namespace usb {

InterruptIn::~InterruptIn() { DmaFree(buffers_); }

bool InterruptIn::Claim(Device* device, const EndpointInfo& info, TransferClient* client) {
    buffers_ = DmaAllocate(kBuffers * kBufferBytes, kDmaPage);
    if (!buffers_) return false;
    endpoint_ = device->AddEndpoint(info, client);
    u32 packet = info.max_packet & 0x7FF;
    length_ = packet && packet < kBufferBytes ? packet : kBufferBytes;
    return endpoint_ != nullptr;
}

void InterruptIn::TopUp() {
    if (!endpoint_ || endpoint_->Recovering()) return;
    for (int i = 0; i < kBuffers; i++) {
        if (queued_[i]) continue;
        if (!endpoint_->Queue(buffers_ + i * kBufferBytes, length_)) return;
        queued_[i] = true;
    }
}

void InterruptIn::Returned(void* buffer) {
    u8* b = static_cast<u8*>(buffer);
    if (b < buffers_ || b >= buffers_ + kBuffers * kBufferBytes) return;
    queued_[(b - buffers_) / kBufferBytes] = false;
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

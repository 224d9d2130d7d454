// The rings the driver shares with the controller. A producer ring (the
// command ring, each endpoint's transfer ring) is one page of TRBs whose last
// entry links back to the first and flips the cycle bit the controller
// expects; the event ring is one page the controller fills, described by a
// one-entry segment table.
#ifndef TARN_DRIVERS_USB_RING_H
#define TARN_DRIVERS_USB_RING_H

#include "drivers/usb/trb.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class ProducerRing {
public:
    static constexpr u32 kTrbs = 256;  // one page; the last is the link
    static constexpr u32 kUsable = kTrbs - 1;

    ProducerRing() = default;
    ~ProducerRing();
    ProducerRing(const ProducerRing&) = delete;
    ProducerRing& operator=(const ProducerRing&) = delete;

    // Allocates the page; false when the heap has none.
    bool Init();
    bool ready() const { return trbs_ != nullptr; }
    // Physical address of TRB 0, where the controller starts (cycle 1).
    u64 base() const;

    // Queues one TRB under the ring's cycle bit (control's bit 0 is
    // ignored); returns its address, or 0 when the ring is full. A chained
    // TRB carries its chain across the link.
    u64 Push(u64 parameter, u32 status, u32 control);
    // TRBs that can still be queued before the controller's position.
    u32 Space() const;
    // The controller is finished with every TRB up to the one at address.
    void Retire(u64 address);
    // Nothing is queued: every pushed TRB was retired.
    bool Idle() const { return enqueue_ == dequeue_; }
    bool Contains(u64 address) const;
    const Trb* At(u64 address) const;
    // Where the controller should go on from after a halt: the next TRB to
    // be pushed and the cycle state it will carry.
    u64 EnqueuePointer() const;
    bool cycle() const { return cycle_; }
    // Forgets everything queued: the controller is told to continue at
    // EnqueuePointer(), so the skipped TRBs are free again.
    void Skip() { dequeue_ = enqueue_; }

private:
    Trb* trbs_ = nullptr;
    u32 enqueue_ = 0;
    u32 dequeue_ = 0;
    bool cycle_ = true;
};

class EventRing {
public:
    static constexpr u32 kTrbs = 256;

    EventRing() = default;
    ~EventRing();
    EventRing(const EventRing&) = delete;
    EventRing& operator=(const EventRing&) = delete;

    bool Init();
    // For ERSTBA / ERSTSZ / ERDP.
    u64 segment_table() const;
    u32 segment_count() const { return 1; }
    u64 dequeue_pointer() const;
    // The next event the controller wrote, or null.
    const Trb* Next() const;
    void Advance();

private:
    struct SegmentEntry {
        u64 base;
        u32 size;
        u32 reserved;
    };
    Trb* trbs_ = nullptr;
    SegmentEntry* table_ = nullptr;
    u32 dequeue_ = 0;
    bool cycle_ = true;
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

// Producer rings (command, transfer) and the event ring.
#include "drivers/usb/ring.h"

#include "drivers/dma_memory.h"
#include "hardwarecommunication/mmio.h"

namespace tarn {
namespace drivers {
namespace usb {

using hardwarecommunication::dma_barrier;

namespace {
// The controller may read a TRB at any time: the words under the cycle bit
// go first, the control word with the cycle bit last.
void store(Trb* at, u32 p_low, u32 p_high, u32 status, u32 control) {
    volatile Trb* t = at;
    t->parameter_low = p_low;
    t->parameter_high = p_high;
    t->status = status;
    dma_barrier();
    t->control = control;
}
}  // namespace

// ---- producer ring ----------------------------------------------------------------

ProducerRing::~ProducerRing() { DmaFree(trbs_); }

bool ProducerRing::Init() {
    trbs_ = reinterpret_cast<Trb*>(DmaAllocate(kTrbs * sizeof(Trb), kDmaPage));
    enqueue_ = dequeue_ = 0;
    cycle_ = true;
    return trbs_ != nullptr;
}

u64 ProducerRing::base() const { return DeviceAddress(trbs_); }

u64 ProducerRing::Push(u64 parameter, u32 status, u32 control) {
    if (!trbs_ || Space() == 0) return 0;
    Trb* at = &trbs_[enqueue_];
    store(at, static_cast<u32>(parameter), static_cast<u32>(parameter >> 32), status,
          (control & ~trb::kCycle) | (cycle_ ? trb::kCycle : 0));
    if (++enqueue_ == kUsable) {
        // The link hands the controller back to TRB 0 under the other cycle.
        u32 chain = control & trb::kChain;
        store(&trbs_[kUsable], static_cast<u32>(base()), static_cast<u32>(base() >> 32), 0,
              trb::type(trb::kLink) | trb::kToggleCycle | chain | (cycle_ ? trb::kCycle : 0));
        enqueue_ = 0;
        cycle_ = !cycle_;
    }
    return DeviceAddress(at);
}

u32 ProducerRing::Space() const {
    u32 used = (enqueue_ + kUsable - dequeue_) % kUsable;
    return kUsable - 1 - used;
}

bool ProducerRing::Contains(u64 address) const {
    return trbs_ && address >= base() && address < base() + kUsable * sizeof(Trb) &&
           (address - base()) % sizeof(Trb) == 0;
}

void ProducerRing::Retire(u64 address) {
    if (!Contains(address)) return;
    dequeue_ = (static_cast<u32>((address - base()) / sizeof(Trb)) + 1) % kUsable;
}

const Trb* ProducerRing::At(u64 address) const {
    return Contains(address) ? &trbs_[(address - base()) / sizeof(Trb)] : nullptr;
}

u64 ProducerRing::EnqueuePointer() const { return DeviceAddress(&trbs_[enqueue_]); }

// ---- event ring ------------------------------------------------------------------------

EventRing::~EventRing() {
    DmaFree(trbs_);
    DmaFree(table_);
}

bool EventRing::Init() {
    trbs_ = reinterpret_cast<Trb*>(DmaAllocate(kTrbs * sizeof(Trb), kDmaPage));
    table_ = reinterpret_cast<SegmentEntry*>(DmaAllocate(sizeof(SegmentEntry), 64));
    if (!trbs_ || !table_) return false;
    table_->base = DeviceAddress(trbs_);
    table_->size = kTrbs;
    dequeue_ = 0;
    cycle_ = true;
    return true;
}

u64 EventRing::segment_table() const { return DeviceAddress(table_); }

u64 EventRing::dequeue_pointer() const { return DeviceAddress(&trbs_[dequeue_]); }

const Trb* EventRing::Next() const {
    if (!trbs_) return nullptr;
    const volatile Trb* t = &trbs_[dequeue_];
    if (((t->control & trb::kCycle) != 0) != cycle_) return nullptr;
    dma_barrier();  // the rest of the event is read after its cycle bit
    return &trbs_[dequeue_];
}

void EventRing::Advance() {
    if (++dequeue_ == kTrbs) {
        dequeue_ = 0;
        cycle_ = !cycle_;
    }
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

// Rings as the controller reads and writes them: the link back to the start
// with the cycle bit flipped, chains across the link, room counted from what
// the controller has finished, events taken under the consumer's cycle.
#include <gtest/gtest.h>

#include "drivers/dma_memory.h"
#include "drivers/usb/ring.h"

using namespace tarn::drivers::usb;
using tarn::drivers::DeviceAddress;
using tarn::drivers::HostPointer;

namespace {
const Trb* trb_at(u64 address) { return static_cast<const Trb*>(HostPointer(address)); }
}  // namespace

TEST(Rings, ProducerRingLinksBackFlipsItsCycleAndCountsRoomFromRetiredTrbs) {
    ProducerRing ring;
    ASSERT_TRUE(ring.Init());
    EXPECT_EQ(ring.base() % 4096, 0u);
    EXPECT_EQ(ring.Space(), ProducerRing::kUsable - 1);
    u64 first = ring.Push(0x1000, 8, trb::type(trb::kNormal));
    EXPECT_EQ(first, ring.base());
    EXPECT_TRUE(trb_at(first)->cycle());
    u64 last = 0;
    for (u32 i = 1; i < ProducerRing::kUsable - 1; i++) last = ring.Push(i, 0, trb::type(trb::kNormal));
    EXPECT_EQ(ring.Space(), 0u);
    EXPECT_EQ(ring.Push(0, 0, trb::type(trb::kNormal)), 0u);  // full: the controller's TRBs are kept
    ring.Retire(first);
    EXPECT_EQ(ring.Space(), 1u);
    // The TRB before the link, chained: the link carries the chain, points
    // home and toggles the cycle; TRB 0 comes next under cycle 0.
    u64 chained = ring.Push(0xAB, 0, trb::type(trb::kNormal) | trb::kChain);
    EXPECT_EQ(chained, ring.base() + (ProducerRing::kUsable - 1) * sizeof(Trb));
    const Trb* link = trb_at(ring.base() + ProducerRing::kUsable * sizeof(Trb));
    EXPECT_EQ(link->type(), trb::kLink);
    EXPECT_EQ(link->parameter(), ring.base());
    EXPECT_TRUE(link->control & trb::kToggleCycle);
    EXPECT_TRUE(link->control & trb::kChain);
    EXPECT_TRUE(link->cycle());
    EXPECT_FALSE(ring.cycle());
    EXPECT_EQ(ring.EnqueuePointer(), ring.base());
    ring.Retire(last);
    u64 wrapped = ring.Push(0xCD, 0, trb::type(trb::kNormal));
    EXPECT_EQ(wrapped, ring.base());
    EXPECT_FALSE(trb_at(wrapped)->cycle());
    EXPECT_EQ(trb_at(wrapped)->parameter(), 0xCDu);
    ring.Retire(wrapped);
    EXPECT_TRUE(ring.Idle());
    EXPECT_FALSE(ring.Contains(link->parameter() + ProducerRing::kUsable * sizeof(Trb)));
}

TEST(Rings, EventRingTakesOnlyWhatTheControllerWroteUnderItsCycle) {
    EventRing events;
    ASSERT_TRUE(events.Init());
    Trb* segment = static_cast<Trb*>(HostPointer(events.dequeue_pointer()));
    const u64* table = static_cast<const u64*>(HostPointer(events.segment_table()));
    EXPECT_EQ(table[0], events.dequeue_pointer());
    EXPECT_EQ(table[1] & 0xFFFF, EventRing::kTrbs);
    EXPECT_EQ(events.Next(), nullptr);
    // The controller fills the whole ring under cycle 1, then the first
    // entry again under cycle 0.
    for (u32 i = 0; i < EventRing::kTrbs; i++) segment[i].control = trb::type(trb::kPortStatusChange) | 1;
    for (u32 i = 0; i < EventRing::kTrbs; i++) {
        ASSERT_NE(events.Next(), nullptr) << i;
        events.Advance();
    }
    EXPECT_EQ(events.Next(), nullptr);  // the old lap's entries are not taken twice
    EXPECT_EQ(events.dequeue_pointer(), DeviceAddress(segment));
    segment[0].control = trb::type(trb::kTransferEvent);
    ASSERT_NE(events.Next(), nullptr);
    EXPECT_EQ(events.Next()->type(), trb::kTransferEvent);
}

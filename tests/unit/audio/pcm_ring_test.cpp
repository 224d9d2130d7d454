// A sound device's DMA ring against a device that plays on the test's
// word: what QEMU's sound cards cannot be made to do on demand (fall behind
// the producer, stop answering). Underruns are silence and never the ring
// played again, the queue goes on from where the device is, and a device
// that stops is dropped with a console line.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "drivers/audio/pcm_ring.h"
#include "tests/support/console_capture.h"

namespace {

using tarn::drivers::audio::PcmRing;

constexpr u32 kFrames = 16384;  // 341 ms
constexpr u32 kRate = 48000;
u32 g_ms = 0;

// Plays the ring a frame at a time on the test's clock, calling Service()
// after each period as the device's interrupt would.
class Device : public PcmRing {
public:
    Device() : ring(2 * kFrames) { Attach(ring.data(), kFrames, kRate, [] { return g_ms; }); }

    void Play(u32 frames) {
        for (u32 i = 0; i < frames; i++) {
            heard.push_back(ring[2 * at]);
            EXPECT_EQ(ring[2 * at], ring[2 * at + 1]) << "both channels";
            at = (at + 1) % kFrames;
            if (++played_frames % 48 == 0) g_ms++;
            if (at % 512 == 0) Service();
        }
    }
    void Offer(u32 n, i16 value) {
        std::vector<i16> s(n, value);
        EXPECT_EQ(write(s.data(), n), n);
    }

    std::vector<i16> ring;
    std::vector<i16> heard;
    u32 at = 0;
    u64 played_frames = 0;
    bool halted = false;
    bool answering = true;

protected:
    u32 Position() override { return answering ? at : kLost; }
    void Halt() override { halted = true; }
    const char* Name() const override { return "the test's device"; }
};

size_t Count(const std::vector<i16>& v, size_t from, i16 value) {
    return static_cast<size_t>(std::count(v.begin() + static_cast<long>(from), v.end(), value));
}

}  // namespace

TEST(PcmRing, AnUnderrunIsSilenceAndTheRingIsNeverPlayedAgain) {
    Device d;
    u32 room = d.room();
    EXPECT_EQ(room, kRate * 20 / 1000) << "a 30 ms lead of silence, topped up to 50";
    d.Offer(room, 1000);
    EXPECT_EQ(d.room(), 0u);
    d.Play(3 * kFrames);  // three turns with nothing more written
    size_t lead = kRate * 30 / 1000;
    EXPECT_EQ(Count(d.heard, 0, 0), d.heard.size() - room);
    EXPECT_EQ(std::find(d.heard.begin(), d.heard.end(), 1000) - d.heard.begin(), static_cast<long>(lead));
    EXPECT_EQ(Count(d.heard, 0, 1000), room) << "played once, then silence";

    // Writing again: the queue starts afresh ahead of the device, not in
    // the stretch it has already passed.
    size_t before = d.heard.size();
    d.Offer(d.room(), 2000);
    d.Play(kFrames);
    EXPECT_EQ(std::find(d.heard.begin() + static_cast<long>(before), d.heard.end(), 2000) - d.heard.begin(),
              static_cast<long>(before + lead));
}

TEST(PcmRing, AProducerThatComesLessOftenGetsALongerQueue) {
    Device d;
    g_ms += 20;
    const u32 visit = kRate * 100 / 1000;  // 100 ms between visits
    EXPECT_EQ(d.room(), kRate * 20 / 1000) << "topped up to 50 ms for a producer every 20 ms";
    for (int i = 0; i < 8; i++) {
        d.Offer(d.room(), 1);
        d.Play(visit);
    }
    EXPECT_EQ(d.room(), visit) << "what went in 100 ms can come back";
    EXPECT_EQ(Count(d.heard, d.heard.size() - 3 * visit, 0), 0u) << "once the queue has grown, nothing runs dry";

    // Back to a visit every 20 ms: the queue shrinks to 50 ms again, so a
    // new sound is heard 30 ms after it was written, not later.
    const u32 frame = kRate * 20 / 1000;
    for (int i = 0; i < 100; i++) {
        d.Offer(d.room(), 1);
        d.Play(frame);
    }
    size_t before = d.heard.size();
    d.Offer(d.room(), 7);
    d.Play(visit);
    EXPECT_EQ(std::find(d.heard.begin() + static_cast<long>(before), d.heard.end(), 7) - d.heard.begin(),
              static_cast<long>(before + kRate * 30 / 1000));
}

TEST(PcmRing, ADeviceThatStopsMovingIsDroppedWithAConsoleLine) {
    Device d;
    d.Offer(d.room(), 5);
    consolecapture::Capture console;
    console.Start();
    g_ms += PcmRing::kStallMs + 1;  // the position has not moved meanwhile
    EXPECT_EQ(d.room(), 0u);
    EXPECT_TRUE(d.halted);
    EXPECT_TRUE(d.dead());
    EXPECT_EQ(d.rate(), 0u);
    EXPECT_EQ(d.write(d.ring.data(), 1), 0u);
    EXPECT_NE(console.Text().find("the test's device stopped answering; the machine goes on silent"), std::string::npos)
        << console.Text();

    Device gone;  // registers that read as nothing: the device left the bus
    gone.answering = false;
    EXPECT_EQ(gone.room(), 0u);
    EXPECT_TRUE(gone.halted);
}

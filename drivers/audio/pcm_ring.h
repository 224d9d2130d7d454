// A sound device's DMA ring of 16-bit stereo frames, seen from both ends:
// the device plays round it for ever, the machine's samples are written a
// few tens of milliseconds ahead of where it plays. Everything outside the
// written stretch is kept silent (what has been played is cleared), so a
// producer that falls behind, or stops, is heard as silence, never as the
// ring played again; the device never stops and the position is kept.
#ifndef TARN_DRIVERS_AUDIO_PCM_RING_H
#define TARN_DRIVERS_AUDIO_PCM_RING_H

#include "drivers/deadline.h"
#include "lib/audio_sink.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace audio {

// The last sound that began after a tenth of a second of quiet, as the ring
// was given it: where the device was playing then, where its first loud
// sample went (both in frames since the device started), and how many
// samples of that write came after it. The sound benchmark reads it from
// the running kernel and finds the same sample in what the device played.
struct SoundOnset {
    u32 played;
    u32 placed;
    u32 behind;
};
extern volatile SoundOnset g_sound_onset;

class PcmRing : public AudioSink {
public:
    // A device whose position stays put this long while it should be
    // playing has stopped answering.
    static constexpr u32 kStallMs = 500;

    u32 rate() const override { return dead_ ? 0 : rate_; }
    // Frames to bring the queue up to the latency aimed for.
    u32 room() override;
    // Mono samples, written as both channels.
    u32 write(const i16* samples, u32 count) override;

    // Brings the play position up to date and clears what was played; the
    // device's interrupt calls it, and so does every room().
    void Service();

    bool dead() const { return dead_; }
    u32 frames() const { return frames_; }
    u64 played() const { return played_; }

protected:
    // The queue is kept between these two (in ms) ahead of the play
    // position: a producer that comes once a frame (20 ms) tops it up, and
    // what it writes is heard 30 to 50 ms later. One that comes less often
    // (a slow machine) gets a queue longer by as much, up to kMaxLatencyMs,
    // so that it can still keep it from running dry.
    static constexpr u32 kLeadMs = 30;
    static constexpr u32 kLatencyMs = 50;
    static constexpr u32 kMaxLatencyMs = 160;

    // buffer: `frames` stereo frames the device plays in a loop, already
    // started at position 0.
    void Attach(i16* buffer, u32 frames, u32 rate, MillisecondClock clock);
    // The frame the device plays now (0 .. frames-1), or kLost when the
    // device's answer makes no sense (it has gone).
    virtual u32 Position() = 0;
    // Stops the device's DMA (it has stopped answering, or the machine no
    // longer wants it).
    virtual void Halt() = 0;
    virtual const char* Name() const = 0;
    static constexpr u32 kLost = 0xFFFFFFFF;

private:
    void Clear(u64 from, u64 to);
    // A loud sample written at `frame`, `behind` samples before the write's end.
    void Loud(u64 frame, u32 behind);
    void Restart(u32 position);
    // The queue's length for a producer that comes every `pace` ms.
    void Pace(u32 now);

    i16* buffer_ = nullptr;
    u32 frames_ = 0;
    u32 rate_ = 0;
    u32 latency_ = 0;    // the queue's length when topped up, in frames
    u32 lead_ = 0;       // silence ahead when the queue starts again, in frames
    u32 asked_at_ = 0;   // the producer's last room(), in ms
    u32 pace_ = 0;       // the longest recent time between two, in ms
    MillisecondClock clock_ = nullptr;
    u32 last_position_ = 0;
    u32 moved_at_ = 0;   // when the position last moved, in ms
    u32 serviced_at_ = 0;
    bool failed_ = false;  // stopped answering, not yet reported
    u64 played_ = 0;     // frames played since the start
    u64 written_ = 0;    // frames written since the start (the queue's end)
    u64 loud_at_ = 0;    // frame of the last loud sample written
    bool dead_ = true;
};

}  // namespace audio
}  // namespace drivers
}  // namespace tarn

#endif

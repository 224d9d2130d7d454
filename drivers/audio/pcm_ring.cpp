// A sound device's DMA ring of 16-bit stereo frames.
#include "drivers/audio/pcm_ring.h"

#include "hardwarecommunication/cpu_control.h"
#include "lib/stdio.h"

namespace tarn {
namespace drivers {
namespace audio {

using hardwarecommunication::cpu_disable_interrupts;
using hardwarecommunication::cpu_enable_interrupts;

volatile SoundOnset g_sound_onset = {0, 0, 0};

namespace {
constexpr i16 kLoud = 1000;
constexpr u32 kQuietForOnset = 10;  // in 1/s: a tenth of a second
}  // namespace

void PcmRing::Attach(i16* buffer, u32 frames, u32 rate, MillisecondClock clock) {
    buffer_ = buffer;
    frames_ = frames;
    rate_ = rate;
    clock_ = clock;
    moved_at_ = serviced_at_ = asked_at_ = clock_ ? clock_() : 0;
    pace_ = 0;
    Pace(asked_at_);
    dead_ = failed_ = false;
    played_ = 0;
    Restart(0);
}

// The queue starts again from the device's position, behind a lead of
// silence; the whole ring is silent.
void PcmRing::Restart(u32 position) {
    for (u32 i = 0; i < 2 * frames_; i++) buffer_[i] = 0;
    last_position_ = position;
    written_ = played_ + lead_;
}

void PcmRing::Pace(u32 now) {
    u32 gap = now - asked_at_;
    asked_at_ = now;
    // Follows a slower producer at once, a quicker one slowly (a sixteenth
    // of the difference a visit, rounded up so that it gets there); a long
    // absence (the machine was stopped) says nothing about its pace.
    if (gap <= kMaxLatencyMs) pace_ = gap > pace_ ? gap : pace_ - (pace_ - gap + 15) / 16;
    u32 latency = pace_ + kLeadMs;
    if (latency < kLatencyMs) latency = kLatencyMs;
    if (latency > kMaxLatencyMs) latency = kMaxLatencyMs;
    // Never more than half the ring, whose other half is being cleared.
    if (latency > frames_ * 500 / rate_) latency = frames_ * 500 / rate_;
    latency_ = rate_ * latency / 1000;
    lead_ = rate_ * (latency - (kLatencyMs - kLeadMs)) / 1000;
}

void PcmRing::Clear(u64 from, u64 to) {
    u32 i = static_cast<u32>(from % frames_);
    for (u64 f = from; f < to; f++) {
        buffer_[2 * i] = buffer_[2 * i + 1] = 0;
        if (++i == frames_) i = 0;
    }
}

void PcmRing::Service() {
    if (dead_ || failed_) return;
    u32 position = Position();
    u32 now = clock_ ? clock_() : 0;
    if (position == kLost || position >= frames_) {
        failed_ = true;
        return;
    }
    bool moved = position != last_position_;
    if (moved) {
        moved_at_ = now;
    } else if (clock_ && now - moved_at_ > kStallMs) {
        failed_ = true;
        return;
    }
    // Unseen for more than half a turn of the ring (interrupts were off a
    // long while): how far it went is unknown, so start the queue afresh.
    if (clock_ && now - serviced_at_ > frames_ * 500 / rate_) {
        played_ += (position + frames_ - last_position_) % frames_;
        serviced_at_ = now;
        Restart(position);
        return;
    }
    serviced_at_ = now;
    if (!moved) return;
    u64 from = played_;
    played_ += (position + frames_ - last_position_) % frames_;
    last_position_ = position;
    Clear(from, played_);
}

u32 PcmRing::room() {
    if (dead_) return 0;
    if (clock_) Pace(clock_());
    cpu_disable_interrupts();
    Service();
    // Fallen behind: what was not written has been played as silence; the
    // queue goes on from where the device is.
    if (written_ < played_) written_ = played_ + lead_;
    u64 queued = written_ - played_;
    cpu_enable_interrupts();
    if (failed_) {
        dead_ = true;
        Halt();
        printf("\nSound: %s stopped answering; the machine goes on silent", Name());
        return 0;
    }
    return queued < latency_ ? static_cast<u32>(latency_ - queued) : 0;
}

u32 PcmRing::write(const i16* samples, u32 count) {
    if (dead_) return 0;
    cpu_disable_interrupts();
    u64 queued = written_ > played_ ? written_ - played_ : 0;
    // Never round onto what the device is about to play.
    u32 space = queued < latency_ ? static_cast<u32>(latency_ - queued) : 0;
    if (count > space) count = space;
    if (written_ < played_) written_ = played_ + lead_;
    u32 i = static_cast<u32>(written_ % frames_);
    for (u32 n = 0; n < count; n++) {
        buffer_[2 * i] = buffer_[2 * i + 1] = samples[n];
        if (++i == frames_) i = 0;
        if (samples[n] >= kLoud || samples[n] <= -kLoud) Loud(written_ + n, count - n);
    }
    written_ += count;
    cpu_enable_interrupts();
    return count;
}

void PcmRing::Loud(u64 frame, u32 behind) {
    if (frame - loud_at_ >= rate_ / kQuietForOnset) {
        g_sound_onset.played = static_cast<u32>(played_);
        g_sound_onset.placed = static_cast<u32>(frame);
        g_sound_onset.behind = behind;
    }
    loud_at_ = frame;
}

}  // namespace audio
}  // namespace drivers
}  // namespace tarn

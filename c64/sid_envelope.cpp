// MOS 6581 SID, one voice's envelope generator.
#include "c64/sid_envelope.h"

// 256 periods make the data sheet's attack times at a 1 MHz clock: 2.3 ms
// (listed as 2), 8, 16, 24, 38, 56, 68, 80, 100, 250, 500, 800 ms, 1, 3, 5, 8 s.
const u16 SidEnvelope::kRatePeriods[16] = {9,   32,  63,   95,   149,  220,   267,   313,
                                           392, 977, 1954, 3126, 3907, 11720, 19532, 31251};

namespace {
constexpr u32 kCounterRange = 0x8000;  // the rate counter is 15 bits wide
constexpr u8 kLevelMax = 0xFF;
constexpr u32 kFrozenSkip = 4096;  // cycles
}  // namespace

void SidEnvelope::reset() { *this = SidEnvelope(); }

// Decay and release step once per `stretch` counter matches; the stretch
// grows as the level falls past 93, 54, 26, 14 and 6.
u8 SidEnvelope::stretch_for(u8 level) {
    if (level > 93) return 1;
    if (level > 54) return 2;
    if (level > 26) return 4;
    if (level > 14) return 8;
    if (level > 6) return 16;
    if (level > 0) return 30;
    return 1;
}

u16 SidEnvelope::period_for_phase() const {
    switch (phase_) {
    case Phase::Attack: return kRatePeriods[attack_];
    case Phase::DecaySustain: return kRatePeriods[decay_];
    default: return kRatePeriods[release_];
    }
}

// The counter keeps counting from where it is. A period below its present
// value is only met after the counter has run round its 15 bits.
void SidEnvelope::period_changed() {
    if (skipped_) {  // moved on many periods at once while frozen
        rate_left_ = (rate_left_ - 1) % period_ + 1;
        skipped_ = false;
    }
    u32 counter = (period_ + kCounterRange - rate_left_) & (kCounterRange - 1);
    period_ = period_for_phase();
    rate_left_ = counter < period_ ? period_ - counter : kCounterRange - counter + period_;
}

void SidEnvelope::gate(bool on) {
    if (on) {
        if (phase_ == Phase::Attack) return;
        phase_ = Phase::Attack;
        frozen_ = false;
    } else {
        if (phase_ == Phase::Release) return;
        phase_ = Phase::Release;
    }
    period_changed();
}

void SidEnvelope::attack_decay(u8 v) {
    attack_ = v >> 4;
    decay_ = v & 0x0F;
    period_changed();
}

void SidEnvelope::sustain_release(u8 v) {
    sustain_ = v >> 4;
    release_ = v & 0x0F;
    period_changed();
}

void SidEnvelope::step(u32 cycles) {
    // Held at zero until the next gate: only the counter's place in its
    // period matters, so it is moved many periods on at once.
    if (frozen_ && phase_ != Phase::Attack) {
        rate_left_ = rate_left_ + period_ * (kFrozenSkip / period_ + 1) - cycles;
        skipped_ = true;
        return;
    }
    rate_left_ = rate_left_ + period_ - cycles;
    if (phase_ == Phase::Attack) {
        if (level_ != kLevelMax) level_++;
        if (level_ == kLevelMax) {
            phase_ = Phase::DecaySustain;
            stretch_ = 1;
            stretch_count_ = 0;
            period_changed();
        }
        return;
    }
    if (++stretch_count_ < stretch_) return;
    stretch_count_ = 0;
    if (frozen_) return;
    // The sustain level is matched by equality: raised above the level
    // while decaying, it is passed by and the level falls to zero.
    if (phase_ == Phase::DecaySustain && level_ == sustain_ * 0x11) return;
    level_--;
    stretch_ = stretch_for(level_);
    if (level_ == 0) frozen_ = true;
}

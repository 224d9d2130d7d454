// MOS 6581 SID, one voice's envelope generator: an 8-bit level stepped by a
// 15-bit rate counter. Attack climbs linearly to 255; decay and release fall
// with the counter's period stretched at lower levels (an approximation of
// an exponential), so they take three times as long as an attack at the
// same rate setting.
#ifndef TARN_C64_SID_ENVELOPE_H
#define TARN_C64_SID_ENVELOPE_H

#include "lib/types.h"

class SidEnvelope {
public:
    enum class Phase : u8 { Attack, DecaySustain, Release };

    // Rate counter periods in clock cycles, one per 4-bit rate setting:
    // an attack from 0 to 255 takes 256 periods (2 ms to 8 s at 1 MHz).
    static const u16 kRatePeriods[16];

    void reset();

    void gate(bool on);
    void attack_decay(u8 v);
    void sustain_release(u8 v);

    // Runs the envelope `cycles` clock cycles (at most 8, below the
    // shortest rate period, so the level moves at most one step).
    void clock(u32 cycles) {
        if (cycles < rate_left_) {
            rate_left_ -= cycles;
            return;
        }
        step(cycles);
    }

    u8 level() const { return level_; }
    Phase phase() const { return phase_; }

private:
    void step(u32 cycles);
    u16 period_for_phase() const;
    void period_changed();
    // The stretch of the counter's period for decay and release at a level.
    static u8 stretch_for(u8 level);

    u32 rate_left_ = kRatePeriods[0];  // cycles until the rate counter matches
    u32 period_ = kRatePeriods[0];     // the rate counter's period now
    u8 level_ = 0;
    Phase phase_ = Phase::Release;
    u8 attack_ = 0, decay_ = 0, sustain_ = 0, release_ = 0;
    u8 stretch_ = 1;       // counter matches per level step (decay, release)
    u8 stretch_count_ = 0;
    bool frozen_ = true;   // at zero: held until the next attack
    bool skipped_ = false; // rate_left_ counts several periods (frozen)
};

#endif

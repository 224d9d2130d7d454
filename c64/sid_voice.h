// MOS 6581 SID, one voice's oscillator and waveform generator: the 24-bit
// phase accumulator, triangle, sawtooth, pulse and noise, their
// combinations, ring modulation, hard sync and the test bit.
//
// The oscillator runs in steps of kStepCycles clock cycles. What a step
// outputs is the waveform's average over those cycles, worked out from where
// an edge (the sawtooth's wrap, the pulse's two edges, the noise register's
// shift) fell inside it: the chip's output low-passed by a box of one step
// before it is taken at the step rate, so the edges do not alias into
// whistles.
#ifndef TARN_C64_SID_VOICE_H
#define TARN_C64_SID_VOICE_H

#include "lib/types.h"

class SidVoice {
public:
    // Control register (voice base + 4): NOISE PULSE SAW TRI TEST RING SYNC GATE.
    static constexpr u8 kGate = 0x01;
    static constexpr u8 kSync = 0x02;
    static constexpr u8 kRing = 0x04;
    static constexpr u8 kTest = 0x08;
    static constexpr u8 kTriangle = 0x10;
    static constexpr u8 kSawtooth = 0x20;
    static constexpr u8 kPulse = 0x40;
    static constexpr u8 kNoise = 0x80;

    static constexpr u32 kAccumulatorMask = 0xFFFFFF;
    static constexpr u32 kAccumulatorMsb = 0x800000;
    static constexpr u32 kNoiseClockBit = 0x080000;  // bit 19 clocks the noise register
    static constexpr u32 kNoiseReset = 0x7FFFF8;     // the shift register after the test bit
    // Cycles a step; 65535 x 8 < 2^19, so within a step bit 19 and the
    // top bit change at most once each.
    static constexpr u32 kStepCycles = 8;

    void reset() { *this = SidVoice(); }

    void frequency_lo(u8 v) { frequency((frequency_ & 0xFF00) | v); }
    void frequency_hi(u8 v) { frequency(static_cast<u16>((frequency_ & 0x00FF) | (v << 8))); }
    void pulse_width_lo(u8 v) { pulse_width_ = (pulse_width_ & 0x0F00) | v; }
    void pulse_width_hi(u8 v) { pulse_width_ = static_cast<u16>((pulse_width_ & 0x00FF) | ((v & 0x0F) << 8)); }
    void control(u8 v);

    u16 frequency() const { return frequency_; }
    u8 control() const { return control_; }
    u32 accumulator() const { return accumulator_; }
    u32 noise_register() const { return noise_; }

    // One step of the oscillator. Returns true when the accumulator's top
    // bit rose, the moment this voice resets the voice it syncs.
    bool step() {
        start_ = accumulator_;
        if (control_ & kTest) return false;
        accumulator_ = (start_ + span_) & kAccumulatorMask;
        if (!(start_ & kNoiseClockBit) && (accumulator_ & kNoiseClockBit)) shift_noise();
        else noise_since_ = kWhole;
        return !(start_ & kAccumulatorMsb) && (accumulator_ & kAccumulatorMsb);
    }
    // Runs the oscillator `cycles` cycles at once (no sync out): the noise
    // register shifts once for every rise of bit 19 on the way.
    void advance(u32 cycles);
    // Hard sync from the voice before this one: the accumulator restarts
    // from zero `cycles_since` cycles ago.
    void sync_restart(u32 cycles_since);
    // Cycles since this voice's top bit rose, for the voice it syncs.
    u32 cycles_since_msb_rise() const;

    // The 12-bit waveform output over the last step; `ring_msb` is the top
    // bit of the voice that ring-modulates this one.
    u32 output(u32 ring_msb) {
        switch (control_ & 0xF0) {
        case kTriangle: return triangle(ring_msb);
        case kSawtooth: return sawtooth();
        case kPulse: return pulse();
        case kNoise: return noise();
        default: return combined(ring_msb);
        }
    }

private:
    static constexpr u32 kWhole = 1 << 16;  // fractions of a step

    void frequency(u16 f);
    // The part of this step `amount` of accumulator travel took, in 1/kWhole.
    u32 fraction(u32 amount) const { return static_cast<u32>((static_cast<u64>(amount) * reciprocal_) >> 16); }

    // The accumulator's top bit folds the ramp into a triangle; ring
    // modulation takes the fold from the other voice's top bit as well.
    // Taken at the middle of the step: the triangle has no edge to blur.
    u32 triangle(u32 ring_msb) const {
        u32 at = (control_ & kRing) ? accumulator_ : (start_ + span_ / 2) & kAccumulatorMask;
        u32 fold = (control_ & kRing) ? at ^ ring_msb : at;
        u32 ramp = (fold & kAccumulatorMsb) ? ~at : at;
        return (ramp >> 11) & 0xFFF;
    }
    u32 sawtooth() const {
        if (accumulator_ >= start_) return (start_ + accumulator_) >> 13;
        return wrapped_sawtooth();
    }
    u32 wrapped_sawtooth() const;
    // Most steps lie wholly on one side of the pulse's edges.
    u32 pulse() const {
        u32 edge = static_cast<u32>(pulse_width_) << 12;
        u32 end = start_ + span_;
        if (!(control_ & kTest) && end < kAccumulatorMsb * 2 && span_) {
            if (start_ >= edge) return 0xFFF;
            if (end <= edge) return 0;
        }
        return pulse_edges();
    }
    u32 pulse_edges() const;
    u32 noise() const {
        if (noise_since_ == kWhole) return noise_output();
        return (noise_before_ * (kWhole - noise_since_) + noise_output() * noise_since_) >> 16;
    }
    u32 combined(u32 ring_msb);
    u32 noise_output() const;
    void shift_noise();

    u32 accumulator_ = 0;
    u32 start_ = 0;          // the accumulator at the start of the step
    u32 span_ = 0;           // accumulator travel a step: frequency x kStepCycles
    u32 reciprocal_ = 0;     // 2^32 / span_, for the fractions of a step
    u32 noise_ = kNoiseReset;
    u32 noise_before_ = 0;   // the noise output before the step's shift
    u32 noise_since_ = kWhole;  // the part of the step since that shift
    u16 frequency_ = 0;
    u16 pulse_width_ = 0;
    u8 control_ = 0;
    u32 held_ = 0;  // the output when the waveform bits were last cleared
};

#endif

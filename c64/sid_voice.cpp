// MOS 6581 SID, one voice's oscillator and waveform generator.
#include "c64/sid_voice.h"

namespace {
constexpr u8 kWaveformBits = SidVoice::kTriangle | SidVoice::kSawtooth | SidVoice::kPulse | SidVoice::kNoise;
constexpr u32 kFullScale = 0xFFF;
constexpr u64 kAccumulatorRange = 1u << 24;

// The eight bits of the noise register that reach the waveform DAC's top
// eight inputs, most significant first.
constexpr u8 kNoiseTaps[8] = {20, 18, 14, 11, 9, 5, 2, 0};

u64 overlap(u64 lo1, u64 hi1, u64 lo2, u64 hi2) {
    u64 lo = lo1 > lo2 ? lo1 : lo2;
    u64 hi = hi1 < hi2 ? hi1 : hi2;
    return hi > lo ? hi - lo : 0;
}
}  // namespace

void SidVoice::frequency(u16 f) {
    frequency_ = f;
    span_ = static_cast<u32>(f) * kStepCycles;
    reciprocal_ = span_ ? static_cast<u32>(0xFFFFFFFFu / span_) : 0;
}

void SidVoice::control(u8 v) {
    // The test bit holds the accumulator at zero and refills the noise
    // register for as long as it is set.
    if (v & kTest) {
        accumulator_ = start_ = 0;
        noise_ = kNoiseReset;
        noise_since_ = kWhole;
    }
    // With no waveform selected the DAC's inputs float and hold what they
    // last had.
    if (!(v & kWaveformBits) && (control_ & kWaveformBits)) held_ = output(0);
    control_ = v;
}

void SidVoice::advance(u32 cycles) {
    if (control_ & kTest) return;
    u64 start = accumulator_;
    u64 end = start + static_cast<u64>(frequency_) * cycles;
    // Bit 19 rises where accumulator + 2^19 passes a multiple of 2^20.
    u64 rises = ((end + kNoiseClockBit) >> 20) - ((start + kNoiseClockBit) >> 20);
    for (u64 i = 0; i < rises; i++) shift_noise();
    accumulator_ = start_ = static_cast<u32>(end) & kAccumulatorMask;
    noise_since_ = kWhole;
}

u32 SidVoice::cycles_since_msb_rise() const {
    if (frequency_ == 0) return 0;
    return (accumulator_ - kAccumulatorMsb) / frequency_;
}

void SidVoice::sync_restart(u32 cycles_since) {
    if (control_ & kTest) return;
    accumulator_ = (static_cast<u32>(frequency_) * cycles_since) & kAccumulatorMask;
    start_ = 0;
}

// 23-bit shift register with feedback from bits 22 and 17; the step's
// output blends the values before and after by where bit 19 rose.
void SidVoice::shift_noise() {
    noise_before_ = noise_output();
    noise_since_ = fraction((accumulator_ & 0xFFFFF) - kNoiseClockBit);
    u32 feedback = ((noise_ >> 22) ^ (noise_ >> 17)) & 1;
    noise_ = ((noise_ << 1) | feedback) & 0x7FFFFF;
}

u32 SidVoice::noise_output() const {
    u32 out = 0;
    for (u8 tap : kNoiseTaps) out = (out << 1) | ((noise_ >> tap) & 1);
    return out << 4;
}

// The step ran past the top: the ramp's average before the wrap, and from
// zero after it, weighted by their parts of the step.
u32 SidVoice::wrapped_sawtooth() const {
    u64 before = fraction(static_cast<u32>(kAccumulatorRange - start_));
    u64 mean = (before * ((start_ + kAccumulatorRange) >> 1) + (kWhole - before) * (accumulator_ >> 1)) >> 16;
    return static_cast<u32>(mean >> 12);
}

// The part of the step the accumulator spent at or above the pulse width.
u32 SidVoice::pulse_edges() const {
    if (control_ & kTest) return kFullScale;
    u64 from = start_, to = start_ + span_;
    u64 edge = static_cast<u64>(pulse_width_) << 12;
    u64 high = overlap(from, to, edge, kAccumulatorRange) + overlap(from, to, kAccumulatorRange + edge, 2 * kAccumulatorRange);
    if (high >= span_) return span_ ? kFullScale : ((accumulator_ >> 12) >= pulse_width_ ? kFullScale : 0);
    return (kFullScale * fraction(static_cast<u32>(high))) >> 16;
}

// Several waveforms selected at once pull each other's DAC inputs low: the
// combination is never louder than any of its parts. Taken at the step's end.
u32 SidVoice::combined(u32 ring_msb) {
    u8 waveforms = control_ & kWaveformBits;
    if (waveforms == 0) return held_;
    u32 out = kFullScale;
    if (waveforms & kTriangle) {
        u32 fold = (control_ & kRing) ? accumulator_ ^ ring_msb : accumulator_;
        out &= (((fold & kAccumulatorMsb) ? ~accumulator_ : accumulator_) >> 11) & kFullScale;
    }
    if (waveforms & kSawtooth) out &= accumulator_ >> 12;
    if ((waveforms & kPulse) && !(control_ & kTest) && (accumulator_ >> 12) < pulse_width_) out = 0;
    if (waveforms & kNoise) {
        out &= noise_output();
        // ...and with noise the pulled-down bits are written back into
        // the shift register, which in time falls silent.
        for (u32 i = 0; i < 8; i++)
            if (!(out & (0x800 >> i))) noise_ &= ~(1u << kNoiseTaps[i]);
    }
    return out;
}

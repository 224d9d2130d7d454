// The SID's samples at the sound device's rate: a polyphase windowed-sinc
// low-pass, its coefficients worked out in fixed point when the rates are set.
#include "c64/sid_resampler.h"

namespace {
constexpr i64 kQ30 = 1LL << 30;
constexpr i64 kHalfPi = 1686629713;   // pi / 2 in 1/2^30
constexpr i64 kInversePi = 341782638;  // 1 / pi in 1/2^30
constexpr u32 kQuarterTurn = 0x40000000;

// sin of a fraction of a turn (2^32 is a whole turn), in 1/2^30: folded
// into the first quadrant, then the sine's series to x^9.
i64 sine(u32 turn) {
    u32 quadrant = turn >> 30;
    u32 within = turn & (kQuarterTurn - 1);
    if (quadrant & 1) within = kQuarterTurn - within;
    i64 x = static_cast<i64>(within) * kHalfPi >> 30;
    i64 x2 = x * x >> 30;
    i64 t = kQ30 - x2 / 72;
    t = kQ30 - (x2 * t >> 30) / 42;
    t = kQ30 - (x2 * t >> 30) / 20;
    t = kQ30 - (x2 * t >> 30) / 6;
    i64 s = x * t >> 30;
    return (quadrant & 2) ? -s : s;
}

i64 cosine(u32 turn) { return sine(turn + kQuarterTurn); }

// Blackman window over the filter's span; `u` and `span` in 1/kPhases of
// an input sample, u = 0 at the centre.
i64 window(i64 u, i64 span) {
    if (u <= -span / 2 || u >= span / 2) return 0;
    u32 turn = static_cast<u32>(u * (1LL << 32) / span);
    return (42 * kQ30 + 50 * cosine(turn) + 8 * cosine(turn * 2)) / 100;
}

// sin(2 pi f u) / (pi u): the ideal low-pass with cutoff f (a fraction of
// the input rate), u in 1/kPhases of an input sample.
i64 sinc(i64 u, i64 cutoff_num, i64 cutoff_den) {
    const i64 phases = SidResampler::kPhases;
    if (u == 0) return 2 * kQ30 * cutoff_num / cutoff_den;
    u32 turn = static_cast<u32>(cutoff_num * u * (1LL << 32) / (cutoff_den * phases));
    i64 ratio = sine(turn) * phases / u;  // sin(...) / u in input samples
    return ratio * kInversePi >> 30;
}
}  // namespace

bool SidResampler::configure(u32 in_rate, u32 out_rate) {
    step_ = 0;
    out_rate_ = 0;
    if (in_rate == 0 || out_rate == 0 || out_rate > in_rate) return false;
    // Half of the output's band: what lies above folds back as
    // the output is taken at its own rate.
    cutoff_hz_ = out_rate * 45 / 100;
    const i64 span = static_cast<i64>(kTaps) * kPhases;
    for (u32 p = 0; p < kPhases; p++) {
        i64 row[kTaps];
        i64 sum = 0;
        for (u32 k = 0; k < kTaps; k++) {
            // Distance from the output instant (p/kPhases of an input sample
            // before the newest) to input sample k back, less the centre.
            i64 u = static_cast<i64>(k) * kPhases - p - span / 2;
            row[k] = sinc(u, cutoff_hz_, in_rate) * window(u, span) >> 30;
            sum += row[k];
        }
        for (u32 k = 0; k < kTaps; k++) coefficients_[p][k] = static_cast<i16>(row[k] * 32768 / sum);
    }
    step_ = static_cast<u32>((static_cast<u64>(in_rate) << 16) / out_rate);
    out_rate_ = out_rate;
    trim_ = 0;
    next_ = static_cast<i32>(step_);
    return true;
}

void SidResampler::clear() {
    for (i16& h : history_) h = 0;
    trim_ = 0;
}

void SidResampler::trim(i32 t) {
    if (t > kMaxTrim) t = kMaxTrim;
    if (t < -kMaxTrim) t = -kMaxTrim;
    trim_ = t;
}

i16 SidResampler::at(u32 behind) const {
    const i16* h = coefficients_[(behind * kPhases) >> 16];
    const i16* x = history_ + pos_;
    i32 acc = 0;
    for (u32 k = 0; k < kTaps; k++) acc += static_cast<i32>(h[k]) * x[k];
    acc >>= 15;
    if (acc > 32767) return 32767;
    if (acc < -32768) return -32768;
    return static_cast<i16>(acc);
}

// The SID's samples brought from the synthesizer's rate (a fraction of the
// chip's clock) to the sound device's: a windowed-sinc low-pass that keeps
// what lies below about 20 kHz and removes what would fold back into the
// audible band, evaluated at the device's sample instants (a polyphase
// filter). The device's clock and the machine's never agree exactly, so the
// ratio can be trimmed a little either way while it runs.
#ifndef TARN_C64_SID_RESAMPLER_H
#define TARN_C64_SID_RESAMPLER_H

#include "lib/types.h"

class SidResampler {
public:
    static constexpr u32 kTaps = 64;
    static constexpr u32 kPhases = 128;
    static constexpr u32 kOne = 1 << 16;  // ratios and positions in 1/65536

    // Sets the two rates; false (and nothing produced) for a rate of 0 or
    // an output rate above the input rate.
    bool configure(u32 in_rate, u32 out_rate);
    bool configured() const { return step_ != 0; }
    // Forgets the input so far (silence before what comes next).
    void clear();
    u32 out_rate() const { return out_rate_; }

    // One input sample; returns how many output samples it completed (0 or
    // 1, at most 2 with the trim), written to out[0..].
    u32 push(i16 sample, i16* out) {
        pos_ = static_cast<u16>((pos_ - 1) & (kTaps - 1));
        history_[pos_] = history_[pos_ + kTaps] = sample;
        next_ -= static_cast<i32>(kOne);
        u32 n = 0;
        while (next_ <= 0) {
            out[n++] = at(static_cast<u32>(-next_));
            next_ += static_cast<i32>(step_ + trim_);
        }
        return n;
    }
    // Input samples per output sample, in 1/65536, plus `trim` (a few
    // thousandths at most: kept within kMaxTrim).
    void trim(i32 t);
    static constexpr i32 kMaxTrim = 0x140;  // 0.5 % of a ratio of 1

    // Where the low-pass has fallen to half (in hertz).
    u32 cutoff_hz() const { return cutoff_hz_; }

private:
    // The output sample `behind` (1/65536 of an input sample) before the
    // newest input sample.
    i16 at(u32 behind) const;

    i16 coefficients_[kPhases][kTaps] = {};
    i16 history_[2 * kTaps] = {};
    u16 pos_ = 0;
    i32 next_ = 0;     // input samples to the next output instant, in 1/65536
    u32 step_ = 0;
    i32 trim_ = 0;
    u32 out_rate_ = 0;
    u32 cutoff_hz_ = 0;
};

#endif

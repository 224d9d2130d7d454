// MOS 6581 SID filter: a two-pole state-variable filter whose low-, band-
// and high-pass outputs can be summed, with an 11-bit cutoff on a
// 6581-like curve (about 30 Hz to 12 kHz) and 4-bit resonance. Runs in
// fixed point at the synthesizer's sample rate.
#ifndef TARN_C64_SID_FILTER_H
#define TARN_C64_SID_FILTER_H

#include "lib/types.h"

class SidFilter {
public:
    // Mode bits as in $D418 bits 4-6.
    static constexpr u8 kLowPass = 0x1;
    static constexpr u8 kBandPass = 0x2;
    static constexpr u8 kHighPass = 0x4;

    // The rate process() is called at; the coefficients follow it.
    explicit SidFilter(u32 sample_rate) : rate_(sample_rate) { update(); }

    void reset();
    void cutoff_lo(u8 v) { cutoff_ = static_cast<u16>((cutoff_ & 0x7F8) | (v & 0x07)); update(); }
    void cutoff_hi(u8 v) { cutoff_ = static_cast<u16>((cutoff_ & 0x007) | (v << 3)); update(); }
    void resonance(u8 r) { resonance_ = r & 0x0F; update(); }
    void mode(u8 m) { mode_ = m & 0x07; }

    // One sample through the filter; returns the sum of the selected outputs.
    i32 process(i32 in) {
        i32 high = in - low_ - static_cast<i32>((static_cast<i64>(damping_) * band_) >> kShift);
        band_ += static_cast<i32>((static_cast<i64>(w_) * high) >> kShift);
        low_ += static_cast<i32>((static_cast<i64>(w_) * band_) >> kShift);
        i32 out = 0;
        if (mode_ & kLowPass) out += low_;
        if (mode_ & kBandPass) out += band_;
        if (mode_ & kHighPass) out += high;
        return out;
    }

    // The cutoff in hertz for an 11-bit register value.
    static u32 cutoff_hz(u16 value);
    u16 cutoff() const { return cutoff_; }

private:
    static constexpr u32 kShift = 16;  // coefficients in 1/65536

    void update();

    u32 rate_;
    u16 cutoff_ = 0;
    u8 resonance_ = 0;
    u8 mode_ = 0;
    i32 w_ = 0;        // 2 sin(pi fc / rate)
    i32 damping_ = 0;  // 1 / Q
    i32 low_ = 0, band_ = 0;
};

#endif

// MOS 6581 SID filter: coefficients from the cutoff and resonance registers.
#include "c64/sid_filter.h"

namespace {
// Cutoff in hertz at every 128th register value (and the top, 2047): slow
// at the bottom, steepest in the middle, as a 6581's curve roughly is.
// Values in between are interpolated.
constexpr u16 kCurve[17] = {30,   60,   120,  210,  330,  490,  720,  1050, 1500,
                            2100, 2900, 3900, 5100, 6500, 8000, 9900, 12000};
constexpr u32 kCurveStep = 128;

constexpr i64 kOne = 1 << 16;
constexpr i64 kPi = 205887;               // pi in 1/65536
constexpr i64 kDampingNoResonance = 92682;  // sqrt 2: a flat response
constexpr i64 kDampingFullResonance = 16384;  // Q of 4 at the peak
}  // namespace

u32 SidFilter::cutoff_hz(u16 value) {
    value &= 0x7FF;
    u32 i = value / kCurveStep;
    u32 frac = value % kCurveStep;
    // The last segment ends at 2047, one short of a full step.
    u32 span = i == 15 ? kCurveStep - 1 : kCurveStep;
    return kCurve[i] + (kCurve[i + 1] - kCurve[i]) * frac / span;
}

void SidFilter::reset() {
    cutoff_ = 0;
    resonance_ = 0;
    mode_ = 0;
    low_ = band_ = 0;
    update();
}

// w = 2 sin(pi fc / rate), from the sine's series (x stays below 0.4).
void SidFilter::update() {
    i64 x = kPi * cutoff_hz(cutoff_) / (rate_ ? rate_ : 1);
    i64 x3 = x * x / kOne * x / kOne;
    i64 x5 = x3 * x / kOne * x / kOne;
    w_ = static_cast<i32>(2 * (x - x3 / 6 + x5 / 120));
    damping_ = static_cast<i32>(kDampingNoResonance -
                                (kDampingNoResonance - kDampingFullResonance) * resonance_ / 15);
}

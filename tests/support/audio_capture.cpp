#include "tests/support/audio_capture.h"

u32 AudioCapture::room() {
    // The queue starts full of silence, as a device's ring does.
    double played = (seconds_() - start_) * rate_;
    double queued = static_cast<double>(written_ + target_) - played;
    if (queued < 0) queued = 0;
    return queued >= target_ ? 0 : static_cast<u32>(target_ - queued);
}

u32 AudioCapture::write(const i16* s, u32 count) {
    if (keep) samples.insert(samples.end(), s, s + count);
    written_ += count;
    return count;
}

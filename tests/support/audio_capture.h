// An audio sink for tests and benchmarks: keeps every sample it is given,
// and takes them as a sound device playing at `rate` would, its queue kept
// `target` samples ahead of what it has played by the time `seconds()`
// says (the processor's clock in full mode, the wall clock in text mode).
#ifndef TARN_TESTS_SUPPORT_AUDIO_CAPTURE_H
#define TARN_TESTS_SUPPORT_AUDIO_CAPTURE_H

#include <functional>
#include <vector>

#include "lib/audio_sink.h"

class AudioCapture : public tarn::AudioSink {
public:
    AudioCapture(u32 rate, std::function<double()> seconds, u32 target = 2400)
        : rate_(rate), seconds_(std::move(seconds)), target_(target), start_(seconds_()) {}

    u32 rate() const override { return rate_; }
    u32 room() override;
    u32 write(const i16* samples, u32 count) override;
    void tone(u32 hz) override { tones.push_back(hz); }

    std::vector<i16> samples;  // everything written, in order
    std::vector<u32> tones;    // every tone asked for, in order
    bool keep = true;          // false: take samples but do not keep them
    u64 taken() const { return written_; }  // samples written, kept or not

private:
    u32 rate_;
    std::function<double()> seconds_;
    u32 target_;
    double start_;
    u64 written_ = 0;
};

#endif

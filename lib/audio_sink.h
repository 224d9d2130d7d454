// Where the machine's sound goes: the output of whichever sound device the
// host picked, as the producer of samples sees it. Samples are mono, signed
// 16 bits, at the rate the device chose; the device keeps what it was given
// queued a few tens of milliseconds ahead of what it plays and plays silence
// when nothing more comes. A device that can sound only a single pitch (the
// PC speaker) takes no samples, only the tone to play.
#ifndef TARN_LIB_AUDIO_SINK_H
#define TARN_LIB_AUDIO_SINK_H

#include "lib/types.h"

namespace tarn {

class AudioSink {
public:
    // Samples a second; 0 for a device that plays tones only.
    virtual u32 rate() const = 0;
    // Samples the device takes now, enough to bring its queue up to the
    // latency it aims for; 0 when it holds enough (or plays tones only).
    virtual u32 room() = 0;
    // Queues up to `count` samples; returns how many it took (at most room()).
    virtual u32 write(const i16* samples, u32 count) = 0;
    // The pitch a tone-only device plays, in hertz; 0 is silence. Devices
    // that play samples ignore it.
    virtual void tone(u32 hz) { (void)hz; }

protected:
    ~AudioSink() = default;
};

}  // namespace tarn

#endif

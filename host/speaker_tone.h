// The PC speaker as the machine's sound output: no samples, one square tone
// at the pitch the SID's loudest voice sounds, silence at pitch 0.
#ifndef TARN_HOST_SPEAKER_TONE_H
#define TARN_HOST_SPEAKER_TONE_H

#include "drivers/speaker.h"
#include "lib/audio_sink.h"
#include "lib/types.h"

namespace tarn {
namespace host {

class SpeakerTone : public AudioSink {
public:
    explicit SpeakerTone(drivers::SpeakerDriver* speaker) : speaker_(speaker) {}

    u32 rate() const override { return 0; }
    u32 room() override { return 0; }
    u32 write(const i16*, u32) override { return 0; }
    // Retunes only on a change, so a steady note is left to the timer.
    void tone(u32 hz) override;

private:
    drivers::SpeakerDriver* speaker_;
    u32 sounding_ = 0;
};

}  // namespace host
}  // namespace tarn

#endif

// The PC speaker as the machine's sound output.
#include "host/speaker_tone.h"

namespace tarn {
namespace host {

void SpeakerTone::tone(u32 hz) {
    if (hz == sounding_) return;
    sounding_ = hz;
    if (hz == 0) speaker_->Nosound();
    else speaker_->Sound(hz);
}

}  // namespace host
}  // namespace tarn

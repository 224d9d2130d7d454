// The machine's sound output on the PC: the first sound device that starts,
// in the order Intel HDA, AC'97, Sound Blaster 16, and the PC speaker's
// single tone when none does. Start-up names the one chosen.
#ifndef TARN_HOST_SOUND_H
#define TARN_HOST_SOUND_H

#include "drivers/deadline.h"
#include "drivers/speaker.h"
#include "host/speaker_tone.h"
#include "lib/audio_sink.h"
#include "lib/types.h"

namespace tarn {
namespace hardwarecommunication {
class InterruptManager;
class PeripheralComponentInterconnectController;
}

namespace host {

class Sound {
public:
    Sound() : tone_(&speaker_) {}

    void Start(hardwarecommunication::PeripheralComponentInterconnectController* pci,
               hardwarecommunication::InterruptManager* interrupts, drivers::MillisecondClock clock);
    // Where the machine's SID writes.
    AudioSink* sink() { return sink_; }

private:
    bool StartHda(hardwarecommunication::PeripheralComponentInterconnectController* pci,
                  hardwarecommunication::InterruptManager* interrupts, drivers::MillisecondClock clock);
    bool StartAc97(hardwarecommunication::PeripheralComponentInterconnectController* pci,
                   hardwarecommunication::InterruptManager* interrupts, drivers::MillisecondClock clock);
    bool StartSb16(hardwarecommunication::InterruptManager* interrupts, drivers::MillisecondClock clock);

    drivers::SpeakerDriver speaker_;
    SpeakerTone tone_;
    AudioSink* sink_ = nullptr;
};

}  // namespace host
}  // namespace tarn

#endif

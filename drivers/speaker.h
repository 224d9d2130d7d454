// PC speaker: a square wave from interval-timer channel 2, gated through port 0x61.
#ifndef TARN_DRIVERS_SPEAKER_H
#define TARN_DRIVERS_SPEAKER_H

#include "hardwarecommunication/port.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

class SpeakerDriver {
public:
    static constexpr u32 kTimerHz = 1193180;  // interval-timer input clock

    SpeakerDriver();
    ~SpeakerDriver();

    // Starts a continuous tone of the given pitch in hertz, or retunes the
    // one sounding. The timer divisor is kTimerHz / frequency cut to 16 bits.
    // A frequency of 0 names no tone: the hardware is left as it is.
    void Sound(u32 frequency);
    // Silences the speaker; the timer keeps its divisor.
    void Nosound();

private:
    hardwarecommunication::Port8Bit commandport;
    hardwarecommunication::Port8Bit channel2port;
};

}  // namespace drivers
}  // namespace tarn

#endif

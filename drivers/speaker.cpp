// PC speaker: interval-timer channel 2 and the speaker gate of system port B.
#include "drivers/speaker.h"

namespace tarn {
namespace drivers {

namespace {
const u16 kTimerCommandPort = 0x43;  // interval-timer mode/command register
const u16 kTimerChannel2Port = 0x42; // channel 2 count
const u16 kSystemPortB = 0x61;       // speaker gate and status bits

// Command byte: cc aa mmm b = 10 11 011 0: channel 2, low then high byte,
// mode 3 (square wave), binary counting.
const u8 kCmdChannel2SquareWave = 0xB6;

// System port B: bit 0 gates timer 2, bit 1 passes its output to the speaker.
const u8 kGateTimer2 = 0x01;
const u8 kSpeakerData = 0x02;
const u8 kSpeakerBits = kGateTimer2 | kSpeakerData;
}  // namespace

SpeakerDriver::SpeakerDriver()
    : commandport(kTimerCommandPort), channel2port(kTimerChannel2Port) {}

SpeakerDriver::~SpeakerDriver() {}

void SpeakerDriver::Sound(u32 frequency) {
    if (frequency == 0) return;  // no pitch to divide by
    u32 divisor = kTimerHz / frequency;

    commandport.Write(kCmdChannel2SquareWave);
    channel2port.Write(static_cast<u8>(divisor & 0xFF));
    channel2port.Write(static_cast<u8>((divisor >> 8) & 0xFF));

    // Only touch the gate when it is not already open, so retuning a
    // sounding tone does not click.
    u8 gate = hardwarecommunication::Port8Bit::Read8(kSystemPortB);
    if ((gate & kSpeakerBits) != kSpeakerBits)
        hardwarecommunication::Port8Bit::Write8(kSystemPortB, static_cast<u8>(gate | kSpeakerBits));
}

void SpeakerDriver::Nosound() {
    u8 gate = hardwarecommunication::Port8Bit::Read8(kSystemPortB);
    hardwarecommunication::Port8Bit::Write8(kSystemPortB, static_cast<u8>(gate & ~kSpeakerBits));
}

}  // namespace drivers
}  // namespace tarn

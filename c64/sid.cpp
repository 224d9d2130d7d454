// MOS 6581 SID: frequency and volume registers drive one tone.
#include "c64/sid.h"

#include "lib/audio_sink.h"

namespace {
// Register numbers (offset from $D400).
const u8 kVoice1FreqLo = 0x00;
const u8 kVoice1FreqHi = 0x01;
const u8 kVoice2FreqLo = 0x07;
const u8 kVoice2FreqHi = 0x08;
const u8 kVoice3FreqLo = 0x0E;
const u8 kVoice3FreqHi = 0x0F;
const u8 kModeVolume = 0x18;  // bits 7-4 filter mode / voice 3 off, bits 3-0 volume

// Oscillator frequency = value x clock / 2^24; with the PAL clock of
// 985248 Hz that is value x 0.0587, the NTSC clock gives 0.06097. Kept in
// integers (x 6097 / 100000) so the kernel needs no floating point; the
// product of a 16-bit value stays inside 32 bits.
const u32 kHzPerValueNumerator = 6097;
const u32 kHzPerValueDenominator = 100000;
}  // namespace

void Sid::write_register(u8 r, u8 v) {
    switch (r) {
    case kVoice1FreqLo:
    case kVoice2FreqLo:
    case kVoice3FreqLo:
        freq_lo_ = v;
        break;
    case kVoice1FreqHi:
    case kVoice2FreqHi:
    case kVoice3FreqHi:
        freq_hi_ = v;
        break;
    case kModeVolume:
        volume_ = v;
        break;
    default:
        return;  // waveform, envelope, pulse width, filter: no effect on the tone
    }
    play();
}

u32 Sid::getFrequency(u8 hi, u8 lo) {
    u32 value = (static_cast<u32>(hi) << 8) | lo;
    return value * kHzPerValueNumerator / kHzPerValueDenominator;
}

void Sid::play() {
    // The whole byte counts: filter-mode bits alone keep the tone on.
    if (volume_ == 0) {
        if (sink_ != nullptr) sink_->tone(0);
        return;
    }
    frequency_ = getFrequency(freq_hi_, freq_lo_);
    // Below one hertz there is no tone to set; the one sounding carries on.
    // A machine built without a sound output stays silent.
    if (frequency_ != 0 && sink_ != nullptr) sink_->tone(frequency_);
}

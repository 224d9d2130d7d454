// MOS 6581 SID sound chip, reduced to one square-wave tone.
#ifndef TARN_C64_SID_H
#define TARN_C64_SID_H

#include "lib/types.h"

namespace tarn { class AudioSink; }

// The three voices' frequency registers all feed the one tone; the volume
// register switches it on and off. Waveform, gate, envelope, pulse width
// and filter registers are not kept.
class Sid {
public:
    Sid() {}
    ~Sid() {}

    // Where the sound goes (not owned); null leaves the machine silent.
    void sink(tarn::AudioSink* s) { sink_ = s; }
    // r is the address minus $D400.
    void write_register(u8 r, u8 v);
    // Sounds the tone the registers ask for, or silence.
    void play();
    // Tone in hertz for the 16-bit frequency value hi:lo (value x 0.06097,
    // truncated).
    u32 getFrequency(u8 hi, u8 lo);

    // Paddle or mouse inputs, read at $D419/$D41A ($FF: nothing plugged in).
    void pots(u8 x, u8 y) {
        pot_x_ = x;
        pot_y_ = y;
    }
    u8 pot_x() const { return pot_x_; }
    u8 pot_y() const { return pot_y_; }

    u8 volume() const { return volume_; }
    u32 frequency() const { return frequency_; }

private:
    // Until the program writes them the registers read as after a chip reset,
    // so a first frequency byte never pairs with a stray other half.
    tarn::AudioSink* sink_ = nullptr;
    u8 volume_ = 0;     // $D418: volume (bits 0-3) and filter mode (bits 4-7)
    u8 freq_lo_ = 0;    // last frequency low byte written to any voice
    u8 freq_hi_ = 0;    // last frequency high byte written to any voice
    u32 frequency_ = 0; // last tone computed, in Hz
    u8 pot_x_ = 0xFF, pot_y_ = 0xFF;
};

#endif

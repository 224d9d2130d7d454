// MOS 6581 SID sound chip, synthesized: three voices (oscillator, waveform,
// envelope), the filter, the mixer with its master volume, and the output
// at the sound device's rate. Registers $D400-$D41C, mirrored every 32
// bytes up to $D7FF.
#ifndef TARN_C64_SID_H
#define TARN_C64_SID_H

#include "c64/sid_envelope.h"
#include "c64/sid_filter.h"
#include "c64/sid_resampler.h"
#include "c64/sid_voice.h"
#include "lib/types.h"

class ControlPorts;
class Processor;
namespace tarn {
class AudioSink;
class Clock;
}

class Sid {
public:
    // Register numbers (address & 0x1F); voice n's registers at 7 n + r.
    static constexpr u8 kFreqLo = 0x00;
    static constexpr u8 kFreqHi = 0x01;
    static constexpr u8 kPwLo = 0x02;
    static constexpr u8 kPwHi = 0x03;
    static constexpr u8 kControl = 0x04;
    static constexpr u8 kAttackDecay = 0x05;
    static constexpr u8 kSustainRelease = 0x06;
    static constexpr u8 kVoiceSpan = 7;
    static constexpr u8 kCutoffLo = 0x15;    // bits 0-2 of the 11-bit cutoff
    static constexpr u8 kCutoffHi = 0x16;    // bits 3-10
    static constexpr u8 kResFilt = 0x17;     // RES(4) EXT V3 V2 V1: resonance, voices through the filter
    static constexpr u8 kModeVolume = 0x18;  // 3OFF HP BP LP VOL(4)
    static constexpr u8 kPotX = 0x19;
    static constexpr u8 kPotY = 0x1A;
    static constexpr u8 kOsc3 = 0x1B;
    static constexpr u8 kEnv3 = 0x1C;
    static constexpr u8 kRegisterMask = 0x1F;

    static constexpr u32 kClockHz = 985248;  // PAL
    // The synthesizer works in steps of this many clock cycles, and the
    // filter and output at the rate that gives.
    static constexpr u32 kCyclesPerSample = SidVoice::kStepCycles;
    static constexpr u32 kSampleRate = kClockHz / kCyclesPerSample;
    // Longest stretch synthesized in one catch-up; time beyond it (the
    // machine was stopped) is skipped.
    static constexpr u32 kMaxCatchUp = kClockHz / 10;

    Sid();
    Sid(const Sid&) = delete;
    Sid& operator=(const Sid&) = delete;

    // The CPU's view. Both bring the chip up to the present first, so a
    // write takes effect at the moment it happens.
    u8 read_register(u8 r);
    void write_register(u8 r, u8 v);

    // Time bases: the processor's cycle counter (full mode) and the wall
    // clock in milliseconds (text mode, which runs faster than a C64).
    void clocks(const Processor* cpu, tarn::Clock* wall);
    void use_wall_clock(bool on);
    // Synthesizes up to the present of the time base in use.
    void catch_up();
    // Runs the chip `cycles` clock cycles, whatever the time base.
    void run(u32 cycles);
    // Hands what was synthesized to the sink (or the loudest voice's pitch
    // to a tone-only sink); the main loop calls it once a pass or frame.
    void flush();

    // Where the sound goes (not owned); null keeps the machine silent.
    void sink(tarn::AudioSink* s);
    // Muted (by the user) or in warp (time runs unevenly): the chip keeps
    // running, nothing is sent to the sink.
    void muted(bool on);
    bool muted() const { return muted_; }
    void warp(bool on);

    // The control ports' paddle (POT) lines, read at $D419/$D41A; none
    // reads $FF, as with nothing plugged in.
    void pot_lines(const ControlPorts* ports) { pot_lines_ = ports; }

    // What the chip holds, for tests and the monitor.
    const SidVoice& voice(int n) const { return voices_[n]; }
    const SidEnvelope& envelope(int n) const { return envelopes_[n]; }
    u8 volume() const { return mode_volume_ & 0x0F; }
    // The loudest voice's pitch in hertz, 0 when nothing sounds.
    u32 loudest_pitch() const;

private:
    static constexpr u32 kFifoSize = 4096;  // samples awaiting the sink

    void write_chip(u8 r, u8 v);
    void write_voice(int n, u8 r, u8 v);
    void send_tone();
    void tick();
    i32 mix();
    i32 voice_out(int n);
    void produce(i32 sample);
    void send();
    void drop(u32 n);
    void restart_output();
    u32 shadow_elapsed();
    bool producing() const { return sink_rate_ != 0 && !muted_ && !warp_; }
    u8 osc3();

    SidVoice voices_[3];
    SidEnvelope envelopes_[3];
    SidFilter filter_{kSampleRate};
    SidResampler resampler_;

    u8 res_filt_ = 0;
    u8 mode_volume_ = 0;
    const ControlPorts* pot_lines_ = nullptr;
    u8 bus_ = 0;                      // write-only registers read the last byte written

    u32 processor_cycles() const;

    const Processor* cpu_ = nullptr;
    tarn::Clock* wall_ = nullptr;
    bool wall_clock_ = false;
    u32 last_cycles_ = 0;
    u32 last_ms_ = 0;
    u32 ms_remainder_ = 0;  // wall time's cycles in 1/1000
    u32 step_cycles_ = 0;   // cycles run towards the next step
    // Text mode: voice 3 once more on the processor's clock, so reads of
    // $D41B change as often as a program reads it, not once a millisecond.
    SidVoice osc3_shadow_;
    u32 shadow_cycles_ = 0;

    tarn::AudioSink* sink_ = nullptr;
    u32 sink_rate_ = 0;
    bool muted_ = false;
    bool warp_ = false;
    i32 dc_in_ = 0;    // the output's coupling capacitor: last input,
    i64 dc_out_ = 0;   // and output in 1/256
    i16 fifo_[kFifoSize];
    u32 fifo_len_ = 0;
    i32 backlog_ = 0;   // smoothed samples the sink could not take (+) or lacked (-)
    u32 toned_ = 0;     // last pitch sent to a tone-only sink
};

#endif

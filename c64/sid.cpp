// MOS 6581 SID: the register file, the chip's time base, the mixer and the
// way out to the sound device.
#include "c64/sid.h"

#include "c64/control_ports.h"
#include "c64/processor.h"
#include "lib/audio_sink.h"
#include "lib/clock.h"

namespace {
constexpr u8 kVoiceRegisters = 3 * Sid::kVoiceSpan;  // $D400-$D414
constexpr u8 kVoice3Off = 0x80;                      // $D418 bit 7
constexpr u8 kFilterModes = 0x70;                    // $D418 bits 4-6
constexpr u8 kVolumeMask = 0x0F;
constexpr u32 kMsPerSecond = 1000;

// The mixer's input is not centred on zero: the master volume scales this
// offset too, so writes to $D418 alone move the output (4-bit samples).
constexpr i32 kMixerOffset = 0x80000;
// Voice sum times volume, brought to 16 bits (three full voices at volume 15
// with the offset reach about 30,000).
constexpr u32 kMixShift = 10;
// The output's coupling capacitor: a high-pass near 16 Hz at the
// synthesizer's rate, pole in 1/65536, takes the offset away again.
constexpr i64 kCouplingPole = 65482;

i16 clip16(i32 v) {
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return static_cast<i16>(v);
}
}  // namespace

Sid::Sid() {}

// ---- the CPU's view --------------------------------------------------------

u8 Sid::read_register(u8 r) {
    switch (r & kRegisterMask) {
    case kPotX: return pot_lines_ ? pot_lines_->pot_x() : 0xFF;
    case kPotY: return pot_lines_ ? pot_lines_->pot_y() : 0xFF;
    case kOsc3:
        catch_up();
        return osc3();
    case kEnv3:
        catch_up();
        return envelopes_[2].level();
    default:
        return bus_;  // write-only: what the data bus last carried to the chip
    }
}

void Sid::write_register(u8 r, u8 v) {
    r &= kRegisterMask;
    catch_up();
    bus_ = v;
    write_chip(r, v);
    // A tone follows the registers at once, as the samples do.
    if (sink_ && !sink_rate_) send_tone();
}

void Sid::write_chip(u8 r, u8 v) {
    if (r < kVoiceRegisters) {
        write_voice(r / kVoiceSpan, r % kVoiceSpan, v);
        return;
    }
    switch (r) {
    case kCutoffLo: filter_.cutoff_lo(v); break;
    case kCutoffHi: filter_.cutoff_hi(v); break;
    case kResFilt:
        res_filt_ = v;
        filter_.resonance(v >> 4);
        break;
    case kModeVolume:
        mode_volume_ = v;
        filter_.mode((v & kFilterModes) >> 4);
        break;
    default:
        break;  // the read-only registers and the three unused ones
    }
}

void Sid::write_voice(int n, u8 r, u8 v) {
    SidVoice& voice = voices_[n];
    if (n == 2 && wall_clock_) osc3_shadow_.advance(shadow_elapsed());
    switch (r) {
    case kFreqLo: voice.frequency_lo(v); break;
    case kFreqHi: voice.frequency_hi(v); break;
    case kPwLo: voice.pulse_width_lo(v); break;
    case kPwHi: voice.pulse_width_hi(v); break;
    case kControl: {
        bool was_gated = (voice.control() & SidVoice::kGate) != 0;
        voice.control(v);
        bool gated = (v & SidVoice::kGate) != 0;
        if (gated != was_gated) envelopes_[n].gate(gated);
        break;
    }
    case kAttackDecay: envelopes_[n].attack_decay(v); break;
    default: envelopes_[n].sustain_release(v); break;
    }
    if (n != 2) return;
    switch (r) {
    case kFreqLo: osc3_shadow_.frequency_lo(v); break;
    case kFreqHi: osc3_shadow_.frequency_hi(v); break;
    case kPwLo: osc3_shadow_.pulse_width_lo(v); break;
    case kPwHi: osc3_shadow_.pulse_width_hi(v); break;
    case kControl: osc3_shadow_.control(v); break;
    default: break;
    }
}

// Voice 3's waveform, top eight bits, as the oscillator stands now (ring
// modulated by voice 2 as the chip's output is).
u8 Sid::osc3() {
    u32 ring = voices_[1].accumulator() & SidVoice::kAccumulatorMsb;
    if (wall_clock_) {
        osc3_shadow_.advance(shadow_elapsed());
        return static_cast<u8>(osc3_shadow_.output(ring) >> 4);
    }
    return static_cast<u8>(voices_[2].output(ring) >> 4);
}

u32 Sid::shadow_elapsed() {
    if (!cpu_) return 0;
    u32 now = processor_cycles();
    u32 n = now - shadow_cycles_;
    shadow_cycles_ = now;
    return n > kClockHz ? kClockHz : n;
}

// ---- time ------------------------------------------------------------------------

u32 Sid::processor_cycles() const { return cpu_ ? cpu_->cycles() : 0; }

void Sid::clocks(const Processor* cpu, tarn::Clock* wall) {
    cpu_ = cpu;
    wall_ = wall;
    last_cycles_ = shadow_cycles_ = processor_cycles();
    last_ms_ = wall_ ? wall_->milliseconds() : 0;
}

void Sid::use_wall_clock(bool on) {
    catch_up();
    wall_clock_ = on;
    last_cycles_ = shadow_cycles_ = processor_cycles();
    last_ms_ = wall_ ? wall_->milliseconds() : 0;
    ms_remainder_ = 0;
    osc3_shadow_ = voices_[2];
}

void Sid::catch_up() {
    u32 cycles;
    if (wall_clock_) {
        if (!wall_) return;
        u32 now = wall_->milliseconds();
        u32 ms = now - last_ms_;
        last_ms_ = now;
        u32 max_ms = kMaxCatchUp / (kClockHz / kMsPerSecond);
        if (ms > max_ms) ms = max_ms;
        ms_remainder_ += ms * kClockHz;
        cycles = ms_remainder_ / kMsPerSecond;
        ms_remainder_ %= kMsPerSecond;
    } else {
        if (!cpu_) return;
        u32 now = processor_cycles();
        cycles = now - last_cycles_;
        last_cycles_ = now;
    }
    run(cycles > kMaxCatchUp ? kMaxCatchUp : cycles);
}

void Sid::run(u32 cycles) {
    step_cycles_ += cycles;
    while (step_cycles_ >= kCyclesPerSample) {
        step_cycles_ -= kCyclesPerSample;
        tick();
    }
}

// One step of kCyclesPerSample cycles: oscillators, hard sync (voice 1 by
// voice 3, 2 by 1, 3 by 2), envelopes, and a sample when one is wanted.
void Sid::tick() {
    SidVoice& v1 = voices_[0];
    SidVoice& v2 = voices_[1];
    SidVoice& v3 = voices_[2];
    bool rose1 = v1.step();
    bool rose2 = v2.step();
    bool rose3 = v3.step();
    if (rose3 && (v1.control() & SidVoice::kSync)) v1.sync_restart(v3.cycles_since_msb_rise());
    if (rose1 && (v2.control() & SidVoice::kSync)) v2.sync_restart(v1.cycles_since_msb_rise());
    if (rose2 && (v3.control() & SidVoice::kSync)) v3.sync_restart(v2.cycles_since_msb_rise());
    envelopes_[0].clock(kCyclesPerSample);
    envelopes_[1].clock(kCyclesPerSample);
    envelopes_[2].clock(kCyclesPerSample);
    if (producing()) produce(mix());
}

// Voice n's output scaled by its envelope, ring-modulated by the voice before.
i32 Sid::voice_out(int n) {
    u32 ring = voices_[n == 0 ? 2 : n - 1].accumulator() & SidVoice::kAccumulatorMsb;
    return (static_cast<i32>(voices_[n].output(ring)) - 0x800) * envelopes_[n].level();
}

// Voices scaled by their envelopes, some through the filter, summed with the
// mixer's offset and scaled by the master volume.
i32 Sid::mix() {
    i32 out1 = voice_out(0), out2 = voice_out(1), out3 = voice_out(2);
    i32 direct = 0, filtered = 0;
    if (res_filt_ & 1) filtered += out1; else direct += out1;
    if (res_filt_ & 2) filtered += out2; else direct += out2;
    if (res_filt_ & 4) filtered += out3;
    else if (!(mode_volume_ & kVoice3Off)) direct += out3;
    i32 sum = direct + filter_.process(filtered) + kMixerOffset;
    return (sum * static_cast<i32>(mode_volume_ & kVolumeMask)) >> kMixShift;
}

// ---- the way out ------------------------------------------------------------------

void Sid::produce(i32 level) {
    dc_out_ = (static_cast<i64>(level - dc_in_) << 8) + ((dc_out_ * kCouplingPole + 0x8000) >> 16);
    dc_in_ = level;
    i16 out[2];
    u32 n = resampler_.push(clip16(static_cast<i32>(dc_out_ >> 8)), out);
    for (u32 i = 0; i < n; i++) {
        if (fifo_len_ == kFifoSize) send();
        // Still full: the sink takes nothing; the oldest half goes.
        if (fifo_len_ == kFifoSize) drop(kFifoSize / 2);
        fifo_[fifo_len_++] = out[i];
    }
}

void Sid::drop(u32 n) {
    if (n > fifo_len_) n = fifo_len_;
    for (u32 i = n; i < fifo_len_; i++) fifo_[i - n] = fifo_[i];
    fifo_len_ -= n;
}

// Hands the sink what it takes. What it cannot take yet waits; the ratio of
// the resampler is trimmed towards the device's pace so that neither the
// wait nor the device's hunger grows.
void Sid::send() {
    if (!sink_ || !sink_rate_) {
        fifo_len_ = 0;
        return;
    }
    u32 room = sink_->room();
    i32 error = static_cast<i32>(fifo_len_) - static_cast<i32>(room);
    backlog_ += (error - backlog_) / 8;
    i32 frame = static_cast<i32>(sink_rate_ / 50);  // a frame's worth
    i32 beyond = backlog_ > frame ? backlog_ - frame : backlog_ < -frame ? backlog_ + frame : 0;
    resampler_.trim(beyond * SidResampler::kMaxTrim / frame);
    u32 n = fifo_len_ < room ? fifo_len_ : room;
    if (n) drop(sink_->write(fifo_, n));
    // Leftovers older than two frames are late: the sink is behind for good.
    u32 keep = 2 * static_cast<u32>(frame);
    if (fifo_len_ > keep) drop(fifo_len_ - keep);
}

void Sid::flush() {
    catch_up();
    if (!sink_) return;
    if (!sink_rate_) send_tone();
    else if (producing()) send();
}

void Sid::send_tone() {
    u32 hz = (muted_ || warp_) ? 0 : loudest_pitch();
    if (hz == toned_) return;
    toned_ = hz;
    sink_->tone(hz);
}

void Sid::sink(tarn::AudioSink* s) {
    sink_ = s;
    sink_rate_ = s ? s->rate() : 0;
    if (sink_rate_ && !resampler_.configure(kSampleRate, sink_rate_)) sink_rate_ = 0;
    fifo_len_ = 0;
    backlog_ = 0;
    toned_ = 0;
}

void Sid::muted(bool on) {
    if (on == muted_) return;
    muted_ = on;
    restart_output();
}

void Sid::warp(bool on) {
    if (on == warp_) return;
    warp_ = on;
    restart_output();
}

// Sound stopped or starts again: nothing old is left to come out.
void Sid::restart_output() {
    fifo_len_ = 0;
    backlog_ = 0;
    resampler_.clear();
    if (sink_ && !sink_rate_) send_tone();
}

u32 Sid::loudest_pitch() const {
    if ((mode_volume_ & kVolumeMask) == 0) return 0;
    int loudest = -1;
    u8 level = 0;
    for (int i = 0; i < 3; i++) {
        bool filtered = (res_filt_ & (1 << i)) != 0;
        if (!filtered && i == 2 && (mode_volume_ & kVoice3Off)) continue;
        if (filtered && !(mode_volume_ & kFilterModes)) continue;
        u8 c = voices_[i].control();
        if ((c & SidVoice::kTest) || !(c & 0xF0)) continue;
        // A note whose attack has just begun counts as sounding.
        u8 l = envelopes_[i].level();
        if (l == 0 && envelopes_[i].phase() == SidEnvelope::Phase::Attack) l = 1;
        if (l > level) {
            level = l;
            loudest = i;
        }
    }
    if (loudest < 0) return 0;
    return static_cast<u32>((static_cast<u64>(voices_[loudest].frequency()) * kClockHz) >> 24);
}

// The SID as a listener hears it: test programs on the headless machine in
// full C64 mode set the chip, and the samples it sends to a 48 kHz sink are
// measured: pitch, envelope times, noise, ring modulation and sync, the
// filter, the mix of three voices and 4-bit samples through the volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "c64/c64.h"
#include "c64/processor.h"
#include "c64/memory.h"
#include "c64/sid.h"
#include "c64/sid_filter.h"
#include "tests/support/audio_capture.h"
#include "tests/support/headless_machine.h"
#include "tests/unit/sid/sound_analysis.h"

namespace {

constexpr u16 kProgram = 0xC000;
constexpr u16 kScript = 0xC100;
constexpr u16 kDigiCount = 0xC0FF;
constexpr u16 kDone = 0xC200;
constexpr double kClockHz = 985248;
constexpr double kSamplesPerFrame = 19656 * sound::kRate / kClockHz;  // 957.6

// Register numbers.
constexpr u8 kFreqLo = 0, kFreqHi = 1, kPwHi = 3, kControl = 4, kAttackDecay = 5, kSustainRelease = 6;
constexpr u8 kVoice2 = 7, kVoice3 = 14;
constexpr u8 kCutoffLo = 0x15, kCutoffHi = 0x16, kResFilt = 0x17, kModeVolume = 0x18;
constexpr u8 kTriangle = 0x10, kSaw = 0x20, kPulse = 0x40, kNoise = 0x80, kRing = 0x04, kSync = 0x02, kGate = 0x01;

struct Write {
    u8 reg, value, frames;  // frames to wait after the write
};

// The register value for a pitch, and the pitch a register value gives.
u16 Register(double hz) { return static_cast<u16>(hz * 16777216 / kClockHz + 0.5); }
double Hz(u16 reg) { return reg * kClockHz / 16777216; }

std::vector<Write> Tone(u8 voice, double hz, u8 waveform) {
    u16 r = Register(hz);
    return {{static_cast<u8>(voice + kFreqLo), static_cast<u8>(r & 0xFF), 0},
            {static_cast<u8>(voice + kFreqHi), static_cast<u8>(r >> 8), 0},
            {static_cast<u8>(voice + kPwHi), 0x08, 0},
            {static_cast<u8>(voice + kAttackDecay), 0x00, 0},
            {static_cast<u8>(voice + kSustainRelease), 0xF0, 0},
            {static_cast<u8>(voice + kControl), static_cast<u8>(waveform | kGate), 0}};
}

std::vector<Write> operator+(std::vector<Write> a, const std::vector<Write>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class SidSound : public ::testing::Test {
protected:
    void SetUp() override {
        hm.machine().full_mode(true);
        for (int i = 0; i < 400 && !Ready(); i++) hm.run_pass();
        ASSERT_TRUE(Ready());
        hm.machine().sid()->sink(&capture);
        Settle(15);
    }
    void TearDown() override { hm.machine().sid()->sink(nullptr); }

    // READY. in screen RAM (screen codes): full mode draws no text view.
    bool Ready() {
        static const u8 kReady[] = {0x12, 0x05, 0x01, 0x04, 0x19, 0x2E};
        for (u16 a = 0x0400; a + sizeof kReady <= 0x07E8; a++)
            if (std::equal(kReady, kReady + sizeof kReady, hm.mem().ram_image() + a)) return true;
        return false;
    }
    void Poke(u16 a, u8 v) { hm.mem().write_byte_no_io(a, v); }
    // Sets the master volume and lets the output settle (the step the
    // mixer's offset makes fades), then forgets what was heard so far.
    void Settle(u8 volume) {
        hm.mem().write_byte(0xD400 + kModeVolume, volume);
        hm.run_passes(20);
        capture.samples.clear();
    }
    void Load(const std::string& name) {
        std::ifstream f(std::string(SID_PROGRAMS) + "/" + name + ".bin", std::ios::binary);
        ASSERT_TRUE(f.good()) << name;
        std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        for (size_t i = 0; i < bytes.size(); i++) Poke(static_cast<u16>(kProgram + i), static_cast<u8>(bytes[i]));
        Poke(kDone, 0);
    }
    // SYS 49152, as typed into the KERNAL's keyboard buffer; then frames
    // until the program says it is done, and `after` more.
    void Run(int after) {
        for (char c : std::string("SYS49152\r")) {
            for (int i = 0; i < 50 && !hm.buffer_key(static_cast<u8>(c)); i++) hm.run_pass();
        }
        for (int i = 0; i < 3000 && hm.mem().read_byte_no_io(kDone) == 0; i++) hm.run_pass();
        ASSERT_EQ(hm.mem().read_byte_no_io(kDone), 1);
        hm.run_passes(after);
    }
    // Plays a script; returns the index of the first sample that sounds.
    size_t Play(const std::vector<Write>& all, int after = 5) {
        Load("script");
        for (size_t i = 0; i < all.size(); i++) {
            Poke(static_cast<u16>(kScript + 3 * i), all[i].reg);
            Poke(static_cast<u16>(kScript + 3 * i + 1), all[i].value);
            Poke(static_cast<u16>(kScript + 3 * i + 2), all[i].frames);
        }
        Poke(static_cast<u16>(kScript + 3 * all.size()), 0xFF);
        Run(after);
        return Onset(0);
    }
    // First sample from `from` on that stands clear of the silence.
    size_t Onset(size_t from) const {
        for (size_t i = from; i < capture.samples.size(); i++)
            if (std::abs(capture.samples[i]) > 200) return i;
        return capture.samples.size();
    }
    // `frames` frames of sound from `frame` frames after `start`.
    std::vector<double> Take(size_t start, double frame, double frames) const {
        return sound::Slice(capture.samples, start + static_cast<size_t>(frame * kSamplesPerFrame),
                            static_cast<size_t>(frames * kSamplesPerFrame));
    }

    HeadlessMachine hm;
    AudioCapture capture{48000, [this] { return hm.cpu().cycles() / kClockHz; }};
};

TEST_F(SidSound, EachWaveformSoundsAtThePitchOfItsFrequencyRegister) {
    struct Case {
        u8 waveform;
        double hz;
    } cases[] = {{kTriangle, 440}, {kSaw, 1234}, {kPulse, 261.6}, {kTriangle, 3000}};
    std::vector<Write> script;
    for (const Case& c : cases) {
        std::vector<Write> note = Tone(0, c.hz, c.waveform);
        note.back().frames = 9;
        script = script + note + std::vector<Write>{{kControl, c.waveform, 1}};
    }
    size_t start = Play(script);
    for (size_t i = 0; i < 4; i++) {
        double expected = Hz(Register(cases[i].hz));
        double measured = sound::Pitch(Take(start, 10.0 * i + 1, 8));
        EXPECT_NEAR(measured, expected, expected * 0.005) << "waveform " << int(cases[i].waveform);
    }
}

// The data sheet's times at 1 MHz, 1.5 % longer on a PAL clock: attack 5
// (56 ms) and decay 6 to zero (204 ms); attack 8 (100 ms) and release 8
// (300 ms). Then a rate lowered below where the rate counter stands: the
// counter runs round its 15 bits first, and the attack starts late.
TEST_F(SidSound, AttackDecayAndReleaseTakeTheChipsTimes) {
    const double pal = 1e6 / kClockHz;
    std::vector<Write> script = Tone(0, 2000, kTriangle);
    script[3].value = 0x56;  // attack 5, decay 6
    script[4].value = 0x08;  // sustain 0, release 8
    script.back().frames = 25;
    script = script + std::vector<Write>{{kControl, kTriangle, 0},  // silent already
                                         {kAttackDecay, 0x88, 0},   // the rates of the release: no wrap
                                         {kSustainRelease, 0xF8, 0},
                                         {kControl, kTriangle | kGate, 15},
                                         {kControl, kTriangle, 25},
                                         {kSustainRelease, 0x0F, 1},  // the counter passes 9 meanwhile
                                         {kAttackDecay, 0x00, 0},
                                         {kControl, kTriangle | kGate, 5}};
    size_t start = Play(script);
    std::vector<double> env = sound::PeakEnvelope(capture.samples, start, 48);  // 1 ms windows
    auto from = [&](size_t i, double below) {
        return static_cast<size_t>(std::find_if(env.begin() + i, env.end(), [&](double v) { return v < below; }) - env.begin());
    };
    double full = *std::max_element(env.begin(), env.begin() + 400);  // the first note
    double level1 = full / 255;
    size_t peak = std::find_if(env.begin(), env.end(), [&](double v) { return v >= full * 0.99; }) - env.begin();
    EXPECT_NEAR(peak, 56 * pal, 56 * pal * 0.1) << "attack (ms)";
    EXPECT_NEAR(from(peak, level1 / 2) - peak, 204 * pal, 204 * pal * 0.1) << "decay (ms)";

    // The second note: where its attack ramp, drawn back, starts; where it tops out.
    size_t second = (Onset(start + static_cast<size_t>(20 * kSamplesPerFrame)) - start) / 48;
    size_t quarter = second, three_quarters = second;
    while (env[quarter] < full / 4) quarter++;
    while (env[three_quarters] < full * 3 / 4) three_quarters++;
    double gate_on = quarter - (three_quarters - quarter) / 2.0;
    size_t top = three_quarters;
    while (env[top] < full * 0.99) top++;
    EXPECT_NEAR(top - gate_on, 100 * pal, 100 * pal * 0.1) << "attack (ms)";
    // The release falls in a straight line at first: drawn back, from where?
    size_t eighty = from(top, full * 0.8), sixty = from(top, full * 0.6);
    double gate_off = 2.0 * eighty - sixty;
    EXPECT_NEAR(gate_off - gate_on, 15 * kSamplesPerFrame / 48, 3) << "held (ms)";
    EXPECT_NEAR(from(eighty, level1 / 2) - gate_off, 300 * pal, 300 * pal * 0.1) << "release (ms)";

    // The third note's gate opens 41 frames after the second's, with the
    // counter near 19,656 + (under 392): 32,768 - that, some 13 ms, pass
    // before the attack starts.
    double third_gate = gate_on + 41 * kSamplesPerFrame / 48;
    size_t third = (Onset(start + static_cast<size_t>(third_gate * 48) - 48) - start) / 48;
    EXPECT_NEAR(third - third_gate, 13.1 * pal, 1.5) << "delay (ms)";
}

TEST_F(SidSound, DecayStopsAtTheSustainLevel) {
    std::vector<Write> script = Tone(0, 1000, kTriangle);
    script[4].value = 0x90;  // sustain 9 of 15, release 0
    script.back().frames = 20;
    size_t start = Play(script + std::vector<Write>{{kControl, kTriangle, 2}});
    std::vector<double> env = sound::PeakEnvelope(capture.samples, start, 48);
    double full = *std::max_element(env.begin(), env.begin() + 20);  // the 2 ms attack's top
    double held = env[200];
    EXPECT_NEAR(held / full, 9 * 17 / 255.0, 0.03);
}

// The noise register's output is broadband: every octave from 250 Hz to
// 8 kHz holds about as much power as the others (it falls a few dB towards
// the top, the register's neighbouring output bits being related), and the
// frequency register's own pitch does not stand out.
TEST_F(SidSound, NoiseSpreadsItsPowerAcrossTheBand) {
    std::vector<Write> script = Tone(0, 3800, kNoise);  // the register near its top
    script.back().frames = 30;
    size_t start = Play(script);
    std::vector<double> x = Take(start, 2, 25);
    std::vector<double> octaves;
    for (double f = 250; f < 8000; f *= 2) octaves.push_back(sound::BandPower(x, f, 2 * f));
    double mean = 0;
    for (double p : octaves) mean += p / octaves.size();
    for (size_t i = 0; i < octaves.size(); i++) {
        EXPECT_GT(octaves[i], mean / 4) << "octave " << i << " within 6 dB";
        EXPECT_LT(octaves[i], mean * 4) << "octave " << i << " within 6 dB";
    }
    EXPECT_LT(sound::BandPower(x, 3700, 3900), 2 * sound::BandPower(x, 2500, 5000));
}

// Voice 1's triangle ring-modulated by voice 3 (kept silent by its
// envelope) gives the sum and difference of the two frequencies in place of
// voice 1's own; synced to voice 3 instead, voice 1's sawtooth restarts on
// voice 3's period, so its sound falls on voice 3's harmonics.
TEST_F(SidSound, RingModulationAndHardSyncMakeTheirSidebands) {
    std::vector<Write> v3 = {{kVoice3 + kFreqLo, static_cast<u8>(Register(300) & 0xFF), 0},
                             {kVoice3 + kFreqHi, static_cast<u8>(Register(300) >> 8), 0},
                             {kVoice3 + kControl, kTriangle, 0}};
    std::vector<Write> script = v3 + Tone(0, 1000, kTriangle);
    script.back().frames = 10;
    script = script + std::vector<Write>{{kControl, kTriangle | kRing | kGate, 10},
                                         {kControl, kSaw | kGate, 10},
                                         {kControl, kSaw | kSync | kGate, 10}};
    size_t start = Play(script);
    std::vector<double> plain = Take(start, 2, 7), ring = Take(start, 12, 7);
    std::vector<double> saw = Take(start, 22, 7), synced = Take(start, 32, 7);
    double carrier = sound::Strength(plain, 1000);
    EXPECT_GT(sound::Strength(ring, 700), carrier / 4);
    EXPECT_GT(sound::Strength(ring, 1300), carrier / 4);
    EXPECT_LT(sound::Strength(ring, 1000), carrier / 10);
    EXPECT_LT(sound::Strength(plain, 700) + sound::Strength(plain, 1300), carrier / 20);

    double saw_fundamental = sound::Strength(saw, 1000);
    EXPECT_GT(sound::Strength(synced, 900) + sound::Strength(synced, 1200), saw_fundamental / 2);
    EXPECT_LT(sound::Strength(synced, 1000), saw_fundamental / 10);
    EXPECT_LT(sound::Strength(saw, 900) + sound::Strength(saw, 1200), saw_fundamental / 20);
}

TEST_F(SidSound, LowPassFilterKeepsWhatLiesBelowItsCutoffAndCutsWhatLiesAbove) {
    u16 cutoff = 0;
    while (SidFilter::cutoff_hz(cutoff) < 1000) cutoff++;
    std::vector<Write> script = Tone(0, 220, kSaw);
    script.back().frames = 10;
    script = script + std::vector<Write>{{kCutoffLo, static_cast<u8>(cutoff & 7), 0},
                                         {kCutoffHi, static_cast<u8>(cutoff >> 3), 0},
                                         {kResFilt, 0x01, 0},
                                         {kModeVolume, 0x1F, 10}};
    size_t start = Play(script);
    std::vector<double> open = Take(start, 2, 7), filtered = Take(start, 12, 7);
    double f0 = Hz(Register(220));
    EXPECT_GT(sound::Strength(filtered, f0), 0.7 * sound::Strength(open, f0));
    // Twenty times the cutoff's neighbourhood: two poles take at least 20 dB.
    EXPECT_LT(sound::Strength(filtered, 20 * f0), 0.1 * sound::Strength(open, 20 * f0));
}

TEST_F(SidSound, ThreeVoicesSoundTogether) {
    std::vector<Write> script = Tone(0, 523.3, kTriangle) + Tone(kVoice2, 659.3, kTriangle) + Tone(kVoice3, 784, kTriangle);
    script.back().frames = 15;
    size_t start = Play(script);
    std::vector<double> x = Take(start, 3, 10);
    double c = sound::Strength(x, Hz(Register(523.3))), e = sound::Strength(x, Hz(Register(659.3))),
           g = sound::Strength(x, Hz(Register(784)));
    EXPECT_NEAR(e / c, 1.0, 0.2);
    EXPECT_NEAR(g / c, 1.0, 0.2);
    EXPECT_LT(sound::Strength(x, 600), c / 20) << "nothing between the notes";
}

TEST_F(SidSound, VolumeWritesAtAudioRatePlayAsFourBitSamples) {
    const u8 levels[] = {15, 0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15, 0, 15, 7};
    const u32 n = sizeof(levels);
    Settle(0);
    Load("digi");
    for (u32 i = 0; i < n; i++) Poke(static_cast<u16>(kScript + i), levels[i]);
    Poke(kDigiCount, static_cast<u8>(n));
    Run(5);
    size_t start = Onset(0);
    ASSERT_LT(start, capture.samples.size());
    // One level every 253 cycles; each is read in the middle of its stretch.
    const double step = 253 * sound::kRate / kClockHz;
    std::vector<double> heard;
    for (u32 k = 0; k < n; k++) heard.push_back(capture.samples[start + static_cast<size_t>((k + 0.5) * step)]);
    // Step by step the output moves in proportion to the level (the coupling
    // to the output lets the average drift, the steps stay).
    double scale = (heard[0] - heard[1]) / 15.0;
    ASSERT_GT(scale, 100);
    for (u32 k = 1; k + 1 < n; k++) {
        double expected = (levels[k + 1] - levels[k]) * scale;
        EXPECT_NEAR(heard[k + 1] - heard[k], expected, 0.5 * scale) << "step " << k;
    }
}

TEST_F(SidSound, WarpAndMuteSendNothingWhileTheChipRuns) {
    std::vector<Write> script = Tone(0, 440, kSaw);
    script.back().frames = 1;
    Play(script);
    size_t heard = capture.samples.size();
    u32 phase = hm.machine().sid()->voice(0).accumulator();
    hm.machine().warp(true);
    hm.run_passes(20);
    EXPECT_EQ(capture.samples.size(), heard) << "warp";
    hm.machine().warp(false);
    hm.machine().mute(true);
    hm.run_passes(20);
    EXPECT_EQ(capture.samples.size(), heard) << "muted";
    hm.machine().mute(false);
    hm.run_passes(5);
    EXPECT_GT(capture.samples.size(), heard + 4 * 900);
    // The oscillator ran on meanwhile.
    EXPECT_NE(hm.machine().sid()->voice(0).accumulator(), phase);
}

}  // namespace

// The SID in text mode, where the machine runs faster than a C64: notes
// keep their length on the wall clock, voice 3's oscillator reads as it
// runs, and the monitor's Q switches the sound off and on for good.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "c64/c64.h"
#include "c64/memory.h"
#include "c64/sid.h"
#include "tests/support/audio_capture.h"
#include "tests/support/headless_machine.h"
#include "tests/unit/sid/sound_analysis.h"

namespace {

constexpr u16 kResults = 0xC000;
using tarn::Key;

class SidTextMode : public ::testing::Test {
protected:
    void SetUp() override {
        // Each pass stands for 20 ms of wall time, while its 12,000
        // instructions take a C64 some 40 ms: the SID must not follow them.
        ASSERT_TRUE(hm.boot());
        hm.machine().sid()->sink(&capture);
    }
    void TearDown() override { hm.machine().sid()->sink(nullptr); }

    HeadlessMachine hm;
    AudioCapture capture{48000, [this] { return hm.now_ms() / 1000.0; }};
};

TEST_F(SidTextMode, AnAttackTakesItsTimeOnTheWallClock) {
    // Attack 10: 500 ms at 1 MHz, 507.6 ms on a PAL clock.
    hm.type_and_run("POKE54296,15\n", 20);  // the volume's click fades first
    capture.samples.clear();
    hm.type_and_run("POKE54277,160:POKE54278,240:POKE54273,28:POKE54272,214:POKE54276,17\n", 75);
    ASSERT_TRUE(hm.screen_has("READY."));
    std::vector<double> env = sound::PeakEnvelope(capture.samples, 0, 48);  // 1 ms windows
    double full = *std::max_element(env.begin(), env.end());
    size_t onset = std::find_if(env.begin(), env.end(), [&](double v) { return v > full * 0.02; }) - env.begin();
    size_t top = std::find_if(env.begin(), env.end(), [&](double v) { return v >= full * 0.99; }) - env.begin();
    EXPECT_NEAR(top - onset, 507.6, 50.8) << "ms";
    // And at its pitch: 7382 x 985248 / 2^24 = 433.5 Hz.
    EXPECT_NEAR(sound::Pitch(sound::Slice(capture.samples, (top + 20) * 48, 48000)), 433.5, 433.5 * 0.005);
}

TEST_F(SidTextMode, Voice3ReadsAsItsNoiseRunsAndItsEnvelopeAsItStands) {
    hm.type_and_run("POKE54287,255:POKE54291,0:POKE54292,240:POKE54290,129\n", 20);
    hm.type_and_run("FORI=0TO99:POKE49152+I,PEEK(54299):NEXT:POKE49252,PEEK(54300)\n", 200);
    ASSERT_TRUE(hm.screen_has("READY."));
    std::set<u8> values;
    for (u16 i = 0; i < 100; i++) values.insert(hm.mem().read_byte_no_io(kResults + i));
    EXPECT_GT(values.size(), 50u) << "random numbers from the noise";
    EXPECT_EQ(hm.mem().read_byte_no_io(kResults + 100), 255) << "the envelope at its sustain level";
}

// Pause (its scan codes as a PC keyboard sends them, press and release at
// once) quietens the machine, across a reset too; the monitor's Q brings
// the sound back.
TEST_F(SidTextMode, PauseQuietensTheSoundAcrossAResetAndTheMonitorsQBringsItBack) {
    const std::vector<uint8_t> kPause = {0xE1, 0x1D, 0x45, 0xE1, 0x9D, 0xC5};
    hm.type_and_run("POKE54296,15:POKE54278,240:POKE54273,28:POKE54276,17\n", 40);
    ASSERT_GT(capture.samples.size(), 0u);
    hm.scan(kPause);
    hm.run_pass();
    size_t heard = capture.samples.size();
    hm.run_passes(40);
    EXPECT_EQ(capture.samples.size(), heard);

    hm.rebuild();  // F10: a fresh machine, still quiet
    EXPECT_TRUE(hm.machine().sid()->muted());
    hm.tap_key(Key::Escape);
    hm.monitor_script("Q\n");
    hm.monitor_script_key(Key::Escape);
    hm.run_pass();
    EXPECT_TRUE(hm.console().contains("sound on"));
    EXPECT_FALSE(hm.machine().sid()->muted());
}

}  // namespace

// The SID tone end to end: BASIC POKEs on the whole machine reach the speaker.
#include <gtest/gtest.h>

#include <string>

#include "c64/c64.h"
#include "c64/sid.h"
#include "drivers/speaker.h"
#include "host/speaker_tone.h"
#include "tests/support/headless_machine.h"
#include "tests/support/sim_pit.h"

using tarn::drivers::SpeakerDriver;

namespace {

class SidMachine : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().attach(&timer);
        hm.machine().sid()->sink(&tone);  // as start-up does for each machine
        ASSERT_TRUE(hm.boot());
    }
    void TearDown() override { simbus::bus().detach(&timer); }

    HeadlessMachine hm;
    simbus::SimPit timer;
    SpeakerDriver speaker;
    tarn::host::SpeakerTone tone{&speaker};
};

}  // namespace

TEST_F(SidMachine, PokedVolumeAndVoice1FrequencySound450Hz) {
    hm.type_and_run("POKE54296,15:POKE54273,28:POKE54272,214\n", 20);
    ASSERT_TRUE(hm.screen_has("READY.")) << hm.row(0);
    EXPECT_TRUE(timer.speaker_on());
    EXPECT_EQ(timer.speaker_hz(), 450u);
    hm.type_and_run("POKE54296,0\n", 20);
    EXPECT_FALSE(timer.speaker_on());
}

TEST_F(SidMachine, ToneOutlivesTheMachineUntilTheNextOneWritesTheSid) {
    hm.type_and_run("POKE54296,15:POKE54287,28:POKE54286,214\n", 20);  // voice 3
    ASSERT_EQ(timer.speaker_hz(), 450u);
    hm.rebuild();
    hm.machine().sid()->sink(&tone);
    EXPECT_EQ(timer.speaker_hz(), 450u);  // nothing has run on the new machine yet
    hm.run_passes(1);                     // the KERNAL's reset turns the volume down
    EXPECT_FALSE(timer.speaker_on());
    hm.run_passes(200);
    ASSERT_TRUE(hm.screen_has("READY."));
    hm.type_and_run("POKE54296,15\n", 20);  // fresh chip: frequency registers read 0
    EXPECT_FALSE(timer.speaker_on());       // and a 0 Hz tone starts nothing
    hm.type_and_run("POKE54273,56\n", 20);
    EXPECT_EQ(timer.speaker_hz(), 1193182u / (1193180u / (0x3800u * 6097 / 100000)));
}

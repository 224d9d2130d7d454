// PC speaker: divisor from frequency, channel-2 programming and the gate at port 0x61.
#include <gtest/gtest.h>

#include <vector>

#include "drivers/speaker.h"
#include "tests/support/sim_pit.h"
#include "tests/unit/devices/devices_fixture.h"

using tarn::drivers::SpeakerDriver;
using simbus::R8;
using simbus::W8;

namespace {

class Speaker : public DevicesBus {
protected:
    void SetUp() override {
        DevicesBus::SetUp();
        simbus::bus().attach(&timer);
    }
    // The two divisor bytes channel 2 received in the last Sound.
    std::vector<simbus::Access> channel2_writes() const { return simbus::bus().log_for(0x42); }

    simbus::SimPit timer;
    SpeakerDriver speaker;
};

}  // namespace

TEST_F(Speaker, Sound440ProgramsDivisor2711AndOpensTheGate) {
    timer.port_b = 0x00;
    speaker.Sound(440);
    // The refresh bit (4) reads back set on the first read of port B.
    std::vector<simbus::Access> expected = {W8(0x43, 0xB6), W8(0x42, 0x97), W8(0x42, 0x0A),
                                            R8(0x61, 0x10), W8(0x61, 0x13)};
    EXPECT_EQ(log(), expected);
    EXPECT_EQ(timer.channel[2].reload, 2711);
    EXPECT_EQ(timer.channel[2].mode, 3);
    EXPECT_TRUE(timer.speaker_on());
    EXPECT_EQ(timer.speaker_hz(), 440u);
}

TEST_F(Speaker, LowFrequenciesGiveLargeDivisorsCutTo16Bits) {
    speaker.Sound(20);
    EXPECT_EQ(timer.channel[2].reload, 59659);
    EXPECT_EQ(channel2_writes(), (std::vector<simbus::Access>{W8(0x42, 0x0B), W8(0x42, 0xE9)}));
    simbus::bus().clear_log();
    speaker.Sound(18);  // 66287 does not fit: the low 16 bits remain
    EXPECT_EQ(timer.channel[2].reload, 0x02EF);
    EXPECT_EQ(channel2_writes(), (std::vector<simbus::Access>{W8(0x42, 0xEF), W8(0x42, 0x02)}));
}

TEST_F(Speaker, RetuningASoundingToneLeavesTheGateAlone) {
    speaker.Sound(440);
    int gate_writes = timer.port_b_writes;
    simbus::bus().clear_log();
    speaker.Sound(880);
    EXPECT_EQ(timer.port_b_writes, gate_writes);
    auto gate = simbus::bus().log_for(0x61);
    ASSERT_EQ(gate.size(), 1u);
    EXPECT_EQ(gate[0].kind, simbus::Access::kRead);
    EXPECT_EQ(timer.speaker_hz(), 1193182u / (1193180 / 880));
}

TEST_F(Speaker, HalfOpenGateIsCompletedAndOtherPortBBitsKept) {
    timer.port_b = 0x0D;  // timer gate on, speaker data off, check enables set
    speaker.Sound(1000);
    EXPECT_EQ(timer.port_b, 0x0F);
    EXPECT_EQ(timer.port_b_writes, 1);
}

TEST_F(Speaker, NosoundClosesTheGateAndKeepsTheDivisor) {
    timer.port_b = 0x0C;
    speaker.Sound(440);
    simbus::bus().clear_log();
    speaker.Nosound();
    EXPECT_EQ(log(), (std::vector<simbus::Access>{R8(0x61, 0x0F), W8(0x61, 0x0C)}));
    EXPECT_FALSE(timer.speaker_on());
    EXPECT_EQ(timer.speaker_hz(), 0u);
    EXPECT_EQ(timer.channel[2].reload, 2711);
}

TEST_F(Speaker, SoundOfZeroTouchesNoPort) {
    speaker.Sound(440);
    simbus::bus().clear_log();
    speaker.Sound(0);
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(timer.speaker_hz(), 440u);
}

TEST_F(Speaker, PitchesAtAndAboveTheTimerClockGiveDivisorOneThenZero) {
    speaker.Sound(1193180);
    EXPECT_EQ(timer.channel[2].reload, 1);
    speaker.Sound(0xFFFFFFFFu);  // far above the timer clock: divisor 0 (65536)
    EXPECT_EQ(timer.channel[2].reload, 0);
}

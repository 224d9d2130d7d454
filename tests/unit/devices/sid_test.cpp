// SID on the PC speaker: frequency registers of any voice pick the tone,
// the volume register switches it, everything else is ignored.
#include <gtest/gtest.h>

#include <vector>

#include "c64/memory.h"
#include "c64/sid.h"
#include "drivers/speaker.h"
#include "host/speaker_tone.h"
#include "tests/support/sim_pit.h"
#include "tests/unit/devices/devices_fixture.h"

using tarn::drivers::SpeakerDriver;

namespace {

class SidSound : public DevicesBus {
protected:
    void SetUp() override {
        DevicesBus::SetUp();
        simbus::bus().attach(&timer);
        sid.sink(&tone);
    }
    // Divisor the speaker driver programs for a tone of hz.
    static uint16_t divisor_for(uint32_t hz) { return static_cast<uint16_t>(1193180 / hz); }

    simbus::SimPit timer;
    SpeakerDriver speaker;
    tarn::host::SpeakerTone tone{&speaker};
    Sid sid;
};

}  // namespace

TEST_F(SidSound, Voice1Value7382Sounds450Hz) {
    sid.write_register(0x18, 0x0F);
    sid.write_register(0x01, 0x1C);
    sid.write_register(0x00, 0xD6);
    EXPECT_EQ(sid.frequency(), 450u);  // 7382 x 0.06097 = 450.08
    EXPECT_TRUE(timer.speaker_on());
    EXPECT_EQ(timer.channel[2].reload, divisor_for(450));
    EXPECT_EQ(timer.speaker_hz(), 450u);
}

TEST_F(SidSound, EachFrequencyByteRetunesWithTheOtherHalfLastWritten) {
    sid.write_register(0x18, 0x0F);
    sid.write_register(0x01, 0x1C);  // 0x1C00 with the low byte still 0
    EXPECT_EQ(sid.frequency(), 0x1C00u * 6097 / 100000);
    EXPECT_EQ(timer.channel[2].reload, divisor_for(0x1C00u * 6097 / 100000));
    EXPECT_EQ(timer.channel[2].loads, 1);
    sid.write_register(0x00, 0xD6);
    EXPECT_EQ(timer.channel[2].loads, 2);
}

TEST_F(SidSound, VolumeZeroSilencesWhateverTheFrequency) {
    sid.write_register(0x18, 0x0F);
    sid.write_register(0x01, 0x30);
    ASSERT_TRUE(timer.speaker_on());
    int loads = timer.channel[2].loads;
    sid.write_register(0x18, 0x00);
    EXPECT_FALSE(timer.speaker_on());
    EXPECT_EQ(timer.channel[2].loads, loads);  // no retune on the way out
    sid.write_register(0x0F, 0x40);            // frequency writes stay silent
    EXPECT_FALSE(timer.speaker_on());
}

TEST_F(SidSound, FilterModeBitsAloneKeepTheToneOn) {
    sid.write_register(0x01, 0x20);
    EXPECT_FALSE(timer.speaker_on());  // volume still 0 from the start
    sid.write_register(0x18, 0x10);    // low-pass mode, volume 0
    EXPECT_TRUE(timer.speaker_on());
    EXPECT_EQ(timer.speaker_hz(), 1193182u / divisor_for(0x2000u * 6097 / 100000));
}

TEST_F(SidSound, ValueBelow17LeavesTheSoundingToneAlone) {
    sid.write_register(0x18, 0x0F);
    sid.write_register(0x01, 0x1C);
    sid.write_register(0x00, 0xD6);
    simbus::bus().clear_log();
    sid.write_register(0x01, 0x00);  // 0x00D6 = 214: 13 Hz, still a tone
    EXPECT_EQ(sid.frequency(), 13u);
    sid.write_register(0x00, 0x10);  // 16: 0 Hz
    simbus::bus().clear_log();
    sid.write_register(0x07, 0x10);  // voice 2 low, same value
    EXPECT_EQ(sid.frequency(), 0u);
    EXPECT_TRUE(log().empty());
    EXPECT_TRUE(timer.speaker_on());
}

TEST_F(SidSound, Voice3HighByteChangesTheToneVoice1Set) {
    sid.write_register(0x18, 0x0F);
    sid.write_register(0x00, 0x00);
    sid.write_register(0x01, 0x10);
    uint32_t voice1 = timer.speaker_hz();
    sid.write_register(0x0F, 0x20);
    EXPECT_NE(timer.speaker_hz(), voice1);
    EXPECT_EQ(sid.frequency(), 0x2000u * 6097 / 100000);
    sid.write_register(0x08, 0x40);  // voice 2 high as well
    EXPECT_EQ(sid.frequency(), 0x4000u * 6097 / 100000);
    sid.write_register(0x0E, 0xFF);  // voice 3 low
    EXPECT_EQ(sid.frequency(), 0x40FFu * 6097 / 100000);
}

TEST_F(SidSound, OtherRegistersChangeNothing) {
    sid.write_register(0x18, 0x0F);
    sid.write_register(0x01, 0x1C);
    sid.write_register(0x00, 0xD6);
    simbus::bus().clear_log();
    for (int r = 0; r < 256; ++r) {
        bool used = r == 0x00 || r == 0x01 || r == 0x07 || r == 0x08 || r == 0x0E ||
                    r == 0x0F || r == 0x18;
        if (!used) sid.write_register(static_cast<u8>(r), 0x00);
    }
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(sid.frequency(), 450u);
    EXPECT_EQ(sid.volume(), 0x0F);
}

TEST_F(SidSound, FrequencyScaleAtTheEdges) {
    EXPECT_EQ(sid.getFrequency(0x00, 0x00), 0u);
    EXPECT_EQ(sid.getFrequency(0x00, 16), 0u);
    EXPECT_EQ(sid.getFrequency(0x00, 17), 1u);
    EXPECT_EQ(sid.getFrequency(0x1C, 0xD6), 450u);
    EXPECT_EQ(sid.getFrequency(0xFF, 0xFF), 3995u);  // 65535 x 0.06097 = 3995.67
    for (uint32_t v = 0; v < 65536; v += 997)
        EXPECT_EQ(sid.getFrequency(v >> 8, v & 0xFF), static_cast<uint32_t>(v * 0.06097)) << v;
}

TEST_F(SidSound, WithoutASpeakerWritesAreKeptAndNothingIsDriven) {
    Sid bare;
    bare.write_register(0x18, 0x0F);
    bare.write_register(0x01, 0x1C);
    bare.write_register(0x00, 0xD6);
    EXPECT_EQ(bare.frequency(), 450u);
    bare.write_register(0x18, 0x00);
    EXPECT_TRUE(log().empty());
}

TEST_F(SidSound, CpuWritesToTheSidPageReachTheSpeaker) {
    Memory mem;
    mem.sid(&sid);
    mem.write_byte(0xD418, 0x0F);
    mem.write_byte(0xD401, 0x1C);
    mem.write_byte(0xD400, 0xD6);
    EXPECT_EQ(timer.speaker_hz(), 450u);
    mem.write_byte(0xD518, 0x00);  // outside the page the SID answers
    EXPECT_TRUE(timer.speaker_on());
    mem.write_byte(0x0001, 0x30);  // all RAM: the SID is banked out
    mem.write_byte(0xD418, 0x00);
    EXPECT_TRUE(timer.speaker_on());
    mem.write_byte(0x0001, 0x37);
    mem.write_byte(0xD418, 0x00);
    EXPECT_FALSE(timer.speaker_on());
}

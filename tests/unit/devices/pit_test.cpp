// Interval timer channel 0: programming sequence, the tick and the millisecond counter.
#include <gtest/gtest.h>

#include <vector>

#include "host/pc_clock.h"
#include "drivers/pit.h"
#include "tests/support/sim_pit.h"
#include "tests/unit/devices/devices_fixture.h"

using tarn::drivers::PITDriver;
using tarn::drivers::PITEventHandler;
using simbus::W8;

namespace {

// Counts events and notes how many port accesses preceded OnActivate.
class CountingTimerSink : public PITEventHandler {
public:
    void OnActivate() override {
        ++activations;
        accesses_at_activate = simbus::bus().log().size();
    }
    void OnTick() override { ++ticks; }
    int activations = 0;
    int ticks = 0;
    size_t accesses_at_activate = 99;
};

class Pit : public DevicesBus {
protected:
    void SetUp() override {
        DevicesBus::SetUp();
        simbus::bus().attach(&timer);
    }
    simbus::SimPit timer;
    CountingTimerSink sink;
};

}  // namespace

TEST_F(Pit, RegistersForInterrupt0x20) {
    PITDriver pit(manager, &sink);
    EXPECT_EQ(manager->HandlerAt(0x20), &pit);
}

TEST_F(Pit, ActivateProgramsChannel0SquareWaveWithDivisor1193) {
    PITDriver pit(manager, &sink);
    pit.Activate();
    std::vector<simbus::Access> expected = {W8(0x43, 0x36), W8(0x40, 0xA9), W8(0x40, 0x04)};
    EXPECT_EQ(log(), expected);
    EXPECT_EQ(sink.activations, 1);
    EXPECT_EQ(sink.accesses_at_activate, 0u);  // the sink hears first

    const simbus::SimPit::Channel& c0 = timer.channel[0];
    EXPECT_EQ(c0.mode, 3);
    EXPECT_EQ(c0.access, 3);
    EXPECT_FALSE(c0.bcd);
    EXPECT_EQ(c0.reload, 1193);
    EXPECT_EQ(timer.frequency(0), 1000u);  // 1193182 / 1193 = 1000.15
    EXPECT_FALSE(timer.channel[2].loaded);  // the speaker channel is left alone
}

TEST_F(Pit, ActivateWithoutSinkStillProgramsTheTimer) {
    PITDriver pit(manager, nullptr);
    pit.Activate();
    EXPECT_EQ(timer.channel[0].reload, 1193);
    EXPECT_EQ(timer.channel[0].loads, 1);
}

TEST_F(Pit, EachInterruptIsOneTickAndTheFrameIsKept) {
    PITDriver pit(manager, &sink);
    pit.Activate();
    EXPECT_EQ(deliver(0x20, 0x1234), 0x1234u);
    deliver(0x20);
    deliver(0x20);
    EXPECT_EQ(sink.ticks, 3);
    EXPECT_EQ(pic.master.eoi_count, 3);
}

TEST_F(Pit, InterruptWithoutSinkIsAcknowledgedAndIgnored) {
    PITDriver pit(manager, nullptr);
    EXPECT_EQ(deliver(0x20, 0x4000), 0x4000u);
    EXPECT_EQ(pic.master.eoi_count, 1);
}

TEST_F(Pit, TheHostClockCountsAMillisecondATick) {
    tarn::host::PcClock clock;
    PITDriver pit(manager, &clock);
    pit.Activate();
    u32 start = clock.milliseconds();
    for (int i = 0; i < 5; ++i) deliver(0x20);
    EXPECT_EQ(clock.milliseconds() - start, 5u);
}

// The model itself: what the speaker and timer tests read back must be right.
TEST_F(Pit, ModelLatchesAndReadsCountLowThenHigh) {
    simbus::bus().set_logging(false);
    simbus::bus().write(0x43, 0x34, 8);  // channel 0, lo/hi, mode 2
    simbus::bus().write(0x40, 0x00, 8);
    simbus::bus().write(0x40, 0x10, 8);  // 0x1000
    timer.advance(0x0123);
    simbus::bus().write(0x43, 0x00, 8);  // latch channel 0
    timer.advance(5);                    // the latch holds
    EXPECT_EQ(simbus::bus().read(0x40, 8), 0xDDu);
    EXPECT_EQ(simbus::bus().read(0x40, 8), 0x0Eu);
    EXPECT_EQ(timer.channel[0].mode, 2);
    EXPECT_EQ(timer.frequency(0), 1193182u / 0x1000);
}

TEST_F(Pit, ModelCountsZeroAs65536) {
    simbus::bus().write(0x43, 0xB6, 8);
    simbus::bus().write(0x42, 0x00, 8);
    simbus::bus().write(0x42, 0x00, 8);
    EXPECT_EQ(timer.frequency(2), 18u);
    EXPECT_EQ(timer.channel[2].count, 65536u);
}

// Interval timer: programming sequence, the tick, and the host clock read
// from channel 1's free count or the time-stamp counter.
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

// A 3 GHz time-stamp counter: 2514 of its cycles to each timer clock.
constexpr u64 kTscPerClock = 2514;

}  // namespace

TEST_F(Pit, RegistersForInterrupt0x20) {
    PITDriver pit(manager, &sink);
    EXPECT_EQ(manager->HandlerAt(0x20), &pit);
}

TEST_F(Pit, ActivateProgramsChannel0SquareWaveWithDivisor1193AndChannel1FreeRunning) {
    PITDriver pit(manager, &sink);
    pit.Activate();
    std::vector<simbus::Access> expected = {W8(0x43, 0x36), W8(0x40, 0xA9), W8(0x40, 0x04),
                                            W8(0x43, 0x74), W8(0x41, 0x00), W8(0x41, 0x00)};
    EXPECT_EQ(log(), expected);
    EXPECT_EQ(sink.activations, 1);
    EXPECT_EQ(sink.accesses_at_activate, 0u);  // the sink hears first

    const simbus::SimPit::Channel& c0 = timer.channel[0];
    EXPECT_EQ(c0.mode, 3);
    EXPECT_EQ(c0.access, 3);
    EXPECT_FALSE(c0.bcd);
    EXPECT_EQ(c0.reload, 1193);
    EXPECT_EQ(timer.frequency(0), 1000u);  // 1193182 / 1193 = 1000.15
    EXPECT_EQ(timer.channel[1].mode, 2);
    EXPECT_EQ(simbus::SimPit::period(timer.channel[1]), 65536u);
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

// The host's clock keeps time from the timer's free count, so ticks that
// come late or not at all lose nothing.
TEST_F(Pit, TheClockKeepsTimeFromTheFreeCountWhenTicksAreLost) {
    tarn::host::PcClock clock;
    PITDriver pit(manager, &clock);
    pit.Activate();
    // The counters run while the kernel reads them, beside a 3 GHz
    // time-stamp counter whose rate CPUID does not promise.
    timer.clocks_per_access = 1;
    simbus::bus().tsc_per_access = kTscPerClock;
    clock.start(&pit);
    ASSERT_EQ(clock.source(), tarn::host::PcClock::kPitCount);
    auto pass = [&](u32 clocks) {
        timer.advance(clocks);
        simbus::bus().tsc += u64{clocks} * kTscPerClock;
    };
    u32 start = clock.milliseconds();
    // Three seconds in which only one tick in ten reaches the kernel.
    for (int ms = 1; ms <= 3000; ms++) {
        pass(1193);
        if (ms % 10 == 0) deliver(0x20);
    }
    EXPECT_NEAR(static_cast<double>(clock.milliseconds() - start), 3000.0, 3.0);
    // Then 1.2 s without a tick or a read, 21.8 of the count's periods.
    pass(1193182 * 6 / 5);
    deliver(0x20);
    EXPECT_NEAR(static_cast<double>(clock.milliseconds() - start), 4200.0, 4.0);
}

TEST_F(Pit, WithoutAFreeCountTheTicksAreCountedAndAnInvariantTscIsCalibrated) {
    tarn::host::PcClock ticks;
    PITDriver pit(manager, &ticks);
    pit.Activate();
    ticks.start(&pit);  // the count stands still: an unwired channel 1
    EXPECT_EQ(ticks.source(), tarn::host::PcClock::kTicks);
    u32 start = ticks.milliseconds();
    for (int i = 0; i < 5; ++i) deliver(0x20);
    EXPECT_EQ(ticks.milliseconds() - start, 5u);

    // A 3 GHz time-stamp counter (one bus access each while the
    // calibration reads the timer).
    tarn::host::PcClock tsc;
    timer.clocks_per_access = 1;
    simbus::bus().invariant_tsc = true;
    simbus::bus().tsc_per_access = kTscPerClock;
    tsc.start(&pit);
    ASSERT_EQ(tsc.source(), tarn::host::PcClock::kTsc);
    u32 at = tsc.milliseconds();
    simbus::bus().tsc += kTscPerClock * 1193182 * 2;  // two seconds
    EXPECT_NEAR(static_cast<double>(tsc.milliseconds() - at), 2000.0, 2.0);
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

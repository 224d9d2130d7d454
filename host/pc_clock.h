// The machine's clock on the PC. Time is read from a counter that loses
// nothing however late interrupts come: the time-stamp counter where the
// processor runs it at one rate (calibrated against the interval timer),
// else the interval timer's channel 1, counting freely and read at least
// every millisecond tick (the TSC, even at a changing rate, tells the
// periods of the count that pass between two reads when ticks stop for
// longer than one). Only where neither counts are the ticks of the
// 1 kHz interrupt themselves counted. Waits halt the processor until the
// next interrupt.
#ifndef TARN_HOST_PC_CLOCK_H
#define TARN_HOST_PC_CLOCK_H

#include "drivers/pit.h"
#include "lib/clock.h"
#include "lib/types.h"

namespace tarn {
namespace host {

class PcClock : public Clock, public drivers::PITEventHandler {
public:
    enum Source : u8 { kTicks, kPitCount, kTsc };
    // Input clocks the TSC is measured over; the most reads of the count
    // the calibration may take, and the probe for a count that moves.
    static constexpr u32 kCalibrationClocks = drivers::PITDriver::kInputHz / 20;  // 50 ms
    static constexpr u32 kCalibrationReads = 1000000;
    static constexpr u32 kProbeReads = 1000;
    static constexpr u32 kPeriod = 65536;  // channel 1's period in input clocks

    // Chooses the counter; call with the timer active and interrupts on.
    void start(drivers::PITDriver* pit);
    Source source() const { return source_; }
    const char* source_name() const;

    u32 milliseconds() override;
    void wait_until(u32 due) override;
    // The timer interrupt.
    void OnTick() override;

private:
    u64 pit_clocks();
    bool pit_counts();
    void sample(u64* clocks, u64* tsc);
    bool calibrate_tsc();

    drivers::PITDriver* pit_ = nullptr;
    Source source_ = kTicks;
    volatile u32 ticks_ = 0;
    // Channel 1: input clocks counted so far, the count last read and the
    // TSC beside it.
    u64 clocks_ = 0;
    u16 last_count_ = 0;
    u64 last_tsc_ = 0;
    // The TSC's rate (0: unknown) and where it stood at time 0.
    u64 tsc_start_ = 0;
    u64 tsc_hz_ = 0;
};

}  // namespace host
}  // namespace tarn

#endif

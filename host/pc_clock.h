// The machine's clock on the PC: milliseconds counted by the interval
// timer's 1 kHz interrupt, and waits that halt the processor until the next
// interrupt.
#ifndef TARN_HOST_PC_CLOCK_H
#define TARN_HOST_PC_CLOCK_H

#include "drivers/pit.h"
#include "lib/clock.h"
#include "lib/types.h"

namespace tarn {
namespace host {

class PcClock : public Clock, public drivers::PITEventHandler {
public:
    u32 milliseconds() override { return ticks_; }
    void wait_until(u32 due) override;
    // The timer interrupt: one millisecond.
    void OnTick() override { ticks_ = ticks_ + 1; }

private:
    volatile u32 ticks_ = 0;
};

}  // namespace host
}  // namespace tarn

#endif

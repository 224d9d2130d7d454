// A bounded wait on a device: it ends when the time allowed has passed on
// the millisecond clock, or, should the clock stand still (no timer
// interrupt yet), after a cap on the polls, so no wait can hang.
#ifndef TARN_DRIVERS_DEADLINE_H
#define TARN_DRIVERS_DEADLINE_H

#include "lib/types.h"

namespace tarn {
namespace drivers {

using MillisecondClock = u32 (*)();

class Deadline {
public:
    Deadline(MillisecondClock clock, u32 ms, u32 pollCap = kDefaultPollCap)
        : clock_(clock), start_(clock ? clock() : 0), ms_(ms), polls_(0), cap_(pollCap) {}

    // True once the wait is over; call once per poll.
    bool Passed() {
        if (++polls_ >= cap_) return true;
        return clock_ && clock_() - start_ >= ms_;
    }

    static constexpr u32 kDefaultPollCap = 400000000;

private:
    MillisecondClock clock_;
    u32 start_;
    u32 ms_;
    u32 polls_;
    u32 cap_;
};

}  // namespace drivers
}  // namespace tarn

#endif

// Wall-clock time as the machine sees it: milliseconds since some start,
// counting on (and wrapping) for ever, and a way to sleep until a moment.
// The host keeps it from a counter that loses nothing; test doubles move it
// by hand.
#ifndef TARN_LIB_CLOCK_H
#define TARN_LIB_CLOCK_H

#include "lib/types.h"

namespace tarn {

class Clock {
public:
    virtual u32 milliseconds() = 0;
    // Returns once milliseconds() has reached `due` (wrap-safe), sleeping
    // meanwhile; bounded, so a clock that stands still cannot hang it.
    virtual void wait_until(u32 due) = 0;

protected:
    ~Clock() = default;
};

}  // namespace tarn

#endif

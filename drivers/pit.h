// 8253/8254 programmable interval timer: tick events.
#ifndef TARN_DRIVERS_PIT_H
#define TARN_DRIVERS_PIT_H

#include "lib/types.h"

namespace kestrel {
namespace drivers {

// Sink for timer ticks; the timer driver calls it from its interrupt handler.
class PITEventHandler {
public:
    PITEventHandler() {}
    virtual void OnTick() {}
};

}  // namespace drivers
}  // namespace kestrel

#endif

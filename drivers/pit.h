// 8253/8254 programmable interval timer: channel 0 as the system's 1 kHz
// tick, channel 1 (once the DRAM refresh timer) as a free-running count the
// clock reads, so time is kept even where ticks are lost.
#ifndef TARN_DRIVERS_PIT_H
#define TARN_DRIVERS_PIT_H

#include "drivers/driver.h"
#include "hardwarecommunication/interrupts.h"
#include "hardwarecommunication/port.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

// Sink for timer events; the timer driver calls it from its interrupt handler.
class PITEventHandler {
public:
    PITEventHandler() {}
    virtual void OnActivate() {}
    virtual void OnTick() {}
};

class PITDriver : public hardwarecommunication::InterruptHandler, public Driver {
public:
    static constexpr u32 kInputHz = 1193182;       // the counters' input clock
    static constexpr u32 kTickHz = 1000;           // ticks a second; one tick = 1 ms
    static constexpr u32 kCrystalCount = 7159093;  // 14.31818 MHz crystal, in units of 2 Hz
    // 7159093 / (6 x 1000) = 1193: the PIT runs at the crystal divided by 12.
    static constexpr u16 kDivisor = kCrystalCount / (6 * kTickHz);

    PITDriver(hardwarecommunication::InterruptManager* manager, PITEventHandler* handler);
    ~PITDriver();

    // Programs channel 0 as a square-wave generator at kTickHz and channel 1
    // as a rate generator over its whole range (65536 input clocks).
    void Activate() override;
    // Channel 1's count, counting down by one each input clock and
    // reloading from 0 to 65535.
    u16 FreeCount();
    // One tick: the handler's OnTick.
    u32 HandleInterrupt(u32 esp) override;

private:
    hardwarecommunication::Port8Bit commandport;
    hardwarecommunication::Port8Bit channel0port;
    hardwarecommunication::Port8Bit channel1port;
    hardwarecommunication::Port8Bit channel2port;
    PITEventHandler* handler;
};

}  // namespace drivers
}  // namespace tarn

#endif

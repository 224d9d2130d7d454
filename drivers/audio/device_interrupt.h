// A sound device's interrupt line, handed to the driver's own routine. Made
// only once the line is known (PCI configuration, or the card's setting).
#ifndef TARN_DRIVERS_AUDIO_DEVICE_INTERRUPT_H
#define TARN_DRIVERS_AUDIO_DEVICE_INTERRUPT_H

#include "hardwarecommunication/interrupts.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace audio {

class DeviceInterrupt : public hardwarecommunication::InterruptHandler {
public:
    typedef void (*Routine)(void* device);
    static constexpr u8 kLines = 16;  // the two 8259s' inputs

    DeviceInterrupt(hardwarecommunication::InterruptManager* manager, u8 line, Routine routine, void* device)
        : InterruptHandler(manager, static_cast<u8>(manager->HardwareInterruptOffset() + line)),
          routine_(routine),
          device_(device) {}

    u32 HandleInterrupt(u32 esp) override {
        routine_(device_);
        return esp;
    }

private:
    Routine routine_;
    void* device_;
};

}  // namespace audio
}  // namespace drivers
}  // namespace tarn

#endif

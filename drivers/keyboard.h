// PS/2 keyboard (8042 controller, first port): scan code set 1 in, key
// events out, into the queue every keyboard shares.
#ifndef TARN_DRIVERS_KEYBOARD_H
#define TARN_DRIVERS_KEYBOARD_H

#include "drivers/driver.h"
#include "drivers/keyboard_decoder.h"
#include "hardwarecommunication/interrupts.h"
#include "hardwarecommunication/port.h"
#include "lib/key_queue.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

class KeyboardDriver : public hardwarecommunication::InterruptHandler, public Driver {
public:
    // Every key goes into `keys` as a key event (null: nowhere).
    KeyboardDriver(hardwarecommunication::InterruptManager* manager, KeyQueue* keys);
    ~KeyboardDriver();

    u32 HandleInterrupt(u32 esp) override;
    void Activate() override;
    // Takes one byte the controller holds, as the interrupt does; false when
    // none waits. The main loop calls it with interrupts off to pick up a
    // byte whose interrupt edge was lost.
    bool TakeByte();

private:
    hardwarecommunication::Port8Bit dataport;
    hardwarecommunication::Port8Bit commandport;
    KeyQueue* keys;
    ScanSet1Decoder decoder;
};

}  // namespace drivers
}  // namespace tarn

#endif

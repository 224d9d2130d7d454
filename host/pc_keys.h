// The machine's key source on the PC: the queue every keyboard fills, read
// by the main loop. When it runs dry the devices that need asking are asked:
// the PS/2 controller for a byte whose interrupt edge was lost, and the
// polled controllers (USB).
#ifndef TARN_HOST_PC_KEYS_H
#define TARN_HOST_PC_KEYS_H

#include "drivers/keyboard.h"
#include "lib/key_queue.h"
#include "lib/types.h"

namespace tarn {
namespace host {

class PcKeys : public KeySource {
public:
    static constexpr int kPollLimit = 16;  // PS/2 bytes taken a poll

    PcKeys(KeyQueue* queue, drivers::KeyboardDriver* ps2) : queue_(queue), ps2_(ps2) {}
    // Called when the queue runs dry (null: nothing to poll).
    void poll_devices(void (*poll)()) { poll_ = poll; }

    bool next(KeyEvent* event) override;

private:
    void poll();

    KeyQueue* queue_;
    drivers::KeyboardDriver* ps2_;
    void (*poll_)() = nullptr;
};

}  // namespace host
}  // namespace tarn

#endif

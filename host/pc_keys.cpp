// The machine's key source on the PC.
#include "host/pc_keys.h"

#include "hardwarecommunication/cpu_control.h"

namespace tarn {
namespace host {

bool PcKeys::next(KeyEvent* event) {
    if (queue_->next(event)) return true;
    poll();
    return queue_->next(event);
}

// Interrupts stay off around each byte: one arriving between the status and
// the data read would take the byte, leaving the data read the latch's
// repeat of it.
void PcKeys::poll() {
    for (int i = 0; ps2_ && i < kPollLimit; i++) {
        hardwarecommunication::cpu_disable_interrupts();
        bool took = ps2_->TakeByte();
        hardwarecommunication::cpu_enable_interrupts();
        if (!took) break;
    }
    if (poll_) poll_();
}

}  // namespace host
}  // namespace tarn

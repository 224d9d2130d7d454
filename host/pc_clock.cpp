// The machine's clock on the PC.
#include "host/pc_clock.h"

#include "hardwarecommunication/cpu_control.h"

namespace tarn {
namespace host {

namespace {
// Other interrupts (keys, disks) wake the processor too: allow a few
// wake-ups a millisecond, and some to spare, before giving up.
constexpr u32 kWakeUpsPerMs = 4;
constexpr u32 kWakeUpsSpare = 16;
}  // namespace

void PcClock::wait_until(u32 due) {
    i32 ahead = static_cast<i32>(due - milliseconds());
    if (ahead <= 0) return;
    u32 rounds = static_cast<u32>(ahead) * kWakeUpsPerMs + kWakeUpsSpare;
    for (u32 i = 0; i < rounds && static_cast<i32>(milliseconds() - due) < 0; i++)
        hardwarecommunication::cpu_wait_for_interrupt();
}

}  // namespace host
}  // namespace tarn

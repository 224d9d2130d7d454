// The machine's clock on the PC.
#include "host/pc_clock.h"

#include "hardwarecommunication/cpu_control.h"

namespace tarn {
namespace host {

using hardwarecommunication::cpu_interrupts_off;
using hardwarecommunication::cpu_interrupts_restore;

namespace {
// Other interrupts (keys, disks) wake the processor too: allow a few
// wake-ups a millisecond, and some to spare, before giving up.
constexpr u32 kWakeUpsPerMs = 4;
constexpr u32 kWakeUpsSpare = 16;
constexpr u32 kInputHz = drivers::PITDriver::kInputHz;
}  // namespace

void PcClock::start(drivers::PITDriver* pit) {
    pit_ = pit;
    bool were_on = cpu_interrupts_off();
    last_count_ = pit_ ? pit_->FreeCount() : 0;
    last_tsc_ = hardwarecommunication::cpu_read_tsc();
    clocks_ = 0;
    tsc_hz_ = 0;
    cpu_interrupts_restore(were_on);
    source_ = pit_counts() ? kPitCount : kTicks;
    // The TSC is measured even where its rate may change: it still tells
    // how many times channel 1 wrapped while nobody read it.
    if (source_ == kPitCount && calibrate_tsc() && hardwarecommunication::cpu_invariant_tsc()) source_ = kTsc;
}

const char* PcClock::source_name() const {
    switch (source_) {
    case kTsc: return "TSC";
    case kPitCount: return "PIT count";
    default: return "PIT ticks";
    }
}

// Channel 1's clocks since start; call with interrupts off. The count runs
// down from 65536 and is read at least once a tick, far more often than it
// wraps (every 55 ms). Where ticks stop for longer (a virtual machine's
// processor held back by its host), the TSC read beside the count tells the
// whole periods that passed unseen.
u64 PcClock::pit_clocks() {
    u16 now = pit_->FreeCount();
    u64 tsc = hardwarecommunication::cpu_read_tsc();
    u64 delta = static_cast<u16>(last_count_ - now);
    if (tsc_hz_ != 0 && tsc > last_tsc_) {
        u64 gap = (tsc - last_tsc_) * kInputHz / tsc_hz_;  // input clocks by the TSC
        if (gap > delta + kPeriod / 2) delta += (gap - delta + kPeriod / 2) / kPeriod * kPeriod;
    }
    clocks_ += delta;
    last_count_ = now;
    last_tsc_ = tsc;
    return clocks_;
}

// Whether channel 1 counts here: some chipsets leave it unwired.
bool PcClock::pit_counts() {
    if (!pit_) return false;
    u16 first = pit_->FreeCount();
    // A read takes several bus cycles, longer than one input clock.
    for (u32 i = 0; i < kProbeReads; i++)
        if (pit_->FreeCount() != first) return true;
    return false;
}

// Channel 1's clocks and the TSC read together, with interrupts off only
// for the pair, so no interrupt comes between the two.
void PcClock::sample(u64* clocks, u64* tsc) {
    bool were_on = cpu_interrupts_off();
    *clocks = pit_clocks();
    *tsc = last_tsc_;
    cpu_interrupts_restore(were_on);
}

// The TSC's rate against channel 1 over 50 ms. Interrupts stay on between
// the samples: the timer's tick reads the count meanwhile.
bool PcClock::calibrate_tsc() {
    u64 clocks0, tsc0, clocks, tsc1;
    sample(&clocks0, &tsc0);
    clocks = clocks0;
    tsc1 = tsc0;
    for (u32 i = 0; i < kCalibrationReads && clocks - clocks0 < kCalibrationClocks; i++) sample(&clocks, &tsc1);
    if (clocks - clocks0 < kCalibrationClocks || tsc1 <= tsc0) return false;
    tsc_hz_ = (tsc1 - tsc0) * kInputHz / (clocks - clocks0);
    // Carry on from the time the PIT count has reached.
    u64 ms_base = clocks * 1000 / kInputHz;
    tsc_start_ = tsc1 - ms_base * tsc_hz_ / 1000;
    return true;
}

u32 PcClock::milliseconds() {
    switch (source_) {
    case kTsc: return static_cast<u32>((hardwarecommunication::cpu_read_tsc() - tsc_start_) * 1000 / tsc_hz_);
    case kPitCount: {
        bool were_on = cpu_interrupts_off();
        u64 clocks = pit_clocks();
        cpu_interrupts_restore(were_on);
        return static_cast<u32>(clocks * 1000 / kInputHz);
    }
    default: return ticks_;
    }
}

void PcClock::OnTick() {
    ticks_ = ticks_ + 1;
    // Interrupt context: interrupts are off already.
    if (source_ == kPitCount) pit_clocks();
}

void PcClock::wait_until(u32 due) {
    i32 ahead = static_cast<i32>(due - milliseconds());
    if (ahead <= 0) return;
    u32 rounds = static_cast<u32>(ahead) * kWakeUpsPerMs + kWakeUpsSpare;
    for (u32 i = 0; i < rounds && static_cast<i32>(milliseconds() - due) < 0; i++)
        hardwarecommunication::cpu_wait_for_interrupt();
}

}  // namespace host
}  // namespace tarn

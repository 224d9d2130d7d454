// MOS 6526 CIA: interval timers, time-of-day clock and interrupt control.
#include "c64/cia.h"

#include "c64/processor.h"

namespace {

constexpr u8 kTodMasks[4] = {0x0F, 0x7F, 0x7F, 0x9F};  // tenths, seconds, minutes, hours
constexpr u8 kHoursPm = 0x80;
constexpr u8 kHoursDigits = 0x1F;
constexpr u8 kTicksPerTenth50 = 5;   // CRA bit 7 set: 50 Hz mains
constexpr u8 kTicksPerTenth60 = 6;   // CRA bit 7 clear: 60 Hz expected
constexpr u32 kTodCatchUpLimit = 50 * 60;  // a minute of ticks at most per step

u8 bcd_increment(u8 v) {
    v = static_cast<u8>(v + 1);
    if ((v & 0x0F) == 0x0A) v = static_cast<u8>(v + 6);
    return v;
}

}  // namespace

// ---- time base ------------------------------------------------------------

u32 Cia::now() const { return cpu_ ? cpu_->cycles() : last_; }

void Cia::cpu(Processor* c) {
    cpu_ = c;
    last_ = now();
}

void Cia::catch_up() {
    u32 t = now();
    u32 elapsed = t - last_;
    last_ = t;
    if (elapsed) advance(elapsed);
}

// Counts `pulses` down and returns the underflows: the counter passes
// latch, latch - 1, ..., 0 and reloads on the pulse after 0, so a running
// timer underflows every latch + 1 pulses. One-shot stops at the first.
u32 Cia::count(Timer& t, u32 pulses) {
    u32 c = t.counter;
    if (pulses <= c) {
        t.counter = static_cast<u16>(c - pulses);
        return 0;
    }
    pulses -= c + 1;
    if (t.control & kCrOneShot) {
        t.control &= static_cast<u8>(~kCrStart);
        t.counter = t.latch;
        return 1;
    }
    u32 period = static_cast<u32>(t.latch) + 1;
    t.counter = static_cast<u16>(t.latch - pulses % period);
    return 1 + pulses / period;
}

void Cia::advance(u32 cycles) {
    u32 a_underflows = 0;
    if ((timer_a_.control & kCrStart) && !(timer_a_.control & kCraCountCnt)) a_underflows = count(timer_a_, cycles);
    if (a_underflows) raise(kIntTimerA);

    if (timer_b_.control & kCrStart) {
        u8 input = timer_b_.control & kCrbInputMask;
        // CNT has nothing connected and idles high: "timer A while CNT is
        // high" counts timer A like the plain timer A input.
        u32 pulses = input == 0 ? cycles : (input & kCrbCountA) ? a_underflows : 0;
        if (pulses && count(timer_b_, pulses)) raise(kIntTimerB);
    }

    // TOD input: 50 mains ticks a second, kept as a fraction of the clock.
    u32 ticks = cycles / kClockHz * kTodInputHz;
    tod_phase_ += cycles % kClockHz * kTodInputHz;
    while (tod_phase_ >= kClockHz) {
        tod_phase_ -= kClockHz;
        ticks++;
    }
    if (ticks > kTodCatchUpLimit) ticks = kTodCatchUpLimit;
    for (u32 i = 0; i < ticks; i++) tod_tick();
}

// ---- time of day --------------------------------------------------------------

void Cia::tod_tick() {
    if (tod_stopped_) return;
    u8 per_tenth = (timer_a_.control & kCraTod50Hz) ? kTicksPerTenth50 : kTicksPerTenth60;
    if (++tod_ticks_ < per_tenth) return;
    tod_ticks_ = 0;

    tod_[0] = static_cast<u8>(tod_[0] + 1);
    if (tod_[0] >= 10) {
        tod_[0] = 0;
        tod_[1] = bcd_increment(tod_[1]);
        if (tod_[1] >= 0x60) {
            tod_[1] = 0;
            tod_[2] = bcd_increment(tod_[2]);
            if (tod_[2] >= 0x60) {
                tod_[2] = 0;
                // 11 -> 12 flips AM/PM; 12 -> 1.
                u8 pm = tod_[3] & kHoursPm;
                u8 h = tod_[3] & kHoursDigits;
                if (h == 0x11) pm ^= kHoursPm;
                h = h == 0x12 ? 0x01 : bcd_increment(h);
                tod_[3] = static_cast<u8>(pm | h);
            }
        }
    }
    bool alarm = true;
    for (int i = 0; i < 4; i++) alarm = alarm && tod_[i] == alarm_[i];
    if (alarm) raise(kIntAlarm);
}

void Cia::write_tod(u8 r, u8 v) {
    int i = r - kTodTenths;
    v &= kTodMasks[i];
    if (timer_b_.control & kCrbAlarm) {
        alarm_[i] = v;
        return;
    }
    tod_[i] = v;
    // Writing the hours stops the clock so the rest can be set; writing the
    // tenths starts it again.
    if (r == kTodHours) tod_stopped_ = true;
    if (r == kTodTenths) {
        tod_stopped_ = false;
        tod_ticks_ = 0;
    }
}

u8 Cia::read_tod(u8 r) {
    int i = r - kTodTenths;
    // Reading the hours freezes what is read until the tenths are read, so
    // the four registers form one consistent time.
    if (r == kTodHours && !tod_latched_) {
        for (int k = 0; k < 4; k++) tod_latch_[k] = tod_[k];
        tod_latched_ = true;
    }
    u8 v = tod_latched_ ? tod_latch_[i] : tod_[i];
    if (r == kTodTenths) tod_latched_ = false;
    return v;
}

// ---- interrupts ------------------------------------------------------------------

void Cia::raise(u8 sources) {
    icr_ |= sources;
    if ((icr_ & mask_ & 0x1F) && !(icr_ & kIntAny)) {
        icr_ |= kIntAny;
        interrupt_line(true);
    }
}

// ---- registers -------------------------------------------------------------------

u8 Cia::read_common(u8 r) {
    catch_up();
    switch (r) {
    case kTaLo: return static_cast<u8>(timer_a_.counter & 0xFF);
    case kTaHi: return static_cast<u8>(timer_a_.counter >> 8);
    case kTbLo: return static_cast<u8>(timer_b_.counter & 0xFF);
    case kTbHi: return static_cast<u8>(timer_b_.counter >> 8);
    case kTodTenths:
    case kTodSeconds:
    case kTodMinutes:
    case kTodHours: return read_tod(r);
    case kSdr: return sdr_;
    case kIcr: {
        // Reading acknowledges: every flag clears and the line is let go.
        u8 v = icr_;
        icr_ = 0;
        if (v & kIntAny) interrupt_line(false);
        return v;
    }
    case kCra: return timer_a_.control;
    case kCrb: return timer_b_.control;
    default: return 0xFF;
    }
}

void Cia::write_common(u8 r, u8 v) {
    catch_up();
    switch (r) {
    case kTaLo: timer_a_.latch = static_cast<u16>((timer_a_.latch & 0xFF00) | v); break;
    case kTaHi:
        timer_a_.latch = static_cast<u16>((timer_a_.latch & 0x00FF) | (v << 8));
        // A stopped timer takes the new latch at once.
        if (!(timer_a_.control & kCrStart)) reset_timer_a();
        break;
    case kTbLo: timer_b_.latch = static_cast<u16>((timer_b_.latch & 0xFF00) | v); break;
    case kTbHi:
        timer_b_.latch = static_cast<u16>((timer_b_.latch & 0x00FF) | (v << 8));
        if (!(timer_b_.control & kCrStart)) reset_timer_b();
        break;
    case kTodTenths:
    case kTodSeconds:
    case kTodMinutes:
    case kTodHours: write_tod(r, v); break;
    case kSdr: sdr_ = v; break;
    case kIcr:
        if (v & kIntAny) mask_ |= v & 0x1F;
        else mask_ &= static_cast<u8>(~(v & 0x1F));
        raise(0);  // a newly enabled source that is already latched fires
        break;
    case kCra:
        timer_a_.control = v & static_cast<u8>(~kCrForceLoad);
        if (v & kCrForceLoad) reset_timer_a();
        break;
    case kCrb:
        timer_b_.control = v & static_cast<u8>(~kCrForceLoad);
        if (v & kCrForceLoad) reset_timer_b();
        break;
    default: break;
    }
}

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
constexpr u8 kIcrSources = 0x1F;

u8 bcd_increment(u8 v) {
    v = static_cast<u8>(v + 1);
    if ((v & 0x0F) == 0x0A) v = static_cast<u8>(v + 6);
    return v;
}

// Cycle `at` has come (the clock wraps).
bool reached(u32 now, u32 at) { return static_cast<i32>(now - at) >= 0; }

u32 earlier(u32 a, u32 b, u32 now) { return (a - now) < (b - now) ? a : b; }

}  // namespace

// ---- time base ------------------------------------------------------------

u32 Cia::now() const { return cpu_ ? cpu_->cycles() : now_; }

void Cia::cpu(Processor* c) {
    cpu_ = c;
    now_ = now();
}

void Cia::catch_up() {
    u32 t = now();
    u32 elapsed = t - now_;
    if (static_cast<i32>(elapsed) < 0) now_ = t;  // the processor was reset
    if (static_cast<i32>(elapsed) <= 0) return;
    advance_to(t);
    advance_tod(elapsed);
    if (irq_pending_ && reached(now_, irq_at_)) pull_line(irq_at_);
}

// Cycles from now_ on that change nothing but the counters' values: no
// underflow, no pipeline stage arriving, no interrupt due.
u32 Cia::quiet_cycles(u32 limit) const {
    if (a_underflowed_) return 0;  // timer B may be counting it
    u32 n = limit;
    auto bound = [&](bool pending, u32 at) {
        if (!pending) return;
        u32 d = reached(now_, at) ? 0 : at - now_;
        if (d < n) n = d;
    };
    const Timer* timers[2] = {&timer_a_, &timer_b_};
    for (const Timer* t : timers) {
        bound(t->count_change, t->change_at);
        bound(t->one_shot_change, t->one_shot_at);
        bound(t->load, t->load_at);
    }
    bound(irq_pending_, irq_at_);
    if (count_input_a() && timer_a_.counter < n) n = timer_a_.counter;
    if (timer_b_.counting && !(timer_b_.control & kCrbInputMask) && timer_b_.counter < n) n = timer_b_.counter;
    return n;
}

void Cia::advance_to(u32 t) {
    while (static_cast<i32>(t - now_) > 0) {
        u32 n = quiet_cycles(t - now_);
        if (!n) {
            clock_one();
            continue;
        }
        if (count_input_a()) timer_a_.counter = static_cast<u16>(timer_a_.counter - n);
        if (timer_b_.counting && !(timer_b_.control & kCrbInputMask)) timer_b_.counter = static_cast<u16>(timer_b_.counter - n);
        now_ += n;
        if (irq_pending_ && reached(now_, irq_at_)) pull_line(irq_at_);
    }
}

// One cycle of both timers: the state of cycle now_ becomes that of now_ + 1.
void Cia::clock_one() {
    u32 t = now_;
    apply_pipeline(timer_a_);
    apply_pipeline(timer_b_);
    bool a_before = a_underflowed_;
    bool a = tick(timer_a_, count_input_a());
    bool b = tick(timer_b_, count_input_b(a_before));
    a_underflowed_ = a;
    now_ = t + 1;
    if (a) raise(kIntTimerA, t + kIrqDelay);
    if (b) raise(kIntTimerB, t + kIrqDelay);
    if (irq_pending_ && reached(now_, irq_at_)) pull_line(irq_at_);
}

bool Cia::count_input_a() const { return timer_a_.counting && !(timer_a_.control & kCraCountCnt); }

bool Cia::count_input_b(bool a_underflow_before) const {
    if (!timer_b_.counting) return false;
    u8 input = timer_b_.control & kCrbInputMask;
    // CNT idles high: "timer A while CNT is high" counts like plain timer A.
    if (input & kCrbCountA) return a_underflow_before;
    return input == 0;
}

void Cia::apply_pipeline(Timer& t) {
    if (t.count_change && reached(now_, t.change_at)) {
        t.count_change = false;
        t.counting = (t.control & kCrStart) != 0;
    }
    if (t.one_shot_change && reached(now_, t.one_shot_at)) {
        t.one_shot_change = false;
        t.one_shot = (t.control & kCrOneShot) != 0;
    }
}

// One cycle of one timer; true on an underflow.
bool Cia::tick(Timer& t, bool count) {
    if (t.load && reached(now_, t.load_at)) {
        t.load = false;
        t.counter = t.latch;
        return false;
    }
    if (!count) return false;
    if (t.counter) {
        t.counter--;
        return false;
    }
    t.counter = t.latch;
    t.underflow_at = now_;
    t.underflowed = true;
    t.toggle = !t.toggle;
    if (t.one_shot) {
        t.control &= static_cast<u8>(~kCrStart);
        t.counting = false;
        t.count_change = false;
    }
    return true;
}

// The cycle of the next underflow of a timer counting cycles, or kNever.
u32 Cia::next_underflow(const Timer& t) const {
    u32 start = now_;
    if (t.count_change) {
        if (!(t.control & kCrStart)) return t.change_at;  // ask again when it stops
        start = t.change_at;
    } else if (!t.counting) {
        return now_ + kNever;
    }
    u32 counter = t.load ? t.latch : t.counter;
    return start + counter;
}

u32 Cia::next_event() const {
    if (irq_asserted_) return now_ + kNever;
    if (irq_pending_) return irq_at_;
    u32 best = now_ + kNever;
    if ((mask_ & kIntTimerA) && !(timer_a_.control & kCraCountCnt))
        best = earlier(best, next_underflow(timer_a_) + kIrqDelay, now_);
    if (mask_ & kIntTimerB) {
        u8 input = timer_b_.control & kCrbInputMask;
        if (input == 0) best = earlier(best, next_underflow(timer_b_) + kIrqDelay, now_);
        // Counting A: look again at each of A's underflows.
        else if (input & kCrbCountA) best = earlier(best, next_underflow(timer_a_) + kFlagDelay, now_);
    }
    // The alarm is compared at each mains tick.
    if (mask_ & kIntAlarm) best = earlier(best, next_tod_tick(), now_);
    return best;
}

u32 Cia::next_tod_tick() const { return now_ + (kClockHz - tod_phase_ + kTodInputHz - 1) / kTodInputHz; }

// ---- time of day --------------------------------------------------------------

void Cia::advance_tod(u32 cycles) {
    // 50 mains ticks a second, kept as a fraction of the clock.
    u32 ticks = cycles / kClockHz * kTodInputHz;
    tod_phase_ += cycles % kClockHz * kTodInputHz;
    while (tod_phase_ >= kClockHz) {
        tod_phase_ -= kClockHz;
        ticks++;
    }
    if (ticks > kTodCatchUpLimit) ticks = kTodCatchUpLimit;
    for (u32 i = 0; i < ticks; i++) tod_tick();
}

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
    if (alarm) raise(kIntAlarm, now_);
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

// Sources latch now; an enabled one pulls the line at irq_at.
void Cia::raise(u8 sources, u32 irq_at) {
    icr_ |= sources;
    if ((icr_ & mask_) && !irq_asserted_ && !irq_pending_) {
        irq_pending_ = true;
        irq_at_ = irq_at;
    }
}

void Cia::pull_line(u32 at) {
    irq_pending_ = false;
    irq_asserted_ = true;
    interrupt_line(true, at);
}

// Reading acknowledges: every flag clears, the line is let go, and an
// interrupt not yet pulled for a flag set in this cycle never comes.
u8 Cia::read_icr() {
    u8 v = static_cast<u8>(icr_ | (irq_asserted_ ? kIntAny : 0));
    icr_ = 0;
    irq_pending_ = false;
    if (irq_asserted_) {
        irq_asserted_ = false;
        interrupt_line(false, now_);
    }
    return v;
}

// ---- registers -------------------------------------------------------------------

u8 Cia::timer_outputs(u8 port_b) {
    if (!((timer_a_.control | timer_b_.control) & kCrPbOn)) return port_b;
    catch_up();
    const Timer* timers[2] = {&timer_a_, &timer_b_};
    const u8 lines[2] = {kPb6TimerA, kPb7TimerB};
    for (int i = 0; i < 2; i++) {
        const Timer& t = *timers[i];
        if (!(t.control & kCrPbOn)) continue;
        bool high = (t.control & kCrToggle) ? t.toggle : t.underflowed && now_ == t.underflow_at + kFlagDelay;
        port_b = static_cast<u8>((port_b & ~lines[i]) | (high ? lines[i] : 0));
    }
    return port_b;
}

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
    case kIcr: return read_icr();
    case kCra: return timer_a_.control;
    case kCrb: return timer_b_.control;
    default: return 0xFF;
    }
}

void Cia::write_control(Timer& t, u8 v) {
    bool was_started = (t.control & kCrStart) != 0;
    bool start = (v & kCrStart) != 0;
    if (start != was_started) {
        t.count_change = true;
        t.change_at = now_ + kStartDelay;
        if (start) t.toggle = true;
    }
    if ((v ^ t.control) & kCrOneShot) {
        t.one_shot_change = true;
        t.one_shot_at = now_ + 1;
    }
    if (v & kCrForceLoad) load(t);
    t.control = static_cast<u8>(v & ~kCrForceLoad);
}

// The latch reaches the counter in place of this cycle's count; a chip
// with no clock (no processor) takes it at once.
void Cia::load(Timer& t) {
    if (!cpu_) {
        t.counter = t.latch;
        return;
    }
    t.load = true;
    t.load_at = now_;
}

// The high byte reaches the counter when the timer is stopped; in one-shot
// mode it also starts the timer.
void Cia::write_latch_high(Timer& t, u8 v) {
    t.latch = static_cast<u16>((t.latch & 0x00FF) | (v << 8));
    if (t.control & kCrStart) return;
    load(t);
    if (t.control & kCrOneShot) write_control(t, static_cast<u8>(t.control | kCrStart));
}

void Cia::write_common(u8 r, u8 v) {
    catch_up();
    switch (r) {
    case kTaLo: timer_a_.latch = static_cast<u16>((timer_a_.latch & 0xFF00) | v); break;
    case kTaHi: write_latch_high(timer_a_, v); break;
    case kTbLo: timer_b_.latch = static_cast<u16>((timer_b_.latch & 0xFF00) | v); break;
    case kTbHi: write_latch_high(timer_b_, v); break;
    case kTodTenths:
    case kTodSeconds:
    case kTodMinutes:
    case kTodHours: write_tod(r, v); break;
    case kSdr: sdr_ = v; break;
    case kIcr:
        if (v & kIntAny) mask_ |= v & kIcrSources;
        else mask_ &= static_cast<u8>(~(v & kIcrSources));
        // A newly enabled source whose flag is set pulls the line next cycle.
        raise(0, now_ + 1);
        break;
    case kCra: write_control(timer_a_, v); break;
    case kCrb: write_control(timer_b_, v); break;
    default: break;
    }
    // The processor stops in time for whatever this write made due.
    if (cpu_) cpu_->stop_by(next_event());
}

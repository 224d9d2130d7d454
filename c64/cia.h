// MOS 6526 CIA: the part both of the C64's CIAs share (two interval timers,
// the time-of-day clock, the serial data register and the interrupt control
// register). Cia1 and Cia2 add their ports and wire the interrupt output.
//
// The timers and the interrupt register run to the cycle on the processor's
// clock, with the chip's pipeline:
// - a START written in cycle W counts from cycle W + 2 (and a stop written
//   in W lets the decrements of W and W + 1 happen);
// - a force load (or a latch high byte written while stopped) puts the
//   latch into the counter in place of cycle W's decrement;
// - the counter shows latch, latch - 1, ... 0 and reloads on the count
//   after 0 (the underflow), so a running timer underflows every latch + 1
//   counts; one-shot stops it there when the bit was written before the
//   underflow's cycle;
// - timer B counting timer A decrements in the cycle after A's underflow;
// - an underflow in cycle U shows its ICR flag from U + 1 and pulls IRQ
//   (ICR bit 7) from U + 2; reading ICR clears the flags and lets IRQ go,
//   so a read in U + 1 returns the flag and the interrupt never comes;
//   writing a mask bit whose flag is set pulls IRQ in the next cycle;
// - PB6 (timer A) and PB7 (timer B) show a one-cycle pulse from U + 1, or
//   a level toggled then (set high when the timer starts), when CRA / CRB
//   bit 1 puts them on port B.
// Nothing drives CNT (the serial port is not shifted), so CNT inputs never
// count.
#ifndef TARN_C64_CIA_H
#define TARN_C64_CIA_H

#include "c64/pal.h"
#include "lib/types.h"

class Processor;

class Cia {
public:
    // Register numbers ($DC00 / $DD00 + r).
    static constexpr u8 kPra = 0x00;
    static constexpr u8 kPrb = 0x01;
    static constexpr u8 kDdra = 0x02;
    static constexpr u8 kDdrb = 0x03;
    static constexpr u8 kTaLo = 0x04;
    static constexpr u8 kTaHi = 0x05;
    static constexpr u8 kTbLo = 0x06;
    static constexpr u8 kTbHi = 0x07;
    static constexpr u8 kTodTenths = 0x08;
    static constexpr u8 kTodSeconds = 0x09;
    static constexpr u8 kTodMinutes = 0x0A;
    static constexpr u8 kTodHours = 0x0B;
    static constexpr u8 kSdr = 0x0C;
    static constexpr u8 kIcr = 0x0D;
    static constexpr u8 kCra = 0x0E;
    static constexpr u8 kCrb = 0x0F;

    // Interrupt sources, ICR bits 0-4; bit 7 is "any enabled source" on
    // read and "set (1) or clear (0) the named mask bits" on write.
    static constexpr u8 kIntTimerA = 0x01;
    static constexpr u8 kIntTimerB = 0x02;
    static constexpr u8 kIntAlarm = 0x04;
    static constexpr u8 kIntSerial = 0x08;
    static constexpr u8 kIntFlag = 0x10;
    static constexpr u8 kIntAny = 0x80;

    // Port B lines the timers drive.
    static constexpr u8 kPb6TimerA = 0x40;
    static constexpr u8 kPb7TimerB = 0x80;

    // PAL: the system clock and the 50 Hz mains tick that feeds TOD.
    static constexpr u32 kClockHz = pal::kClockHz;
    static constexpr u32 kTodInputHz = pal::kMainsHz;

    // Time base: the processor's cycle counter, in both modes; the chip's
    // interrupt output drives one of its lines.
    void cpu(Processor* c);
    // Brings the timers and TOD up to the processor's present.
    void catch_up();
    // The cycle at which the interrupt output will next be pulled if no
    // register is touched before (or a cycle at which to ask again); far
    // in the future when nothing is due.
    u32 next_event() const;
    bool interrupt_asserted() const { return irq_asserted_; }

protected:
    // The interrupt output: pulled (true) or let go, from cycle `at`.
    virtual void interrupt_line(bool asserted, u32 at) = 0;
    Processor* processor() const { return cpu_; }
    // Registers 4-15; the ports (0-3) are the subclass's.
    u8 read_common(u8 r);
    void write_common(u8 r, u8 v);
    // Port B as the pins show it: PB6 / PB7 replaced by the timer outputs
    // that CRA / CRB put there.
    u8 timer_outputs(u8 port_b);

private:
    struct Timer {
        u16 latch = 0xFFFF;
        u16 counter = 0xFFFF;
        u8 control = 0;         // CRA / CRB as read back (bit 4 never kept)
        bool counting = false;  // the START bit at the end of the pipeline
        bool count_change = false;  // CR's START reaches the counter at change_at
        u32 change_at = 0;
        bool one_shot = false;  // the RUNMODE bit as the underflow logic sees it
        bool one_shot_change = false;
        u32 one_shot_at = 0;
        bool load = false;      // the latch goes in at load_at instead of a count
        u32 load_at = 0;
        bool toggle = false;    // PB6 / PB7 toggle flip-flop
        u32 underflow_at = 0;   // last underflow, for the one-cycle pulse
        bool underflowed = false;
    };
    // CRA: TODIN SPMODE INMODE LOAD RUNMODE OUTMODE PBON START
    // CRB: ALARM INMODE(2) LOAD RUNMODE OUTMODE PBON START
    static constexpr u8 kCrStart = 0x01;
    static constexpr u8 kCrPbOn = 0x02;
    static constexpr u8 kCrToggle = 0x04;
    static constexpr u8 kCrOneShot = 0x08;
    static constexpr u8 kCrForceLoad = 0x10;
    static constexpr u8 kCraCountCnt = 0x20;
    static constexpr u8 kCraTod50Hz = 0x80;
    static constexpr u8 kCrbInputMask = 0x60;   // 00 cycles, 01 CNT, 10/11 timer A
    static constexpr u8 kCrbCountA = 0x40;
    static constexpr u8 kCrbAlarm = 0x80;
    static constexpr u32 kStartDelay = 2;       // START write to first count
    static constexpr u32 kFlagDelay = 1;        // underflow to ICR flag
    static constexpr u32 kIrqDelay = 2;         // underflow to IRQ
    static constexpr u32 kNever = 0x40000000;   // "far ahead" on the wrapping clock

    u32 now() const;
    void advance_to(u32 t);
    u32 quiet_cycles(u32 limit) const;
    void clock_one();
    bool count_input_a() const;
    bool count_input_b(bool a_underflow_before) const;
    bool tick(Timer& t, bool count);
    void apply_pipeline(Timer& t);
    u32 next_underflow(const Timer& t) const;
    void write_control(Timer& t, u8 v);
    void write_latch_high(Timer& t, u8 v);
    void load(Timer& t);
    void advance_tod(u32 cycles);
    u32 next_tod_tick() const;
    void tod_tick();
    void raise(u8 sources, u32 irq_at);
    void pull_line(u32 at);
    void write_tod(u8 r, u8 v);
    u8 read_tod(u8 r);
    u8 read_icr();

    Processor* cpu_ = nullptr;
    u32 now_ = 0;               // the cycle whose state the registers hold
    Timer timer_a_, timer_b_;
    bool a_underflowed_ = false;  // timer A underflowed in the cycle before now_
    u8 icr_ = 0;                // latched sources (bits 0-4)
    u8 mask_ = 0;
    bool irq_asserted_ = false;
    bool irq_pending_ = false;  // IRQ pulled at irq_at
    u32 irq_at_ = 0;
    u8 sdr_ = 0;
    // TOD: tenths, seconds, minutes, hours (BCD, hours bit 7 = PM).
    u8 tod_[4] = {0, 0, 0, 1};
    u8 alarm_[4] = {0, 0, 0, 0};
    u8 tod_latch_[4] = {0, 0, 0, 0};
    bool tod_latched_ = false;   // hours read, until tenths are read
    bool tod_stopped_ = false;   // hours written, until tenths are written
    u32 tod_phase_ = 0;          // 50 Hz ticks, in units of 1/kClockHz s x 50
    u8 tod_ticks_ = 0;           // mains ticks towards the next tenth
};

#endif

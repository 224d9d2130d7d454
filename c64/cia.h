// MOS 6526 CIA: the part both of the C64's CIAs share (two interval timers,
// the time-of-day clock, the serial data register and the interrupt control
// register). Cia1 and Cia2 add their ports and wire the interrupt output.
#ifndef TARN_C64_CIA_H
#define TARN_C64_CIA_H

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

    // PAL: the system clock and the 50 Hz mains tick that feeds TOD.
    static constexpr u32 kClockHz = 985248;
    static constexpr u32 kTodInputHz = 50;

    // Time base: the processor's cycle counter, in both modes; the chip's
    // interrupt output drives one of its lines.
    void cpu(Processor* c);
    // Brings the timers and TOD up to the processor's present.
    void catch_up();
    void reset_timer_a() { timer_a_.counter = timer_a_.latch; }
    void reset_timer_b() { timer_b_.counter = timer_b_.latch; }
    bool interrupt_asserted() const { return (icr_ & kIntAny) != 0; }

protected:
    // The interrupt output: true when the chip pulls its line, false when
    // it lets go.
    virtual void interrupt_line(bool asserted) = 0;
    Processor* processor() const { return cpu_; }
    // Registers 4-15; the ports (0-3) are the subclass's.
    u8 read_common(u8 r);
    void write_common(u8 r, u8 v);

private:
    struct Timer {
        u16 latch = 0xFFFF;
        u16 counter = 0xFFFF;
        u8 control = 0;  // CRA / CRB as written, bit 4 (force load) never kept
    };
    // CRA: TODIN SPMODE INMODE LOAD RUNMODE OUTMODE PBON START
    // CRB: ALARM INMODE(2) LOAD RUNMODE OUTMODE PBON START
    static constexpr u8 kCrStart = 0x01;
    static constexpr u8 kCrOneShot = 0x08;
    static constexpr u8 kCrForceLoad = 0x10;
    static constexpr u8 kCraCountCnt = 0x20;
    static constexpr u8 kCraTod50Hz = 0x80;
    static constexpr u8 kCrbInputMask = 0x60;   // 00 cycles, 01 CNT, 10/11 timer A
    static constexpr u8 kCrbCountA = 0x40;
    static constexpr u8 kCrbAlarm = 0x80;

    u32 now() const;
    void advance(u32 cycles);
    static u32 count(Timer& t, u32 pulses);
    void tod_tick();
    void raise(u8 sources);
    void write_tod(u8 r, u8 v);
    u8 read_tod(u8 r);

    Processor* cpu_ = nullptr;
    u32 last_ = 0;
    Timer timer_a_, timer_b_;
    u8 icr_ = 0;        // latched sources, bit 7 when one of them is enabled
    u8 mask_ = 0;
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

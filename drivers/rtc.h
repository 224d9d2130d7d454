// MC146818-style CMOS real-time clock: date and time in BCD or binary, 12 or 24 hours.
#ifndef TARN_DRIVERS_RTC_H
#define TARN_DRIVERS_RTC_H

#include "hardwarecommunication/port.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

// A calendar reading, converted to binary and a 24-hour clock.
struct datetime {
    u8 second;   // 0-59
    u8 minute;   // 0-59
    u8 hour;     // 0-23
    u8 day;      // 1-31
    u8 month;    // 1-12
    u16 year;    // full year, e.g. 2026
    u8 century;  // e.g. 20
};

class RTCDriver {
public:
    // Update-in-progress polls before a reading goes ahead regardless, and
    // readings taken while waiting for two that agree. A working clock
    // needs a few thousand polls (an update lasts under 2 ms) and two or
    // three readings; a broken one must not hold start-up for ever.
    static constexpr u32 kUpdateWaitPolls = 1000000;
    static constexpr u32 kMaxReadings = 16;

    RTCDriver();
    ~RTCDriver();

    // Fills *dt with the current date and time. Returns true when two
    // consecutive readings agreed; false when the clock kept updating or
    // changing, in which case *dt holds the last reading, converted.
    bool GetRTC(datetime* dt);
    // Bit 7 of status register A: non-zero while the clock updates.
    u8 get_update_in_progress_flag();
    // One CMOS byte; the NMI-disable bit of the index port stays clear.
    u8 get_RTC_register(i32 reg);

private:
    // Waits, bounded, while an update is in progress; false if it never ended.
    bool wait_for_update();
    void read_raw(datetime* dt);

    hardwarecommunication::Port8Bit indexport;
    hardwarecommunication::Port8Bit dataport;

public:
    // CMOS register holding the century (0: none; the year is then taken
    // as 20xx).
    i32 century_register;
};

}  // namespace drivers
}  // namespace tarn

#endif

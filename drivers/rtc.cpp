// CMOS real-time clock: consistent readings, BCD and 12-hour conversion, full year.
#include "drivers/rtc.h"

namespace tarn {
namespace drivers {

namespace {
const u16 kIndexPort = 0x70;  // bit 7 disables NMI; bits 0-6 select the register
const u16 kDataPort = 0x71;

const i32 kRegSeconds = 0x00;
const i32 kRegMinutes = 0x02;
const i32 kRegHours = 0x04;    // 12-hour mode: bit 7 = PM
const i32 kRegDay = 0x07;      // day of month
const i32 kRegMonth = 0x08;
const i32 kRegYear = 0x09;     // two digits
const i32 kRegStatusA = 0x0A;  // bit 7: update in progress
const i32 kRegStatusB = 0x0B;  // bit 2: binary (else BCD)  bit 1: 24-hour (else 12)
const i32 kRegCentury = 0x32;

const u8 kStatusAUpdating = 0x80;
const u8 kStatusBBinary = 0x04;
const u8 kStatusB24Hour = 0x02;
const u8 kHourPm = 0x80;

u8 from_bcd(u8 v) { return static_cast<u8>((v & 0x0F) + (v >> 4) * 10); }

bool same_reading(const datetime& a, const datetime& b) {
    return a.second == b.second && a.minute == b.minute && a.hour == b.hour &&
           a.day == b.day && a.month == b.month && a.year == b.year && a.century == b.century;
}
}  // namespace

RTCDriver::RTCDriver()
    : indexport(kIndexPort), dataport(kDataPort), century_register(kRegCentury) {}

RTCDriver::~RTCDriver() {}

u8 RTCDriver::get_RTC_register(i32 reg) {
    indexport.Write(static_cast<u8>(reg & 0x7F));
    return dataport.Read();
}

u8 RTCDriver::get_update_in_progress_flag() {
    return get_RTC_register(kRegStatusA) & kStatusAUpdating;
}

bool RTCDriver::wait_for_update() {
    for (u32 polls = 0; polls < kUpdateWaitPolls; ++polls)
        if (!get_update_in_progress_flag()) return true;
    return false;
}

// The raw register values; year holds the two-digit register, century the
// century register (0 when there is none).
void RTCDriver::read_raw(datetime* dt) {
    dt->second = get_RTC_register(kRegSeconds);
    dt->minute = get_RTC_register(kRegMinutes);
    dt->hour = get_RTC_register(kRegHours);
    dt->day = get_RTC_register(kRegDay);
    dt->month = get_RTC_register(kRegMonth);
    dt->year = get_RTC_register(kRegYear);
    dt->century = century_register != 0 ? get_RTC_register(century_register) : 0;
}

bool RTCDriver::GetRTC(datetime* dt) {
    if (dt == nullptr) return false;

    // The registers change during an update: read only between updates,
    // and until two readings in a row agree.
    bool settled = wait_for_update();
    datetime now;
    read_raw(&now);
    bool agreed = false;
    for (u32 reading = 1; reading < kMaxReadings && !agreed; ++reading) {
        datetime last = now;
        // A flag that never cleared once is not waited for again.
        if (settled) settled = wait_for_update();
        read_raw(&now);
        agreed = same_reading(last, now);
    }

    u8 statusB = get_RTC_register(kRegStatusB);
    if (!(statusB & kStatusBBinary)) {
        now.second = from_bcd(now.second);
        now.minute = from_bcd(now.minute);
        // Hour tens sit in bits 4-6; bit 7 is the PM flag and stays.
        now.hour = static_cast<u8>(((now.hour & 0x0F) + ((now.hour & 0x70) >> 4) * 10) |
                                   (now.hour & kHourPm));
        now.day = from_bcd(now.day);
        now.month = from_bcd(now.month);
        now.year = from_bcd(static_cast<u8>(now.year));
        if (century_register != 0) now.century = from_bcd(now.century);
    }

    // 12-hour clock: PM hours move up by 12 (the chip's 12 PM ends as 0).
    if (!(statusB & kStatusB24Hour) && (now.hour & kHourPm))
        now.hour = static_cast<u8>(((now.hour & 0x7F) + 12) % 24);

    if (century_register != 0)
        now.year = static_cast<u16>(now.year + now.century * 100);
    else {
        now.year = static_cast<u16>(now.year + 2000);
        now.century = 20;
    }

    *dt = now;
    return agreed && settled;
}

}  // namespace drivers
}  // namespace tarn

// CMOS clock: register order, consistent readings, BCD and binary, 12- and
// 24-hour clocks, the century, and clocks that never settle.
#include <gtest/gtest.h>

#include <vector>

#include "drivers/rtc.h"
#include "tests/support/sim_cmos.h"
#include "tests/unit/devices/devices_fixture.h"

using tarn::drivers::datetime;
using tarn::drivers::RTCDriver;
using simbus::R8;
using simbus::SimCmos;
using simbus::W8;

namespace {

class Rtc : public DevicesBus {
protected:
    void SetUp() override {
        DevicesBus::SetUp();
        simbus::bus().attach(&cmos);
    }
    static SimCmos::Time at(int year, int month, int day, int hour, int minute, int second) {
        SimCmos::Time t;
        t.year = year;
        t.month = month;
        t.day = day;
        t.hour = hour;
        t.minute = minute;
        t.second = second;
        return t;
    }
    // Registers selected through the index port, in order.
    static std::vector<uint32_t> selected() {
        std::vector<uint32_t> out;
        for (const simbus::Access& a : simbus::bus().log_for(0x70)) out.push_back(a.value);
        return out;
    }
    datetime read() {
        datetime dt = {};
        ok = rtc.GetRTC(&dt);
        return dt;
    }

    SimCmos cmos;
    RTCDriver rtc;
    bool ok = false;
};

void expect_time(const datetime& dt, int year, int month, int day, int hour, int minute, int second) {
    EXPECT_EQ(dt.year, year);
    EXPECT_EQ(dt.month, month);
    EXPECT_EQ(dt.day, day);
    EXPECT_EQ(dt.hour, hour);
    EXPECT_EQ(dt.minute, minute);
    EXPECT_EQ(dt.second, second);
}

}  // namespace

TEST_F(Rtc, StableClockIsReadTwiceThenStatusB) {
    cmos.set_time(at(2026, 12, 8, 9, 41, 27));
    datetime dt = read();
    EXPECT_TRUE(ok);
    std::vector<uint32_t> once = {0x0A, 0x00, 0x02, 0x04, 0x07, 0x08, 0x09, 0x32};
    std::vector<uint32_t> expected = once;
    expected.insert(expected.end(), once.begin(), once.end());
    expected.push_back(0x0B);
    EXPECT_EQ(selected(), expected);
    EXPECT_EQ(cmos.nmi_disable_writes, 0);
    expect_time(dt, 2026, 12, 8, 9, 41, 27);
    EXPECT_EQ(dt.century, 20);
}

TEST_F(Rtc, RegisterReadSelectsThenReadsData) {
    cmos.reg[0x0E] = 0x5A;
    EXPECT_EQ(rtc.get_RTC_register(0x0E), 0x5A);
    EXPECT_EQ(log(), (std::vector<simbus::Access>{W8(0x70, 0x0E), R8(0x71, 0x5A)}));
}

TEST_F(Rtc, UpdateFlagIsBit7OfStatusA) {
    cmos.uip_reads = 1;
    EXPECT_EQ(rtc.get_update_in_progress_flag(), 0x80);
    EXPECT_EQ(rtc.get_update_in_progress_flag(), 0x00);  // rate bits 0x26 do not leak
}

TEST_F(Rtc, Bcd24HourLateEvening) {
    cmos.set_time(at(2031, 7, 19, 23, 59, 58));
    expect_time(read(), 2031, 7, 19, 23, 59, 58);
}

TEST_F(Rtc, Binary24HourIsTakenAsRead) {
    cmos.set_format(true, true);
    cmos.set_time(at(2026, 11, 30, 21, 45, 59));
    EXPECT_EQ(cmos.reg[0x04], 21);  // binary in the register, not 0x21
    datetime dt = read();
    expect_time(dt, 2026, 11, 30, 21, 45, 59);
    EXPECT_EQ(dt.century, 20);
}

TEST_F(Rtc, Bcd12HourPmFlagAddsTwelve) {
    cmos.set_format(false, false);
    cmos.set_time(at(2026, 3, 1, 0, 0, 0));
    cmos.reg[0x04] = 0x81;  // 1 PM
    EXPECT_EQ(read().hour, 13);
    cmos.reg[0x04] = 0x91;  // 11 PM: tens from bits 4-6
    EXPECT_EQ(read().hour, 23);
    cmos.reg[0x04] = 0x11;  // 11 AM
    EXPECT_EQ(read().hour, 11);
}

TEST_F(Rtc, TwelveHourNoonAndMidnightComeOutAsTheChipMarksThem) {
    cmos.set_format(false, false);
    cmos.set_time(at(2026, 3, 1, 12, 30, 0));  // noon: the chip shows 12 with PM
    EXPECT_EQ(cmos.reg[0x04], 0x92);
    EXPECT_EQ(read().hour, 0);
    cmos.set_time(at(2026, 3, 1, 0, 30, 0));  // midnight: 12 without PM
    EXPECT_EQ(cmos.reg[0x04], 0x12);
    EXPECT_EQ(read().hour, 12);
}

TEST_F(Rtc, Binary12HourUsesBit7AsPm) {
    cmos.set_format(true, false);
    cmos.set_time(at(2026, 3, 1, 17, 5, 6));
    EXPECT_EQ(cmos.reg[0x04], 0x85);
    EXPECT_EQ(read().hour, 17);
    cmos.reg[0x04] = 0x80 | 12;
    EXPECT_EQ(read().hour, 0);
}

TEST_F(Rtc, Bcd24HourIgnoresNoPmFlag) {
    cmos.set_time(at(2026, 1, 1, 0, 0, 0));
    cmos.reg[0x04] = 0x12;  // 24-hour: plain 12
    EXPECT_EQ(read().hour, 12);
}

TEST_F(Rtc, CenturyRegisterGivesTheFullYear) {
    cmos.set_time(at(2026, 1, 1, 0, 0, 0));
    EXPECT_EQ(cmos.reg[0x09], 0x26);
    EXPECT_EQ(cmos.reg[0x32], 0x20);
    datetime dt = read();
    EXPECT_EQ(dt.year, 2026);
    EXPECT_EQ(dt.century, 20);
    cmos.set_time(at(1999, 12, 31, 23, 59, 59));
    dt = read();
    EXPECT_EQ(dt.year, 1999);
    EXPECT_EQ(dt.century, 19);
}

TEST_F(Rtc, BinaryCenturyIsNotBcdConverted) {
    cmos.set_format(true, true);
    cmos.set_time(at(2104, 2, 29, 6, 7, 8));
    EXPECT_EQ(cmos.reg[0x32], 21);
    expect_time(read(), 2104, 2, 29, 6, 7, 8);
}

TEST_F(Rtc, WithoutCenturyRegisterTheYearIsTwoThousandAndSomething) {
    rtc.century_register = 0;
    cmos.set_time(at(1987, 6, 5, 4, 3, 2));  // the chip's 19 is never read
    datetime dt = read();
    EXPECT_EQ(dt.year, 2087);
    EXPECT_EQ(dt.century, 20);
    for (uint32_t reg : selected()) EXPECT_NE(reg, 0x32u);
}

TEST_F(Rtc, ConstructedWithCenturyRegister0x32) {
    EXPECT_EQ(rtc.century_register, 0x32);
}

TEST_F(Rtc, WaitsForTheUpdateToEndBeforeReading) {
    cmos.set_time(at(2026, 12, 8, 10, 0, 0));
    cmos.uip_reads = 5;
    datetime dt = read();
    EXPECT_TRUE(ok);
    std::vector<uint32_t> sel = selected();
    ASSERT_GE(sel.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sel[i], 0x0Au) << i;
    EXPECT_EQ(sel[6], 0x00u);
    expect_time(dt, 2026, 12, 8, 10, 0, 0);
}

TEST_F(Rtc, ClockTickingMidReadingYieldsTheNewTimeNotAMixture) {
    cmos.set_time(at(2026, 12, 31, 23, 59, 59));
    cmos.tick_after = 4;  // after status A, seconds, minutes, hours of the first reading
    datetime dt = read();
    EXPECT_TRUE(ok);
    expect_time(dt, 2027, 1, 1, 0, 0, 0);
    EXPECT_EQ(dt.century, 20);
}

TEST_F(Rtc, ClockThatKeepsChangingEndsAfterABoundedNumberOfReadings) {
    cmos.set_time(at(2026, 5, 5, 5, 5, 5));
    cmos.tick_after = 1;
    cmos.tick_every = 1;  // every data read moves the clock
    datetime dt = read();
    EXPECT_FALSE(ok);
    int seconds_reads = 0;
    for (uint32_t reg : selected()) seconds_reads += reg == 0x00;
    EXPECT_EQ(seconds_reads, static_cast<int>(RTCDriver::kMaxReadings));
    EXPECT_EQ(dt.year, 2026);  // still a converted reading
    EXPECT_EQ(dt.month, 5);
}

TEST_F(Rtc, UpdateFlagStuckOnEndsTheWaitAndStillReads) {
    cmos.set_time(at(2026, 4, 3, 2, 1, 0));
    cmos.uip_forever = true;
    simbus::bus().set_logging(false);
    datetime dt = read();
    EXPECT_FALSE(ok);
    expect_time(dt, 2026, 4, 3, 2, 1, 0);
    // One bounded wait, then the readings go ahead without waiting again.
    EXPECT_LE(cmos.data_reads, static_cast<int>(RTCDriver::kUpdateWaitPolls) + 40);
}

TEST_F(Rtc, NullRecordIsRefusedWithoutTouchingTheClock) {
    EXPECT_FALSE(rtc.GetRTC(nullptr));
    EXPECT_TRUE(log().empty());
}

TEST_F(Rtc, ModelCarriesLeapDayIntoMarch) {
    cmos.set_time(at(2028, 2, 29, 23, 59, 59));
    cmos.tick();
    expect_time(read(), 2028, 3, 1, 0, 0, 0);
    cmos.set_time(at(2100, 2, 28, 23, 59, 59));  // not a leap year
    cmos.tick();
    expect_time(read(), 2100, 3, 1, 0, 0, 0);
}

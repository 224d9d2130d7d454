// Simulated CMOS real-time clock: register encoding and update behaviour.
#include "tests/support/sim_cmos.h"

#include <cstring>

namespace simbus {

namespace {
const uint16_t kIndexPort = 0x70;
const uint16_t kDataPort = 0x71;
const uint8_t kUpdating = 0x80;  // status A bit 7
const uint8_t kPm = 0x80;        // hour bit 7 in 12-hour mode

int days_in_month(int month, int year) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}
}  // namespace

SimCmos::SimCmos() {
    std::memset(reg, 0, sizeof reg);
    reg[kRegStatusA] = 0x26;  // 32.768 kHz time base, 1024 Hz rate: the usual setting
    reg[kRegStatusB] = k24Hour;  // BCD, 24-hour: what PC firmware leaves
    encode_all();
}

bool SimCmos::claims(uint16_t port) const { return port == kIndexPort || port == kDataPort; }

uint8_t SimCmos::encode(int v) const {
    if (reg[kRegStatusB] & kBinary) return static_cast<uint8_t>(v);
    return static_cast<uint8_t>((v / 10) << 4 | (v % 10));
}

void SimCmos::encode_all() {
    reg[0x00] = encode(time_.second);
    reg[0x02] = encode(time_.minute);
    if (reg[kRegStatusB] & k24Hour) {
        reg[0x04] = encode(time_.hour);
    } else {
        // 12-hour: 12 AM is midnight, 12 PM is noon; bit 7 marks PM.
        int h12 = time_.hour % 12 == 0 ? 12 : time_.hour % 12;
        reg[0x04] = static_cast<uint8_t>(encode(h12) | (time_.hour >= 12 ? kPm : 0));
    }
    reg[0x07] = encode(time_.day);
    reg[0x08] = encode(time_.month);
    reg[0x09] = encode(time_.year % 100);
    reg[kRegCentury] = encode(time_.year / 100);
}

void SimCmos::set_format(bool binary, bool hour24) {
    uint8_t b = reg[kRegStatusB] & ~(kBinary | k24Hour);
    reg[kRegStatusB] = static_cast<uint8_t>(b | (binary ? kBinary : 0) | (hour24 ? k24Hour : 0));
    encode_all();
}

void SimCmos::set_time(const Time& t) {
    time_ = t;
    encode_all();
}

void SimCmos::tick() {
    Time& t = time_;
    if (++t.second < 60) return encode_all();
    t.second = 0;
    if (++t.minute < 60) return encode_all();
    t.minute = 0;
    if (++t.hour < 24) return encode_all();
    t.hour = 0;
    if (++t.day <= days_in_month(t.month, t.year)) return encode_all();
    t.day = 1;
    if (++t.month <= 12) return encode_all();
    t.month = 1;
    ++t.year;
    encode_all();
}

uint32_t SimCmos::read(uint16_t port, int) {
    if (port == kIndexPort) return 0xFF;  // write-only on most chipsets
    ++data_reads;
    uint8_t value = reg[index];
    if (index == kRegStatusA) {
        value &= static_cast<uint8_t>(~kUpdating);
        if (uip_forever || uip_reads > 0) value |= kUpdating;
        if (uip_reads > 0) --uip_reads;
    }
    if (tick_after > 0 && --tick_after == 0) {
        tick();
        tick_after = tick_every;
    }
    return value;
}

void SimCmos::write(uint16_t port, uint32_t value, int) {
    uint8_t v = static_cast<uint8_t>(value);
    if (port == kIndexPort) {
        if (v & 0x80) ++nmi_disable_writes;
        index = v & 0x7F;
        return;
    }
    reg[index] = v;
}

}  // namespace simbus

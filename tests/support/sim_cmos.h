// Simulated MC146818 CMOS clock on ports 0x70/0x71: time registers in BCD or
// binary, 12- or 24-hour, a century register, update-in-progress, and a
// clock that can tick while the driver reads it.
#ifndef TARN_TESTS_SUPPORT_SIM_CMOS_H
#define TARN_TESTS_SUPPORT_SIM_CMOS_H

#include <cstdint>

#include "tests/support/simbus.h"

namespace simbus {

class SimCmos : public Device {
public:
    // Calendar time the model keeps, always binary and 24-hour.
    struct Time {
        int second = 0, minute = 0, hour = 0;  // hour 0-23
        int day = 1, month = 1, year = 2000;   // full year
    };

    static constexpr uint8_t kRegStatusA = 0x0A;
    static constexpr uint8_t kRegStatusB = 0x0B;
    static constexpr uint8_t kRegCentury = 0x32;
    static constexpr uint8_t kBinary = 0x04;   // status B bit 2
    static constexpr uint8_t k24Hour = 0x02;   // status B bit 1

    SimCmos();

    bool claims(uint16_t port) const override;
    uint32_t read(uint16_t port, int width) override;
    void write(uint16_t port, uint32_t value, int width) override;

    // Sets the format bits of status B and re-encodes the time registers.
    void set_format(bool binary, bool hour24);
    // Sets the clock; the registers follow in the current format.
    void set_time(const Time& t);
    const Time& time() const { return time_; }
    // Adds one second, with minute/hour/day/month/year carries.
    void tick();

    // Raw register file (index 0..127); tests may poke raw values after
    // set_time to present what a particular chip delivers.
    uint8_t reg[128];

    // Status-A reads that report an update in progress before it clears;
    // uip_forever keeps it set for good.
    int uip_reads = 0;
    bool uip_forever = false;
    // Clock ticks while being read: after tick_after data reads the clock
    // advances one second; with tick_every non-zero it then keeps advancing
    // every tick_every data reads.
    int tick_after = 0;
    int tick_every = 0;

    int data_reads = 0;         // reads of port 0x71
    int nmi_disable_writes = 0; // index writes with bit 7 set
    uint8_t index = 0;

private:
    uint8_t encode(int v) const;
    void encode_all();
    Time time_;
};

}  // namespace simbus

#endif

// Simulated 8254 interval timer on ports 0x40-0x43 with system port B (0x61):
// follows command bytes and count loading per channel, and the speaker gate.
#ifndef TARN_TESTS_SUPPORT_SIM_PIT_H
#define TARN_TESTS_SUPPORT_SIM_PIT_H

#include <cstdint>
#include <vector>

#include "tests/support/simbus.h"

namespace simbus {

class SimPit : public Device {
public:
    static constexpr uint32_t kInputHz = 1193182;

    struct Channel {
        int access = 0;          // 1 low byte, 2 high byte, 3 low then high
        int mode = 0;            // 0..5
        bool bcd = false;
        uint16_t reload = 0;     // last complete count written (0 = 65536)
        bool loaded = false;     // a complete count has been written
        int loads = 0;           // complete counts written
        bool low_done = false;   // access 3: low byte in, high byte awaited
        uint8_t pending_low = 0;
        uint32_t count = 0;      // current count (advance() moves it)
        bool latched = false;    // counter-latch command seen, latch not yet read
        uint16_t latch = 0;
        bool read_high = false;  // access 3: next read returns the high byte
    };

    SimPit();

    bool claims(uint16_t port) const override;
    uint32_t read(uint16_t port, int width) override;
    void write(uint16_t port, uint32_t value, int width) override;

    // Counts n input clocks on every loaded channel.
    void advance(uint32_t clocks);

    // Period in input clocks (a reload of 0 counts 65536).
    static uint32_t period(const Channel& c) { return c.reload == 0 ? 65536u : c.reload; }
    // Output frequency of a channel in whole hertz; 0 before a count is loaded.
    uint32_t frequency(int channel) const;

    // System port B: bit 0 timer-2 gate, bit 1 speaker data (writable with
    // bits 2-3); bit 4 toggles on every read like the refresh flip-flop.
    uint8_t port_b = 0;
    int port_b_writes = 0;
    bool speaker_on() const { return (port_b & 0x03) == 0x03; }
    // Pitch the speaker plays: channel 2's frequency while the gate is open.
    uint32_t speaker_hz() const { return speaker_on() ? frequency(2) : 0; }

    Channel channel[3];
    // Input clocks that pass with every access to the timer's ports (a
    // timer running while the kernel reads it); 0 keeps it still.
    uint32_t clocks_per_access = 0;
    std::vector<uint8_t> commands;  // every command byte, in order

private:
    void data_write(Channel& c, uint8_t v);
    uint8_t data_read(Channel& c);
    bool refresh_ = false;
};

}  // namespace simbus

#endif

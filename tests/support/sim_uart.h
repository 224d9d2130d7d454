// Simulated 16550 UART on COM1 (0x3F8-0x3FF): divisor latch, line and modem
// control, FIFO control, receive queue, transmitted bytes, loopback, and a
// transmitter that can be held busy.
#ifndef TARN_TESTS_SUPPORT_SIM_UART_H
#define TARN_TESTS_SUPPORT_SIM_UART_H

#include <cstdint>
#include <deque>
#include <vector>

#include "tests/support/simbus.h"

namespace simbus {

class SimUart : public Device {
public:
    static constexpr uint16_t kBase = 0x3F8;
    static constexpr uint32_t kClockDivided = 115200;  // 1.8432 MHz / 16

    explicit SimUart(uint16_t base = kBase);

    bool claims(uint16_t port) const override;
    uint32_t read(uint16_t port, int width) override;
    void write(uint16_t port, uint32_t value, int width) override;

    // Queues bytes as if they arrived on the line.
    void receive(const std::vector<uint8_t>& bytes) { rx.insert(rx.end(), bytes.begin(), bytes.end()); }

    uint16_t divisor() const { return static_cast<uint16_t>(dll | dlm << 8); }
    uint32_t baud() const { return divisor() ? kClockDivided / divisor() : 0; }
    int data_bits() const { return (lcr & 0x03) + 5; }
    int stop_bits() const { return (lcr & 0x04) ? 2 : 1; }
    bool parity() const { return lcr & 0x08; }
    bool dlab() const { return lcr & 0x80; }
    // The interrupt reaches the 8259 only through OUT2.
    bool irq_pending() const { return (mcr & 0x08) && (ier & 0x01) && !rx.empty(); }

    uint8_t ier = 0, lcr = 0, mcr = 0, scr = 0, dll = 0, dlm = 0;
    uint8_t fcr = 0;            // last FIFO control written
    bool fifo_enabled = false;
    int fifo_clears = 0;        // FIFO control writes that cleared a FIFO
    std::deque<uint8_t> rx;
    std::vector<uint8_t> tx;    // bytes transmitted (not in loopback)

    // Line-status reads that report the transmitter busy before it empties;
    // transmitter_stuck keeps it busy for good.
    int busy_reads = 0;
    bool transmitter_stuck = false;
    int lsr_reads = 0;

private:
    uint16_t base_;
};

}  // namespace simbus

#endif

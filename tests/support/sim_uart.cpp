// Simulated 16550 UART.
#include "tests/support/sim_uart.h"

namespace simbus {

namespace {
enum Reg { kData, kIer, kIirFcr, kLcr, kMcr, kLsr, kMsr, kScr };
const uint8_t kLsrDataReady = 0x01;
const uint8_t kLsrThrEmpty = 0x20;
const uint8_t kLsrIdle = 0x40;     // transmitter shift register empty too
const uint8_t kMcrLoopback = 0x10;
const uint8_t kFcrEnable = 0x01;
const uint8_t kFcrClearRx = 0x02;
const uint8_t kFcrClearTx = 0x04;
const uint8_t kIirNone = 0x01;
const uint8_t kIirReceived = 0x04;
const uint8_t kIirFifos = 0xC0;
}  // namespace

SimUart::SimUart(uint16_t base) : base_(base) {}

bool SimUart::claims(uint16_t port) const { return port >= base_ && port < base_ + 8; }

uint32_t SimUart::read(uint16_t port, int) {
    switch (port - base_) {
    case kData: {
        if (dlab()) return dll;
        if (rx.empty()) return 0;
        uint8_t b = rx.front();
        rx.pop_front();
        return b;
    }
    case kIer: return dlab() ? dlm : ier;
    case kIirFcr: {
        uint8_t id = (ier & 0x01) && !rx.empty() ? kIirReceived : kIirNone;
        return id | (fifo_enabled ? kIirFifos : 0);
    }
    case kLcr: return lcr;
    case kMcr: return mcr;
    case kLsr: {
        ++lsr_reads;
        uint8_t lsr = rx.empty() ? 0 : kLsrDataReady;
        bool busy = transmitter_stuck || busy_reads > 0;
        if (busy_reads > 0) --busy_reads;
        if (!busy) lsr |= kLsrThrEmpty | kLsrIdle;
        return lsr;
    }
    case kMsr: return 0;  // no modem lines
    default: return scr;
    }
}

void SimUart::write(uint16_t port, uint32_t value, int) {
    uint8_t v = static_cast<uint8_t>(value);
    switch (port - base_) {
    case kData:
        if (dlab())
            dll = v;
        else if (mcr & kMcrLoopback)
            rx.push_back(v);
        else
            tx.push_back(v);
        break;
    case kIer:
        if (dlab())
            dlm = v;
        else
            ier = v & 0x0F;
        break;
    case kIirFcr:
        fcr = v;
        fifo_enabled = v & kFcrEnable;
        if (v & kFcrClearRx) rx.clear();
        if (v & (kFcrClearRx | kFcrClearTx)) ++fifo_clears;
        break;
    case kLcr: lcr = v; break;
    case kMcr: mcr = v & 0x1F; break;
    case kLsr:
    case kMsr: break;  // read-only
    default: scr = v; break;
    }
}

}  // namespace simbus

// Simulated 8254 interval timer and system port B (speaker gate).
#include "tests/support/sim_pit.h"

namespace simbus {

namespace {
const uint16_t kChannel0 = 0x40;
const uint16_t kCommand = 0x43;
const uint16_t kPortB = 0x61;
const uint8_t kPortBWritable = 0x0F;  // gate, speaker data, parity/channel-check enables
const uint8_t kPortBRefresh = 0x10;
}  // namespace

SimPit::SimPit() = default;

bool SimPit::claims(uint16_t port) const {
    return (port >= kChannel0 && port <= kCommand) || port == kPortB;
}

uint32_t SimPit::frequency(int ch) const {
    const Channel& c = channel[ch];
    if (!c.loaded) return 0;
    return kInputHz / period(c);
}

void SimPit::advance(uint32_t clocks) {
    for (Channel& c : channel) {
        if (!c.loaded) continue;
        uint32_t p = period(c);
        uint32_t step = clocks % p;
        c.count = c.count > step ? c.count - step : c.count + p - step;
    }
}

uint32_t SimPit::read(uint16_t port, int) {
    if (clocks_per_access && port != kPortB) advance(clocks_per_access);
    if (port == kPortB) {
        refresh_ = !refresh_;
        return (port_b & kPortBWritable) | (refresh_ ? kPortBRefresh : 0);
    }
    if (port == kCommand) return 0xFF;  // write-only register
    return data_read(channel[port - kChannel0]);
}

void SimPit::write(uint16_t port, uint32_t value, int) {
    if (clocks_per_access && port != kPortB) advance(clocks_per_access);
    uint8_t v = static_cast<uint8_t>(value);
    if (port == kPortB) {
        port_b = v & kPortBWritable;
        ++port_b_writes;
        return;
    }
    if (port != kCommand) {
        data_write(channel[port - kChannel0], v);
        return;
    }
    // Command: cc aa mmm b
    commands.push_back(v);
    int ch = v >> 6;
    if (ch == 3) return;  // read-back command: not modelled
    Channel& c = channel[ch];
    int access = (v >> 4) & 3;
    if (access == 0) {  // counter latch
        if (!c.latched) {
            c.latched = true;
            c.latch = static_cast<uint16_t>(c.count);
            c.read_high = false;
        }
        return;
    }
    c.access = access;
    c.mode = (v >> 1) & 7;
    if (c.mode > 5) c.mode -= 4;  // 6 and 7 alias modes 2 and 3
    c.bcd = v & 1;
    c.low_done = false;
    c.read_high = false;
    c.latched = false;
}

void SimPit::data_write(Channel& c, uint8_t v) {
    uint16_t value;
    switch (c.access) {
    case 1: value = v; break;
    case 2: value = static_cast<uint16_t>(v << 8); break;
    case 3:
        if (!c.low_done) {
            c.pending_low = v;
            c.low_done = true;
            return;
        }
        c.low_done = false;
        value = static_cast<uint16_t>(c.pending_low | (v << 8));
        break;
    default: return;  // no command yet: the chip ignores the byte
    }
    c.reload = value;
    c.loaded = true;
    c.count = period(c);
    ++c.loads;
}

uint8_t SimPit::data_read(Channel& c) {
    uint16_t value = c.latched ? c.latch : static_cast<uint16_t>(c.count);
    uint8_t out;
    switch (c.access) {
    case 1: out = value & 0xFF; c.latched = false; break;
    case 2: out = value >> 8; c.latched = false; break;
    case 3:
        out = c.read_high ? value >> 8 : value & 0xFF;
        if (c.read_high) c.latched = false;
        c.read_high = !c.read_high;
        break;
    default: out = 0xFF; break;
    }
    return out;
}

}  // namespace simbus

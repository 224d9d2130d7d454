// Simulated Bochs VBE display interface.
#include "tests/support/sim_vbe.h"

namespace simbus {

namespace {
const uint16_t kIndexPort = 0x1CE;
const uint16_t kDataPort = 0x1CF;
}  // namespace

bool SimVbe::claims(uint16_t port) const {
    return present_ && (port == kIndexPort || port == kDataPort);
}

uint32_t SimVbe::read(uint16_t port, int) {
    if (port == kIndexPort) return index_;
    return index_ < regs_.size() ? regs_[index_] : 0;
}

void SimVbe::write(uint16_t port, uint32_t value, int) {
    uint16_t v = static_cast<uint16_t>(value);
    if (port == kIndexPort) {
        index_ = v;
        return;
    }
    writes_.emplace_back(index_, v);
    if (index_ == kId) {
        // Writing an ID selects the interface version; keep it in range.
        if (v >= 0xB0C0 && v <= 0xB0C5) regs_[kId] = v;
        return;
    }
    if (index_ < regs_.size()) regs_[index_] = v;
}

}  // namespace simbus

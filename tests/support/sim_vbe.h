// Simulated Bochs VBE display interface: index register 0x1CE, data 0x1CF.
// When absent the ports stay unclaimed and read as a floating bus.
#ifndef TARN_TESTS_SUPPORT_SIM_VBE_H
#define TARN_TESTS_SUPPORT_SIM_VBE_H

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "tests/support/simbus.h"

namespace simbus {

class SimVbe : public Device {
public:
    enum Register { kId = 0, kXres = 1, kYres = 2, kBpp = 3, kEnable = 4 };

    explicit SimVbe(uint16_t id = 0xB0C5) { regs_[kId] = id; }

    void set_present(bool present) { present_ = present; }
    void set_id(uint16_t id) { regs_[kId] = id; }
    uint16_t reg(int index) const { return regs_[index]; }

    // Data-register writes in order: (index, value).
    const std::vector<std::pair<uint16_t, uint16_t>>& writes() const { return writes_; }

    // Mode actually in force: enabled with the linear framebuffer bit.
    bool lfb_enabled() const { return (regs_[kEnable] & 0x41) == 0x41; }

    bool claims(uint16_t port) const override;
    uint32_t read(uint16_t port, int width) override;
    void write(uint16_t port, uint32_t value, int width) override;

private:
    std::array<uint16_t, 16> regs_{};
    uint16_t index_ = 0;
    bool present_ = true;
    std::vector<std::pair<uint16_t, uint16_t>> writes_;
};

}  // namespace simbus

#endif

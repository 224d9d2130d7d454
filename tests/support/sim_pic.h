// Simulated 8259 interrupt-controller pair on ports 0x20/0x21 and 0xA0/0xA1:
// follows the initialisation words, keeps the masks and counts end-of-interrupts.
#ifndef TARN_TESTS_SUPPORT_SIM_PIC_H
#define TARN_TESTS_SUPPORT_SIM_PIC_H

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/simbus.h"

namespace simbus {

class SimPic : public Device {
public:
    struct Chip {
        std::vector<uint8_t> icw;  // ICW1..ICW4 of the last initialisation
        int expect = 0;            // 0: operational; 2..4: next ICW awaited
        bool icw4_wanted = false;
        bool single = false;
        uint8_t vector_base = 0;   // ICW2
        uint8_t mask = 0xFF;       // OCW1 (all masked after power-on)
        int eoi_count = 0;         // non-specific EOIs (OCW2 0x20)
        bool initialised = false;
    };

    SimPic();

    bool claims(uint16_t port) const override;
    uint32_t read(uint16_t port, int width) override;
    void write(uint16_t port, uint32_t value, int width) override;

    Chip master;
    Chip slave;
    // Order in which the chips received EOIs: 'M' or 'S'.
    std::string eoi_order;

private:
    void command(Chip& chip, char name, uint8_t value);
    void data(Chip& chip, uint8_t value);
};

}  // namespace simbus

#endif

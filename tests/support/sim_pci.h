// Simulated PCI configuration space, mechanism 1: address latch on 0xCF8,
// data window on 0xCFC. Absent functions read as all ones.
#ifndef TARN_TESTS_SUPPORT_SIM_PCI_H
#define TARN_TESTS_SUPPORT_SIM_PCI_H

#include <array>
#include <cstdint>
#include <map>
#include <tuple>

#include "tests/support/simbus.h"

namespace simbus {

class SimPci : public Device {
public:
    using Space = std::array<uint8_t, 256>;

    struct Function {
        Space config{};
        Function& vendor_device(uint16_t vendor, uint16_t device);
        Function& class_code(uint8_t cls, uint8_t subclass, uint8_t prog_if = 0, uint8_t rev = 0);
        Function& header_type(uint8_t type);  // bit 7: multi-function
        Function& bar(int index, uint32_t value);
        Function& interrupt_line(uint8_t line);
        Function& dword(uint8_t offset, uint32_t value);
        uint32_t dword(uint8_t offset) const;
    };

    bool claims(uint16_t port) const override;
    uint32_t read(uint16_t port, int width) override;
    void write(uint16_t port, uint32_t value, int width) override;

    // Adds (or returns) the function at that position.
    Function& add(uint16_t bus, uint16_t device, uint16_t function);

    // A small machine: host bridge 8086:1237 at 00:00.0; a multi-function
    // ISA bridge 8086:7000 at 00:01.0 with IDE 8086:7010 at 00:01.1 (I/O BAR 4
    // 0xC041); the display adapter 1234:1111 (VGA class) at 00:02.0 with its
    // framebuffer BAR 0 0xFD000008; a network card 10EC:8139 at 00:03.0 with
    // I/O BAR 0 0xC101; a PCI-to-PCI bridge 8086:244E at 00:1E.0 (header 1).
    void add_standard_machine();

    uint32_t address_latch() const { return latch_; }
    int data_reads() const { return data_reads_; }

private:
    std::map<std::tuple<int, int, int>, Function> functions_;
    uint32_t latch_ = 0;
    int data_reads_ = 0;
    const Function* selected() const;
};

}  // namespace simbus

#endif

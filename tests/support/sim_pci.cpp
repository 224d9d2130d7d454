// Simulated PCI configuration space (mechanism 1).
#include "tests/support/sim_pci.h"

namespace simbus {

namespace {
const uint16_t kConfigAddress = 0xCF8;
const uint16_t kConfigData = 0xCFC;
const uint32_t kEnable = 0x80000000u;
}  // namespace

SimPci::Function& SimPci::Function::dword(uint8_t offset, uint32_t value) {
    offset &= 0xFC;
    for (int i = 0; i < 4; ++i) config[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return *this;
}

uint32_t SimPci::Function::dword(uint8_t offset) const {
    offset &= 0xFC;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(config[offset + i]) << (8 * i);
    return v;
}

SimPci::Function& SimPci::Function::vendor_device(uint16_t vendor, uint16_t device) {
    return dword(0x00, vendor | static_cast<uint32_t>(device) << 16);
}

SimPci::Function& SimPci::Function::class_code(uint8_t cls, uint8_t subclass, uint8_t prog_if,
                                               uint8_t rev) {
    config[0x08] = rev;
    config[0x09] = prog_if;
    config[0x0A] = subclass;
    config[0x0B] = cls;
    return *this;
}

SimPci::Function& SimPci::Function::header_type(uint8_t type) {
    config[0x0E] = type;
    return *this;
}

SimPci::Function& SimPci::Function::bar(int index, uint32_t value) {
    return dword(static_cast<uint8_t>(0x10 + 4 * index), value);
}

SimPci::Function& SimPci::Function::interrupt_line(uint8_t line) {
    config[0x3C] = line;
    config[0x3D] = 1;  // interrupt pin INTA#
    return *this;
}

SimPci::Function& SimPci::add(uint16_t bus, uint16_t device, uint16_t function) {
    return functions_[std::make_tuple(bus, device, function)];
}

void SimPci::add_standard_machine() {
    add(0, 0, 0).vendor_device(0x8086, 0x1237).class_code(0x06, 0x00);
    add(0, 1, 0).vendor_device(0x8086, 0x7000).class_code(0x06, 0x01).header_type(0x80);
    add(0, 1, 1).vendor_device(0x8086, 0x7010).class_code(0x01, 0x01, 0x80).bar(4, 0xC041);
    add(0, 2, 0).vendor_device(0x1234, 0x1111).class_code(0x03, 0x00).bar(0, 0xFD000008)
        .bar(2, 0xFEBF0000);
    add(0, 3, 0).vendor_device(0x10EC, 0x8139).class_code(0x02, 0x00).bar(0, 0xC101)
        .bar(1, 0xFEBF1000).interrupt_line(11);
    add(0, 0x1E, 0).vendor_device(0x8086, 0x244E).class_code(0x06, 0x04).header_type(0x01)
        .bar(0, 0x0000E001).bar(2, 0x00010100);
}

bool SimPci::claims(uint16_t port) const {
    return (port >= kConfigAddress && port < kConfigAddress + 4) ||
           (port >= kConfigData && port < kConfigData + 4);
}

const SimPci::Function* SimPci::selected() const {
    if (!(latch_ & kEnable)) return nullptr;
    int bus = (latch_ >> 16) & 0xFF;
    int device = (latch_ >> 11) & 0x1F;
    int function = (latch_ >> 8) & 0x07;
    auto it = functions_.find(std::make_tuple(bus, device, function));
    return it == functions_.end() ? nullptr : &it->second;
}

uint32_t SimPci::read(uint16_t port, int width) {
    if (port == kConfigAddress && width == 32) return latch_;
    if (port < kConfigData) return kFloating;
    ++data_reads_;
    const Function* f = selected();
    if (f == nullptr) return kFloating;
    uint32_t v = f->dword(static_cast<uint8_t>(latch_ & 0xFC));
    return v >> (8 * (port - kConfigData));
}

void SimPci::write(uint16_t port, uint32_t value, int width) {
    if (port == kConfigAddress && width == 32) {
        latch_ = value;
        return;
    }
    if (port < kConfigData) return;
    auto* f = const_cast<Function*>(selected());
    if (f == nullptr || port != kConfigData || width != 32) return;
    uint8_t offset = static_cast<uint8_t>(latch_ & 0xFC);
    if (offset == 0x04) {
        // Command register written; status bits written as one are cleared.
        uint32_t old = f->dword(offset);
        f->dword(offset, (value & 0xFFFF) | (old & ~value & 0xFFFF0000));
        return;
    }
    if (offset < 0x10) return;  // identification and class are read-only
    f->dword(offset, value);
}

}  // namespace simbus

// Host back end of the port primitives and processor control: the simulated bus.
#include "tests/support/simbus.h"

#include <algorithm>

#include "hardwarecommunication/cpu_control.h"
#include "hardwarecommunication/port.h"

namespace simbus {

namespace {
uint32_t mask_for(int width) {
    return width == 8 ? 0xFFu : width == 16 ? 0xFFFFu : 0xFFFFFFFFu;
}
}  // namespace

void Bus::attach(Device* device) { devices_.push_back(device); }

void Bus::detach(Device* device) {
    devices_.erase(std::remove(devices_.begin(), devices_.end(), device), devices_.end());
}

void Bus::reset() {
    devices_.clear();
    log_.clear();
    logging_ = true;
    interrupts_enabled = false;
    halt_count = 0;
    loaded_idt = nullptr;
    loaded_gdt = nullptr;
    tsc = 0;
    tsc_per_access = 0;
    invariant_tsc = false;
}

uint32_t Bus::read(uint16_t port, int width) {
    tsc += tsc_per_access;
    uint32_t value = kFloating;
    for (Device* d : devices_) {
        if (d->claims(port)) {
            value = d->read(port, width);
            break;
        }
    }
    value &= mask_for(width);
    if (logging_) log_.push_back({Access::kRead, width, port, value});
    return value;
}

void Bus::write(uint16_t port, uint32_t value, int width) {
    tsc += tsc_per_access;
    value &= mask_for(width);
    if (logging_) log_.push_back({Access::kWrite, width, port, value});
    for (Device* d : devices_) {
        if (d->claims(port)) {
            d->write(port, value, width);
            return;
        }
    }
}

std::vector<Access> Bus::log_for(uint16_t port) const {
    std::vector<Access> out;
    for (const Access& a : log_)
        if (a.port == port) out.push_back(a);
    return out;
}

Bus& bus() {
    static Bus the_bus;
    return the_bus;
}

}  // namespace simbus

namespace tarn {
namespace hardwarecommunication {

u8 Port8Bit::Read8(u16 port) { return static_cast<u8>(simbus::bus().read(port, 8)); }
void Port8Bit::Write8(u16 port, u8 data) { simbus::bus().write(port, data, 8); }
void Port8BitSlow::Write8Slow(u16 port, u8 data) { simbus::bus().write(port, data, 8); }
u16 Port16Bit::Read16(u16 port) { return static_cast<u16>(simbus::bus().read(port, 16)); }
void Port16Bit::Write16(u16 port, u16 data) { simbus::bus().write(port, data, 16); }
u32 Port32Bit::Read32(u16 port) { return simbus::bus().read(port, 32); }
void Port32Bit::Write32(u16 port, u32 data) { simbus::bus().write(port, data, 32); }

void cpu_disable_interrupts() { simbus::bus().interrupts_enabled = false; }
void cpu_enable_interrupts() { simbus::bus().interrupts_enabled = true; }
void cpu_halt_forever() {
    simbus::bus().interrupts_enabled = false;
    ++simbus::bus().halt_count;
}
// No interrupt arrives on the simulated bus by itself: returns at once.
void cpu_wait_for_interrupt() { simbus::bus().interrupts_enabled = true; }
bool cpu_interrupts_off() {
    bool were = simbus::bus().interrupts_enabled;
    simbus::bus().interrupts_enabled = false;
    return were;
}
void cpu_interrupts_restore(bool were_on) {
    if (were_on) simbus::bus().interrupts_enabled = true;
}
bool cpu_invariant_tsc() { return simbus::bus().invariant_tsc; }
u64 cpu_read_tsc() { return simbus::bus().tsc; }
void cpu_load_idt(const void* idtr) { simbus::bus().loaded_idt = idtr; }
void cpu_load_gdt(const void* gdtr) { simbus::bus().loaded_gdt = gdtr; }

}  // namespace hardwarecommunication
}  // namespace tarn

// A simulated PC port bus for host tests. The host build's port primitives
// (Port8Bit::Read8 and friends) and processor-control calls land here. Tests
// attach device models that claim port ranges; every access is logged in
// order so a test can check the exact sequence a driver produced.
#ifndef TARN_TESTS_SUPPORT_SIMBUS_H
#define TARN_TESTS_SUPPORT_SIMBUS_H

#include <cstdint>
#include <vector>

namespace simbus {

struct Access {
    enum Kind { kRead, kWrite } kind;
    int width;        // 8, 16 or 32
    uint16_t port;
    uint32_t value;   // value read or written
    bool operator==(const Access& o) const {
        return kind == o.kind && width == o.width && port == o.port && value == o.value;
    }
};

inline Access R8(uint16_t p, uint32_t v) { return {Access::kRead, 8, p, v}; }
inline Access W8(uint16_t p, uint32_t v) { return {Access::kWrite, 8, p, v}; }
inline Access R16(uint16_t p, uint32_t v) { return {Access::kRead, 16, p, v}; }
inline Access W16(uint16_t p, uint32_t v) { return {Access::kWrite, 16, p, v}; }
inline Access R32(uint16_t p, uint32_t v) { return {Access::kRead, 32, p, v}; }
inline Access W32(uint16_t p, uint32_t v) { return {Access::kWrite, 32, p, v}; }

// A device model. claims() decides which ports it answers; the bus asks the
// devices in attach order and the first claimant wins.
class Device {
public:
    virtual ~Device() = default;
    virtual bool claims(uint16_t port) const = 0;
    virtual uint32_t read(uint16_t port, int width) = 0;
    virtual void write(uint16_t port, uint32_t value, int width) = 0;
};

class Bus {
public:
    void attach(Device* device);
    void detach(Device* device);
    // Detaches every device, clears the log and the processor state.
    void reset();

    uint32_t read(uint16_t port, int width);
    void write(uint16_t port, uint32_t value, int width);

    // Accesses in order; clear_log() between phases of a test.
    const std::vector<Access>& log() const { return log_; }
    void clear_log() { log_.clear(); }
    // Accesses to one port only, in order.
    std::vector<Access> log_for(uint16_t port) const;
    void set_logging(bool on) { logging_ = on; }

    // Processor state touched through cpu_control.h.
    bool interrupts_enabled = false;
    int halt_count = 0;
    // The processor's time-stamp counter, moved by the test, and whether
    // CPUID calls it invariant.
    uint64_t tsc = 0;
    uint64_t tsc_per_access = 0;  // the counter runs on while ports are read
    bool invariant_tsc = false;
    const void* loaded_idt = nullptr;
    const void* loaded_gdt = nullptr;

private:
    std::vector<Device*> devices_;
    std::vector<Access> log_;
    bool logging_ = true;
};

// The one bus the port primitives use.
Bus& bus();

// An unclaimed port reads as a floating bus: all ones.
constexpr uint32_t kFloating = 0xFFFFFFFFu;

}  // namespace simbus

#endif

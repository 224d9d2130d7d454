// Simulated 8042 PS/2 controller on ports 0x60 and 0x64.
#include "tests/support/sim_ps2.h"

namespace simbus {

SimPs2::SimPs2(bool attach) : attached_(attach) {
    if (attached_) bus().attach(this);
}

SimPs2::~SimPs2() {
    if (attached_) bus().detach(this);
}

bool SimPs2::claims(uint16_t port) const { return port == kData || port == kStatus; }

void SimPs2::queue(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) pending_.push_back(b);
}

uint32_t SimPs2::read(uint16_t port, int) {
    if (port == kStatus) {
        status_reads_++;
        uint32_t status = (pending_.empty() ? 0 : kOutputFull) | (extra_status_ & ~kOutputFull);
        if (after_status_read_) after_status_read_();
        return status;
    }
    data_reads_++;
    // An empty controller repeats the last byte, as the real output latch does.
    if (pending_.empty()) return last_data_;
    last_data_ = pending_.front();
    pending_.pop_front();
    return last_data_;
}

namespace {
constexpr uint8_t kReadConfig = 0x20;
constexpr uint8_t kWriteConfig = 0x60;
constexpr uint8_t kEnableScanning = 0xF4;
}  // namespace

void SimPs2::write(uint16_t port, uint32_t value, int) {
    uint8_t byte = static_cast<uint8_t>(value);
    if (port == kStatus) {
        commands_.push_back(byte);
        pending_command_ = byte;
        auto it = command_replies_.find(byte);
        if (it != command_replies_.end()) queue(it->second);
        else if (byte == kReadConfig) queue(config_);
        return;
    }
    data_written_.push_back(byte);
    if (pending_command_ == kWriteConfig) config_ = byte;
    else if (byte == kEnableScanning) scanning_ = true;
    pending_command_ = 0;
    auto it = data_replies_.find(byte);
    if (it != data_replies_.end()) queue(it->second);
}

}  // namespace simbus

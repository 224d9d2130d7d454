// Simulated 8042 PS/2 controller on ports 0x60 (data) and 0x64 (status and
// command): a queue of bytes waiting to be read, status bit 0 while any wait,
// the controller's configuration byte (read with command 0x20, written with
// 0x60 and a data byte), the keyboard's scanning flag (set by data 0xF4),
// and a record of what the kernel wrote. A scripted reply to a command
// replaces the controller's own answer.
//
//   simbus::SimPs2 ps2;              // attaches itself to simbus::bus()
//   ps2.queue({0x1E, 0x9E});         // 'a' make, 'a' break
//   ps2.reply_to_command(0x20, {0x61});   // answer "read config" with 0x61
//   ps2.reply_to_data(0xF4, {0xFA});      // acknowledge "enable scanning"
//   ... run the code under test ...
//   ps2.commands();   // bytes written to 0x64, in order
//   ps2.data_written();  // bytes written to 0x60, in order
#ifndef TARN_TESTS_SUPPORT_SIM_PS2_H
#define TARN_TESTS_SUPPORT_SIM_PS2_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "tests/support/simbus.h"

namespace simbus {

class SimPs2 : public Device {
public:
    static constexpr uint16_t kData = 0x60;
    static constexpr uint16_t kStatus = 0x64;     // read: status, write: command
    static constexpr uint8_t kOutputFull = 0x01;  // status bit 0: byte waiting at 0x60

    // Attaches to simbus::bus() unless told not to; detaches when destroyed.
    explicit SimPs2(bool attach = true);
    ~SimPs2() override;
    SimPs2(const SimPs2&) = delete;
    SimPs2& operator=(const SimPs2&) = delete;

    bool claims(uint16_t port) const override;
    uint32_t read(uint16_t port, int width) override;
    void write(uint16_t port, uint32_t value, int width) override;

    // Bytes the controller will hand out at 0x60, oldest first.
    void queue(uint8_t byte) { pending_.push_back(byte); }
    void queue(const std::vector<uint8_t>& bytes);
    size_t pending() const { return pending_.size(); }
    void clear_pending() { pending_.clear(); }

    // Bytes queued as the answer whenever this command (to 0x64) or this
    // data byte (to 0x60) is written.
    void reply_to_command(uint8_t command, const std::vector<uint8_t>& reply) { command_replies_[command] = reply; }
    void reply_to_data(uint8_t data, const std::vector<uint8_t>& reply) { data_replies_[data] = reply; }

    // Status bits reported besides bit 0 (for example 0x04 system flag).
    void extra_status(uint8_t bits) { extra_status_ = bits; }

    // Called after every status read, when the answer has been given: a
    // test can let an interrupt arrive just there.
    void after_status_read(std::function<void()> fn) { after_status_read_ = std::move(fn); }

    uint8_t config() const { return config_; }
    void set_config(uint8_t config) { config_ = config; }
    bool scanning() const { return scanning_; }

    const std::vector<uint8_t>& commands() const { return commands_; }
    const std::vector<uint8_t>& data_written() const { return data_written_; }
    // Number of reads of 0x60 and of 0x64 so far.
    int data_reads() const { return data_reads_; }
    int status_reads() const { return status_reads_; }

private:
    bool attached_;
    std::deque<uint8_t> pending_;
    std::map<uint8_t, std::vector<uint8_t>> command_replies_;
    std::map<uint8_t, std::vector<uint8_t>> data_replies_;
    std::vector<uint8_t> commands_;
    std::vector<uint8_t> data_written_;
    uint8_t extra_status_ = 0;
    std::function<void()> after_status_read_;
    uint8_t config_ = 0;
    uint8_t pending_command_ = 0;  // command whose data byte is still due
    bool scanning_ = false;
    uint8_t last_data_ = 0;
    int data_reads_ = 0;
    int status_reads_ = 0;
};

}  // namespace simbus

#endif

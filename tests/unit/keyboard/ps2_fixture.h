// A minimal 8042 stand-in for the keyboard-driver tests: output-buffer queue
// with status bit 0, configuration byte, and the keyboard's scanning flag.
#ifndef TARN_TESTS_UNIT_KEYBOARD_PS2_FIXTURE_H
#define TARN_TESTS_UNIT_KEYBOARD_PS2_FIXTURE_H

#include <cstdint>
#include <deque>
#include <vector>

#include "tests/support/simbus.h"

class Ps2Fixture {
public:
    void queue(const std::vector<uint8_t>& bytes) { dev_.out.insert(dev_.out.end(), bytes.begin(), bytes.end()); }
    bool pending() const { return !dev_.out.empty(); }
    void set_config(uint8_t c) { dev_.config = c; }
    uint8_t config() const { return dev_.config; }
    bool scanning() const { return dev_.scanning; }
    simbus::Device& device() { return dev_; }

private:
    struct Dev : simbus::Device {
        std::deque<uint8_t> out;
        uint8_t config = 0;
        uint8_t pending_cmd = 0;
        bool scanning = false;
        bool claims(uint16_t port) const override { return port == 0x60 || port == 0x64; }
        uint32_t read(uint16_t port, int) override {
            if (port == 0x64) return out.empty() ? 0x00 : 0x01;
            if (out.empty()) return 0x00;
            uint8_t b = out.front();
            out.pop_front();
            return b;
        }
        void write(uint16_t port, uint32_t value, int) override {
            uint8_t v = static_cast<uint8_t>(value);
            if (port == 0x64) {
                if (v == 0x20) out.push_back(config);
                pending_cmd = v;
                return;
            }
            if (pending_cmd == 0x60) {
                config = v;
                pending_cmd = 0;
                return;
            }
            if (v == 0xF4) scanning = true;
        }
    } dev_;
};

#endif

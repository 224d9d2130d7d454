// Simulated 8259 pair: initialisation sequence, masks, end-of-interrupt commands.
#include "tests/support/sim_pic.h"

namespace simbus {

namespace {
const uint16_t kMasterCommand = 0x20;
const uint16_t kMasterData = 0x21;
const uint16_t kSlaveCommand = 0xA0;
const uint16_t kSlaveData = 0xA1;
const uint8_t kIcw1 = 0x10;       // bit 4 marks ICW1 on the command port
const uint8_t kIcw1Icw4 = 0x01;
const uint8_t kIcw1Single = 0x02;  // no cascade: ICW3 is skipped
const uint8_t kOcw2Eoi = 0x20;    // non-specific end of interrupt
}  // namespace

SimPic::SimPic() = default;

bool SimPic::claims(uint16_t port) const {
    return port == kMasterCommand || port == kMasterData || port == kSlaveCommand ||
           port == kSlaveData;
}

uint32_t SimPic::read(uint16_t port, int) {
    if (port == kMasterData) return master.mask;
    if (port == kSlaveData) return slave.mask;
    return 0;  // IRR/ISR reads are not modelled
}

void SimPic::write(uint16_t port, uint32_t value, int) {
    uint8_t v = static_cast<uint8_t>(value);
    switch (port) {
    case kMasterCommand: command(master, 'M', v); break;
    case kSlaveCommand: command(slave, 'S', v); break;
    case kMasterData: data(master, v); break;
    case kSlaveData: data(slave, v); break;
    default: break;
    }
}

void SimPic::command(Chip& chip, char name, uint8_t value) {
    if (value & kIcw1) {
        chip.icw.assign(1, value);
        chip.icw4_wanted = value & kIcw1Icw4;
        chip.single = value & kIcw1Single;
        chip.expect = 2;
        chip.initialised = false;
        chip.mask = 0;
        return;
    }
    if (value == kOcw2Eoi) {
        ++chip.eoi_count;
        eoi_order.push_back(name);
    }
}

void SimPic::data(Chip& chip, uint8_t value) {
    if (chip.expect == 0) {
        chip.mask = value;  // OCW1
        return;
    }
    chip.icw.push_back(value);
    int next = 0;
    if (chip.expect == 2) {
        chip.vector_base = value & 0xF8;
        next = !chip.single ? 3 : chip.icw4_wanted ? 4 : 0;
    } else if (chip.expect == 3) {
        next = chip.icw4_wanted ? 4 : 0;
    }
    chip.expect = next;
    if (next == 0) chip.initialised = true;
}

}  // namespace simbus

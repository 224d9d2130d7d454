// The serial bus handed to drive 8.
#include "c64/serial_bus.h"

#include "c64/kernal.h"
#include "c64/memory.h"
#include "filesystem/fat.h"

using namespace kernal;

namespace {

u16 read_word(Memory* mem, u16 address) {
    return mem->read_byte(address) | mem->read_byte((u16)(address + 1)) << 8;
}

void write_word(Memory* mem, u16 address, u16 value) {
    mem->write_byte(address, value & 0xFF);
    mem->write_byte((u16)(address + 1), value >> 8);
}

}  // namespace

void SerialBus::fat32(tarn::filesystem::Fat32* f) {
    fat32_ = f;
    drive_store_.Volume(f);
    drive_.Attach(f && f->mounted() ? &drive_store_ : nullptr);
}

void SerialBus::serve() {
    if (!mem_ || serving_) return;
    u8 request = mem_->take_trap_request();
    if (request < kFirstRequest || request > kLastRequest) return;
    serving_ = true;
    drive_.BasicStart(read_word(mem_, kTxtTab));
    u8 status = 0;
    switch (request) {
    case kRequestAttention:
        status = drive_.Attention(mem_->read_byte(kBusByte));
        break;
    case kRequestSend:
        status = drive_.Send(mem_->read_byte(kBusByte));
        break;
    case kRequestReceive: {
        u8 value;
        status = drive_.Receive(&value);
        mem_->write_byte(kReceived, value);
        break;
    }
    default:
        status = load_rest();
        break;
    }
    mem_->write_byte(kStatus, mem_->read_byte(kStatus) | status);
    serving_ = false;
}

// The KERNAL's LOAD loop, one call: every remaining byte of the file goes
// where LOAD would put it, stopping at $FFFF. VERIFY keeps the byte loop.
u8 SerialBus::load_rest() {
    if (mem_->read_byte(kVerify) != 0 || (mem_->read_byte(kStatus) & drive::kStEoi)) return 0;
    u16 address = read_word(mem_, kLoadPointer);
    u8 status = 0;
    for (;;) {
        u8 value;
        status = drive_.Receive(&value);
        if (status & drive::kStTimeoutRead) break;
        mem_->write_byte(address++, value);
        if (status & drive::kStEoi) break;
        // A file that does not fit below $FFFF ends in a read error: the
        // KERNAL's loop stops, BASIC says ?LOAD ERROR and keeps its pointers.
        if (address == 0) {
            status = drive::kStEoi | drive::kStTimeoutRead;
            break;
        }
    }
    write_word(mem_, kLoadPointer, address);
    return status;
}

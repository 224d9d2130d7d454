// Host bridge, serial-bus side: the patched KERNAL's LISTEN, TALK, SECOND,
// TKSA, UNLISTEN, UNTALK, CIOUT and ACPTR hand their bytes to drive 8 here,
// so LOAD, SAVE, OPEN, CLOSE, CHKIN, CHKOUT and the rest keep the KERNAL's
// own logic (ST, file tables, messages).
#include "c64/io.h"

#include "c64/memory.h"
#include "filesystem/fat.h"

namespace {

// KERNAL zero page used by the patched serial routines.
constexpr u16 kTxtTab = 0x002B;       // start of BASIC program (word)
constexpr u16 kStatus = 0x0090;       // KERNAL I/O status ST
constexpr u16 kVerify = 0x0093;       // 0 LOAD, otherwise VERIFY
constexpr u16 kBusByte = 0x0095;      // byte sent: under ATN or as data
constexpr u16 kReceived = 0x00A4;     // byte read by ACPTR
constexpr u16 kLoadPointer = 0x00AE;  // where LOAD puts the next byte (word)

// Request codes, as the patched routines store them.
constexpr u8 kRequestAttention = 4;   // LISTEN/TALK/SECOND/TKSA/UNLISTEN/UNTALK
constexpr u8 kRequestSend = 5;        // CIOUT
constexpr u8 kRequestReceive = 6;     // ACPTR
constexpr u8 kRequestLoadRest = 7;    // LOAD: the rest of the file at once

u16 read_word(Memory* mem, u16 address) {
    return mem->read_byte(address) | mem->read_byte((u16)(address + 1)) << 8;
}

void write_word(Memory* mem, u16 address, u16 value) {
    mem->write_byte(address, value & 0xFF);
    mem->write_byte((u16)(address + 1), value >> 8);
}

}  // namespace

void IO::fat32(tarn::filesystem::Fat32* f) {
    fat32_ = f;
    drive_store_.Volume(f);
    drive_.Attach(f && f->mounted() ? &drive_store_ : nullptr);
}

bool IO::emulate() {
    if (!mem_ || serving_) return true;
    u8 request = mem_->take_trap_request();
    if (request < kRequestAttention || request > kRequestLoadRest) return true;
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
    return true;
}

// The KERNAL's LOAD loop, one call: every remaining byte of the file goes
// where LOAD would put it, stopping at $FFFF. VERIFY keeps the byte loop.
u8 IO::load_rest() {
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

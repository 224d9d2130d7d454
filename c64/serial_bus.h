// The serial bus as the patched KERNAL hands it to the machine: LISTEN,
// TALK, SECOND, TKSA, UNLISTEN, UNTALK, CIOUT and ACPTR store a request in
// the trap register and drive 8 serves it before the routine goes on, so
// LOAD, SAVE, OPEN, CLOSE, CHKIN, CHKOUT and the rest keep the KERNAL's own
// logic (ST, file tables, messages).
#ifndef TARN_C64_SERIAL_BUS_H
#define TARN_C64_SERIAL_BUS_H

#include "c64/drive/drive.h"
#include "c64/drive/fat_store.h"
#include "lib/types.h"

class Memory;
namespace tarn { namespace filesystem { class Fat32; } }

class SerialBus {
public:
    explicit SerialBus(Memory* mem) : mem_(mem) {}
    SerialBus(const SerialBus&) = delete;
    SerialBus& operator=(const SerialBus&) = delete;

    // The volume drive 8 serves (null: no disk).
    void fat32(tarn::filesystem::Fat32* f);
    tarn::filesystem::Fat32* fat32() const { return fat32_; }

    // Serves the request the patched KERNAL left in the trap register, if
    // any (a byte under ATN, CIOUT, ACPTR, the rest of a LOAD). Called at
    // once when the request is stored, and once per main-loop pass.
    void serve();
    drive::Drive& drive() { return drive_; }

private:
    u8 load_rest();

    Memory* mem_;
    tarn::filesystem::Fat32* fat32_ = nullptr;
    drive::FatStore drive_store_{nullptr};
    drive::Drive drive_;
    // A request stored while another is served (a loaded byte landing on
    // the register) must not start a second one.
    bool serving_ = false;
};

#endif

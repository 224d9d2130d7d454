// MOS 6569 VIC-II video chip (interface stub: registers store and read back).
#include "c64/vic.h"

Vic::Vic() {
    for (u8& r : regs_) r = 0;
}

u8 Vic::read_register(u8 r) { return regs_[r & 0x7F]; }
void Vic::write_register(u8 r, u8 v) { regs_[r & 0x7F] = v; }
bool Vic::emulate() { return true; }

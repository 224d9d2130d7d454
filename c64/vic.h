// MOS 6569 VIC-II video chip.
// (Interface stub: the contract operations other components call. The full
// chip replaces the body.)
#ifndef TARN_C64_VIC_H
#define TARN_C64_VIC_H

#include "lib/types.h"

class Memory;
class Cpu;
class IO;

class Vic {
public:
    Vic();
    void memory(Memory* m) { mem_ = m; }
    void cpu(Cpu* c) { cpu_ = c; }
    void io(IO* i) { io_ = i; }

    u8 read_register(u8 r);
    void write_register(u8 r, u8 v);
    bool emulate();

private:
    Memory* mem_ = nullptr;
    Cpu* cpu_ = nullptr;
    IO* io_ = nullptr;
    u8 regs_[0x80];
};

#endif

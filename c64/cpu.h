// 6510 register file with reset and interrupt entry, the chips' time base.
#ifndef TARN_C64_CPU_H
#define TARN_C64_CPU_H

#include "lib/types.h"

class Memory;

class Cpu {
public:
    Cpu() {}
    void memory(Memory* m) { mem_ = m; }

    void reset();
    void irq();
    void nmi();
    void tick(u8 n) { cycles_ += n; }
    u32 cycles() const { return cycles_; }
    void push(u8 v);
    u8 flags() const;

    u16 pc() const { return pc_; }
    void pc(u16 v) { pc_ = v; }
    u8 sp() const { return sp_; }
    u8 a() const { return a_; }
    u8 x() const { return x_; }
    u8 y() const { return y_; }
    bool idf() const { return idf_; }
    void idf(bool v) { idf_ = v; }

private:
    u16 pc_ = 0;
    u8 sp_ = 0;
    u8 a_ = 0, x_ = 0, y_ = 0;
    bool cf_ = false, zf_ = false, idf_ = false, dmf_ = false, of_ = false, nf_ = false;
    Memory* mem_ = nullptr;
    u32 cycles_ = 0;
};

#endif

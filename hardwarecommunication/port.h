// x86 I/O ports: the single place where the kernel talks to port space.
// The static forms are the primitives; the kernel build implements them with
// in/out instructions (port_x86.cpp), the host build with the simulated PC
// bus of the tests (tests/support/simbus.cpp).
#ifndef TARN_HARDWARECOMMUNICATION_PORT_H
#define TARN_HARDWARECOMMUNICATION_PORT_H

#include "lib/types.h"

namespace tarn {
namespace hardwarecommunication {

class Port {
protected:
    explicit Port(u16 portnumber) : portnumber(portnumber) {}
    ~Port() = default;
    u16 portnumber;
};

class Port8Bit : public Port {
public:
    explicit Port8Bit(u16 portnumber) : Port(portnumber) {}
    virtual u8 Read();
    virtual void Write(u8 data);

    static u8 Read8(u16 port);
    static void Write8(u16 port, u8 data);
};

class Port8BitSlow : public Port8Bit {
public:
    explicit Port8BitSlow(u16 portnumber) : Port8Bit(portnumber) {}
    void Write(u8 data) override;

    // out, then two short jumps: the 8259 needs a moment between writes.
    static void Write8Slow(u16 port, u8 data);
};

class Port16Bit : public Port {
public:
    explicit Port16Bit(u16 portnumber) : Port(portnumber) {}
    virtual u16 Read();
    virtual void Write(u16 data);

    static u16 Read16(u16 port);
    static void Write16(u16 port, u16 data);
};

class Port32Bit : public Port {
public:
    explicit Port32Bit(u16 portnumber) : Port(portnumber) {}
    virtual u32 Read();
    virtual void Write(u32 data);

    static u32 Read32(u16 port);
    static void Write32(u16 port, u32 data);
};

}  // namespace hardwarecommunication
}  // namespace tarn

#endif

// PCI configuration space (mechanism 1, ports 0xCF8/0xCFC): bus enumeration.
#ifndef TARN_HARDWARECOMMUNICATION_PCI_H
#define TARN_HARDWARECOMMUNICATION_PCI_H

#include "hardwarecommunication/port.h"
#include "lib/types.h"

namespace tarn {
namespace hardwarecommunication {

enum BaseAddressRegisterType {
    MemoryMapping = 0,
    InputOutput = 1,
};

class BaseAddressRegister {
public:
    bool prefetchable;
    u8* address;
    u32 size;
    BaseAddressRegisterType type;
};
typedef BaseAddressRegister BaseAddressInfo;

class PeripheralComponentInterconnectDeviceDescriptor {
public:
    PeripheralComponentInterconnectDeviceDescriptor();

    u32 ioBase;         // the last I/O BAR's port base
    u32 interruptWord;  // configuration offset 0x3C: line, pin, grant, latency
    u32 bar[6];         // the BAR registers as read (0 where the header has none)
    u8 interruptLine;   // the legacy IRQ the firmware routed the function to

    u16 bus;
    u16 device;
    u16 function;

    u16 vendorId;
    u16 deviceId;

    u8 classCode;
    u8 subclassCode;
    u8 progIf;
    u8 revisionId;
};

class PeripheralComponentInterconnectController {
public:
    PeripheralComponentInterconnectController();
    ~PeripheralComponentInterconnectController();

    // Configuration double word holding offset, shifted so that the byte at
    // offset lands in bits 0..7.
    u32 Read(u16 bus, u16 device, u16 function, u16 registeroffset);
    void Write(u16 bus, u16 device, u16 function, u16 registeroffset, u32 value);
    bool DeviceHasFunctions(u16 bus, u16 device);

    // Every function on buses 0..7, in bus order, one console line each;
    // at most max of them into out (null: none kept). Returns how many
    // there are.
    int Enumerate(PeripheralComponentInterconnectDeviceDescriptor* out, int max);
    PeripheralComponentInterconnectDeviceDescriptor GetDeviceDescriptor(u16 bus, u16 device,
                                                                         u16 function);
    BaseAddressRegister GetBaseAddressRegister(u16 bus, u16 device, u16 function, u16 bar);

    // Functions of one class, subclass and programming interface in bus
    // order, at most max of them into out; returns how many were found.
    int FindByClass(u8 classCode, u8 subclassCode, u8 progIf,
                    PeripheralComponentInterconnectDeviceDescriptor* out, int max);
    // Physical address of memory BAR bar (a 64-bit BAR takes the next one
    // as its high half); 0 for an I/O BAR, an unset one, or one the header
    // does not have.
    u64 MemoryBarAddress(u16 bus, u16 device, u16 function, u16 bar);
    // Lets the function answer memory accesses and master the bus (DMA).
    void EnableMemoryAndBusMaster(u16 bus, u16 device, u16 function);
    // Bytes memory BAR bar decodes (0 for none), found by writing all ones
    // with the function's memory decoding off; the BAR is put back.
    u64 MemoryBarSize(u16 bus, u16 device, u16 function, u16 bar);
    // Moves memory BAR bar to address (a 64-bit BAR's high half too).
    void SetMemoryBar(u16 bus, u16 device, u16 function, u16 bar, u64 address);
    // Every memory BAR below 4 GiB on the buses scanned, each as its first
    // byte and its end; returns how many (at most max).
    int MemoryBarsBelow4G(u32* starts, u32* ends, int max);

private:
    Port32Bit dataPort;
    Port32Bit commandPort;
};

}  // namespace hardwarecommunication
}  // namespace tarn

#endif

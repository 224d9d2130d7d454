// PCI configuration space (mechanism 1): enumeration and BAR decoding.
#include "hardwarecommunication/pci.h"

#include "lib/stdio.h"

namespace tarn {
namespace hardwarecommunication {

namespace {
const u16 kConfigAddress = 0xCF8;  // 1 bbbbbbbb ddddd fff oooooo00
const u16 kConfigData = 0xCFC;
const u32 kConfigEnable = 0x80000000;

const u16 kOffsetVendor = 0x00;
const u16 kOffsetDevice = 0x02;
const u16 kOffsetCommand = 0x04;     // 16 bits; the status register above it is RW1C
const u16 kCommandMemorySpace = 1 << 1;
const u16 kCommandBusMaster = 1 << 2;
const u16 kOffsetRevision = 0x08;
const u16 kOffsetProgIf = 0x09;
const u16 kOffsetSubclass = 0x0A;
const u16 kOffsetClass = 0x0B;
const u16 kOffsetHeaderType = 0x0E;  // bit 7: multi-function
const u16 kOffsetBar0 = 0x10;
const u16 kOffsetInterrupt = 0x3C;

const u16 kBuses = 8;
const u16 kDevices = 32;
const u16 kFunctions = 8;

// Memory BAR: bit 0 clear, bits 2-1 the type (2: 64 bits wide), the
// address from bit 4 up.
const u32 kBarIo = 0x1;
const u32 kBarType64 = 0x4;
const u32 kBarTypeMask = 0x6;
const u32 kBarMemoryAddressMask = ~0xFu;

const u8 kClassDisplay = 0x03;
const u8 kSubclassVga = 0x00;

u32 config_address(u16 bus, u16 device, u16 function, u16 offset) {
    return kConfigEnable | static_cast<u32>(bus & 0xFF) << 16 |
           static_cast<u32>(device & 0x1F) << 11 | static_cast<u32>(function & 0x07) << 8 |
           (offset & 0xFC);
}
}  // namespace

PeripheralComponentInterconnectDeviceDescriptor::PeripheralComponentInterconnectDeviceDescriptor()
    : ioBase(0), interruptWord(0), bar{}, interruptLine(0), bus(0), device(0), function(0), vendorId(0), deviceId(0),
      classCode(0), subclassCode(0), progIf(0), revisionId(0) {}

PeripheralComponentInterconnectController::PeripheralComponentInterconnectController()
    : dataPort(kConfigData), commandPort(kConfigAddress) {}

PeripheralComponentInterconnectController::~PeripheralComponentInterconnectController() {}

u32 PeripheralComponentInterconnectController::Read(u16 bus, u16 device, u16 function,
                                                    u16 registeroffset) {
    commandPort.Write(config_address(bus, device, function, registeroffset));
    u32 result = dataPort.Read();
    return result >> (8 * (registeroffset % 4));
}

void PeripheralComponentInterconnectController::Write(u16 bus, u16 device, u16 function,
                                                      u16 registeroffset, u32 value) {
    commandPort.Write(config_address(bus, device, function, registeroffset));
    dataPort.Write(value);
}

bool PeripheralComponentInterconnectController::DeviceHasFunctions(u16 bus, u16 device) {
    return Read(bus, device, 0, kOffsetHeaderType) & (1 << 7);
}

int PeripheralComponentInterconnectController::Enumerate(PeripheralComponentInterconnectDeviceDescriptor* out,
                                                         int max) {
    int found = 0;
    for (u16 bus = 0; bus < kBuses; ++bus) {
        for (u16 device = 0; device < kDevices; ++device) {
            u16 numFunctions = DeviceHasFunctions(bus, device) ? kFunctions : 1;
            for (u16 function = 0; function < numFunctions; ++function) {
                PeripheralComponentInterconnectDeviceDescriptor dev =
                    GetDeviceDescriptor(bus, device, function);
                if (dev.vendorId == 0x0000 || dev.vendorId == 0xFFFF) continue;

                for (u16 barNum = 0; barNum < 6; ++barNum) {
                    BaseAddressRegister bar = GetBaseAddressRegister(bus, device, function, barNum);
                    if (bar.address && bar.type == InputOutput)
                        dev.ioBase = static_cast<u32>(reinterpret_cast<uintptr_t>(bar.address));
                }
                if (out && found < max) out[found] = dev;
                found++;

                if (dev.classCode == kClassDisplay && dev.subclassCode == kSubclassVga) printf("VGA ");
                printf("PCI BUS %02X, DEVICE %02X, FUNCTION %02X = VENDOR %04X, DEVICE %04X\n",
                       bus & 0xFF, device & 0xFF, function & 0xFF, dev.vendorId, dev.deviceId);
            }
        }
    }
    return found;
}

BaseAddressRegister PeripheralComponentInterconnectController::GetBaseAddressRegister(
    u16 bus, u16 device, u16 function, u16 bar) {
    BaseAddressRegister result;
    result.prefetchable = false;
    result.address = nullptr;
    result.size = 0;
    result.type = MemoryMapping;

    // Header type 0: six BARs; 1 (PCI-to-PCI bridge): two; 2 (card bus): none.
    u32 headertype = Read(bus, device, function, kOffsetHeaderType) & 0x7F;
    int maxBARs = 6 - 4 * static_cast<int>(headertype);
    if (static_cast<int>(bar) >= maxBARs) return result;

    u32 bar_value = Read(bus, device, function, kOffsetBar0 + 4 * bar);
    result.type = (bar_value & 0x1) ? InputOutput : MemoryMapping;
    if (result.type == InputOutput) {
        // I/O BAR: bit 0 set, bit 1 reserved, the rest the port base.
        result.address = reinterpret_cast<u8*>(static_cast<uintptr_t>(bar_value & ~0x3u));
        result.prefetchable = false;
    }
    // Memory BARs are not decoded: nothing here maps device memory.
    return result;
}

int PeripheralComponentInterconnectController::FindByClass(
    u8 classCode, u8 subclassCode, u8 progIf, PeripheralComponentInterconnectDeviceDescriptor* out,
    int max) {
    int found = 0;
    for (u16 bus = 0; bus < kBuses; ++bus) {
        for (u16 device = 0; device < kDevices; ++device) {
            u16 numFunctions = DeviceHasFunctions(bus, device) ? kFunctions : 1;
            for (u16 function = 0; function < numFunctions; ++function) {
                PeripheralComponentInterconnectDeviceDescriptor dev =
                    GetDeviceDescriptor(bus, device, function);
                if (dev.vendorId == 0x0000 || dev.vendorId == 0xFFFF) continue;
                if (dev.classCode != classCode || dev.subclassCode != subclassCode ||
                    dev.progIf != progIf)
                    continue;
                if (found < max) out[found] = dev;
                found++;
            }
        }
    }
    return found < max ? found : max;
}

u64 PeripheralComponentInterconnectController::MemoryBarAddress(u16 bus, u16 device, u16 function,
                                                                u16 bar) {
    u32 headertype = Read(bus, device, function, kOffsetHeaderType) & 0x7F;
    int maxBARs = 6 - 4 * static_cast<int>(headertype);
    if (static_cast<int>(bar) >= maxBARs) return 0;
    u32 low = Read(bus, device, function, kOffsetBar0 + 4 * bar);
    if (low & kBarIo) return 0;
    u64 address = low & kBarMemoryAddressMask;
    if ((low & kBarTypeMask) == kBarType64) {
        if (static_cast<int>(bar) + 1 >= maxBARs) return 0;
        address |= static_cast<u64>(Read(bus, device, function, kOffsetBar0 + 4 * (bar + 1))) << 32;
    }
    return address;
}

void PeripheralComponentInterconnectController::EnableMemoryAndBusMaster(u16 bus, u16 device,
                                                                        u16 function) {
    u32 command = Read(bus, device, function, kOffsetCommand) & 0xFFFF;
    // Zeroes above leave the status register's RW1C bits as they are.
    Write(bus, device, function, kOffsetCommand, command | kCommandMemorySpace | kCommandBusMaster);
}

u64 PeripheralComponentInterconnectController::MemoryBarSize(u16 bus, u16 device, u16 function, u16 bar) {
    u32 headertype = Read(bus, device, function, kOffsetHeaderType) & 0x7F;
    int maxBARs = 6 - 4 * static_cast<int>(headertype);
    if (static_cast<int>(bar) >= maxBARs) return 0;
    u16 at = static_cast<u16>(kOffsetBar0 + 4 * bar);
    u32 low = Read(bus, device, function, at);
    if (low & kBarIo) return 0;
    bool wide = (low & kBarTypeMask) == kBarType64 && static_cast<int>(bar) + 1 < maxBARs;
    u32 high = wide ? Read(bus, device, function, at + 4) : 0;
    u32 command = Read(bus, device, function, kOffsetCommand) & 0xFFFF;
    Write(bus, device, function, kOffsetCommand, command & ~kCommandMemorySpace);
    Write(bus, device, function, at, 0xFFFFFFFF);
    u64 mask = Read(bus, device, function, at) & kBarMemoryAddressMask;
    if (wide) {
        Write(bus, device, function, at + 4, 0xFFFFFFFF);
        mask |= static_cast<u64>(Read(bus, device, function, at + 4)) << 32;
        Write(bus, device, function, at + 4, high);
    } else {
        mask |= 0xFFFFFFFF00000000ull;
    }
    Write(bus, device, function, at, low);
    Write(bus, device, function, kOffsetCommand, command);
    return mask ? ~mask + 1 : 0;
}

void PeripheralComponentInterconnectController::SetMemoryBar(u16 bus, u16 device, u16 function, u16 bar,
                                                           u64 address) {
    u16 at = static_cast<u16>(kOffsetBar0 + 4 * bar);
    u32 low = Read(bus, device, function, at);
    Write(bus, device, function, at, (static_cast<u32>(address) & kBarMemoryAddressMask) | (low & 0xF));
    if ((low & kBarTypeMask) == kBarType64)
        Write(bus, device, function, at + 4, static_cast<u32>(address >> 32));
}

int PeripheralComponentInterconnectController::MemoryBarsBelow4G(u32* starts, u32* ends, int max) {
    int n = 0;
    for (u16 bus = 0; bus < kBuses; ++bus)
        for (u16 device = 0; device < kDevices; ++device) {
            u16 numFunctions = DeviceHasFunctions(bus, device) ? kFunctions : 1;
            for (u16 function = 0; function < numFunctions; ++function) {
                u16 vendor = static_cast<u16>(Read(bus, device, function, kOffsetVendor));
                if (vendor == 0x0000 || vendor == 0xFFFF) continue;
                u32 headertype = Read(bus, device, function, kOffsetHeaderType) & 0x7F;
                for (u16 bar = 0; static_cast<int>(bar) < 6 - 4 * static_cast<int>(headertype); bar++) {
                    u32 low = Read(bus, device, function, kOffsetBar0 + 4 * bar);
                    bool wide = (low & kBarTypeMask) == kBarType64;
                    u64 address = MemoryBarAddress(bus, device, function, bar);
                    if (wide) bar++;
                    if (address == 0 || address >> 32) continue;
                    u64 size = MemoryBarSize(bus, device, function, static_cast<u16>(wide ? bar - 1 : bar));
                    if (n < max) {
                        starts[n] = static_cast<u32>(address);
                        ends[n] = static_cast<u32>(address + size > 0xFFFFFFFFull ? 0xFFFFFFFFull : address + size);
                    }
                    n++;
                }
            }
        }
    return n < max ? n : max;
}

PeripheralComponentInterconnectDeviceDescriptor
PeripheralComponentInterconnectController::GetDeviceDescriptor(u16 bus, u16 device,
                                                              u16 function) {
    PeripheralComponentInterconnectDeviceDescriptor result;

    result.bus = bus;
    result.device = device;
    result.function = function;

    result.vendorId = static_cast<u16>(Read(bus, device, function, kOffsetVendor));
    result.deviceId = static_cast<u16>(Read(bus, device, function, kOffsetDevice));

    result.classCode = static_cast<u8>(Read(bus, device, function, kOffsetClass));
    result.subclassCode = static_cast<u8>(Read(bus, device, function, kOffsetSubclass));
    result.progIf = static_cast<u8>(Read(bus, device, function, kOffsetProgIf));
    result.revisionId = static_cast<u8>(Read(bus, device, function, kOffsetRevision));

    result.interruptWord = Read(bus, device, function, kOffsetInterrupt);
    result.interruptLine = static_cast<u8>(result.interruptWord);
    // Header type 0 has six BARs, a PCI-to-PCI bridge two, a card-bus bridge none.
    u32 headertype = Read(bus, device, function, kOffsetHeaderType) & 0x7F;
    int bars = 6 - 4 * static_cast<int>(headertype);
    for (int i = 0; i < bars && i < 6; i++) result.bar[i] = Read(bus, device, function, kOffsetBar0 + 4 * i);
    return result;
}

}  // namespace hardwarecommunication
}  // namespace tarn

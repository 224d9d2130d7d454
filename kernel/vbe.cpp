// Bochs/QEMU VBE display interface: mode setting and framebuffer search.
#include "kernel/vbe.h"

#include "hardwarecommunication/pci.h"
#include "hardwarecommunication/port.h"

using tarn::hardwarecommunication::PeripheralComponentInterconnectController;
using tarn::hardwarecommunication::Port16Bit;

namespace {
const u16 kVbeIndexPort = 0x1CE;
const u16 kVbeDataPort = 0x1CF;

const u16 kVbeRegId = 0;
const u16 kVbeRegXres = 1;
const u16 kVbeRegYres = 2;
const u16 kVbeRegBpp = 3;
const u16 kVbeRegEnable = 4;

const u16 kVbeIdFirst = 0xB0C0;
const u16 kVbeIdLast = 0xB0CF;
const u16 kVbeDisabled = 0x00;
const u16 kVbeEnabledLfb = 0x41;  // 0x01 enabled | 0x40 linear framebuffer

const u16 kVendorQemuVga = 0x1234;
const u16 kDeviceQemuVga = 0x1111;
const u16 kVendorBochsAlt = 0x1111;
const u32 kDefaultLfb = 0xE0000000;
}  // namespace

void vbe_write(u16 index, u16 value) {
    Port16Bit::Write16(kVbeIndexPort, index);
    Port16Bit::Write16(kVbeDataPort, value);
}

u16 vbe_read(u16 index) {
    Port16Bit::Write16(kVbeIndexPort, index);
    return Port16Bit::Read16(kVbeDataPort);
}

bool vbe_set_mode(u16 width, u16 height, u16 bpp) {
    u16 id = vbe_read(kVbeRegId);
    if (id < kVbeIdFirst || id > kVbeIdLast) return false;

    vbe_write(kVbeRegEnable, kVbeDisabled);
    vbe_write(kVbeRegXres, width);
    vbe_write(kVbeRegYres, height);
    vbe_write(kVbeRegBpp, bpp);
    vbe_write(kVbeRegEnable, kVbeEnabledLfb);
    return true;
}

u32 vbe_find_lfb() {
    PeripheralComponentInterconnectController pci;
    for (u16 bus = 0; bus < 8; ++bus) {
        for (u16 device = 0; device < 32; ++device) {
            for (u16 function = 0; function < 8; ++function) {
                u32 id = pci.Read(bus, device, function, 0x00);
                u16 vendor = static_cast<u16>(id & 0xFFFF);
                u16 dev = static_cast<u16>(id >> 16);
                if (vendor == 0xFFFF || vendor == 0x0000) continue;
                bool match = (vendor == kVendorQemuVga && dev == kDeviceQemuVga) ||
                             vendor == kVendorBochsAlt;
                if (!match) continue;
                u32 bar0 = pci.Read(bus, device, function, 0x10);
                if ((bar0 & 0x1) == 0) return bar0 & ~0xFu;  // memory BAR
            }
        }
    }
    return kDefaultLfb;
}

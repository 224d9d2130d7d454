// Intel chipsets whose USB 2 ports EHCI and xHCI share: the ports firmware
// allows to move go to xHCI, and only on those chipsets.
#include <gtest/gtest.h>

#include "hardwarecommunication/pci.h"
#include "host/usb_host.h"
#include "tests/support/sim_pci.h"
#include "tests/support/simbus.h"

using tarn::hardwarecommunication::PeripheralComponentInterconnectController;
using tarn::host::RouteSharedPortsToXhci;

TEST(PortRouting, SharedPortsMoveToXhciOnlyOnChipsetsThatShareThem) {
    simbus::SimPci sim;
    simbus::bus().reset();
    simbus::bus().attach(&sim);
    PeripheralComponentInterconnectController pci;
    // 8 series: firmware lets ports 0-3 and 6 move, SuperSpeed on ports 0-3.
    sim.add(0, 0x14, 0).vendor_device(0x8086, 0x8C31).dword(0xD4, 0x4F).dword(0xDC, 0x0F);
    // A later Intel controller and QEMU's: the same offsets mean nothing.
    sim.add(0, 0x15, 0).vendor_device(0x8086, 0xA12F).dword(0xD4, 0x4F).dword(0xDC, 0x0F);
    sim.add(0, 0x04, 0).vendor_device(0x1B36, 0x000D).dword(0xD4, 0x4F).dword(0xDC, 0x0F);

    EXPECT_TRUE(RouteSharedPortsToXhci(&pci, 0, 0x14, 0));
    EXPECT_EQ(sim.add(0, 0x14, 0).dword(0xD0), 0x4Fu);
    EXPECT_EQ(sim.add(0, 0x14, 0).dword(0xD8), 0x0Fu);
    for (int device : {0x15, 0x04}) {
        EXPECT_FALSE(RouteSharedPortsToXhci(&pci, 0, device, 0));
        EXPECT_EQ(sim.add(0, device, 0).dword(0xD0), 0u) << device;
        EXPECT_EQ(sim.add(0, device, 0).dword(0xD8), 0u) << device;
    }
    simbus::bus().reset();
}

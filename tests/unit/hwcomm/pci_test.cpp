#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "hardwarecommunication/pci.h"
#include "tests/support/sim_pci.h"
#include "tests/support/simbus.h"

using tarn::hardwarecommunication::BaseAddressRegister;
using tarn::hardwarecommunication::InputOutput;
using tarn::hardwarecommunication::MemoryMapping;
using tarn::hardwarecommunication::PeripheralComponentInterconnectController;
using simbus::R32;
using simbus::W32;

namespace {

class Pci : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        simbus::bus().attach(&sim);
        sim.add_standard_machine();
    }
    void TearDown() override { simbus::bus().reset(); }

    uint32_t io_address(const BaseAddressRegister& bar) {
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(bar.address));
    }

    simbus::SimPci sim;
    PeripheralComponentInterconnectController pci;
};

}  // namespace

TEST_F(Pci, ReadLatchesTheConfigurationAddressThenReadsTheData) {
    simbus::bus().clear_log();
    EXPECT_EQ(pci.Read(0, 2, 0, 0x00), 0x11111234u);
    std::vector<simbus::Access> expected = {W32(0xCF8, 0x80001000), R32(0xCFC, 0x11111234)};
    EXPECT_EQ(simbus::bus().log(), expected);
    simbus::bus().clear_log();
    pci.Read(0x1FF, 0x3F, 0x0F, 0x3F);  // fields are masked to their widths
    EXPECT_EQ(simbus::bus().log()[0], W32(0xCF8, 0x80FFFF3C));
}

TEST_F(Pci, UnalignedOffsetsComeBackInTheLowBits) {
    EXPECT_EQ(pci.Read(0, 2, 0, 0x02), 0x1111u);  // device id, zero above
    EXPECT_EQ(pci.Read(0, 2, 0, 0x0B), 0x03u);    // class code
    EXPECT_EQ(pci.Read(0, 2, 0, 0x0A) & 0xFF, 0x00u);
    EXPECT_EQ(pci.Read(0, 1, 0, 0x0E) & 0xFF, 0x80u);
}

TEST_F(Pci, MultiFunctionBitComesFromTheHeaderType) {
    EXPECT_TRUE(pci.DeviceHasFunctions(0, 1));
    EXPECT_FALSE(pci.DeviceHasFunctions(0, 2));
    EXPECT_FALSE(pci.DeviceHasFunctions(0, 0x1E));  // bridge, single function
    EXPECT_TRUE(pci.DeviceHasFunctions(0, 9));      // absent: reads all ones
}

TEST_F(Pci, DescriptorIsFilledFromConfigurationSpace) {
    auto d = pci.GetDeviceDescriptor(0, 3, 0);
    EXPECT_EQ(d.vendorId, 0x10EC);
    EXPECT_EQ(d.deviceId, 0x8139);
    EXPECT_EQ(d.classCode, 0x02);
    EXPECT_EQ(d.subclassCode, 0x00);
    EXPECT_EQ(d.bus, 0);
    EXPECT_EQ(d.device, 3);
    EXPECT_EQ(d.function, 0);
    EXPECT_EQ(d.interruptWord & 0xFF, 11u);
    EXPECT_EQ(d.ioBase, 0u);
    auto ide = pci.GetDeviceDescriptor(0, 1, 1);
    EXPECT_EQ(ide.progIf, 0x80);
    EXPECT_EQ(ide.subclassCode, 0x01);
    EXPECT_EQ(pci.GetDeviceDescriptor(0, 9, 0).vendorId, 0xFFFF);
}

TEST_F(Pci, IoBarDropsItsTwoLowBits) {
    BaseAddressRegister bar = pci.GetBaseAddressRegister(0, 3, 0, 0);
    EXPECT_EQ(bar.type, InputOutput);
    EXPECT_EQ(io_address(bar), 0xC100u);
    EXPECT_FALSE(bar.prefetchable);
    EXPECT_EQ(bar.size, 0u);
}

TEST_F(Pci, MemoryBarIsNotDecoded) {
    BaseAddressRegister bar = pci.GetBaseAddressRegister(0, 2, 0, 0);
    EXPECT_EQ(bar.type, MemoryMapping);
    EXPECT_EQ(bar.address, nullptr);
}

TEST_F(Pci, BridgeHasOnlyTwoBars) {
    EXPECT_EQ(io_address(pci.GetBaseAddressRegister(0, 0x1E, 0, 0)), 0xE000u);
    sim.add(0, 0x1E, 0).bar(2, 0xD001);
    EXPECT_EQ(pci.GetBaseAddressRegister(0, 0x1E, 0, 2).address, nullptr);
    // Card-bus bridge: none at all.
    sim.add(0, 7, 0).vendor_device(0x104C, 0xAC50).header_type(0x02).bar(0, 0xD001);
    EXPECT_EQ(pci.GetBaseAddressRegister(0, 7, 0, 0).address, nullptr);
}

#include "tests/support/console_capture.h"


TEST_F(Pci, EnumerationPrintsOneLinePerFunctionWithVgaPrefix) {
    consolecapture::Capture capture;
    capture.Start();
    tarn::hardwarecommunication::PeripheralComponentInterconnectDeviceDescriptor found[8];
    EXPECT_EQ(pci.Enumerate(found, 8), 6);
    EXPECT_EQ(capture.Text(),
              "PCI BUS 00, DEVICE 00, FUNCTION 00 = VENDOR 8086, DEVICE 1237\n"
              "PCI BUS 00, DEVICE 01, FUNCTION 00 = VENDOR 8086, DEVICE 7000\n"
              "PCI BUS 00, DEVICE 01, FUNCTION 01 = VENDOR 8086, DEVICE 7010\n"
              "VGA PCI BUS 00, DEVICE 02, FUNCTION 00 = VENDOR 1234, DEVICE 1111\n"
              "PCI BUS 00, DEVICE 03, FUNCTION 00 = VENDOR 10EC, DEVICE 8139\n"
              "PCI BUS 00, DEVICE 1E, FUNCTION 00 = VENDOR 8086, DEVICE 244E\n");
    // What was found comes back with its class and interrupt line.
    EXPECT_EQ(found[3].vendorId, 0x1234);
    EXPECT_EQ(found[3].classCode, 0x03);
    EXPECT_EQ(found[4].interruptLine, 11);
    EXPECT_EQ(found[4].bar[1], 0xFEBF1000u);
    EXPECT_EQ(found[5].deviceId, 0x244E);
    EXPECT_EQ(found[5].bar[2], 0u);  // a bridge has two BARs
}

TEST_F(Pci, OnlyBusesZeroToSevenAreScannedAndEmptySlotsAreSilent) {
    simbus::SimPci other;
    simbus::bus().reset();
    simbus::bus().attach(&other);
    other.add(7, 31, 0).vendor_device(0xABCD, 0x0001);
    other.add(8, 0, 0).vendor_device(0xABCD, 0x0002);   // beyond the scan
    other.add(0, 4, 0).vendor_device(0x0000, 0x0003);   // empty slot
    other.add(0, 5, 0).vendor_device(0xABCD, 0x0005);   // single-function device...
    other.add(0, 5, 3).vendor_device(0xABCD, 0x0004);   // ...so function 3 is not visited
    consolecapture::Capture capture;
    capture.Start();
    EXPECT_EQ(pci.Enumerate(nullptr, 0), 2);
    EXPECT_EQ(capture.Text(),
              "PCI BUS 00, DEVICE 05, FUNCTION 00 = VENDOR ABCD, DEVICE 0005\n"
              "PCI BUS 07, DEVICE 1F, FUNCTION 00 = VENDOR ABCD, DEVICE 0001\n");
}

TEST_F(Pci, LaterIoBarWinsAndMemoryBarsAreIgnored) {
    // Only BARs 0 and 4 are I/O: the descriptor ends with BAR 4's port.
    sim.add(0, 6, 0).vendor_device(0x1AF4, 0x1000).bar(0, 0xC201).bar(1, 0xFE000000)
        .bar(4, 0xC301);
    BaseAddressRegister b0 = pci.GetBaseAddressRegister(0, 6, 0, 0);
    BaseAddressRegister b4 = pci.GetBaseAddressRegister(0, 6, 0, 4);
    EXPECT_EQ(io_address(b0), 0xC200u);
    EXPECT_EQ(io_address(b4), 0xC300u);
    EXPECT_EQ(pci.GetBaseAddressRegister(0, 6, 0, 1).address, nullptr);
    EXPECT_EQ(pci.GetBaseAddressRegister(0, 6, 0, 6).address, nullptr);
}

TEST_F(Pci, ControllerIsFoundByClassAndItsSixtyFourBitBarIsEnabledForDma) {
    // An xHCI controller (0C:03:30) with a 64-bit memory BAR across BARs 0-1.
    sim.add(0, 4, 0).vendor_device(0x1B36, 0x000D).class_code(0x0C, 0x03, 0x30)
        .bar(0, 0xFEBF0004).bar(1, 0x00000001).dword(0x04, 0x00100000);
    tarn::hardwarecommunication::PeripheralComponentInterconnectDeviceDescriptor found[2];
    ASSERT_EQ(pci.FindByClass(0x0C, 0x03, 0x30, found, 2), 1);
    EXPECT_EQ(found[0].device, 4);
    EXPECT_EQ(pci.MemoryBarAddress(0, 4, 0, 0), 0x1FEBF0000ull);
    EXPECT_EQ(pci.MemoryBarAddress(0, 2, 0, 0), 0xFD000000ull);  // 32-bit, prefetchable
    EXPECT_EQ(pci.MemoryBarAddress(0, 3, 0, 0), 0ull);           // an I/O BAR
    pci.EnableMemoryAndBusMaster(0, 4, 0);
    // Memory space and bus master on; the status half written as zeroes,
    // so none of its write-one-to-clear bits is lost.
    EXPECT_EQ(sim.add(0, 4, 0).dword(0x04), 0x00100006u);
}

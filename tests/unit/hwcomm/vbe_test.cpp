#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "kernel/vbe.h"
#include "tests/support/sim_pci.h"
#include "tests/support/sim_vbe.h"
#include "tests/support/simbus.h"

using simbus::R16;
using simbus::W16;

namespace {

class Vbe : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        simbus::bus().attach(&vbe);
        simbus::bus().attach(&pci);
    }
    void TearDown() override { simbus::bus().reset(); }

    simbus::SimVbe vbe;
    simbus::SimPci pci;
};

using Writes = std::vector<std::pair<uint16_t, uint16_t>>;

}  // namespace

TEST_F(Vbe, RegisterAccessGoesIndexThenData) {
    vbe_write(3, 16);
    EXPECT_EQ(vbe.reg(3), 16);
    simbus::bus().clear_log();
    EXPECT_EQ(vbe_read(0), 0xB0C5);
    std::vector<simbus::Access> expected = {W16(0x1CE, 0), R16(0x1CF, 0xB0C5)};
    EXPECT_EQ(simbus::bus().log(), expected);
}

TEST_F(Vbe, ModeIsSetDisabledFirstThenEnabledWithLinearFramebuffer) {
    EXPECT_TRUE(vbe_set_mode(800, 600, 16));
    Writes expected = {{4, 0x00}, {1, 800}, {2, 600}, {3, 16}, {4, 0x41}};
    EXPECT_EQ(vbe.writes(), expected);
    EXPECT_TRUE(vbe.lfb_enabled());
    EXPECT_EQ(vbe.reg(1), 800);
    EXPECT_EQ(vbe.reg(2), 600);
}

TEST_F(Vbe, IdentificationRangeIsInclusive) {
    for (uint16_t id : {0xB0C0, 0xB0C5, 0xB0CF}) {
        vbe.set_id(id);
        EXPECT_TRUE(vbe_set_mode(640, 480, 16)) << std::hex << id;
    }
}

TEST_F(Vbe, UnknownIdentificationTouchesNothingElse) {
    for (uint16_t id : {0xB0BF, 0xB0D0, 0x0000}) {
        simbus::SimVbe other(id);
        simbus::bus().reset();
        simbus::bus().attach(&other);
        EXPECT_FALSE(vbe_set_mode(800, 600, 16)) << std::hex << id;
        EXPECT_TRUE(other.writes().empty());
        std::vector<simbus::Access> expected = {W16(0x1CE, 0), R16(0x1CF, id)};
        EXPECT_EQ(simbus::bus().log(), expected);
    }
}

TEST_F(Vbe, AbsentAdapterIsNotProgrammed) {
    vbe.set_present(false);
    EXPECT_FALSE(vbe_set_mode(800, 600, 16));
    EXPECT_TRUE(vbe.writes().empty());
    EXPECT_FALSE(vbe.lfb_enabled());
}

TEST_F(Vbe, FramebufferComesFromTheAdapterMemoryBar) {
    pci.add_standard_machine();  // 1234:1111 at 00:02.0, BAR 0 0xFD000008
    EXPECT_EQ(vbe_find_lfb(), 0xFD000000u);
}

TEST_F(Vbe, NoAdapterOnTheBusGivesTheCustomaryAddress) {
    pci.add(0, 0, 0).vendor_device(0x8086, 0x1237);
    EXPECT_EQ(vbe_find_lfb(), 0xE0000000u);
}

TEST_F(Vbe, AdapterWithIoBarZeroIsPassedOverForALaterOne) {
    pci.add(0, 2, 0).vendor_device(0x1234, 0x1111).bar(0, 0xC001);
    // Vendor 0x1111 matches with any device, on a function the header
    // type does not announce: every function is searched.
    pci.add(1, 4, 3).vendor_device(0x1111, 0xBEEF).bar(0, 0xC000000E);
    EXPECT_EQ(vbe_find_lfb(), 0xC0000000u);
}

TEST_F(Vbe, SameVendorOtherDeviceDoesNotMatch) {
    pci.add(0, 2, 0).vendor_device(0x1234, 0x1112).bar(0, 0xFD000000);
    EXPECT_EQ(vbe_find_lfb(), 0xE0000000u);
}

TEST_F(Vbe, MemoryBarOfZeroGivesZero) {
    pci.add(0, 5, 0).vendor_device(0x1234, 0x1111).bar(0, 0x0000000C);
    EXPECT_EQ(vbe_find_lfb(), 0u);
}

// The simulated PS/2 controller the machine and driver tests plug into the bus.
#include <gtest/gtest.h>

#include <vector>

#include "hardwarecommunication/port.h"
#include "tests/support/sim_ps2.h"
#include "tests/support/simbus.h"

using tarn::hardwarecommunication::Port8Bit;

namespace {

class SimPs2Test : public ::testing::Test {
protected:
    void SetUp() override { simbus::bus().reset(); }
    void TearDown() override { simbus::bus().reset(); }
};

TEST_F(SimPs2Test, StatusBitZeroFollowsTheQueue) {
    simbus::SimPs2 ps2;
    EXPECT_EQ(Port8Bit::Read8(0x64) & 1, 0);
    ps2.queue({0x1E, 0x9E});
    EXPECT_EQ(Port8Bit::Read8(0x64) & 1, 1);
    EXPECT_EQ(Port8Bit::Read8(0x60), 0x1E);
    EXPECT_EQ(Port8Bit::Read8(0x60), 0x9E);
    EXPECT_EQ(Port8Bit::Read8(0x64) & 1, 0);
    EXPECT_EQ(Port8Bit::Read8(0x60), 0x9E);  // an empty latch repeats its last byte
    EXPECT_EQ(ps2.data_reads(), 3);
    EXPECT_EQ(ps2.status_reads(), 3);
}

TEST_F(SimPs2Test, RecordsWritesAndAnswersConfiguredOnes) {
    simbus::SimPs2 ps2;
    ps2.extra_status(0x04);
    ps2.reply_to_command(0x20, {0x61});
    ps2.reply_to_data(0xF4, {0xFA});
    Port8Bit::Write8(0x64, 0xAE);
    Port8Bit::Write8(0x64, 0x20);
    EXPECT_EQ(Port8Bit::Read8(0x64), 0x05);
    EXPECT_EQ(Port8Bit::Read8(0x60), 0x61);
    Port8Bit::Write8(0x60, 0xF4);
    EXPECT_EQ(Port8Bit::Read8(0x60), 0xFA);
    EXPECT_EQ(ps2.commands(), std::vector<uint8_t>({0xAE, 0x20}));
    EXPECT_EQ(ps2.data_written(), std::vector<uint8_t>({0xF4}));
}

TEST_F(SimPs2Test, DetachesWhenDestroyed) {
    {
        simbus::SimPs2 ps2;
        ps2.queue(0x01);
        EXPECT_EQ(Port8Bit::Read8(0x64) & 1, 1);
    }
    EXPECT_EQ(Port8Bit::Read8(0x64), 0xFF);  // floating bus again
}

}  // namespace

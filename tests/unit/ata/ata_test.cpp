// ATA driver on the simulated primary and secondary channels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/ata.h"
#include "tests/support/console_capture.h"
#include "tests/support/sim_ata.h"
#include "tests/support/simbus.h"

using tarn::drivers::AdvancedTechnologyAttachment;
using tarn::drivers::BlockDevice;
using simbus::R16;
using simbus::R8;
using simbus::W16;
using simbus::W8;

namespace {

class AtaTest : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        simbus::bus().attach(&primary);
        simbus::bus().attach(&secondary);
        capture.Start();
    }
    void TearDown() override { simbus::bus().reset(); }

    std::vector<simbus::Access> Writes(uint16_t port) {
        std::vector<simbus::Access> out;
        for (const auto& a : simbus::bus().log_for(port))
            if (a.kind == simbus::Access::kWrite) out.push_back(a);
        return out;
    }

    simata::Channel primary{simata::kPrimaryBase};
    simata::Channel secondary{simata::kSecondaryBase};
    consolecapture::Capture capture;
};

TEST_F(AtaTest, IdentifyPrintsSerialModelSizeAndLba28) {
    simata::MemoryStorage disk(131072);  // 64 MiB
    simata::Device dev;
    dev.storage = &disk;
    dev.serial = "QM00001";
    dev.model = "QEMU HARDDISK";
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    EXPECT_TRUE(ata.Identify());
    ata.Report();
    EXPECT_EQ(capture.Text(),
              "ATA\n       Serial : QM00001              \n        Model : QEMU HARDDISK"
              "                           \n    Size (MB) : 64 - LBA28");
    EXPECT_EQ(dev.identifies, 1);
    // Select, control, select master, status; then select and four zeroed
    // registers before the IDENTIFY command.
    auto dev_writes = Writes(0x1F6);
    ASSERT_GE(dev_writes.size(), 3u);
    EXPECT_EQ(dev_writes[0].value, 0xA0u);
    EXPECT_EQ(dev_writes[1].value, 0xA0u);
    EXPECT_EQ(dev_writes[2].value, 0xA0u);
    EXPECT_EQ(Writes(0x3F6).at(0).value, 0u);
    EXPECT_EQ(Writes(0x1F7).at(0).value, 0xECu);
    EXPECT_EQ(simbus::bus().log_for(0x1F0).size(), 256u);
}

TEST_F(AtaTest, IdentifyOfLba48DiskUsesTheLba48Count) {
    simata::SizeOnlyStorage disk(16777216);  // 8 GiB
    simata::Device dev;
    dev.storage = &disk;
    dev.lba48 = true;
    dev.serial = "S";
    dev.model = "M";
    secondary.attach_slave(&dev);
    secondary.attach_master(&dev);  // the first probe reads the master's status
    AdvancedTechnologyAttachment ata(false, 0x170);
    EXPECT_TRUE(ata.Identify());
    ata.Report();
    EXPECT_EQ(ata.SectorCount(), 16777216u);
    EXPECT_STREQ(ata.Name(), "ATA 1 slave");
    std::string text = capture.Text();
    EXPECT_NE(text.find("\n    Size (MB) : 8192 - LBA48"), std::string::npos) << text;
    EXPECT_EQ(Writes(0x176).at(0).value, 0xB0u);
}

TEST_F(AtaTest, EmptyPositionsReportNoDevice) {
    AdvancedTechnologyAttachment floating(true, 0x1F0);
    EXPECT_FALSE(floating.Identify());
    floating.Report();
    EXPECT_EQ(capture.Text(), "no device");

    capture.Start();
    primary.empty_reads_zero = true;
    AdvancedTechnologyAttachment zero(true, 0x1F0);
    EXPECT_FALSE(zero.Identify());
    zero.Report();
    EXPECT_EQ(capture.Text(), "no device");
    // Nothing was commanded.
    EXPECT_TRUE(Writes(0x1F7).empty());
}

TEST_F(AtaTest, ZeroStatusAfterIdentifyIsNoDevice) {
    // The master answers the first probe; the slave position is empty and
    // reads zero once selected.
    simata::MemoryStorage disk(64);
    simata::Device master;
    master.storage = &disk;
    primary.attach_master(&master);
    primary.empty_reads_zero = true;
    AdvancedTechnologyAttachment slave(false, 0x1F0);
    EXPECT_FALSE(slave.Identify());
    slave.Report();
    EXPECT_EQ(capture.Text(), "no device");
}

TEST_F(AtaTest, PacketSignatureIdentifiesAsAtapi) {
    simata::Device cd;
    cd.kind = simata::Device::kPacket;
    cd.serial = "CD1";
    cd.model = "SIM CDROM";
    secondary.attach_master(&cd);
    AdvancedTechnologyAttachment ata(true, 0x170);
    EXPECT_FALSE(ata.Identify());  // not a disk
    EXPECT_EQ(ata.SectorCount(), 0u);
    ata.Report();
    std::string text = capture.Text();
    EXPECT_EQ(text.rfind("ATAPI\n       Serial : CD1 ", 0), 0u) << text;
    EXPECT_NE(text.find("\n        Model : SIM CDROM"), std::string::npos);
    EXPECT_NE(text.find("LBA28"), std::string::npos);
}

TEST_F(AtaTest, IdentifyOfBusyControllerGivesUpSilently) {
    simata::Device hung;
    hung.kind = simata::Device::kHung;
    primary.attach_master(&hung);
    simbus::bus().set_logging(false);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    EXPECT_FALSE(ata.Identify());
    ata.Report();
    EXPECT_EQ(capture.Text(), "");
}

TEST_F(AtaTest, ReadsLba28AndLba48Sectors) {
    simata::SizeOnlyStorage big(0x10000010ull);
    simata::Device dev;
    dev.storage = &big;
    dev.lba48 = true;
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    ASSERT_TRUE(ata.Identify());
    EXPECT_EQ(ata.SectorCount(), 0x10000010u);
    uint8_t buf[512];

    simbus::bus().clear_log();
    EXPECT_EQ(ata.ReadSectors(0x0FFFFFFF, 1, buf), BlockDevice::kOk);
    EXPECT_EQ(dev.last_lba, 0x0FFFFFFFu);
    EXPECT_EQ(Writes(0x1F6).at(0).value, 0xEFu);
    EXPECT_EQ(Writes(0x1F7).at(0).value, 0x20u);

    simbus::bus().clear_log();
    EXPECT_EQ(ata.ReadSectors(0x10000000, 1, buf), BlockDevice::kOk);
    EXPECT_EQ(dev.last_lba, 0x10000000u);
    EXPECT_EQ(Writes(0x1F6).at(0).value, 0xE0u);
    EXPECT_EQ(Writes(0x1F7).at(0).value, 0x24u);
    auto low = Writes(0x1F3);
    ASSERT_EQ(low.size(), 2u);
    EXPECT_EQ(low[0].value, 0x10u);  // bits 31-24 in the first pass
    EXPECT_EQ(low[1].value, 0x00u);
    // Past the end nothing is commanded.
    simbus::bus().clear_log();
    EXPECT_EQ(ata.ReadSectors(0x1000000F, 2, buf), BlockDevice::kOutOfRange);
    EXPECT_TRUE(Writes(0x1F7).empty());
}

TEST_F(AtaTest, ReadsSeveralSectorsInOrder) {
    simata::MemoryStorage disk(8);
    for (int i = 0; i < 512 * 3; i++) disk.bytes[512 * 3 + i] = static_cast<uint8_t>(i * 7);
    simata::Device dev;
    dev.storage = &disk;
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    ASSERT_TRUE(ata.Identify());
    std::vector<uint8_t> buf(512 * 3 + 1, 0xEE);
    EXPECT_EQ(ata.ReadSectors(3, 3, buf.data()), BlockDevice::kOk);
    for (int i = 0; i < 512 * 3; i++) ASSERT_EQ(buf[i], static_cast<uint8_t>(i * 7)) << i;
    EXPECT_EQ(buf[512 * 3], 0xEE);
    EXPECT_EQ(dev.reads, 3);
}

TEST_F(AtaTest, FailedReadLeavesTheRestAndReportsIt) {
    simata::MemoryStorage disk(8);
    simata::Device dev;
    dev.storage = &disk;
    dev.bad_sectors.insert(5);
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    std::vector<uint8_t> buf(1024, 0x5A);
    EXPECT_EQ(ata.ReadSectors(4, 2, buf.data()), BlockDevice::kError);
    EXPECT_EQ(capture.Text(), "");
    for (int i = 512; i < 1024; i++) ASSERT_EQ(buf[i], 0x5A);
    // Past the end of the disk fails the same way.
    EXPECT_NE(ata.ReadSectors(8, 1, buf.data()), BlockDevice::kOk);
}

TEST_F(AtaTest, ReadFromHungOrMissingControllerTimesOut) {
    simata::Device hung;
    hung.kind = simata::Device::kHung;
    primary.attach_master(&hung);
    simbus::bus().set_logging(false);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    std::vector<uint8_t> buf(512, 0x11);
    EXPECT_EQ(ata.ReadSectors(0, 1, buf.data()), BlockDevice::kTimeout);
    EXPECT_EQ(buf[0], 0x11);
    EXPECT_EQ(ata.WriteSectors(0, 1, buf.data()), BlockDevice::kTimeout);

    // No controller at all: never data.
    AdvancedTechnologyAttachment none(true, 0x170);
    EXPECT_NE(none.ReadSectors(0, 1, buf.data()), BlockDevice::kOk);
    EXPECT_EQ(buf[0], 0x11);
}

TEST_F(AtaTest, BusyThenReadyIsWaitedFor) {
    simata::MemoryStorage disk(4);
    disk.bytes[512] = 0x42;
    simata::Device dev;
    dev.storage = &disk;
    dev.busy_reads = 1000;
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    uint8_t buf[512] = {};
    EXPECT_EQ(ata.ReadSectors(1, 1, buf), BlockDevice::kOk);
    EXPECT_EQ(buf[0], 0x42);
}

TEST_F(AtaTest, WriteSendsEverySectorThenFlushesOnce) {
    simata::MemoryStorage disk(4);
    std::fill(disk.bytes.begin(), disk.bytes.end(), 0xCC);
    simata::Device dev;
    dev.storage = &disk;
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    ASSERT_TRUE(ata.Identify());
    simbus::bus().clear_log();
    std::vector<uint8_t> data(1024);
    for (int i = 0; i < 1024; i++) data[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(ata.WriteSectors(2, 2, data.data()), BlockDevice::kOk);
    auto words = Writes(0x1F0);
    ASSERT_EQ(words.size(), 512u);
    EXPECT_EQ(words[0], W16(0x1F0, 0x0201));
    EXPECT_EQ(words[44], W16(0x1F0, 0x5A59));
    for (int i = 0; i < 1024; i++) ASSERT_EQ(disk.bytes[1024 + i], static_cast<uint8_t>(i + 1));
    auto cmds = Writes(0x1F7);
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[0].value, 0x30u);
    EXPECT_EQ(cmds[1].value, 0x30u);
    EXPECT_EQ(cmds[2].value, 0xE7u);
    EXPECT_EQ(dev.flushes, 1);
    // Past the end nothing is written.
    EXPECT_EQ(ata.WriteSectors(3, 2, data.data()), BlockDevice::kOutOfRange);
    EXPECT_EQ(dev.writes, 2);
}

TEST_F(AtaTest, WriteFailuresAreNeverSuccess) {
    simata::SizeOnlyStorage big(0x10000010ull);
    simata::Device dev;
    dev.storage = &big;
    dev.lba48 = true;
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    ASSERT_TRUE(ata.Identify());
    uint8_t data[1024] = {};

    simbus::bus().clear_log();
    EXPECT_EQ(ata.WriteSectors(0x10000000, 1, data), BlockDevice::kOk);
    auto cmds = Writes(0x1F7);
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].value, 0x34u);
    EXPECT_EQ(cmds[1].value, 0xEAu);

    dev.bad_sectors.insert(7);
    EXPECT_EQ(ata.WriteSectors(7, 1, data), BlockDevice::kError);
    dev.bad_sectors.clear();
    dev.flush_error = true;
    EXPECT_EQ(ata.WriteSectors(7, 1, data), BlockDevice::kError);
    dev.flush_error = false;

    // A device that takes the data and only then refuses it (as QEMU's
    // disk does) fails the write; no flush follows.
    dev.write_error_after_data = true;
    dev.bad_sectors.insert(9);
    int flushes = dev.flushes;
    EXPECT_EQ(ata.WriteSectors(8, 2, data), BlockDevice::kError);
    EXPECT_EQ(dev.flushes, flushes);
    EXPECT_EQ(ata.WriteSectors(8, 1, data), BlockDevice::kOk);
}

TEST_F(AtaTest, ErrorDeviceFailsEveryTransfer) {
    simata::Device bad;
    bad.kind = simata::Device::kAlwaysError;
    primary.attach_master(&bad);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    uint8_t buf[512] = {};
    EXPECT_EQ(ata.ReadSectors(0, 1, buf), BlockDevice::kError);
    EXPECT_EQ(ata.WriteSectors(0, 1, buf), BlockDevice::kError);
}

TEST_F(AtaTest, SecondarySlaveSelectsWithF0AndCarriesLbaBits27To24) {
    simata::MemoryStorage disk(16);
    disk.bytes[512 * 9] = 0x99;
    simata::Device dev;
    dev.storage = &disk;
    secondary.attach_slave(&dev);
    AdvancedTechnologyAttachment ata(false, 0x170);
    uint8_t buf[512] = {};
    EXPECT_EQ(ata.ReadSectors(9, 1, buf), BlockDevice::kOk);
    EXPECT_EQ(buf[0], 0x99);
    EXPECT_EQ(Writes(0x176).at(0).value, 0xF0u);
    simbus::bus().clear_log();
    // Bits 27-24 ride in the select byte; the disk is too small for them.
    EXPECT_NE(ata.ReadSectors(0x0A000009, 1, buf), BlockDevice::kOk);
    EXPECT_EQ(Writes(0x176).at(0).value, 0xFAu);
    EXPECT_TRUE(simbus::bus().log_for(0x1F7).empty());  // the primary was not touched
}

}  // namespace

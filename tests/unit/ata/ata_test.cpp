// ATA driver on the simulated primary and secondary channels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/ata.h"
#include "tests/support/console_capture.h"
#include "tests/support/sim_ata.h"
#include "tests/support/simbus.h"

using tarn::drivers::AdvancedTechnologyAttachment;
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
    ata.Identify();
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
    ata.Identify();
    std::string text = capture.Text();
    EXPECT_NE(text.find("\n    Size (MB) : 8192 - LBA48"), std::string::npos) << text;
    EXPECT_EQ(Writes(0x176).at(0).value, 0xB0u);
}

TEST_F(AtaTest, EmptyPositionsReportNoDevice) {
    AdvancedTechnologyAttachment floating(true, 0x1F0);
    floating.Identify();
    EXPECT_EQ(capture.Text(), "no device\n");

    capture.Start();
    primary.empty_reads_zero = true;
    AdvancedTechnologyAttachment zero(true, 0x1F0);
    zero.Identify();
    EXPECT_EQ(capture.Text(), "no device\n");
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
    slave.Identify();
    EXPECT_EQ(capture.Text(), "No device");
}

TEST_F(AtaTest, PacketSignatureIdentifiesAsAtapi) {
    simata::Device cd;
    cd.kind = simata::Device::kPacket;
    cd.serial = "CD1";
    cd.model = "SIM CDROM";
    secondary.attach_master(&cd);
    AdvancedTechnologyAttachment ata(true, 0x170);
    ata.Identify();
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
    ata.Identify();
    EXPECT_EQ(capture.Text(), "");
}

TEST_F(AtaTest, ReadsLba28AndLba48Sectors) {
    simata::SizeOnlyStorage big(0x10000010ull);
    simata::Device dev;
    dev.storage = &big;
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    uint8_t buf[512];

    EXPECT_EQ(ata.ReadSector(0x0FFFFFFF, buf, 512), 0);
    EXPECT_EQ(dev.last_lba, 0x0FFFFFFFu);
    EXPECT_EQ(Writes(0x1F6).at(0).value, 0xEFu);
    EXPECT_EQ(Writes(0x1F7).at(0).value, 0x20u);

    simbus::bus().clear_log();
    EXPECT_EQ(ata.ReadSector(0x10000000, buf, 512), 0);
    EXPECT_EQ(dev.last_lba, 0x10000000u);
    EXPECT_EQ(Writes(0x1F6).at(0).value, 0xE0u);
    EXPECT_EQ(Writes(0x1F7).at(0).value, 0x24u);
    auto low = Writes(0x1F3);
    ASSERT_EQ(low.size(), 2u);
    EXPECT_EQ(low[0].value, 0x10u);  // bits 31-24 in the first pass
    EXPECT_EQ(low[1].value, 0x00u);
}

TEST_F(AtaTest, ReadWithShortCountStoresOnlyThatManyBytes) {
    simata::MemoryStorage disk(8);
    for (int i = 0; i < 512; i++) disk.bytes[512 * 3 + i] = static_cast<uint8_t>(i * 7);
    simata::Device dev;
    dev.storage = &disk;
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    std::vector<uint8_t> buf(512, 0xEE);
    EXPECT_EQ(ata.ReadSector(3, buf.data(), 90), 0);
    for (int i = 0; i < 90; i++) ASSERT_EQ(buf[i], static_cast<uint8_t>(i * 7)) << i;
    for (int i = 90; i < 512; i++) ASSERT_EQ(buf[i], 0xEE) << i;
    EXPECT_EQ(simbus::bus().log_for(0x1F0).size(), 256u);
}

TEST_F(AtaTest, FailedReadPrintsErrorLeavesBufferAndReportsIt) {
    simata::MemoryStorage disk(8);
    simata::Device dev;
    dev.storage = &disk;
    dev.bad_sectors.insert(5);
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    std::vector<uint8_t> buf(512, 0x5A);
    EXPECT_EQ(ata.ReadSector(5, buf.data(), 512), AdvancedTechnologyAttachment::kReadError);
    EXPECT_EQ(capture.Text(), "ERROR");
    for (uint8_t b : buf) ASSERT_EQ(b, 0x5A);
    // Past the end of the disk fails the same way.
    EXPECT_NE(ata.ReadSector(8, buf.data(), 512), 0);
}

TEST_F(AtaTest, ReadFromHungOrMissingControllerTimesOut) {
    simata::Device hung;
    hung.kind = simata::Device::kHung;
    primary.attach_master(&hung);
    simbus::bus().set_logging(false);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    std::vector<uint8_t> buf(512, 0x11);
    EXPECT_EQ(ata.ReadSector(0, buf.data(), 512), AdvancedTechnologyAttachment::kReadTimeout);
    EXPECT_EQ(buf[0], 0x11);
    EXPECT_EQ(ata.WriteSector(0, buf.data(), 512), AdvancedTechnologyAttachment::kWriteTimeout);

    // No controller at all: the floating bus shows ERR, never data.
    AdvancedTechnologyAttachment none(true, 0x170);
    EXPECT_NE(none.ReadSector(0, buf.data(), 512), 0);
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
    EXPECT_EQ(ata.ReadSector(1, buf, 512), 0);
    EXPECT_EQ(buf[0], 0x42);
}

TEST_F(AtaTest, WriteSendsDataZeroPaddedThenFlushes) {
    simata::MemoryStorage disk(4);
    std::fill(disk.bytes.begin(), disk.bytes.end(), 0xCC);
    simata::Device dev;
    dev.storage = &disk;
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    std::vector<uint8_t> data(90);
    for (int i = 0; i < 90; i++) data[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(ata.WriteSector(2, data.data(), 90), 0);
    auto words = Writes(0x1F0);
    ASSERT_EQ(words.size(), 256u);
    EXPECT_EQ(words[0], W16(0x1F0, 0x0201));
    EXPECT_EQ(words[44], W16(0x1F0, 0x5A59));
    for (size_t i = 45; i < 256; i++) ASSERT_EQ(words[i].value, 0u) << i;
    for (int i = 0; i < 90; i++) ASSERT_EQ(disk.bytes[1024 + i], i + 1);
    for (int i = 90; i < 512; i++) ASSERT_EQ(disk.bytes[1024 + i], 0);
    auto cmds = Writes(0x1F7);
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].value, 0x30u);
    EXPECT_EQ(cmds[1].value, 0xE7u);
    EXPECT_EQ(dev.flushes, 1);
}

TEST_F(AtaTest, OddCountSendsLastByteWithZeroHighByte) {
    simata::MemoryStorage disk(2);
    simata::Device dev;
    dev.storage = &disk;
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    uint8_t data[3] = {0x11, 0x22, 0x33};
    EXPECT_EQ(ata.WriteSector(0, data, 3), 0);
    auto words = Writes(0x1F0);
    EXPECT_EQ(words[1].value, 0x0033u);
}

TEST_F(AtaTest, WriteStatusCodes) {
    simata::SizeOnlyStorage big(0x10000010ull);
    simata::Device dev;
    dev.storage = &big;
    primary.attach_master(&dev);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    uint8_t data[514] = {};

    EXPECT_EQ(ata.WriteSector(0, data, 513), 1);
    EXPECT_TRUE(simbus::bus().log().empty());

    EXPECT_EQ(ata.WriteSector(0x10000000, data, 512), 0);
    auto cmds = Writes(0x1F7);
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].value, 0x34u);
    EXPECT_EQ(cmds[1].value, 0xEAu);

    dev.bad_sectors.insert(7);
    EXPECT_EQ(ata.WriteSector(7, data, 512), 2);
    dev.bad_sectors.clear();
    dev.flush_error = true;
    EXPECT_EQ(ata.WriteSector(7, data, 512), 5);
    dev.flush_error = false;

    // A device that takes the data and only then refuses it (past its end,
    // as QEMU's disk does) fails the write; no flush follows.
    dev.write_error_after_data = true;
    int flushes = dev.flushes;
    EXPECT_EQ(ata.WriteSector(0x10000010, data, 512), AdvancedTechnologyAttachment::kWriteDataError);
    EXPECT_EQ(dev.flushes, flushes);
    EXPECT_EQ(ata.WriteSector(8, data, 512), 0);
    // What IDENTIFY reports is the disk's size, for the volume's checks.
    EXPECT_EQ(ata.SectorCount(), 0x0FFFFFFFu);  // LBA28's limit without LBA48
}

TEST_F(AtaTest, ErrorDeviceFailsEveryTransfer) {
    simata::Device bad;
    bad.kind = simata::Device::kAlwaysError;
    primary.attach_master(&bad);
    AdvancedTechnologyAttachment ata(true, 0x1F0);
    uint8_t buf[512] = {};
    EXPECT_EQ(ata.ReadSector(0, buf, 512), AdvancedTechnologyAttachment::kReadError);
    EXPECT_EQ(ata.WriteSector(0, buf, 512), 2);
}

}  // namespace

namespace {

TEST_F(AtaTest, SecondarySlaveSelectsWithF0AndCarriesLbaBits27To24) {
    simata::MemoryStorage disk(16);
    disk.bytes[512 * 9] = 0x99;
    simata::Device dev;
    dev.storage = &disk;
    secondary.attach_slave(&dev);
    AdvancedTechnologyAttachment ata(false, 0x170);
    uint8_t buf[512] = {};
    EXPECT_EQ(ata.ReadSector(9, buf, 512), 0);
    EXPECT_EQ(buf[0], 0x99);
    EXPECT_EQ(Writes(0x176).at(0).value, 0xF0u);
    simbus::bus().clear_log();
    // Bits 27-24 ride in the select byte; the disk is too small for them.
    EXPECT_NE(ata.ReadSector(0x0A000009, buf, 512), 0);
    EXPECT_EQ(Writes(0x176).at(0).value, 0xFAu);
    EXPECT_TRUE(simbus::bus().log_for(0x1F7).empty());  // the primary was not touched
}

}  // namespace

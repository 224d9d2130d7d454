// Shared set-up for the FAT32 tests: a real image made by mkfs.fat and
// mtools, served to the driver by a simulated primary-master disk.
#ifndef TARN_TESTS_UNIT_FAT_FAT_FIXTURE_H
#define TARN_TESTS_UNIT_FAT_FAT_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "drivers/ata.h"
#include "filesystem/fat.h"
#include "tests/support/console_capture.h"
#include "tests/support/disk_image.h"
#include "tests/support/sim_ata.h"
#include "tests/support/simbus.h"

using tarn::drivers::AdvancedTechnologyAttachment;
using tarn::filesystem::Fat32;

class FatTest : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        simbus::bus().set_logging(false);
        simbus::bus().attach(&channel);
    }
    void TearDown() override {
        fat.reset();
        simbus::bus().reset();
    }

    // Makes the image; files are added with image->Put before Mount().
    void Build(diskimage::Options options = diskimage::Options()) {
        image = std::make_unique<diskimage::Image>(options);
        ASSERT_TRUE(image->ok());
    }
    void BuildSpc(int spc, const std::string& label = "") {
        diskimage::Options o;
        o.sectors_per_cluster = spc;
        o.partition_sectors = diskimage::MinimumSectors(spc);
        o.label = label;
        Build(o);
    }
    void Mount() {
        fat.reset();
        storage = std::make_unique<simata::FileStorage>(image->path());
        ASSERT_TRUE(storage->ok());
        disk.storage = storage.get();
        channel.attach_master(&disk);
        ata = std::make_unique<AdvancedTechnologyAttachment>(true, simata::kPrimaryBase);
        ata->Identify();
        tarn::filesystem::Partition part{0, image->options().partition_start,
                                         image->options().partition_sectors, image->options().partition_type,
                                         true, false};
        fat = std::make_unique<Fat32>(ata.get(), part);
        capture.Start();
    }

    // Writes a new file in the root directory; returns the status.
    uint8_t Save(const char* name, const std::vector<uint8_t>& bytes) {
        return fat->WriteWholeFile(0, name, bytes.data(), (uint32_t)bytes.size(), false);
    }
    // Reads a whole file of the root directory.
    std::vector<uint8_t> Load(const char* name, uint8_t* status = nullptr) {
        std::vector<uint8_t> out;
        tarn::filesystem::FatEntryInfo e;
        uint8_t st = fat->FindEntry(0, name, &e);
        if (st == 0) {
            out.resize(e.size);
            uint32_t length = 0;
            st = fat->ReadWholeFile(e, out.data(), e.size, &length);
            out.resize(st == 0 ? length : 0);
        }
        if (status) *status = st;
        return out;
    }
    void ExpectClean() {
        std::string report;
        EXPECT_EQ(image->Check(&report), 0) << report;
    }
    // Root directory entry bytes as the disk holds them, by index.
    std::vector<uint8_t> RootEntry(int index) {
        auto s = image->ReadSectors(fat->RootDirStart() + index / 16, 1);
        return std::vector<uint8_t>(s.begin() + (index % 16) * 32, s.begin() + (index % 16) * 32 + 32);
    }
    uint32_t FatOnDisk(int copy, uint32_t cluster) {
        uint32_t spf = (fat->DataStart() - fat->FatStart()) / 2;
        auto s = image->ReadSectors(fat->FatStart() + copy * spf + cluster / 128, 1);
        uint32_t v;
        std::memcpy(&v, s.data() + (cluster % 128) * 4, 4);
        return v;
    }

    simata::Channel channel{simata::kPrimaryBase};
    simata::Device disk;
    std::unique_ptr<diskimage::Image> image;
    std::unique_ptr<simata::FileStorage> storage;
    std::unique_ptr<AdvancedTechnologyAttachment> ata;
    std::unique_ptr<Fat32> fat;
    consolecapture::Capture capture;
};

#endif

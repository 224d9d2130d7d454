// A FAT32 image made by mkfs.fat and filled by mtools, mounted as the
// kernel mounts drive 8's volume: the ATA driver on the simulated primary
// channel, its partition table read into a disk registry, the volume
// chosen there.
#ifndef TARN_TESTS_UNIT_BRIDGE_MOUNTED_VOLUME_H
#define TARN_TESTS_UNIT_BRIDGE_MOUNTED_VOLUME_H

#include <memory>
#include <string>
#include <vector>

#include "tests/support/disk_image.h"
#include "tests/support/sim_ata.h"
#include "tests/support/simbus.h"

#include "drivers/ata.h"
#include "filesystem/disk_registry.h"
#include "filesystem/fat.h"

class MountedVolume {
public:
    explicit MountedVolume(const diskimage::Options& options = diskimage::Options())
        : image(options), channel_(simata::kPrimaryBase) {}

    ~MountedVolume() { Unmount(); }

    // Files are put on the image with mtools before the volume is mounted,
    // so the FAT cache read at mount sees them.
    bool Put(const std::string& name, const std::vector<uint8_t>& data) {
        return image.Put(name, data);
    }

    tarn::filesystem::Fat32* Mount() {
        Unmount();
        storage_.reset(new simata::FileStorage(image.path()));
        device_.storage = storage_.get();
        channel_.attach_master(&device_);
        // Only this channel is (re)attached: a headless machine's keyboard
        // controller may share the bus.
        simbus::bus().detach(&channel_);
        simbus::bus().set_logging(false);
        simbus::bus().attach(&channel_);
        ata_.reset(new tarn::drivers::AdvancedTechnologyAttachment(true, simata::kPrimaryBase));
        ata_->Identify();
        registry_.reset(new tarn::filesystem::DiskRegistry());
        registry_->Add(ata_.get());
        registry_->ChooseVolume(nullptr);
        return registry_->Volume();
    }

    void Unmount() {
        registry_.reset();
        ata_.reset();
        if (storage_) simbus::bus().detach(&channel_);
        storage_.reset();
    }

    tarn::filesystem::Fat32* fat() { return registry_ ? registry_->Volume() : nullptr; }
    const tarn::filesystem::DiskRegistry* registry() { return registry_.get(); }
    // The simulated disk: bad sectors, error timing, transfer counters.
    simata::Device& device() { return device_; }
    // The power goes after so many more sector writes (see FileStorage).
    void CutAfter(int writes) { storage_->writes_before_cut = writes; }

    // Bytes of a file as mtools reads them back; empty when it is missing.
    std::vector<uint8_t> Get(const std::string& name) {
        std::vector<uint8_t> data;
        if (!image.Get(name, &data)) data.clear();
        return data;
    }
    bool Exists(const std::string& name) {
        std::vector<uint8_t> data;
        return image.Get(name, &data);
    }
    // fsck.fat -n exit status (0 = clean); the report goes to *report.
    int Check(std::string* report) { return image.Check(report); }

    diskimage::Image image;

private:
    simata::Channel channel_;
    simata::Device device_;
    std::unique_ptr<simata::FileStorage> storage_;
    std::unique_ptr<tarn::drivers::AdvancedTechnologyAttachment> ata_;
    std::unique_ptr<tarn::filesystem::DiskRegistry> registry_;
};

#endif

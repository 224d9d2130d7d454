// Simulated ATA channels on the simbus: a primary (0x1F0/0x3F6) or secondary
// (0x170/0x376) channel with up to two positions, each empty or holding a
// disk (memory array or image file), a packet device, a device that always
// raises ERR, or a controller that stays busy for ever.
#ifndef TARN_TESTS_SUPPORT_SIM_ATA_H
#define TARN_TESTS_SUPPORT_SIM_ATA_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tests/support/simbus.h"

namespace simata {

constexpr uint16_t kPrimaryBase = 0x1F0;
constexpr uint16_t kSecondaryBase = 0x170;
constexpr uint32_t kSectorBytes = 512;

// Where a disk's sectors live.
class Storage {
public:
    virtual ~Storage() = default;
    virtual uint64_t sectors() const = 0;
    virtual void read(uint64_t lba, uint8_t* out) = 0;
    virtual void write(uint64_t lba, const uint8_t* in) = 0;
};

class MemoryStorage : public Storage {
public:
    explicit MemoryStorage(uint64_t sectors) : bytes(sectors * kSectorBytes, 0) {}
    explicit MemoryStorage(std::vector<uint8_t> image) : bytes(std::move(image)) {}
    uint64_t sectors() const override { return bytes.size() / kSectorBytes; }
    void read(uint64_t lba, uint8_t* out) override;
    void write(uint64_t lba, const uint8_t* in) override;
    std::vector<uint8_t> bytes;
};

// Sectors read and written in place in an image file.
class FileStorage : public Storage {
public:
    explicit FileStorage(const std::string& path);
    ~FileStorage() override;
    bool ok() const { return fd_ >= 0; }
    uint64_t sectors() const override { return sectors_; }
    void read(uint64_t lba, uint8_t* out) override;
    void write(uint64_t lba, const uint8_t* in) override;
    // A power cut: once this many more sectors are written, the rest never
    // reach the file (-1: no cut).
    int writes_before_cut = -1;

private:
    int fd_ = -1;
    uint64_t sectors_ = 0;
};

// A sparse disk that only reports a size: reads give zeros, writes vanish.
class SizeOnlyStorage : public Storage {
public:
    explicit SizeOnlyStorage(uint64_t sectors) : sectors_(sectors) {}
    uint64_t sectors() const override { return sectors_; }
    void read(uint64_t, uint8_t* out) override;
    void write(uint64_t, const uint8_t*) override {}

private:
    uint64_t sectors_;
};

struct Device {
    enum Kind { kDisk, kPacket, kAlwaysError, kHung } kind = kDisk;
    Storage* storage = nullptr;          // kDisk
    std::string serial = "SIM0001";
    std::string model = "TARN SIMULATED DISK";
    bool lba48 = false;                  // advertise LBA48 in IDENTIFY
    int busy_reads = 0;                  // status reads that show BSY after a command
    std::set<uint64_t> bad_sectors;      // reads and writes of these raise ERR
    bool flush_error = false;            // the flush command raises ERR
    // Writes to bad sectors or past the end take the data first and raise
    // ERR after it, as QEMU's disk does.
    bool write_error_after_data = false;
    // Counters a test can inspect.
    int reads = 0, writes = 0, flushes = 0, identifies = 0;
    uint64_t last_lba = 0;
};

class Channel : public simbus::Device {
public:
    explicit Channel(uint16_t base) : base_(base) {}
    void attach_master(simata::Device* d) { pos_[0] = d; }
    void attach_slave(simata::Device* d) { pos_[1] = d; }
    // An empty position reads as a floating bus (0xFF) or as zero.
    bool empty_reads_zero = false;

    bool claims(uint16_t port) const override;
    uint32_t read(uint16_t port, int width) override;
    void write(uint16_t port, uint32_t value, int width) override;

private:
    simata::Device* selected() const { return pos_[(device_ >> 4) & 1]; }
    void command(uint8_t cmd);
    void fill_identify(const simata::Device& d);
    uint8_t status_now();
    uint64_t lba(bool lba48) const;

    uint16_t base_;
    simata::Device* pos_[2] = {nullptr, nullptr};
    uint8_t device_ = 0, count_ = 0, count_prev_ = 0;
    uint8_t lba_[3] = {0, 0, 0}, lba_prev_[3] = {0, 0, 0};
    uint8_t status_ = 0x50;
    uint8_t sig_mid_ = 0, sig_hi_ = 0;
    bool sig_valid_ = false;
    int busy_left_ = 0;
    enum Phase { kIdle, kDataIn, kDataOut } phase_ = kIdle;
    uint8_t data_[kSectorBytes] = {};
    uint32_t data_pos_ = 0;
    uint64_t data_lba_ = 0;
    bool fail_after_data_ = false;
};

}  // namespace simata

#endif

// Simulated ATA channels: register file, PIO data phases and disk storage.
#include "tests/support/sim_ata.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace simata {

namespace {
constexpr uint8_t kBsy = 0x80, kRdy = 0x40, kDsc = 0x10, kDrq = 0x08, kErr = 0x01;
constexpr uint8_t kReady = kRdy | kDsc;
}  // namespace

void MemoryStorage::read(uint64_t lba, uint8_t* out) {
    std::memcpy(out, bytes.data() + lba * kSectorBytes, kSectorBytes);
}
void MemoryStorage::write(uint64_t lba, const uint8_t* in) {
    std::memcpy(bytes.data() + lba * kSectorBytes, in, kSectorBytes);
}

FileStorage::FileStorage(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR);
    if (fd_ >= 0) {
        struct stat st;
        if (fstat(fd_, &st) == 0) sectors_ = static_cast<uint64_t>(st.st_size) / kSectorBytes;
    }
}
FileStorage::~FileStorage() {
    if (fd_ >= 0) ::close(fd_);
}
void FileStorage::read(uint64_t lba, uint8_t* out) {
    if (pread(fd_, out, kSectorBytes, static_cast<off_t>(lba * kSectorBytes)) != kSectorBytes)
        std::memset(out, 0, kSectorBytes);
}
void FileStorage::write(uint64_t lba, const uint8_t* in) {
    if (writes_before_cut == 0) return;
    if (writes_before_cut > 0) writes_before_cut--;
    (void)!pwrite(fd_, in, kSectorBytes, static_cast<off_t>(lba * kSectorBytes));
}

void SizeOnlyStorage::read(uint64_t, uint8_t* out) { std::memset(out, 0, kSectorBytes); }

bool Channel::claims(uint16_t port) const {
    return (port >= base_ && port <= base_ + 7) || port == base_ + 0x206;
}

uint64_t Channel::lba(bool lba48) const {
    uint64_t low = lba_[0] | (lba_[1] << 8) | (static_cast<uint64_t>(lba_[2]) << 16);
    if (!lba48) return low | (static_cast<uint64_t>(device_ & 0x0F) << 24);
    return low | (static_cast<uint64_t>(lba_prev_[0]) << 24) |
           (static_cast<uint64_t>(lba_prev_[1]) << 32) | (static_cast<uint64_t>(lba_prev_[2]) << 40);
}

uint8_t Channel::status_now() {
    simata::Device* d = selected();
    if (!d) return empty_reads_zero ? 0x00 : 0xFF;
    if (d->kind == simata::Device::kHung) return kBsy;
    if (busy_left_ > 0) {
        busy_left_--;
        return kBsy;
    }
    return status_;
}

uint32_t Channel::read(uint16_t port, int width) {
    simata::Device* d = selected();
    uint16_t reg = port == base_ + 0x206 ? 8 : port - base_;
    if (!d && reg != 6) return empty_reads_zero ? 0 : 0xFFFFFFFFu;
    switch (reg) {
    case 0: {
        if (phase_ != kDataIn) return 0;
        uint16_t w = data_[data_pos_] | (data_[data_pos_ + 1] << 8);
        data_pos_ += 2;
        if (data_pos_ >= kSectorBytes) {
            phase_ = kIdle;
            status_ = kReady;
        }
        return w;
    }
    case 1: return (status_ & kErr) ? 0x04 : 0;  // ABRT
    case 2: return count_;
    case 3: return lba_[0];
    case 4: return sig_valid_ ? sig_mid_ : lba_[1];
    case 5: return sig_valid_ ? sig_hi_ : lba_[2];
    case 6: return device_;
    case 7:
    case 8: return status_now();
    }
    return 0xFF;
}

void Channel::write(uint16_t port, uint32_t value, int width) {
    if (port == base_ + 0x206) return;  // device control: nIEN / SRST
    uint8_t v = static_cast<uint8_t>(value);
    switch (port - base_) {
    case 0: {
        if (phase_ != kDataOut) return;
        data_[data_pos_] = static_cast<uint8_t>(value);
        data_[data_pos_ + 1] = static_cast<uint8_t>(value >> 8);
        data_pos_ += 2;
        if (data_pos_ >= kSectorBytes) {
            phase_ = kIdle;
            simata::Device* d = selected();
            if (fail_after_data_) {
                status_ = kReady | kErr;
                return;
            }
            if (d && d->storage) d->storage->write(data_lba_, data_);
            if (d) d->writes++;
            status_ = kReady;
        }
        return;
    }
    case 1: return;
    case 2: count_prev_ = count_; count_ = v; sig_valid_ = false; return;
    case 3: lba_prev_[0] = lba_[0]; lba_[0] = v; sig_valid_ = false; return;
    case 4: lba_prev_[1] = lba_[1]; lba_[1] = v; sig_valid_ = false; return;
    case 5: lba_prev_[2] = lba_[2]; lba_[2] = v; sig_valid_ = false; return;
    case 6: device_ = v; return;
    case 7: command(v); return;
    }
}

void Channel::fill_identify(const simata::Device& d) {
    std::memset(data_, 0, sizeof data_);
    auto put_text = [&](int at, const std::string& s, int len) {
        for (int i = 0; i < len; i++) {
            char c = i < static_cast<int>(s.size()) ? s[i] : ' ';
            data_[at + (i ^ 1)] = static_cast<uint8_t>(c);  // two characters a word, first in the high byte
        }
    };
    put_text(20, d.serial, 20);
    put_text(54, d.model, 40);
    uint64_t sectors = d.storage ? d.storage->sectors() : 0;
    uint32_t lba28 = static_cast<uint32_t>(sectors > 0x0FFFFFFF ? 0x0FFFFFFF : sectors);
    std::memcpy(data_ + 120, &lba28, 4);
    if (d.lba48) {
        data_[167] |= 0x04;  // word 83 bit 10
        uint64_t s = sectors;
        std::memcpy(data_ + 200, &s, 8);
    }
}

void Channel::command(uint8_t cmd) {
    simata::Device* d = selected();
    if (!d) return;
    d->last_lba = lba(cmd == 0x24 || cmd == 0x34);
    phase_ = kIdle;
    busy_left_ = d->busy_reads;
    if (d->kind == simata::Device::kHung) return;
    if (d->kind == simata::Device::kAlwaysError) {
        status_ = kReady | kErr;
        return;
    }
    if (d->kind == simata::Device::kPacket) {
        // Packet devices abort IDENTIFY DEVICE and leave their signature.
        status_ = kReady | kErr;
        sig_mid_ = 0x14;
        sig_hi_ = 0xEB;
        sig_valid_ = true;
        if (cmd == 0xEC) {
            d->identifies++;
            fill_identify(*d);
            phase_ = kDataIn;
            data_pos_ = 0;
        }
        return;
    }
    const uint64_t total = d->storage ? d->storage->sectors() : 0;
    switch (cmd) {
    case 0xEC:
        d->identifies++;
        fill_identify(*d);
        phase_ = kDataIn;
        data_pos_ = 0;
        status_ = kReady | kDrq;
        return;
    case 0x20:
    case 0x24: {
        uint64_t at = d->last_lba;
        if (at >= total || d->bad_sectors.count(at)) {
            status_ = kReady | kErr;
            return;
        }
        d->storage->read(at, data_);
        d->reads++;
        phase_ = kDataIn;
        data_pos_ = 0;
        status_ = kReady | kDrq;
        return;
    }
    case 0x30:
    case 0x34: {
        uint64_t at = d->last_lba;
        fail_after_data_ = at >= total || d->bad_sectors.count(at);
        if (fail_after_data_ && !d->write_error_after_data) {
            status_ = kReady | kErr;
            return;
        }
        data_lba_ = at;
        phase_ = kDataOut;
        data_pos_ = 0;
        status_ = kReady | kDrq;
        return;
    }
    case 0xE7:
    case 0xEA:
        d->flushes++;
        status_ = d->flush_error ? (kReady | kErr) : kReady;
        return;
    default:
        status_ = kReady | kErr;
    }
}

}  // namespace simata

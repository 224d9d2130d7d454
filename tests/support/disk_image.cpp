// Disk image builder on the standard FAT tools (mkfs.fat, mtools, fsck.fat).
#include "tests/support/disk_image.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace diskimage {

namespace {
constexpr uint32_t kSector = 512;

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

int Run(const std::string& command, std::string* out) {
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int status = pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint32_t MinimumSectors(int spc) {
    // 65525 clusters plus room for two FATs and the reserved area, rounded up.
    uint32_t fat = (65600 * 4 + kSector - 1) / kSector;
    return 65600u * spc + 2 * fat + 64 + 2048;
}

std::vector<uint8_t> Pattern(size_t length, uint32_t seed) {
    std::vector<uint8_t> v(length);
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < length; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v[i] = static_cast<uint8_t>(x);
    }
    return v;
}

Image::Image(const Options& options) : options_(options) {
    char templ[] = "/tmp/tarn-disk-XXXXXX";
    if (!mkdtemp(templ)) return;
    dir_ = templ;
    path_ = dir_ + "/disk.img";
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    uint64_t total = static_cast<uint64_t>(options_.partition_start) + options_.partition_sectors;
    const uint32_t unit = options_.sector_bytes;
    bool sized = ftruncate(fd, static_cast<off_t>(total * unit)) == 0;
    // The MBR: one partition entry at 446, the 0x55AA signature at 510.
    std::vector<uint8_t> sector0(unit, 0);
    uint8_t* mbr = sector0.data();
    uint8_t* e = mbr + 446;
    e[0] = options_.bootable ? 0x80 : 0x00;
    e[1] = 0xFE; e[2] = 0xFF; e[3] = 0xFF;  // CHS fields: use LBA
    e[4] = options_.partition_type;
    e[5] = 0xFE; e[6] = 0xFF; e[7] = 0xFF;
    Put32(e + 8, options_.partition_start);
    Put32(e + 12, options_.partition_sectors);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    bool written = pwrite(fd, mbr, unit, 0) == static_cast<ssize_t>(unit);
    ::close(fd);
    if (!sized || !written) return;
    if (!options_.format) {
        ok_ = true;
        return;
    }
    std::string cmd = "mkfs.fat -F 32 -s " + std::to_string(options_.sectors_per_cluster) +
                      " -f " + std::to_string(options_.fats) + " --offset " +
                      std::to_string(options_.partition_start) + " -i 12345678";
    if (unit != kSector) cmd += " -S " + std::to_string(unit);
    if (!options_.label.empty()) cmd += " -n " + Quote(options_.label);
    cmd += " " + Quote(path_) + " " + std::to_string(static_cast<uint64_t>(options_.partition_sectors) * unit / 1024);
    std::string out;
    ok_ = Run(cmd, &out) == 0;
    if (!ok_) fprintf(stderr, "%s\n%s\n", cmd.c_str(), out.c_str());
}

Image::~Image() {
    if (!dir_.empty()) Run("rm -rf " + Quote(dir_));
}

std::string Image::Target() const {
    return Quote(path_ + "@@" + std::to_string(static_cast<uint64_t>(options_.partition_start) * options_.sector_bytes));
}

bool Image::Put(const std::string& name, const std::vector<uint8_t>& data) {
    std::string local = dir_ + "/put.bin";
    FILE* f = fopen(local.c_str(), "wb");
    if (!f) return false;
    if (!data.empty()) fwrite(data.data(), 1, data.size(), f);
    fclose(f);
    std::string out;
    int rc = Run("MTOOLS_NO_VFAT=0 mcopy -o -i " + Target() + " " + Quote(local) + " " + Quote("::" + name), &out);
    if (rc != 0) fprintf(stderr, "mcopy: %s\n", out.c_str());
    return rc == 0;
}

bool Image::MakeDirectory(const std::string& name) {
    return Run("mmd -i " + Target() + " " + Quote("::" + name)) == 0;
}

bool Image::Delete(const std::string& name) {
    return Run("mdel -i " + Target() + " " + Quote("::" + name)) == 0;
}

bool Image::Get(const std::string& name, std::vector<uint8_t>* data) const {
    std::string local = dir_ + "/get.bin";
    ::unlink(local.c_str());
    if (Run("mcopy -n -i " + Target() + " " + Quote("::" + name) + " " + Quote(local)) != 0) return false;
    FILE* f = fopen(local.c_str(), "rb");
    if (!f) return false;
    data->clear();
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data->insert(data->end(), buf, buf + n);
    fclose(f);
    return true;
}

std::string Image::Listing() const {
    std::string out;
    Run("mdir -a -i " + Target() + " ::", &out);
    return out;
}

std::string Image::ShortListing() const {
    std::string out;
    Run("mdir -b -i " + Target() + " ::", &out);
    return out;
}

// fsck.fat reads a volume from the start of a file, so the partition is
// copied out, keeping holes so a large sparse volume stays cheap.
int Image::Check(std::string* report) const {
    std::string part = dir_ + "/part.img";
    int in = ::open(path_.c_str(), O_RDONLY);
    int out = ::open(part.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) {
        if (in >= 0) ::close(in);
        if (out >= 0) ::close(out);
        return -1;
    }
    const off_t start = static_cast<off_t>(options_.partition_start) * options_.sector_bytes;
    const off_t end = start + static_cast<off_t>(options_.partition_sectors) * options_.sector_bytes;
    bool good = ftruncate(out, end - start) == 0;
    std::vector<char> buf(1 << 16);
    off_t pos = start;
    while (good && pos < end) {
        off_t data = lseek(in, pos, SEEK_DATA);
        if (data < 0 || data >= end) break;
        off_t hole = lseek(in, data, SEEK_HOLE);
        if (hole < 0 || hole > end) hole = end;
        for (off_t p = data; p < hole;) {
            size_t want = static_cast<size_t>(std::min<off_t>(hole - p, static_cast<off_t>(buf.size())));
            ssize_t got = pread(in, buf.data(), want, p);
            if (got <= 0 || pwrite(out, buf.data(), static_cast<size_t>(got), p - start) != got) {
                good = false;
                break;
            }
            p += got;
        }
        pos = hole;
    }
    ::close(in);
    ::close(out);
    if (!good) return -1;
    std::string text;
    int rc = Run("fsck.fat -n " + Quote(part), &text);
    if (report) *report = text;
    ::unlink(part.c_str());
    return rc;
}

std::vector<uint8_t> Image::ReadSectors(uint64_t lba, uint32_t count) const {
    std::vector<uint8_t> v(static_cast<size_t>(count) * kSector, 0);
    int fd = ::open(path_.c_str(), O_RDONLY);
    if (fd >= 0) {
        (void)!pread(fd, v.data(), v.size(), static_cast<off_t>(lba * kSector));
        ::close(fd);
    }
    return v;
}

void Image::WriteSectors(uint64_t lba, const std::vector<uint8_t>& data) {
    int fd = ::open(path_.c_str(), O_RDWR);
    if (fd >= 0) {
        (void)!pwrite(fd, data.data(), data.size(), static_cast<off_t>(lba * kSector));
        ::close(fd);
    }
}

void Image::PatchByte(const std::string& path, uint64_t offset) {
    int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) return;
    uint8_t b = 0;
    if (pread(fd, &b, 1, static_cast<off_t>(offset)) == 1) {
        b = static_cast<uint8_t>(~b);
        (void)!pwrite(fd, &b, 1, static_cast<off_t>(offset));
    }
    ::close(fd);
}

}  // namespace diskimage

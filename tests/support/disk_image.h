// Disk images for filesystem tests, made with the standard tools: an MBR we
// write ourselves, a FAT32 volume from mkfs.fat at the partition's offset,
// files put there and read back with mtools, and fsck.fat -n as the judge.
#ifndef TARN_TESTS_SUPPORT_DISK_IMAGE_H
#define TARN_TESTS_SUPPORT_DISK_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

namespace diskimage {

struct Options {
    uint32_t partition_start = 2048;      // first sector of entry 0
    uint32_t partition_sectors = 139264;  // 68 MiB: enough clusters for FAT32 at 1 sector/cluster
    int sectors_per_cluster = 1;
    int fats = 2;
    std::string label;                    // volume label, empty for none
    uint8_t partition_type = 0x0C;        // FAT32 LBA
    bool bootable = true;
    bool format = true;                   // run mkfs.fat on the partition
    uint32_t sector_bytes = 512;          // the disk's sector: partition numbers count these
};

// Smallest partition that still has FAT32's minimum cluster count.
uint32_t MinimumSectors(int sectors_per_cluster);

class Image {
public:
    // Creates a sparse image file in a fresh temporary directory.
    explicit Image(const Options& options = Options());
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }
    const Options& options() const { return options_; }
    std::string dir() const { return dir_; }

    // mtools on the volume (names as ::NAME); each returns true on success.
    bool Put(const std::string& name, const std::vector<uint8_t>& data);
    bool MakeDirectory(const std::string& name);
    bool Delete(const std::string& name);
    bool Get(const std::string& name, std::vector<uint8_t>* data) const;
    std::string Listing() const;           // mdir -a of the root
    std::string ShortListing() const;      // mdir -b (one name a line)

    // fsck.fat -n on the partition: returns its exit status, output in *report.
    int Check(std::string* report = nullptr) const;

    // Raw access to the image file in 512-byte sectors.
    std::vector<uint8_t> ReadSectors(uint64_t lba, uint32_t count) const;
    void WriteSectors(uint64_t lba, const std::vector<uint8_t>& data);

    // Flips every bit of one byte of a file (damage for a test).
    static void PatchByte(const std::string& path, uint64_t offset);

private:
    std::string Target() const;  // image@@offset for mtools
    Options options_;
    std::string dir_;
    std::string path_;
    bool ok_ = false;
};

// Runs a shell command; returns its exit status and stdout in *out.
int Run(const std::string& command, std::string* out = nullptr);

// Deterministic test data.
std::vector<uint8_t> Pattern(size_t length, uint32_t seed);

}  // namespace diskimage

#endif

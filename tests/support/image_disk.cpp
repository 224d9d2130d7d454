// Block device over an image file.
#include "tests/support/image_disk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ImageDisk::ImageDisk(const std::string& path, uint32_t sector_bytes) : sector_bytes_(sector_bytes) {
    fd_ = ::open(path.c_str(), O_RDWR);
    struct stat st;
    if (fd_ >= 0 && fstat(fd_, &st) == 0) sectors_ = static_cast<uint64_t>(st.st_size) / sector_bytes_;
}

ImageDisk::~ImageDisk() {
    if (fd_ >= 0) ::close(fd_);
}

ImageDisk::Status ImageDisk::ReadSectors(u64 lba, u32 count, u8* data) {
    reads++;
    if (gone) return kNoMedium;
    if (lba + count > sectors_) return kOutOfRange;
    for (u32 i = 0; i < count; i++)
        if (bad_sectors.count(lba + i)) return kError;
    size_t bytes = static_cast<size_t>(count) * sector_bytes_;
    return pread(fd_, data, bytes, static_cast<off_t>(lba * sector_bytes_)) == static_cast<ssize_t>(bytes) ? kOk
                                                                                                          : kError;
}

ImageDisk::Status ImageDisk::WriteSectors(u64 lba, u32 count, const u8* data) {
    writes++;
    if (gone) return kNoMedium;
    if (lba + count > sectors_) return kOutOfRange;
    for (u32 i = 0; i < count; i++)
        if (bad_sectors.count(lba + i)) return kError;
    size_t bytes = static_cast<size_t>(count) * sector_bytes_;
    return pwrite(fd_, data, bytes, static_cast<off_t>(lba * sector_bytes_)) == static_cast<ssize_t>(bytes) ? kOk
                                                                                                           : kError;
}

// libFuzzer target for .D64 images: the input becomes a disk image (its first
// byte picks the size, the rest lands from the BAM on, wrapping round the
// disk) and every entry is listed, read and some scratched, then a file is
// written and must read back as written.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "c64/drive/d64_image.h"

using drive::D64Entry;
using drive::D64Image;

namespace {

constexpr u32 kSizes[] = {174848, 175531, 196608, 197376};
constexpr size_t kBamOffset = 357 * 256;      // track 18, sector 0
constexpr u32 kMaxEntries = 18 * 8;           // every sector of track 18 but the BAM
constexpr u32 kMaxFile = 768 * 254;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const u8 control = data[0];
    std::vector<u8> image(kSizes[control & 3], 0);
    for (size_t i = 1; i < size; i++) image[(kBamOffset + i - 1) % image.size()] = data[i];

    D64Image d64;
    Check(d64.Open(image.data(), (u32)size) == D64Image::kNotUsable || size == image.size());
    Check(d64.Open(image.data(), (u32)image.size()) == 0);
    u8 name[16], id[5];
    d64.DiskName(name);
    d64.DiskId(id);

    static std::vector<u8> buffer(kMaxFile);
    D64Entry e;
    u32 count = 0;
    for (; d64.Entry(count, &e); count++) {
        Check(count < kMaxEntries && e.nameLength <= 16);
        u32 length = 0;
        u8 status = d64.ReadFile(e, buffer.data(), (u32)buffer.size(), &length);
        Check(length <= buffer.size() && (status == 0 || status == D64Image::kIllegalTrackSector));
        if ((control >> 2) & 1 && count % 3 == 0) d64.Scratch(e);
    }
    u16 freeBefore = d64.FreeBlocks();

    // A new file, named and filled from the input.
    const u8* payload = data + 1;
    u32 length = (u32)((size - 1) * ((control >> 3) + 1) % 6000);
    std::vector<u8> bytes(length);
    for (u32 i = 0; i < length; i++) bytes[i] = size > 1 ? payload[i % (size - 1)] : 0;
    const u8 newName[] = {'F', 'U', 'Z', 'Z', control};
    u8 status = d64.WriteFile(newName, sizeof newName, 2, bytes.data(), length);
    if (status == 0) {
        bool found = false;
        for (count = 0; !found && d64.Entry(count, &e); count++) {
            found = e.nameLength == sizeof newName;
            for (u32 i = 0; found && i < sizeof newName; i++) found = e.name[i] == newName[i];
        }
        Check(found);
        u32 read = 0;
        Check(d64.ReadFile(e, buffer.data(), (u32)buffer.size(), &read) == 0 && read == length);
        for (u32 i = 0; i < length; i++) Check(buffer[i] == bytes[i]);
        Check(d64.Scratch(e) == 0);
    } else {
        Check(d64.FreeBlocks() == freeBefore);
    }
    return 0;
}

// FAT32 consistency check: the rules a repair tool enforces on what this
// system writes, so that tests and the fuzz target can hold it to them.
#include "filesystem/fat.h"

#include "filesystem/fat_internal.h"

namespace tarn {
namespace filesystem {

using namespace fatfs;

namespace {
const u32 kMaxDepth = 32;  // deeper trees are taken as a loop of directories

bool IsDotEntry(const u8* shortName) {
    return shortName[0] == '.' && (shortName[1] == ' ' || (shortName[1] == '.' && shortName[2] == ' '));
}
}  // namespace

// Marks a chain's clusters; false when it leaves the data area, meets a
// free cluster, shares a cluster with a chain marked before, loops, or ends
// in anything but an end mark.
bool Fat32::MarkChain(u32 first, u8* marks) const {
    u32 c = first;
    for (u32 n = ChainLength(first); n > 0; n--) {
        if (marks[c] || FatEntry(c) == 0) return false;
        marks[c] = 1;
        u32 next = NextInChain(c);
        if (next == 0) return FatEntry(c) >= kEndOfChainMin;
        c = next;
    }
    return false;
}

bool Fat32::CheckChainsFrom(u32 dir, u8* marks, u32 depth) {
    if (depth > kMaxDepth || !MarkChain(dir, marks)) return false;
    u32 slot = 0;
    FatEntryInfo info;
    EntryPlace place;
    while (NextEntry(dir, &slot, &info, &place)) {
        if ((info.attributes & kAttrVolumeLabel) || IsDotEntry(info.shortName)) continue;
        if (info.attributes & kAttrDirectory) {
            u32 resume = slot;
            if (!CheckChainsFrom(info.firstCluster, marks, depth + 1)) return false;
            slot = resume;
        } else if (info.firstCluster != 0 && !MarkChain(info.firstCluster, marks)) {
            return false;
        }
    }
    return !diskError;
}

u8 Fat32::CheckConsistency() {
    if (!volumeMounted) return kNotMounted;
    if (FlushDir() != kOk) return kDiskError;
    diskError = false;
    u8 first[kSectorBytes], copy[kSectorBytes];
    for (u32 i = 0; i < sectorsPerFat; i++) {
        if (!ReadPieces(fatStart + i, 1, first)) return kDiskError;
        if (!Same(first, fatCache + i * kSectorBytes, kSectorBytes)) return kDiskError;
        for (u32 n = 1; n < numberOfFats; n++) {
            if (!ReadPieces(fatStart + (u64)n * sectorsPerFat + i, 1, copy)) return kDiskError;
            if (!Same(first, copy, kSectorBytes)) return kDiskError;
        }
    }
    u8* marks = new u8[lastCluster + 1];
    if (!marks) return kNoMemory;
    Fill(marks, 0, lastCluster + 1);
    bool ok = CheckChainsFrom(rootCluster, marks, 0);
    delete[] marks;
    return ok ? kOk : kDiskError;
}

}  // namespace filesystem
}  // namespace tarn

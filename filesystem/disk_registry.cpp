// The disks found, their partitions, and drive 8's volume among them.
#include "filesystem/disk_registry.h"

#include "filesystem/fat.h"

namespace tarn {
namespace filesystem {

namespace {
char Upper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 32) : c; }

bool SameNoCase(const char* a, const char* b) {
    while (*a && Upper(*a) == Upper(*b)) { a++; b++; }
    return *a == *b;
}
}  // namespace

DiskRegistry::~DiskRegistry() { delete volume_; }

bool DiskRegistry::Add(drivers::BlockDevice* device) { return Insert(device, count_); }

bool DiskRegistry::Insert(drivers::BlockDevice* device, u32 at) {
    if (!device || count_ == kMost) return false;
    if (at > count_) at = count_;
    for (u32 i = count_; i > at; i--) disks_[i] = disks_[i - 1];
    count_++;
    if (volumeDisk_ != kNone && volumeDisk_ >= at) volumeDisk_++;
    RegisteredDisk& d = disks_[at];
    d.device = device;
    ReadPartitionTable(device, &d.partitions);
    return true;
}

bool DiskRegistry::Holds(const drivers::BlockDevice* device) const {
    return volume_ && volume_->Disk() == device;
}

void DiskRegistry::Remove(drivers::BlockDevice* device) {
    if (Holds(device)) Keep(nullptr, kNone, kNone);
    for (u32 i = 0; i < count_; i++) {
        if (disks_[i].device != device) continue;
        for (u32 k = i; k + 1 < count_; k++) disks_[k] = disks_[k + 1];
        count_--;
        if (volumeDisk_ != kNone && volumeDisk_ > i) volumeDisk_--;
        return;
    }
}

bool DiskRegistry::Chosen() const { return volume_ && volume_->mounted(); }

void DiskRegistry::SerialText(u32 serial, char out[10]) {
    static const char kHex[] = "0123456789ABCDEF";
    for (int i = 0, o = 0; i < 8; i++) {
        if (i == 4) out[o++] = '-';
        out[o++] = kHex[(serial >> (28 - 4 * i)) & 0xF];
    }
    out[9] = 0;
}

bool DiskRegistry::Matches(Fat32* fat, const char* wanted) {
    if (!wanted || !wanted[0]) return true;
    char text[12];
    fat->Label(text);
    if (text[0] && SameNoCase(text, wanted)) return true;
    SerialText(fat->Serial(), text);
    return SameNoCase(text, wanted);
}

void DiskRegistry::Keep(Fat32* fat, u32 disk, u32 entry) {
    delete volume_;
    volume_ = fat;
    volumeDisk_ = disk;
    volumeEntry_ = entry;
}

bool DiskRegistry::ChooseVolume(const char* wanted) {
    Keep(nullptr, kNone, kNone);
    Fat32* refused = nullptr;
    for (u32 d = 0; d < count_; d++) {
        const PartitionList& list = disks_[d].partitions;
        for (u32 e = 0; e < list.count; e++) {
            if (!list.entries[e].mayHoldFat) continue;
            Fat32* fat = new Fat32(disks_[d].device, list.entries[e]);
            if (!fat) continue;
            if (fat->mounted() && Matches(fat, wanted)) {
                delete refused;
                Keep(fat, d, e);
                return true;
            }
            // A layout refused for a reason (not simply another file
            // system) is kept to say why drive 8 is empty.
            if (!fat->mounted() && !refused && fat->MountProblem()[0]) refused = fat;
            else delete fat;
        }
    }
    Keep(refused, kNone, kNone);
    return false;
}

}  // namespace filesystem
}  // namespace tarn

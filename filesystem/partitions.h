// Partition tables: the MBR's four entries and GPT (primary header and
// entries checked by their CRCs, the backup at the disk's end used when the
// primary is damaged). A protective MBR means the disk is GPT.
#ifndef TARN_FILESYSTEM_PARTITIONS_H
#define TARN_FILESYSTEM_PARTITIONS_H

#include "drivers/block_device.h"
#include "lib/types.h"

namespace tarn {
namespace filesystem {

struct Partition {
    u32 index;            // 0-based position in its table
    u64 firstSector;      // in the device's own sectors
    u64 sectorCount;
    u8 mbrType;           // the MBR type byte; 0 on GPT
    // May hold FAT32: on MBR any data partition (the boot sector decides),
    // on GPT the Microsoft basic-data and EFI system types.
    bool mayHoldFat;
    bool efiSystem;       // GPT EFI system partition, or MBR type 0xEF
};

enum class PartitionTable : u8 {
    kUnreadable,   // sector 0 could not be read
    kNone,         // no MBR signature, or a GPT that fails in both copies
    kMbr,
    kGpt,          // the primary header and entries
    kGptBackup,    // the primary was damaged; the backup at the disk's end
};

struct PartitionList {
    static constexpr u32 kMost = 16;  // kept; further GPT entries are not looked at
    PartitionTable table = PartitionTable::kNone;
    u32 count = 0;
    Partition entries[kMost];
};

// Reads the partition table of disk into out (count 0 when it has none).
void ReadPartitionTable(drivers::BlockDevice* disk, PartitionList* out);

// "MBR", "GPT", "GPT (backup)", "none", "unreadable".
const char* TableName(PartitionTable table);

}  // namespace filesystem
}  // namespace tarn

#endif

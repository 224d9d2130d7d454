// The monitor's disk commands, on drive 8's volume through the same
// directory-tree calls the drive uses: names are long or 8.3, any case,
// in the root directory.
#include "c64/kernal.h"
#include "c64/memory.h"
#include "c64/monitor.h"
#include "filesystem/disk_registry.h"
#include "filesystem/fat.h"
#include "lib/stdio.h"
#include "lib/stdlib.h"

using tarn::filesystem::DiskRegistry;
using tarn::filesystem::Fat32;
using tarn::filesystem::FatEntryInfo;
using tarn::filesystem::Partition;
using tarn::filesystem::PartitionList;

namespace {

constexpr u16 kVarTab = kernal::kVarTab;  // BASIC end-of-program pointer (word)
constexpr u16 kDefaultAddress = 0x0800; // L and W when no address is given
constexpr u8 kRoot = 0;                 // the root directory's cluster, as the tree calls take it
constexpr int kStatusNoVolume = Fat32::kNotMounted;
constexpr int kStatusBadRange = Fat32::kNotFound;  // W with its end before its start
constexpr int kStatusLoaded = Fat32::kEndOfFile;   // how L reports a whole file loaded
constexpr int kStatusPastMemory = 13;              // L: the file runs past $FFFF
constexpr u8 kAttrDirectory = 0x10;

constexpr u32 kPieceBytes = 512;
constexpr u32 kDefaultDumpBytes = 256;

// A fixed file for checking the write path.
const char kTestFileBytes[] = "SBCDEFGHIJKLMNOPQRSTUVWXYZ1234567890AAABBBCCCD";

u32 hex_arg(const char* s) { return (u32)htoi((char*)s); }
u32 dec_arg(const char* s) { return (u32)atoi((char*)s); }

void print_status(int status) { printf("\nstatus=%d", status); }

const char* gpt_kind(const Partition& p) {
    if (p.efiSystem) return "EFI system";
    return p.mayHoldFat ? "basic data" : "other";
}

}  // namespace

// Without a mounted volume every disk command ends in one status line.
bool Monitor::volume_ready() {
    if (fat_ && fat_->mounted()) return true;
    print_status(kStatusNoVolume);
    // A volume refused for its layout says what was wrong with it.
    if (fat_ && fat_->MountProblem()[0]) printf(" (%s)", fat_->MountProblem());
    return false;
}

// P: every disk found and its partitions, drive 8's marked with *; then
// the volume's name and layout.
void Monitor::partition_display() {
    u32 count = disks_ ? disks_->Count() : 0;
    if (count == 0) printf("\nNo disk found");
    for (u32 d = 0; d < count; d++) {
        const tarn::filesystem::RegisteredDisk& disk = disks_->Disk(d);
        const PartitionList& list = disk.partitions;
        printf("\n%s: %u sectors of %u bytes, partition table %s", disk.device->Name(),
               (u32)disk.device->SectorCount(), disk.device->SectorSize(), tarn::filesystem::TableName(list.table));
        for (u32 e = 0; e < list.count; e++) {
            const Partition& p = list.entries[e];
            bool chosen = disks_->Chosen() && disks_->VolumeDisk() == d && disks_->VolumeEntry() == e;
            printf("\n %c %u  start %08X  sectors %08X  ", chosen ? '*' : ' ', p.index + 1, (u32)p.firstSector,
                   (u32)p.sectorCount);
            if (p.mbrType) printf("type %02X", p.mbrType);
            else printf("%s", gpt_kind(p));
        }
    }
    if (!volume_ready()) return;
    char label[12], serial[10];
    fat_->Label(label);
    DiskRegistry::SerialText(fat_->Serial(), serial);
    printf("\n\nDrive 8 (*): volume \"%s\", serial %s", label, serial);
    printf("\nBytes per sector   : %d", fat_->BytesPerSector());
    printf("\nSectors per cluster: %d", fat_->SectorsPerCluster() * kPieceBytes / fat_->BytesPerSector());
    printf("\n\nFAT Start          : %06X", (u32)fat_->FatStart());
    printf("\nData Start         : %06X", (u32)fat_->DataStart());
    printf("\nRoot cluster       : %06X", fat_->RootCluster());
    printf("\nRoot directory     : %06X", (u32)fat_->RootDirStart());
}

// D: one line an entry: 8.3 name (a directory in <>), the attribute byte
// after the extension, date, time, first cluster, its sector and the size.
void Monitor::directory_display(const char* cluster) {
    if (!volume_ready()) return;
    u32 dir = hex_arg(cluster);
    if (dir == 0 || dir == fat_->RootCluster()) {
        char label[12];
        fat_->Label(label);
        if (label[0]) {
            u32 n = 0;
            while (label[n]) n++;
            printf("\n\nVolume Label: %s", label);
            for (; n < 11; n++) printf(" ");
            printf("\n");
        }
    }
    FatEntryInfo info;
    for (u32 i = 0; fat_->ListDirectory(dir, i, &info) == Fat32::kOk; i++) {
        const u8* e = info.shortName;
        char name[9];
        for (int k = 0; k < 8; k++) name[k] = (char)e[k];
        if (e[0] == 0x05) name[0] = (char)0xE5;
        name[8] = 0;
        if (info.attributes & kAttrDirectory) {
            printf("\n<%s>", name);
        } else {
            char ext[5] = {(char)e[8], (char)e[9], (char)e[10], (char)info.attributes, 0};
            printf("\n%s.%s", name, ext);
        }
        printf("   %d-%d-%d", (info.date >> 5) & 0x0F, info.date & 0x1F, 1980 + (info.date >> 9));
        printf(" %d:%d", info.time >> 11, (info.time >> 5) & 0x3F);
        printf("     %06X", info.firstCluster);
        printf("     %06X", (u32)fat_->ClusterSector(info.firstCluster));
        printf("     %u", info.size);
    }
}

u8 Monitor::read_whole(const char* name, u8** data, u32* length) {
    *data = nullptr;
    *length = 0;
    FatEntryInfo info;
    u8 status = fat_->FindEntry(kRoot, name, &info);
    if (status != Fat32::kOk) return status;
    if (info.attributes & kAttrDirectory) return Fat32::kWrongMode;
    if (info.size > Fat32::kMaxFileBytes) return Fat32::kNoMemory;
    u8* buffer = new u8[info.size ? info.size : 1];
    if (!buffer) return Fat32::kNoMemory;
    status = fat_->ReadWholeFile(info, buffer, info.size, length);
    if (status != Fat32::kOk) {
        delete[] buffer;
        return status;
    }
    *data = buffer;
    return Fat32::kOk;
}

// F: the whole file, or only a status when it could not all be read.
void Monitor::read_file(const char* name) {
    if (!volume_ready()) return;
    u8* data;
    u32 length;
    u8 status = read_whole(name, &data, &length);
    if (status != Fat32::kOk) {
        print_status(status);
        return;
    }
    printf("\n");
    for (u32 i = 0; i < length; i++) printf("%c", data[i]);
    delete[] data;
}

// S: the first count bytes (decimal, at most 512) of a 512-byte sector of
// drive 8's disk.
void Monitor::sector_display(const char* sector, const char* count) {
    u32 bytes = dec_arg(count);
    if (bytes == 0) bytes = kDefaultDumpBytes;
    if (bytes > kPieceBytes) {
        printf("?");
        return;
    }
    if (!volume_ready()) return;
    u8 buffer[kPieceBytes];
    u8 status = fat_->ReadPiece(hex_arg(sector), buffer);
    if (status != Fat32::kOk) {
        print_status(status);
        return;
    }
    displayMemory(buffer, (u16)bytes);
}

void Monitor::erase_file(const char* name) {
    if (volume_ready()) print_status(fat_->DeleteEntry(kRoot, name));
}

void Monitor::rename_file(const char* from, const char* to) {
    if (volume_ready()) print_status(fat_->RenameEntry(kRoot, from, to));
}

// L: every byte of the file, the first two included, from the given address
// on, stopping at $FFFF; BASIC's end-of-program pointer then points past
// the last one.
void Monitor::load_file(const char* name, const char* address) {
    if (!volume_ready()) return;
    u8* data;
    u32 length;
    int status = read_whole(name, &data, &length);
    if (status == Fat32::kOk) {
        u16 start = (u16)hex_arg(address);
        if (start == 0) start = kDefaultAddress;
        u32 count = 0;
        status = kStatusLoaded;
        for (; count < length; count++) {
            if (start + count > 0xFFFF) {
                status = kStatusPastMemory;
                break;
            }
            if (mem_) mem_->write_byte((u16)(start + count), data[count]);
        }
        delete[] data;
        u16 end = (u16)(start + count);
        if (mem_ && status == kStatusLoaded) {
            mem_->write_byte(kVarTab, end & 0xFF);
            mem_->write_byte(kVarTab + 1, end >> 8);
        }
        printf("\n%d bytes written to %04X - %04X", (int)count, start, (u32)(start + count));
    }
    print_status(status);
}

// W: the inclusive range start..end (C000 C1FF is 512 bytes); without an
// end, up to BASIC's end-of-program pointer. The data is on the disk before
// the directory entry that names it.
void Monitor::write_file(const char* name, const char* from, const char* to) {
    u32 start = hex_arg(from);
    if (start == 0) start = kDefaultAddress;
    u32 end = hex_arg(to);
    bool endGiven = to[0] != 0;
    if (endGiven && (end > 0xFFFF || start > 0xFFFF || end < start)) {
        printf("\n%04X > %04X", start, end);
        return;
    }
    if (!volume_ready()) return;
    if (!endGiven) {
        u32 varTab = mem_ ? (mem_->read_byte(kVarTab) | mem_->read_byte(kVarTab + 1) << 8) : 0;
        if (varTab <= start) {
            print_status(kStatusBadRange);
            return;
        }
        end = varTab - 1;
    }
    u32 length = end - start + 1;
    u8* data = new u8[length];
    if (!data) {
        print_status(Fat32::kNoMemory);
        return;
    }
    for (u32 i = 0; i < length; i++) data[i] = mem_ ? mem_->read_byte((u16)(start + i)) : 0;
    print_status(fat_->WriteWholeFile(kRoot, name, data, length, false));
    delete[] data;
}

void Monitor::write_test_file(const char* name) {
    if (!volume_ready()) return;
    print_status(fat_->WriteWholeFile(kRoot, name, (const u8*)kTestFileBytes, sizeof kTestFileBytes - 1, false));
}

// Disk discovery and drive 8's volume, with their start-up console lines.
#include "host/disks.h"

#include "filesystem/fat.h"
#include "hardwarecommunication/pci.h"
#include "lib/stdio.h"

namespace tarn {
namespace host {

namespace {
const u16 kAtaPrimary = 0x1F0;     // legacy primary channel command block
const u16 kAtaSecondary = 0x170;   // legacy secondary channel command block
const char* const kIdeLabels[4] = {"ATA pri master: ", "ATA pri slave : ", "ATA sec master: ", "ATA sec slave : "};
const char kVolumeWord[] = "volume=";

// PCI class, subclass and programming interface of the controllers.
const u8 kClassStorage = 0x01;
const u8 kSubclassSata = 0x06;
const u8 kInterfaceAhci = 0x01;
const u8 kSubclassNvm = 0x08;
const u8 kInterfaceNvme = 0x02;
const u16 kAhciBar = 5;   // ABAR
const u16 kNvmeBar = 0;
const u64 kReachable = 1ull << 32;   // the kernel addresses the low 4 GiB only

void ReportDisk(drivers::BlockDevice* disk) {
    u64 mib = disk->SectorCount() * disk->SectorSize() / (1024 * 1024);
    printf("\n%s: %u MiB, %u-byte sectors", disk->Name(), (u32)mib, disk->SectorSize());
}
}  // namespace

Disks::Disks()
    : wanted_{0}, ide_{{true, kAtaPrimary}, {false, kAtaPrimary}, {true, kAtaSecondary}, {false, kAtaSecondary}} {}

void Disks::Find(drivers::MillisecondClock clock) {
    FindAhci(clock);
    FindNvme(clock);
    FindIde();
}

void Disks::FindAhci(drivers::MillisecondClock clock) {
    hardwarecommunication::PeripheralComponentInterconnectController pci;
    hardwarecommunication::PeripheralComponentInterconnectDeviceDescriptor found[kMostControllers];
    int n = pci.FindByClass(kClassStorage, kSubclassSata, kInterfaceAhci, found, kMostControllers);
    for (int i = 0; i < n; i++) {
        const auto& f = found[i];
        pci.EnableMemoryAndBusMaster(f.bus, f.device, f.function);
        u64 abar = pci.MemoryBarAddress(f.bus, f.device, f.function, kAhciBar);
        printf("\nAHCI %u (PCI %02X:%02X.%u): ", i, f.bus, f.device, f.function);
        if (abar >= kReachable || !ahci_[i].Start((uintptr_t)abar, i, clock)) {
            printf("not answering");
            continue;
        }
        printf("%u disk(s)", ahci_[i].DiskCount());
        for (u32 d = 0; d < ahci_[i].DiskCount(); d++) {
            ReportDisk(ahci_[i].Disk(d));
            registry_.Add(ahci_[i].Disk(d));
        }
    }
    if (n == 0) printf("\nAHCI: none");
}

void Disks::FindNvme(drivers::MillisecondClock clock) {
    hardwarecommunication::PeripheralComponentInterconnectController pci;
    hardwarecommunication::PeripheralComponentInterconnectDeviceDescriptor found[kMostControllers];
    int n = pci.FindByClass(kClassStorage, kSubclassNvm, kInterfaceNvme, found, kMostControllers);
    for (int i = 0; i < n; i++) {
        const auto& f = found[i];
        pci.EnableMemoryAndBusMaster(f.bus, f.device, f.function);
        u64 bar = pci.MemoryBarAddress(f.bus, f.device, f.function, kNvmeBar);
        printf("\nNVMe %u (PCI %02X:%02X.%u): ", i, f.bus, f.device, f.function);
        if (bar >= kReachable || !nvme_[i].Start((uintptr_t)bar, i, clock)) {
            printf("not answering");
            continue;
        }
        printf("%u namespace(s)", nvme_[i].DiskCount());
        for (u32 d = 0; d < nvme_[i].DiskCount(); d++) {
            ReportDisk(nvme_[i].Disk(d));
            registry_.Add(nvme_[i].Disk(d));
        }
    }
    if (n == 0) printf("\nNVMe: none");
}

// Each label goes out before its probe, so an empty position still shows
// its line followed by what the probe reports.
void Disks::FindIde() {
    for (u32 i = 0; i < 4; i++) {
        printf("\n%s", kIdeLabels[i]);
        bool disk = ide_[i].Identify();
        ide_[i].Report();
        if (disk) registry_.Add(&ide_[i]);
    }
}

bool Disks::VolumeWanted(const char* cmdline, char* out, u32 size) {
    out[0] = 0;
    if (!cmdline) return false;
    for (const char* p = cmdline; *p; p++) {
        if (p != cmdline && p[-1] != ' ') continue;
        u32 k = 0;
        while (kVolumeWord[k] && p[k] == kVolumeWord[k]) k++;
        if (kVolumeWord[k]) continue;
        const char* v = p + k;
        u32 n = 0;
        while (v[n] && v[n] != ' ' && n + 1 < size) {
            out[n] = v[n];
            n++;
        }
        out[n] = 0;
        return n > 0;
    }
    return false;
}

void Disks::Arrived(drivers::BlockDevice* disk) {
    Register(disk);
    if (!registry_.Chosen()) registry_.ChooseVolume(named_ ? wanted_ : nullptr);
}

void Disks::Left(drivers::BlockDevice* disk) {
    for (u32 i = 0; i < usb_ && i < registry_.Count(); i++)
        if (registry_.Disk(i).device == disk) {
            registry_.Remove(disk);
            usb_--;
            return;
        }
}

void Disks::ChooseVolume(const char* cmdline) {
    named_ = VolumeWanted(cmdline, wanted_, sizeof wanted_);
    registry_.ChooseVolume(named_ ? wanted_ : nullptr);
}

void Disks::ReportVolume() {
    bool chosen = registry_.Chosen();
    const char* wanted = wanted_;
    bool named = named_;
    printf("\nDrive 8: ");
    if (registry_.Count() == 0) {
        printf("no disk found (looked at AHCI, NVMe and the four IDE positions)");
        return;
    }
    if (!chosen) {
        if (named) printf("no FAT32 volume named %s on the %u disks found", wanted, registry_.Count());
        else printf("no usable FAT32 volume on the %u disks found", registry_.Count());
        filesystem::Fat32* refused = registry_.Volume();
        if (refused) printf(" (%s)", refused->MountProblem());
        return;
    }
    const filesystem::RegisteredDisk& disk = registry_.Disk(registry_.VolumeDisk());
    const filesystem::Partition& part = disk.partitions.entries[registry_.VolumeEntry()];
    char label[12], serial[10];
    registry_.Volume()->Label(label);
    filesystem::DiskRegistry::SerialText(registry_.Volume()->Serial(), serial);
    printf("%s, %s partition %u, volume \"%s\" (%s)", disk.device->Name(),
           filesystem::TableName(disk.partitions.table), part.index + 1, label, serial);
}

}  // namespace host
}  // namespace tarn

// xHCI controllers from PCI, polled from the main loop.
#include "host/usb_host.h"

#include "drivers/usb/mass_storage.h"
#include "host/disks.h"
#include "drivers/usb/xhci.h"
#include "hardwarecommunication/cpu_control.h"
#include "hardwarecommunication/pci.h"
#include "lib/stdio.h"

namespace tarn {
namespace host {

using drivers::usb::Xhci;
using hardwarecommunication::MmioRegion;
using hardwarecommunication::PeripheralComponentInterconnectController;
using hardwarecommunication::PeripheralComponentInterconnectDeviceDescriptor;

namespace {
const u8 kClassSerialBus = 0x0C;
const int kMostBars = 64;
const u32 kLocalApicAndRom = 0xFEC00000;  // nothing goes at or above this
const u8 kSubclassUsb = 0x03;
const u8 kProgIfXhci = 0x30;

// The chipsets' xHCI configuration registers for port routing, and the
// controllers that have them (7 series, 8 series, 8 series mobile).
const u16 kVendorIntel = 0x8086;
const u16 kSwitchableXhci[] = {0x1E31, 0x8C31, 0x9C31};
const u16 kXusb2Pr = 0xD0;    // USB 2 ports taken by xHCI (else EHCI)
const u16 kXusb2Prm = 0xD4;   // the ports firmware allows to be moved
const u16 kUsb3PsSen = 0xD8;  // USB 3 ports' SuperSpeed enabled
const u16 kUsb3Prm = 0xDC;    // the ones firmware allows to be enabled
}  // namespace

bool RouteSharedPortsToXhci(PeripheralComponentInterconnectController* pci, u16 bus, u16 device,
                            u16 function) {
    u32 id = pci->Read(bus, device, function, 0x00);
    if ((id & 0xFFFF) != kVendorIntel) return false;
    bool switchable = false;
    for (u16 d : kSwitchableXhci) switchable = switchable || (id >> 16) == d;
    if (!switchable) return false;
    pci->Write(bus, device, function, kUsb3PsSen, pci->Read(bus, device, function, kUsb3Prm));
    pci->Write(bus, device, function, kXusb2Pr, pci->Read(bus, device, function, kXusb2Prm));
    return true;
}

// Without paging beyond 4 GiB a controller the firmware placed above it
// cannot be reached. One on bus 0 (no bridge window limits it) is moved
// just below the lowest memory any function decodes, if that place is
// above the RAM and free; returns the new address, 0 when there is none.
static u32 move_below_4g(PeripheralComponentInterconnectController* pci,
                         const PeripheralComponentInterconnectDeviceDescriptor& f, u32 ram_top) {
    if (f.bus != 0) return 0;
    u64 size = pci->MemoryBarSize(f.bus, f.device, f.function, 0);
    if (size == 0 || size > 0x1000000 || (size & (size - 1))) return 0;
    u32 starts[kMostBars], ends[kMostBars];
    int n = pci->MemoryBarsBelow4G(starts, ends, kMostBars);
    u32 lowest = kLocalApicAndRom;
    for (int i = 0; i < n; i++)
        if (starts[i] < lowest) lowest = starts[i];
    u32 place = static_cast<u32>((lowest - size) & ~(size - 1));
    if (lowest < size || place < ram_top) return 0;
    for (int i = 0; i < n; i++)
        if (place < ends[i] && place + size > starts[i]) return 0;
    pci->SetMemoryBar(f.bus, f.device, f.function, 0, place);
    return pci->MemoryBarAddress(f.bus, f.device, f.function, 0) == place ? place : 0;
}

void UsbHost::Start(PeripheralComponentInterconnectController* pci, Clock clock, KeyQueue* keys,
                    Disks* disks, u32 ram_top) {
    clock_ = clock;
    keys_ = keys;
    disks_ = disks;
    starting_ = true;
    started_at_ = clock();
    PeripheralComponentInterconnectDeviceDescriptor found[kMaxControllers];
    int n = pci->FindByClass(kClassSerialBus, kSubclassUsb, kProgIfXhci, found, kMaxControllers);
    for (int i = 0; i < n; i++) {
        const PeripheralComponentInterconnectDeviceDescriptor& f = found[i];
        u64 bar = pci->MemoryBarAddress(f.bus, f.device, f.function, 0);
        if (bar >> 32) {
            bar = move_below_4g(pci, f, ram_top);
            if (bar) printf("\nUSB: xHCI controller at %02X:%02X.%d moved below 4 GiB to %08X", f.bus,
                            f.device, f.function, static_cast<u32>(bar));
        }
        if (bar == 0) {
            printf("\nUSB: xHCI controller at %02X:%02X.%d out of reach", f.bus, f.device, f.function);
            continue;
        }
        pci->EnableMemoryAndBusMaster(f.bus, f.device, f.function);
        Xhci* hc = new Xhci(MmioRegion(static_cast<uintptr_t>(bar)), clock, this);
        if (!hc) break;
        if (!hc->Start()) {
            delete hc;
            continue;
        }
        // Only a controller that runs takes the ports: the ones it takes
        // come as devices plugged in.
        RouteSharedPortsToXhci(pci, f.bus, f.device, f.function);
        controllers_[count_++] = hc;
    }
    u32 start = clock();
    for (;;) {
        Poll();  // disks that came are registered in the order they came
        bool settled = true;
        for (int i = 0; i < count_; i++)
            if (controllers_[i]->alive() && !controllers_[i]->Settled()) settled = false;
        if (settled || static_cast<i32>(clock() - start) >= static_cast<i32>(kSettleMs)) break;
    }
    starting_ = false;
    for (int i = 0; i < count_; i++) controllers_[i]->reporting(false);
}

void UsbHost::Poll() {
    for (int i = 0; i < count_; i++) controllers_[i]->Poll();
    SettleDisks();
}

void UsbHost::Tell(filesystem::Fat32* volume) {
    if (volume_changed_) volume_changed_(volume);
}

// Outside any poll of a controller, so no read or write of a disk is under
// way: the machine lets go of a volume before it is deleted, and gets the
// one chosen after a disk arrived.
void UsbHost::SettleDisks() {
    for (int i = 0; i < departures_; i++) {
        drivers::usb::UsbDisk* disk = left_[i];
        if (disks_) {
            if (disks_->HoldsVolume(disk)) Tell(nullptr);
            disks_->Left(disk);
        }
        disk->Release();
    }
    departures_ = 0;
    for (int i = 0; i < arrivals_; i++) {
        if (!disks_) continue;
        if (starting_) {
            // Drive 8 is chosen once they all are known.
            disks_->Register(arrived_[i]);
            continue;
        }
        // Drive 8 changes only when it had no volume: the machine lets go
        // of whatever stood in its place first.
        bool choosing = !disks_->registry()->Chosen();
        if (choosing) Tell(nullptr);
        disks_->Arrived(arrived_[i]);
        if (choosing) Tell(disks_->volume());
    }
    arrivals_ = 0;
}

// The PS/2 interrupt pushes into the same queue: ours goes in with
// interrupts off, so the two never overlap.
void UsbHost::Key(KeyEvent event) {
    if (!keys_) return;
    hardwarecommunication::cpu_disable_interrupts();
    keys_->push(event);
    hardwarecommunication::cpu_enable_interrupts();
}

void UsbHost::PointerPresent(bool present) { game_ports_.Present(present); }

void UsbHost::PointerMoved(i32 dx, i32 dy, u8 buttons) { game_ports_.Pointer(dx, dy, buttons); }

void UsbHost::PadChanged(u8 pad, const drivers::usb::PadState& state) { game_ports_.Pad(pad, state); }
// Reading a disk (its partition table) waits for the controller, which
// cannot happen inside its poll: the disk is taken at the end of the poll.
void UsbHost::DiskArrived(drivers::usb::UsbDisk* disk) {
    if (starting_ && !disk_ready_ms_) disk_ready_ms_ = clock_() - started_at_;
    if (arrivals_ < kMaxPending) arrived_[arrivals_++] = disk;
}

void UsbHost::DiskLeft(drivers::usb::UsbDisk* disk) {
    // One that arrived within the same poll never reaches the registry.
    for (int i = 0; i < arrivals_; i++)
        if (arrived_[i] == disk) {
            arrived_[i] = arrived_[--arrivals_];
            disk->Release();
            return;
        }
    // More leaving in one poll than the queue holds would leave one
    // registered; the queue holds more than a hub's ports.
    if (departures_ < kMaxPending) left_[departures_++] = disk;
}

}  // namespace host
}  // namespace tarn

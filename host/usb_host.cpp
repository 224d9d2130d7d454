// xHCI controllers from PCI, polled from the main loop.
#include "host/usb_host.h"

#include "drivers/usb/mass_storage.h"
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
const u8 kSubclassUsb = 0x03;
const u8 kProgIfXhci = 0x30;
}  // namespace

void UsbHost::Start(PeripheralComponentInterconnectController* pci, Clock clock, KeyQueue* keys) {
    clock_ = clock;
    keys_ = keys;
    PeripheralComponentInterconnectDeviceDescriptor found[kMaxControllers];
    int n = pci->FindByClass(kClassSerialBus, kSubclassUsb, kProgIfXhci, found, kMaxControllers);
    for (int i = 0; i < n; i++) {
        const PeripheralComponentInterconnectDeviceDescriptor& f = found[i];
        u64 bar = pci->MemoryBarAddress(f.bus, f.device, f.function, 0);
        if (bar == 0 || bar >> 32) {
            // Without paging only the low 4 GiB can be reached.
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
        controllers_[count_++] = hc;
    }
    u32 start = clock();
    for (;;) {
        Poll();
        bool settled = true;
        for (int i = 0; i < count_; i++)
            if (controllers_[i]->alive() && !controllers_[i]->Settled()) settled = false;
        if (settled || static_cast<i32>(clock() - start) >= static_cast<i32>(kSettleMs)) break;
    }
}

void UsbHost::Poll() {
    for (int i = 0; i < count_; i++) controllers_[i]->Poll();
}

// The PS/2 interrupt pushes into the same queue: ours goes in with
// interrupts off, so the two never overlap.
void UsbHost::Key(KeyEvent event) {
    if (!keys_) return;
    hardwarecommunication::cpu_disable_interrupts();
    keys_->push(event);
    hardwarecommunication::cpu_enable_interrupts();
}

void UsbHost::PointerMoved(i32, i32, u8) {}
void UsbHost::PadChanged(u8, const drivers::usb::PadState&) {}
void UsbHost::DiskArrived(drivers::usb::UsbDisk*) {}
void UsbHost::DiskLeft(drivers::usb::UsbDisk* disk) { disk->Release(); }

}  // namespace host
}  // namespace tarn

// xHCI controller: start-up, commands, the event ring and the poll.
#include "drivers/usb/xhci.h"

#include "drivers/usb/class_driver.h"
#include "drivers/usb/device.h"
#include "drivers/dma_memory.h"
#include "drivers/usb/xhci_registers.h"
#include "lib/stdio.h"

namespace tarn {
namespace drivers {
namespace usb {

using hardwarecommunication::MmioRegion;
using namespace xhci;

namespace {
bool due(u32 now, u32 when) { return static_cast<i32>(now - when) >= 0; }
// A register read that stops a wait even if the clock does not move.
const u32 kMaxRegisterPolls = 50000000;
// Bits 1-3, 5-12 and 17-19 of USBLEGCTLSTS are reserved and kept.
const u32 kLegacyControlReserved = 0x000E1FEE;
}  // namespace

Xhci::Xhci(MmioRegion registers, Clock clock, UsbEvents* events)
    : cap_(registers), clock_(clock), events_(events), root_(this), enumerator_(this) {}

Xhci::~Xhci() {
    if (alive_) op_.write32(kUsbCmd, op_.read32(kUsbCmd) & ~kCmdRun);
    for (Device*& d : devices_) delete d;
    for (Removed& r : removed_) delete r.device;
    for (u32 i = 0; i < scratchpad_count_; i++) DmaFree(HostPointer(scratchpad_array_[i]));
    DmaFree(scratchpad_array_);
    DmaFree(dcbaa_);
}

bool Xhci::WaitRegister(MmioRegion r, u32 offset, u32 mask, u32 value, u32 ms) {
    u32 start = clock_();
    for (u32 i = 0; i < kMaxRegisterPolls; i++) {
        if ((r.read32(offset) & mask) == value) return true;
        if (due(clock_(), start + ms)) break;
    }
    return (r.read32(offset) & mask) == value;
}

bool Xhci::Start() {
    u8 cap_length = cap_.read8(kCapLength);
    if (cap_.read32(kCapLength) == 0xFFFFFFFF || cap_length < 0x20) {
        printf("\nUSB: xHCI controller does not answer");
        return false;
    }
    op_ = cap_.at(cap_length);
    runtime_ = cap_.at(cap_.read32(kRuntimeOffset) & ~0x1Fu);
    doorbells_ = cap_.at(cap_.read32(kDoorbellOffset) & ~0x3u);
    u32 hcs1 = cap_.read32(kHcsParams1);
    slots_ = max_slots(hcs1);
    ports_ = max_ports(hcs1);
    if (ports_ > RootHub::kMaxPorts) ports_ = RootHub::kMaxPorts;
    context_size_ = (cap_.read32(kHccParams1) & kHcc1ContextSize64) ? 64 : 32;

    if (!TakeOver()) return false;
    if (!Reset()) return false;
    if (!SetUpMemory()) {
        printf("\nUSB: no memory for the xHCI controller");
        return false;
    }
    if (!Run()) return false;
    alive_ = true;
    last_health_check_ = clock_();
    printf("\nUSB: xHCI controller, %d ports, %d slots", ports_, slots_);
    root_.Start();
    return true;
}

// The firmware gives the controller up when asked through USBLEGSUP; one
// that does not within a second is overruled, as it may have no driver
// left to answer. Its SMIs are switched off either way. The supported
// protocol capabilities tell USB 2 ports from USB 3 ones.
bool Xhci::TakeOver() {
    u32 offset = extended_capabilities(cap_.read32(kHccParams1));
    for (int guard = 0; offset && guard < 64; guard++) {
        u32 header = cap_.read32(offset);
        if (ext_cap_id(header) == kExtCapLegacy) {
            if (header & kLegacyBiosOwned) {
                cap_.write32(offset, header | kLegacyOsOwned);
                if (!WaitRegister(cap_, offset, kLegacyBiosOwned, 0, kHandoverMs)) {
                    printf("\nUSB: firmware keeps the xHCI controller; taking it");
                    cap_.write32(offset, (cap_.read32(offset) & ~kLegacyBiosOwned) | kLegacyOsOwned);
                }
            }
            u32 control = cap_.read32(offset + kLegacyControl);
            cap_.write32(offset + kLegacyControl,
                         (control & kLegacyControlReserved) | kLegacyControlDisableSmis);
        } else if (ext_cap_id(header) == kExtCapProtocol) {
            u32 ports = cap_.read32(offset + kProtocolPorts);
            root_.SetProtocol(ports & 0xFF, (ports >> 8) & 0xFF, protocol_major(header));
        }
        u32 next = ext_cap_next(header);
        offset = next ? offset + next : 0;
    }
    return true;
}

bool Xhci::Reset() {
    op_.write32(kUsbCmd, op_.read32(kUsbCmd) & ~(kCmdRun | kCmdInterrupterEnable));
    if (!WaitRegister(op_, kUsbSts, kStsHalted, kStsHalted, kHaltMs)) {
        printf("\nUSB: xHCI controller does not stop");
        return false;
    }
    op_.write32(kUsbCmd, kCmdReset);
    if (!WaitRegister(op_, kUsbCmd, kCmdReset, 0, kResetMs) ||
        !WaitRegister(op_, kUsbSts, kStsNotReady, 0, kResetMs)) {
        printf("\nUSB: xHCI controller does not come out of reset");
        return false;
    }
    return true;
}

bool Xhci::SetUpMemory() {
    dcbaa_ = reinterpret_cast<u64*>(DmaAllocate((slots_ + 1) * 8, kDmaPage));
    if (!dcbaa_ || !commands_.Init() || !event_ring_.Init()) return false;
    u32 count = max_scratchpads(cap_.read32(kHcsParams2));
    if (count) {
        // Pages of the controller's own page size (bit n: 2^(n+12) bytes).
        u32 page_bits = op_.read32(kPageSize) & 0xFFFF;
        u32 page = kDmaPage;
        for (u32 b = 0; b < 16; b++)
            if (page_bits & (1u << b)) {
                page = kDmaPage << b;
                break;
            }
        scratchpad_array_ = reinterpret_cast<u64*>(DmaAllocate(count * 8, kDmaPage));
        if (!scratchpad_array_) return false;
        for (u32 i = 0; i < count; i++) {
            void* p = DmaAllocate(page, page);
            if (!p) return false;
            scratchpad_array_[i] = DeviceAddress(p);
            scratchpad_count_ = i + 1;
        }
        dcbaa_[0] = DeviceAddress(scratchpad_array_);
    }
    return true;
}

bool Xhci::Run() {
    op_.write32(kConfig, (op_.read32(kConfig) & ~0xFFu) | slots_);
    op_.write32(kDnCtrl, 0);
    op_.write64(kDcbaap, DeviceAddress(dcbaa_));
    op_.write64(kCrcr, commands_.base() | kCrcrCycle);
    // One interrupter, polled: its interrupt stays off.
    MmioRegion ir = runtime_.at(interrupter(0));
    ir.write32(kErstSize, event_ring_.segment_count());
    ir.write64(kErdp, event_ring_.dequeue_pointer());
    ir.write64(kErstBase, event_ring_.segment_table());
    ir.write32(kIman, kImanPending);
    op_.write32(kUsbCmd, kCmdRun);
    if (!WaitRegister(op_, kUsbSts, kStsHalted, 0, kHaltMs)) {
        printf("\nUSB: xHCI controller does not run");
        return false;
    }
    return true;
}

// ---- commands and doorbells -------------------------------------------------------

bool Xhci::Command(u32 control, u64 parameter, u32 status, CommandClient* client) {
    if (!alive_) return false;
    u64 at = commands_.Push(parameter, status, control);
    if (!at) return false;
    u32 index = static_cast<u32>((at - commands_.base()) / sizeof(Trb));
    command_clients_[index] = client;
    command_busy_[index] = true;
    command_due_[index] = clock_() + kCommandMs;
    doorbells_.write32(doorbell(0), 0);
    return true;
}

void Xhci::ForgetClient(CommandClient* client) {
    for (CommandClient*& c : command_clients_)
        if (c == client) c = nullptr;
}

void Xhci::RingDoorbell(u8 slot, u8 target) {
    if (alive_) doorbells_.write32(doorbell(slot), target);
}

// ---- devices -------------------------------------------------------------------------

void Xhci::AddDevice(Device* device) {
    devices_[device->slot()] = device;
    dcbaa_[device->slot()] = device->output_context();
}

Device* Xhci::DeviceOn(PortOwner* owner, u8 port) const {
    for (Device* d : devices_)
        if (d && d->attachment().owner == owner && d->attachment().port == port) return d;
    return nullptr;
}

void Xhci::RemoveDevice(Device* device) {
    if (!device || devices_[device->slot()] != device) return;
    u8 slot = device->slot();
    devices_[slot] = nullptr;
    // Devices below a hub go first.
    for (int i = 0; i < device->driver_count(); i++) {
        PortOwner* below = device->driver(i)->ports();
        if (!below) continue;
        enumerator_.Cancel(below, 0);
        for (Device* d : devices_)
            if (d && d->attachment().owner == below) RemoveDevice(d);
    }
    enumerator_.DeviceRemoved(device);
    device->Abandon();
    bool disabling = Command(trb::type(trb::kDisableSlot) | trb::slot(slot), 0, 0, this);
    if (!disabling) dcbaa_[slot] = 0;
    Retire(device, disabling);
}

void Xhci::Retire(Device* device, bool disabling) {
    for (Removed& r : removed_)
        if (!r.device) {
            r.device = device;
            r.disabling = disabling;
            return;
        }
    // More devices waiting to be freed than ever leave at once: this one
    // stays allocated rather than be freed under a transfer still using it.
}

void Xhci::CommandDone(u8, u8 slot) {
    // Disable Slot: the controller has let go of the slot's contexts. The
    // slot is given out again only after this, so one entry can match.
    for (Removed& r : removed_)
        if (r.device && r.disabling && r.device->slot() == slot) {
            r.disabling = false;
            if (!devices_[slot]) dcbaa_[slot] = 0;
        }
}

void Xhci::FreeRemoved() {
    for (Removed& r : removed_) {
        if (!r.device || (r.disabling && alive_)) continue;
        delete r.device;
        r.device = nullptr;
    }
}

// ---- the poll ---------------------------------------------------------------------------

void Xhci::Poll() {
    if (polling_) return;
    polling_ = true;
    if (alive_) {
        u32 now = clock_();
        ProcessEvents();
        CheckHealth(now);
        if (alive_) {
            enumerator_.Poll(now);
            for (Device* d : devices_)
                if (d)
                    for (int i = 0; i < d->driver_count(); i++)
                        if (d->driver(i)->started()) d->driver(i)->Poll(now);
        }
    }
    // A device is freed only where no wait can still be using it.
    if (!waiting_) FreeRemoved();
    polling_ = false;
}

bool Xhci::WaitFor(bool (*done)(void*), void* context, u32 timeout_ms) {
    if (polling_) return done(context);
    waiting_++;
    u32 start = clock_();
    for (u32 i = 0; i < kMaxRegisterPolls; i++) {
        if (done(context)) break;
        if (!alive_ || due(clock_(), start + timeout_ms)) break;
        Poll();
    }
    waiting_--;
    return done(context);
}

void Xhci::ProcessEvents() {
    u32 taken = 0;
    for (const Trb* e = event_ring_.Next(); e && alive_; e = event_ring_.Next()) {
        Trb event = *e;
        event_ring_.Advance();
        taken++;
        Dispatch(event);
    }
    if (taken && alive_)
        runtime_.at(interrupter(0)).write64(kErdp, event_ring_.dequeue_pointer() | kErdpBusy);
}

void Xhci::Dispatch(const Trb& event) {
    switch (event.type()) {
    case trb::kTransferEvent: {
        Device* d = devices_[event.slot()];
        if (d) d->OnTransferEvent(event.endpoint(), event.parameter(), event.completion(), event.residual());
        return;
    }
    case trb::kCommandCompletion: {
        u64 at = event.parameter();
        if (!commands_.Contains(at)) return;
        commands_.Retire(at);
        u32 index = static_cast<u32>((at - commands_.base()) / sizeof(Trb));
        CommandClient* client = command_clients_[index];
        command_clients_[index] = nullptr;
        command_busy_[index] = false;
        if (client) client->CommandDone(event.completion(), event.slot());
        return;
    }
    case trb::kPortStatusChange:
        root_.Changed(static_cast<u8>(event.parameter_low >> 24));
        return;
    default:
        return;  // host controller events (an event ring that was full) need nothing
    }
}

// A controller that reports an error, halts by itself, has left the bus
// (reads of all ones), or sits on a command for seconds is given up.
void Xhci::CheckHealth(u32 now) {
    if (!due(now, last_health_check_ + kHealthCheckMs)) return;
    last_health_check_ = now;
    u32 status = op_.read32(kUsbSts);
    if (status == 0xFFFFFFFF) return Die("has left the bus");
    if (status & (kStsHostSystemError | kStsControllerError | kStsHalted)) return Die("reports an error");
    for (u32 i = 0; i < ProducerRing::kTrbs; i++)
        if (command_busy_[i] && due(now, command_due_[i])) return Die("stopped answering");
}

void Xhci::Die(const char* why) {
    if (reporting_) printf("\nUSB: xHCI controller %s; USB is off", why);
    alive_ = false;
    enumerator_.Cancel(&root_, 0);
    for (Device*& d : devices_) {
        if (!d) continue;
        Device* gone = d;
        d = nullptr;
        gone->Abandon();
        Retire(gone, false);
    }
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

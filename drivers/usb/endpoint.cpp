// Transfers on one endpoint: TRBs queued, completions matched, halts undone.
#include "drivers/usb/endpoint.h"

#include "drivers/dma_memory.h"
#include "drivers/usb/xhci.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
// The codes after which the controller has halted the endpoint.
bool halts(u8 code) {
    return !trb::ok(code) && code != trb::kStopped && code != trb::kStoppedLengthInvalid &&
           code != trb::kGone;
}
}  // namespace

Endpoint::Endpoint(Xhci* hc, u8 slot, u8 dci, u8 type, u16 max_packet)
    : hc_(hc), slot_(slot), dci_(dci), type_(type), max_packet_(max_packet) {}

Endpoint::~Endpoint() { hc_->ForgetClient(this); }

bool Endpoint::Push(u64 parameter, u32 status, u32 control, Transfer* t) {
    u64 at = ring_.Push(parameter, status, control);
    if (!at) return false;
    t->lengths[t->trb_count] = status & 0x1FFFF;
    t->trbs[t->trb_count++] = at;
    return true;
}

bool Endpoint::Control(const SetupPacket& setup, void* data) {
    if (count_ != 0 || Recovering() || ring_.Space() < 3) return false;
    Transfer& t = transfers_[(first_ + count_) % kMaxTransfers];
    t = Transfer();
    t.data_trb = -1;
    t.buffer = data;
    u32 transfer_type = setup.length == 0 ? trb::kSetupNoData
                        : setup.in()      ? trb::kSetupInData
                                          : trb::kSetupOutData;
    Push(setup.raw(), 8, trb::type(trb::kSetupStage) | trb::kImmediateData | transfer_type, &t);
    bool status_in = true;
    if (setup.length != 0) {
        u32 control = trb::type(trb::kDataStage);
        if (setup.in()) control |= trb::kDirectionIn | trb::kInterruptOnShort;
        t.data_trb = t.trb_count;
        Push(DeviceAddress(data), setup.length, control, &t);
        status_in = !setup.in();
    }
    Push(0, 0, trb::type(trb::kStatusStage) | trb::kInterruptOnCompletion |
                   (status_in ? trb::kDirectionIn : 0), &t);
    count_++;
    hc_->RingDoorbell(slot_, dci_);
    return true;
}

bool Endpoint::Queue(void* buffer, u32 length) {
    if (count_ == kMaxTransfers || Recovering() || length > kMaxTransferBytes) return false;
    // Pieces: each ends at the next 64 KiB boundary or the transfer's end.
    u64 address = DeviceAddress(buffer);
    u32 pieces = 0, left = length;
    for (u64 a = address; pieces == 0 || left; pieces++) {
        u32 room = static_cast<u32>(0x10000 - (a & 0xFFFF));
        u32 n = left < room ? left : room;
        a += n;
        left -= n;
    }
    if (pieces > static_cast<u32>(kMaxTrbs) || ring_.Space() < pieces) return false;

    Transfer& t = transfers_[(first_ + count_) % kMaxTransfers];
    t = Transfer();
    t.data_trb = -1;
    t.buffer = buffer;
    u32 packet = max_packet_ & 0x7FF;
    left = length;
    for (u32 i = 0; i < pieces; i++) {
        u32 room = static_cast<u32>(0x10000 - (address & 0xFFFF));
        u32 n = left < room ? left : room;
        left -= n;
        // TD size: packets still to come after this TRB (at most 31).
        u32 after = packet ? (left + packet - 1) / packet : 0;
        if (after > 31) after = 31;
        u32 control = trb::type(trb::kNormal);
        if (in()) control |= trb::kInterruptOnShort;
        control |= i + 1 < pieces ? trb::kChain : trb::kInterruptOnCompletion;
        Push(address, n | after << 17, control, &t);
        address += n;
    }
    count_++;
    hc_->RingDoorbell(slot_, dci_);
    return true;
}

void Endpoint::OnTransferEvent(u64 trb_address, u8 code, u32 residual) {
    for (int k = 0; k < count_; k++) {
        int index = (first_ + k) % kMaxTransfers;
        Transfer& t = transfers_[index];
        for (int i = 0; i < t.trb_count; i++) {
            if (t.trbs[i] != trb_address) continue;
            if (type_ == kTypeControl) {
                // A control transfer ends at its status stage unless a stage fails.
                if (i == t.data_trb && code == trb::kShortPacket) {
                    t.short_residual = residual;
                    return;
                }
                if (trb::ok(code) && i + 1 < t.trb_count) return;
            }
            Finish(index, code, Moved(t, i, residual));
            return;
        }
    }
    // An event for nothing outstanding (a success reported after a short
    // packet ended its transfer early) is dropped.
}

u32 Endpoint::Moved(const Transfer& t, int ended_at, u32 residual) const {
    if (type_ == kTypeControl) {
        if (t.data_trb < 0 || ended_at < t.data_trb) return 0;
        u32 data = t.lengths[t.data_trb];
        u32 missing = ended_at == t.data_trb ? residual : t.short_residual;
        return missing < data ? data - missing : 0;
    }
    u32 length = 0;
    for (int j = 0; j < ended_at; j++) length += t.lengths[j];
    u32 last = t.lengths[ended_at];
    return length + (residual < last ? last - residual : 0);
}

void Endpoint::Finish(int index, u8 code, u32 length) {
    Transfer done = transfers_[index];
    // Transfers end in the order they were queued; should the controller
    // skip one, it ends as stopped.
    while (count_ > 0) {
        int i = first_;
        Transfer t = transfers_[i];
        first_ = (first_ + 1) % kMaxTransfers;
        count_--;
        if (i == index) break;
        if (client_) client_->TransferDone(this, trb::kStopped, 0, t.buffer);
    }
    ring_.Retire(done.trbs[done.trb_count - 1]);
    bool halted = halts(code);
    if (halted) recovery_ = kResetting;  // nothing is queued meanwhile
    if (client_) client_->TransferDone(this, code, length, done.buffer);
    if (halted) StartRecovery();
}

void Endpoint::Flush(u8 code) {
    while (count_ > 0) {
        Transfer t = transfers_[first_];
        first_ = (first_ + 1) % kMaxTransfers;
        count_--;
        if (client_) client_->TransferDone(this, code, 0, t.buffer);
    }
}

void Endpoint::StartRecovery() {
    // What was queued behind the failed transfer is skipped with it.
    Flush(trb::kStopped);
    recovery_ = kResetting;
    if (!hc_->Command(trb::type(trb::kResetEndpoint) | trb::slot(slot_) | trb::endpoint(dci_), 0, 0,
                      this))
        recovery_ = kNone;
}

void Endpoint::Cancel() {
    if (count_ == 0 || Recovering()) return;
    recovery_ = kStopping;
    if (!hc_->Command(trb::type(trb::kStopEndpoint) | trb::slot(slot_) | trb::endpoint(dci_), 0, 0, this))
        recovery_ = kNone;
}

void Endpoint::CommandDone(u8, u8) {
    if (recovery_ == kResetting || recovery_ == kStopping) {
        // Stopped or reset (or refused because it was neither running nor
        // halted): the ring goes on from past everything queued.
        Flush(trb::kStopped);
        recovery_ = kMovingDequeue;
        u64 dequeue = ring_.EnqueuePointer() | (ring_.cycle() ? 1 : 0);
        if (!hc_->Command(trb::type(trb::kSetDequeue) | trb::slot(slot_) | trb::endpoint(dci_),
                          dequeue, 0, this))
            recovery_ = kNone;
        return;
    }
    if (recovery_ == kMovingDequeue) {
        ring_.Skip();
        recovery_ = kNone;
    }
}

void Endpoint::Abandon() {
    recovery_ = kNone;
    Flush(trb::kGone);
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

// Bulk-only transport: wrappers, stages and recovery.
#include "drivers/usb/bulk_only.h"

#include "drivers/usb/device.h"
#include "drivers/dma_memory.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
const u8 kMassStorageReset = 0xFF;
const u32 kCswOffset = 32;
}  // namespace

BulkOnly::~BulkOnly() { DmaFree(wrappers_); }

bool BulkOnly::Claim(const InterfaceInfo& interface, TransferClient* client) {
    const EndpointInfo* in = interface.find(kEndpointBulk, true);
    const EndpointInfo* out = interface.find(kEndpointBulk, false);
    client_ = client;
    wrappers_ = DmaAllocate(64, 64);
    if (!in || !out || !wrappers_) return false;
    in_ = device_->AddEndpoint(*in, client);
    out_ = device_->AddEndpoint(*out, client);
    in_address_ = in->address;
    out_address_ = out->address;
    return in_ && out_;
}

bool BulkOnly::Start(const scsi::Command& c, void* data) {
    if (phase_ != Phase::Idle || device_->gone()) return false;
    command_ = c;
    data_ = data;
    moved_ = 0;
    scsi::build_cbw(c, ++tag_, 0, wrappers_);
    result_ = Result::Busy;
    Enter(Phase::Cbw);
    return true;
}

void BulkOnly::Enter(Phase p) {
    phase_ = p;
    issued_ = Issue();
}

void BulkOnly::Poll() {
    if (phase_ != Phase::Idle && !issued_) issued_ = Issue();
}

bool BulkOnly::ClearHalt(Endpoint* ep, u8 address) {
    if (ep->Recovering()) return false;  // the controller's side first
    SetupPacket s{kToEndpoint, kClearFeature, kFeatureEndpointHalt, address, 0};
    return device_->Control(s, nullptr, client_);
}

bool BulkOnly::Issue() {
    Endpoint* data_ep = command_.data_in ? in_ : out_;
    switch (phase_) {
    case Phase::Cbw: return out_->Queue(wrappers_, scsi::kCbwBytes);
    case Phase::Data: return data_ep->Queue(data_, command_.data_length);
    case Phase::Csw:
    case Phase::CswAgain: return in_->Queue(wrappers_ + kCswOffset, scsi::kCswBytes);
    case Phase::ClearData: return ClearHalt(data_ep, command_.data_in ? in_address_ : out_address_);
    case Phase::ClearCsw:
    case Phase::ClearIn: return ClearHalt(in_, in_address_);
    case Phase::ClearOut: return ClearHalt(out_, out_address_);
    case Phase::Reset: {
        if (in_->Outstanding() || out_->Outstanding()) return false;
        SetupPacket s{kTypeClass | kToInterface, kMassStorageReset, 0, interface_, 0};
        return device_->Control(s, nullptr, client_);
    }
    default: return false;
    }
}

void BulkOnly::TransferDone(Endpoint* ep, u8 code, u32 length) {
    if (phase_ == Phase::Idle) return;
    if (code == trb::kGone) return End(Result::Gone);
    if (code == trb::kStopped) return;  // a cancelled stage: recovery follows
    Endpoint* data_ep = command_.data_in ? in_ : out_;
    bool control = ep == device_->endpoint(1);
    switch (phase_) {
    case Phase::Cbw:
        if (ep != out_) return;
        if (!trb::ok(code)) return Recover();
        return Enter(command_.data_length ? Phase::Data : Phase::Csw);
    case Phase::Data:
        if (ep != data_ep) return;
        moved_ = length;
        if (trb::ok(code)) return Enter(Phase::Csw);
        return code == trb::kStall ? Enter(Phase::ClearData) : Recover();
    case Phase::Csw:
    case Phase::CswAgain: {
        if (ep != in_) return;
        if (code == trb::kStall && phase_ == Phase::Csw) return Enter(Phase::ClearCsw);
        u8 status;
        u32 residue;
        if (!trb::ok(code) || !scsi::parse_csw(wrappers_ + kCswOffset, length, tag_, &status, &residue) ||
            status == scsi::kCswPhaseError)
            return Recover();
        if (residue < command_.data_length && command_.data_length - residue < moved_)
            moved_ = command_.data_length - residue;
        return End(status == scsi::kCswPassed ? Result::Passed : Result::Failed);
    }
    case Phase::ClearData:
        if (control) Enter(Phase::Csw);
        return;
    case Phase::ClearCsw:
        if (control) Enter(Phase::CswAgain);
        return;
    case Phase::Reset:
        if (control) Enter(Phase::ClearIn);
        return;
    case Phase::ClearIn:
        if (control) Enter(Phase::ClearOut);
        return;
    case Phase::ClearOut:
        if (control) End(Result::Error);
        return;
    default:
        return;
    }
}

void BulkOnly::Recover() { Enter(Phase::Reset); }

void BulkOnly::Abort() {
    if (phase_ == Phase::Idle) return;
    in_->Cancel();
    out_->Cancel();
    phase_ = Phase::Reset;
    issued_ = false;  // starts once both rings are stopped
}

void BulkOnly::End(Result r) {
    result_ = r;
    phase_ = Phase::Idle;
    issued_ = false;
}

void BulkOnly::Forget() { End(Result::Gone); }

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

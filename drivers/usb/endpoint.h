// One endpoint of a device: its transfer ring, the transfers outstanding on
// it, and the way back after the endpoint halts (stall or transaction
// error): Reset Endpoint, then the ring's dequeue pointer moved past what
// failed.
#ifndef TARN_DRIVERS_USB_ENDPOINT_H
#define TARN_DRIVERS_USB_ENDPOINT_H

#include "drivers/usb/ring.h"
#include "drivers/usb/usb.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class Endpoint;
class Xhci;

// Whoever waits for a command's completion.
class CommandClient {
public:
    virtual void CommandDone(u8 code, u8 slot) = 0;

protected:
    ~CommandClient() = default;
};

// Whoever waits for transfers on an endpoint. code is the completion code
// (trb::kSuccess, trb::kShortPacket, trb::kStall, ... or trb::kGone when
// the device left), length the bytes moved, buffer where they went.
class TransferClient {
public:
    virtual void TransferDone(Endpoint* ep, u8 code, u32 length, void* buffer) = 0;

protected:
    ~TransferClient() = default;
};

class Endpoint final : public CommandClient {
public:
    // xHCI endpoint types.
    static constexpr u8 kTypeBulkOut = 2;
    static constexpr u8 kTypeInterruptOut = 3;
    static constexpr u8 kTypeControl = 4;
    static constexpr u8 kTypeBulkIn = 6;
    static constexpr u8 kTypeInterruptIn = 7;
    // Transfers a ring keeps in flight; a transfer takes up to kMaxTrbs.
    static constexpr int kMaxTransfers = 8;
    static constexpr int kMaxTrbs = 4;
    // The most one transfer carries (a TRB ends at each 64 KiB boundary).
    static constexpr u32 kMaxTransferBytes = 64 * 1024;

    Endpoint(Xhci* hc, u8 slot, u8 dci, u8 type, u16 max_packet);
    ~Endpoint();
    Endpoint(const Endpoint&) = delete;
    Endpoint& operator=(const Endpoint&) = delete;
    bool Init() { return ring_.Init(); }

    u8 dci() const { return dci_; }
    u8 type() const { return type_; }
    u16 max_packet() const { return max_packet_; }
    void max_packet(u16 m) { max_packet_ = m; }
    bool in() const { return dci_ & 1; }
    u64 ring_base() const { return ring_.base(); }
    void client(TransferClient* c) { client_ = c; }

    // A control transfer: setup, data (setup.length bytes at data, which
    // may be null when it is 0) and status. False when the endpoint is busy
    // or recovering: try again on a later poll.
    bool Control(const SetupPacket& setup, void* data);
    // length bytes to or from buffer as one transfer. False when the ring
    // is full, the endpoint is recovering, or the transfer too long.
    bool Queue(void* buffer, u32 length);
    // Transfers outstanding.
    int Outstanding() const { return count_; }
    // After a halt, until the controller takes transfers again.
    bool Recovering() const { return recovery_ != kNone; }

    // Stops the endpoint and skips whatever is queued on it (each ends as
    // trb::kStopped): for a transfer a wait gave up on.
    void Cancel();

    // From the controller's event ring.
    void OnTransferEvent(u64 trb, u8 code, u32 residual);
    // The device left: everything outstanding ends with trb::kGone.
    void Abandon();

    void CommandDone(u8 code, u8 slot) override;

private:
    struct Transfer {
        u64 trbs[kMaxTrbs];
        u32 lengths[kMaxTrbs];
        int trb_count;
        int data_trb;        // control transfers: the data stage, -1 without
        u32 short_residual;  // control: what the data stage fell short by
        void* buffer;
    };
    enum Recovery : u8 { kNone, kResetting, kStopping, kMovingDequeue };

    bool Push(u64 parameter, u32 status, u32 control, Transfer* t);
    // Bytes a transfer moved when it ended at its TRB ended_at.
    u32 Moved(const Transfer& t, int ended_at, u32 residual) const;
    void Finish(int index, u8 code, u32 length);
    void StartRecovery();
    void Flush(u8 code);

    Xhci* hc_;
    u8 slot_;
    u8 dci_;
    u8 type_;
    u16 max_packet_;
    ProducerRing ring_;
    TransferClient* client_ = nullptr;
    Transfer transfers_[kMaxTransfers];
    int first_ = 0;   // oldest outstanding transfer
    int count_ = 0;
    Recovery recovery_ = kNone;
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

// The bulk-only transport: a SCSI command in a 31-byte wrapper on the bulk
// OUT endpoint, its data on the endpoint of its direction, a 13-byte status
// wrapper back on bulk IN. A stalled data or status stage is cleared and the
// status read; a transport that loses step gets the reset recovery (class
// reset, then both endpoints' halts cleared). One command at a time, moved
// on by transfer completions and polls, never by waiting.
#ifndef TARN_DRIVERS_USB_BULK_ONLY_H
#define TARN_DRIVERS_USB_BULK_ONLY_H

#include "drivers/usb/descriptors.h"
#include "drivers/usb/endpoint.h"
#include "drivers/usb/scsi.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class Device;

class BulkOnly {
public:
    enum class Result : u8 {
        Busy,     // under way
        Passed,   // the device did the command
        Failed,   // the device refused it: its sense data says why
        Error,    // the transport failed (and was recovered)
        Gone,     // the device left
    };

    BulkOnly(Device* device, u8 interface) : device_(device), interface_(interface) {}
    ~BulkOnly();
    BulkOnly(const BulkOnly&) = delete;
    BulkOnly& operator=(const BulkOnly&) = delete;

    // Adds the two bulk endpoints for client; false when they are missing.
    bool Claim(const InterfaceInfo& interface, TransferClient* client);

    // Starts command c with its data at data; false while another runs.
    bool Start(const scsi::Command& c, void* data);
    Result result() const { return result_; }
    bool idle() const { return phase_ == Phase::Idle; }
    // Data bytes moved by the last command.
    u32 moved() const { return moved_; }

    // Starts what could not start before (a busy endpoint 0, a ring under
    // recovery).
    void Poll();
    // Completions on the bulk endpoints and, for our requests, endpoint 0.
    void TransferDone(Endpoint* ep, u8 code, u32 length);
    // A wait gave up on the command: whatever is queued is stopped and the
    // transport reset.
    void Abort();
    // The device left.
    void Forget();

private:
    enum class Phase : u8 {
        Idle, Cbw, Data, Csw, ClearData, ClearCsw, CswAgain, Reset, ClearIn, ClearOut,
    };

    bool Issue();
    void Enter(Phase p);
    void Recover();
    void End(Result r);
    bool ClearHalt(Endpoint* ep, u8 address);

    Device* device_;
    u8 interface_;
    TransferClient* client_ = nullptr;
    Endpoint* in_ = nullptr;
    Endpoint* out_ = nullptr;
    u8 in_address_ = 0;
    u8 out_address_ = 0;
    u8* wrappers_ = nullptr;   // the CBW, then the CSW at +32
    Phase phase_ = Phase::Idle;
    bool issued_ = false;
    Result result_ = Result::Passed;
    scsi::Command command_{};
    void* data_ = nullptr;
    u32 tag_ = 0;
    u32 moved_ = 0;
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

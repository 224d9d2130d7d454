// Transfer request blocks: the 16-byte records of every xHCI ring (commands,
// transfers, events), their types, flags and completion codes.
#ifndef TARN_DRIVERS_USB_TRB_H
#define TARN_DRIVERS_USB_TRB_H

#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

struct Trb {
    u32 parameter_low;
    u32 parameter_high;
    u32 status;
    u32 control;

    u64 parameter() const { return parameter_low | static_cast<u64>(parameter_high) << 32; }
    u32 type() const { return (control >> 10) & 0x3F; }
    bool cycle() const { return control & 1; }
    // Events: the completion code, the slot and (transfer events) the endpoint.
    u8 completion() const { return static_cast<u8>(status >> 24); }
    u32 residual() const { return status & 0xFFFFFF; }
    u8 slot() const { return static_cast<u8>(control >> 24); }
    u8 endpoint() const { return (control >> 16) & 0x1F; }
};
static_assert(sizeof(Trb) == 16, "a TRB is four double words");

namespace trb {

// Control word flags.
const u32 kCycle = 1 << 0;
const u32 kToggleCycle = 1 << 1;            // link TRBs
const u32 kInterruptOnShort = 1 << 2;       // ISP
const u32 kChain = 1 << 4;
const u32 kInterruptOnCompletion = 1 << 5;  // IOC
const u32 kImmediateData = 1 << 6;          // IDT
const u32 kDirectionIn = 1 << 16;           // data and status stages
inline u32 type(u32 t) { return t << 10; }
inline u32 slot(u32 s) { return s << 24; }
inline u32 endpoint(u32 dci) { return dci << 16; }
// Setup stage: which data stage follows.
const u32 kSetupNoData = 0u << 16;
const u32 kSetupOutData = 2u << 16;
const u32 kSetupInData = 3u << 16;
// Address Device: set the slot up without sending SET_ADDRESS.
const u32 kBlockSetAddress = 1 << 9;

// Types.
const u32 kNormal = 1;
const u32 kSetupStage = 2;
const u32 kDataStage = 3;
const u32 kStatusStage = 4;
const u32 kLink = 6;
const u32 kEnableSlot = 9;
const u32 kDisableSlot = 10;
const u32 kAddressDevice = 11;
const u32 kConfigureEndpoint = 12;
const u32 kEvaluateContext = 13;
const u32 kResetEndpoint = 14;
const u32 kStopEndpoint = 15;
const u32 kSetDequeue = 16;
const u32 kNoOpCommand = 23;
const u32 kTransferEvent = 32;
const u32 kCommandCompletion = 33;
const u32 kPortStatusChange = 34;
const u32 kHostControllerEvent = 37;

// Completion codes.
const u8 kInvalid = 0;
const u8 kSuccess = 1;
const u8 kDataBufferError = 2;
const u8 kBabble = 3;
const u8 kTransactionError = 4;
const u8 kTrbError = 5;
const u8 kStall = 6;
const u8 kResourceError = 7;
const u8 kNoSlots = 9;
const u8 kShortPacket = 13;
const u8 kParameterError = 17;
const u8 kContextStateError = 19;
const u8 kStopped = 26;
const u8 kStoppedLengthInvalid = 27;
// Not the controller's: a wait this driver gave up on, a device that left.
const u8 kTimedOut = 0xFE;
const u8 kGone = 0xFF;

inline bool ok(u8 code) { return code == kSuccess || code == kShortPacket; }

}  // namespace trb
}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

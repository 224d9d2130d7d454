// USB itself, whatever the controller: speeds, setup packets, standard
// requests, descriptor types and the class codes the drivers look for.
#ifndef TARN_DRIVERS_USB_USB_H
#define TARN_DRIVERS_USB_USB_H

#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

// Numbered as xHCI's default protocol speed IDs, which the ports report.
enum class Speed : u8 { None = 0, Full = 1, Low = 2, High = 3, Super = 4, SuperPlus = 5 };

inline bool is_super(Speed s) { return s == Speed::Super || s == Speed::SuperPlus; }

// The eight bytes that open every control transfer.
struct SetupPacket {
    u8 request_type;
    u8 request;
    u16 value;
    u16 index;
    u16 length;

    u64 raw() const {
        return static_cast<u64>(request_type) | static_cast<u64>(request) << 8 |
               static_cast<u64>(value) << 16 | static_cast<u64>(index) << 32 |
               static_cast<u64>(length) << 48;
    }
    bool in() const { return request_type & 0x80; }
};

// bmRequestType: direction, type, recipient.
const u8 kDirIn = 0x80;
const u8 kTypeClass = 0x20;
const u8 kToDevice = 0x00;
const u8 kToInterface = 0x01;
const u8 kToEndpoint = 0x02;
const u8 kToOther = 0x03;  // a hub's port

// Standard requests.
const u8 kGetStatus = 0;
const u8 kClearFeature = 1;
const u8 kSetFeature = 3;
const u8 kGetDescriptor = 6;
const u8 kSetConfiguration = 9;
const u16 kFeatureEndpointHalt = 0;

// Descriptor types.
const u8 kDescDevice = 1;
const u8 kDescConfiguration = 2;
const u8 kDescInterface = 4;
const u8 kDescEndpoint = 5;
const u8 kDescHid = 0x21;
const u8 kDescHidReport = 0x22;
const u8 kDescHub = 0x29;
const u8 kDescSuperSpeedHub = 0x2A;
const u8 kDescSuperSpeedCompanion = 0x30;

// Interface classes.
const u8 kClassHid = 0x03;
const u8 kClassMassStorage = 0x08;
const u8 kClassHub = 0x09;

// Endpoint descriptor: address bit 7 the direction, attributes bits 1-0 the type.
const u8 kEndpointIn = 0x80;
const u8 kEndpointControl = 0;
const u8 kEndpointIsochronous = 1;
const u8 kEndpointBulk = 2;
const u8 kEndpointInterrupt = 3;

// xHCI's device context index of an endpoint address: 1 for endpoint 0,
// then two per endpoint number, OUT before IN.
inline u8 context_index(u8 address) {
    u8 number = address & 0x0F;
    return number == 0 ? 1 : static_cast<u8>(2 * number + ((address & kEndpointIn) ? 1 : 0));
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

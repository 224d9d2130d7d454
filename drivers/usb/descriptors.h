// The standard descriptors a device hands over while it is set up, decoded
// with every length checked against what actually arrived.
#ifndef TARN_DRIVERS_USB_DESCRIPTORS_H
#define TARN_DRIVERS_USB_DESCRIPTORS_H

#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

struct DeviceDescriptor {
    u16 usb_version;       // BCD, 0x0200 for USB 2.0
    u8 device_class;
    u8 max_packet0;        // endpoint 0's packet size (a power of two: 2^n for USB 3)
    u16 vendor;
    u16 product;
    u8 configurations;
};

struct EndpointInfo {
    u8 address;            // bit 7: IN
    u8 type;               // kEndpointBulk, kEndpointInterrupt, ...
    u16 max_packet;        // bits 10-0 the size, 12-11 extra transactions (high speed)
    u8 interval;
    u8 max_burst;          // SuperSpeed companion, 0 without one
};

struct InterfaceInfo {
    static constexpr int kMaxEndpoints = 4;
    u8 number;
    u8 interface_class;
    u8 subclass;
    u8 protocol;
    u16 report_length;     // HID: length of its report descriptor, 0 when none
    u8 endpoint_count;
    EndpointInfo endpoints[kMaxEndpoints];

    // The first endpoint of this type and direction, or null.
    const EndpointInfo* find(u8 type, bool in) const;
};

struct ConfigurationInfo {
    static constexpr int kMaxInterfaces = 8;
    u8 value;              // for SET_CONFIGURATION
    u16 total_length;
    u8 interface_count;    // alternate setting 0 only
    InterfaceInfo interfaces[kMaxInterfaces];
};

// False when the bytes are too few or not that descriptor.
bool parse_device_descriptor(const u8* data, u32 length, DeviceDescriptor* out);
// Needs the whole configuration (total_length bytes) for the interfaces;
// the first nine bytes are enough for value and total_length.
bool parse_configuration(const u8* data, u32 length, ConfigurationInfo* out);

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

// Device and configuration descriptors.
#include "drivers/usb/descriptors.h"

#include "drivers/usb/usb.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
u16 le16(const u8* p) { return static_cast<u16>(p[0] | p[1] << 8); }
}  // namespace

const EndpointInfo* InterfaceInfo::find(u8 type, bool in) const {
    for (int i = 0; i < endpoint_count; i++)
        if (endpoints[i].type == type && ((endpoints[i].address & kEndpointIn) != 0) == in)
            return &endpoints[i];
    return nullptr;
}

bool parse_device_descriptor(const u8* data, u32 length, DeviceDescriptor* out) {
    if (length < 18 || data[0] < 18 || data[1] != kDescDevice) return false;
    out->usb_version = le16(data + 2);
    out->device_class = data[4];
    out->max_packet0 = data[7];
    out->vendor = le16(data + 8);
    out->product = le16(data + 10);
    out->configurations = data[17];
    return true;
}

bool parse_configuration(const u8* data, u32 length, ConfigurationInfo* out) {
    if (length < 9 || data[0] < 9 || data[1] != kDescConfiguration) return false;
    out->total_length = le16(data + 2);
    out->value = data[5];
    out->interface_count = 0;
    u32 end = out->total_length < length ? out->total_length : length;
    InterfaceInfo* current = nullptr;  // null while in an alternate setting
    EndpointInfo* last_endpoint = nullptr;
    for (u32 at = data[0]; at + 2 <= end;) {
        u8 len = data[at];
        u8 type = data[at + 1];
        if (len < 2 || at + len > end) break;  // a broken descriptor ends the walk
        const u8* d = data + at;
        if (type == kDescInterface && len >= 9) {
            last_endpoint = nullptr;
            current = nullptr;
            if (d[3] == 0 && out->interface_count < ConfigurationInfo::kMaxInterfaces) {
                current = &out->interfaces[out->interface_count++];
                *current = InterfaceInfo();
                current->number = d[2];
                current->interface_class = d[5];
                current->subclass = d[6];
                current->protocol = d[7];
            }
        } else if (type == kDescHid && len >= 9 && current) {
            // Its class descriptors follow: type and length pairs.
            for (u32 k = 0; k < d[5] && 6 + 3 * k + 3 <= len; k++)
                if (d[6 + 3 * k] == kDescHidReport) current->report_length = le16(d + 7 + 3 * k);
        } else if (type == kDescEndpoint && len >= 7 && current) {
            if (current->endpoint_count < InterfaceInfo::kMaxEndpoints) {
                last_endpoint = &current->endpoints[current->endpoint_count++];
                last_endpoint->address = d[2];
                last_endpoint->type = d[3] & 3;
                last_endpoint->max_packet = le16(d + 4);
                last_endpoint->interval = d[6];
                last_endpoint->max_burst = 0;
            } else {
                last_endpoint = nullptr;
            }
        } else if (type == kDescSuperSpeedCompanion && len >= 6 && last_endpoint) {
            last_endpoint->max_burst = d[2];
        }
        at += len;
    }
    return true;
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

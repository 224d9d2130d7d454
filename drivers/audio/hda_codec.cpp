// Intel High Definition Audio codec: from the audio function group's
// widgets, an output pin that leads to a line out, speaker or headphone
// jack, the way through mixers and selectors to a DAC, and the settings
// that open it (power, connection choices, amplifiers unmuted at 0 dB, pin
// output on, the DAC on the controller's stream).
#include "drivers/audio/hda.h"

namespace tarn {
namespace drivers {
namespace audio {

namespace {
// Verbs: 12-bit verb and 8-bit payload, or 4-bit verb and 16-bit payload.
const u32 kGetParameter = 0xF0000;
const u32 kSetConnectionSelect = 0x70100;
const u32 kGetConnectionEntry = 0xF0200;
const u32 kSetPowerState = 0x70500;       // payload 0: D0, fully on
const u32 kSetStreamChannel = 0x70600;    // stream(4) channel(4)
const u32 kSetPinControl = 0x70700;       // bit 7 headphone amp, bit 6 out enable
const u32 kSetEapd = 0x70C00;             // bit 1 EAPD (external amplifier on)
const u32 kGetConfigDefault = 0xF1C00;
const u32 kSetFormat = 0x20000;
const u32 kSetAmp = 0x30000;              // out(1) in(1) left(1) right(1) index(4) mute(1) gain(7)

// Parameters.
const u8 kVendorId = 0x00;
const u8 kNodeCount = 0x04;               // first node (bits 16-23), count (bits 0-7)
const u8 kFunctionGroupType = 0x05;       // 1: audio
const u8 kWidgetCaps = 0x09;              // type in bits 20-23
const u8 kPinCaps = 0x0C;                 // bit 4 output, bit 16 EAPD
const u8 kInAmpCaps = 0x0D;
const u8 kConnectionListLength = 0x0E;    // bit 7 long form, bits 0-6 length
const u8 kOutAmpCaps = 0x12;              // bits 0-6: the gain step of 0 dB

const u32 kAudioFunctionGroup = 0x01;
const u32 kTypeOutput = 0x0;
const u32 kTypeMixer = 0x2;
const u32 kTypeSelector = 0x3;
const u32 kTypePin = 0x4;
const u32 kCapsOutAmp = 0x004;
const u32 kCapsAmpOverride = 0x008;
const u32 kCapsConnectionList = 0x100;
const u32 kPinOutput = 0x10;
const u32 kPinEapd = 0x10000;
const u8 kPinOutEnable = 0x40;
const u8 kPinHeadphoneAmp = 0x80;
const u8 kEapdOn = 0x02;
const u32 kAmpOutput = 0x8000;
const u32 kAmpInput = 0x4000;
const u32 kAmpBothChannels = 0x3000;
const u32 kNoConnection = 1;              // configuration default, bits 30-31
// Default devices, in the order they are preferred.
const u32 kJacks[3] = {0x0 /* line out */, 0x1 /* speaker */, 0x2 /* headphone */};
const u32 kHeadphone = 0x2;
const int kMaxDepth = 8;

u32 type_of(u32 caps) { return (caps >> 20) & 0xF; }
}  // namespace

bool Hda::FindPath(u8 codec) {
    u32 root = Parameter(codec, 0, kNodeCount);
    if (root == kNoResponse) return false;
    path_.codec = codec;
    path_.vendor = Parameter(codec, 0, kVendorId);
    u8 first_group = (root >> 16) & 0xFF;
    for (u8 g = first_group; g < first_group + (root & 0xFF); g++) {
        if ((Parameter(codec, g, kFunctionGroupType) & 0xFF) != kAudioFunctionGroup) continue;
        Command(codec, g, kSetPowerState);
        afg_ = g;
        u32 nodes = Parameter(codec, g, kNodeCount);
        u8 first = (nodes >> 16) & 0xFF;
        for (u32 jack : kJacks) {
            for (u8 n = first; n < first + (nodes & 0xFF); n++) {
                if (type_of(Parameter(codec, n, kWidgetCaps)) != kTypePin) continue;
                if (!(Parameter(codec, n, kPinCaps) & kPinOutput)) continue;
                u32 config = Command(codec, n, kGetConfigDefault);
                if (config >> 30 == kNoConnection || ((config >> 20) & 0xF) != jack) continue;
                if (!PathFrom(codec, n, 0)) continue;
                path_.pin = n;
                headphone_ = jack == kHeadphone;
                return true;
            }
        }
    }
    return false;
}

// Depth first along the connection lists until a DAC; the way is kept in
// route_ (the nodes) and route_index_ (the connection each one takes).
bool Hda::PathFrom(u8 codec, u8 node, int depth) {
    if (depth >= kMaxDepth) return false;
    u32 caps = Parameter(codec, node, kWidgetCaps);
    u32 type = type_of(caps);
    if (depth > 0 && type != kTypeOutput && type != kTypeMixer && type != kTypeSelector) return false;
    route_[depth] = node;
    route_len_ = depth + 1;
    if (type == kTypeOutput) {
        path_.dac = node;
        return true;
    }
    if (!(caps & kCapsConnectionList)) return false;
    u32 list = Parameter(codec, node, kConnectionListLength);
    bool long_form = (list & 0x80) != 0;
    u32 per_entry = long_form ? 2 : 4;
    for (u32 i = 0; i < (list & 0x7F); i++) {
        u32 entries = Command(codec, node, kGetConnectionEntry | (i - i % per_entry));
        if (entries == kNoResponse) return false;
        u8 next = long_form ? (entries >> (16 * (i % 2))) & 0xFF : (entries >> (8 * (i % 4))) & 0x7F;
        route_index_[depth] = static_cast<u8>(i);
        if (PathFrom(codec, next, depth + 1)) return true;
    }
    return false;
}

void Hda::Unmute(u8 codec, u8 node, bool output, u8 index) {
    u32 caps = Parameter(codec, node, kWidgetCaps);
    u8 holder = (caps & kCapsAmpOverride) ? node : afg_;
    u32 amp = Parameter(codec, holder, output ? kOutAmpCaps : kInAmpCaps);
    u32 zero_db = amp == kNoResponse ? 0 : amp & 0x7F;
    Command(codec, node, kSetAmp | (output ? kAmpOutput : kAmpInput) | kAmpBothChannels | (index & 0xF) << 8 | zero_db);
}

void Hda::OpenPath(u8 codec) {
    for (int k = 0; k < route_len_; k++) {
        u8 node = route_[k];
        Command(codec, node, kSetPowerState);
        u32 caps = Parameter(codec, node, kWidgetCaps);
        bool last = k == route_len_ - 1;
        if (!last && type_of(caps) == kTypeMixer) Unmute(codec, node, false, route_index_[k]);
        else if (!last) Command(codec, node, kSetConnectionSelect | route_index_[k]);
        if (caps & kCapsOutAmp) Unmute(codec, node, true, 0);
    }
    u8 pin = route_[0];
    Command(codec, pin, kSetPinControl | kPinOutEnable | (headphone_ ? kPinHeadphoneAmp : 0));
    if (Parameter(codec, pin, kPinCaps) & kPinEapd) Command(codec, pin, kSetEapd | kEapdOn);
    Command(codec, path_.dac, kSetStreamChannel | kStreamNumber << 4);
    Command(codec, path_.dac, kSetFormat | kFormat);
}

}  // namespace audio
}  // namespace drivers
}  // namespace tarn

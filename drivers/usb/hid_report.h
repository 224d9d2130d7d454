// HID report descriptors, read far enough to find what a mouse, tablet,
// joystick or game pad reports: the X and Y axes, the hat switch and the
// first buttons, each as the bits of one input report it occupies.
#ifndef TARN_DRIVERS_USB_HID_REPORT_H
#define TARN_DRIVERS_USB_HID_REPORT_H

#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

struct HidField {
    bool present;
    u8 report_id;      // 0 when the device numbers no reports
    u16 bit_offset;    // after the report ID byte, if any
    u8 bit_size;
    i32 minimum;       // logical range
    i32 maximum;
    bool relative;     // a mouse's movement rather than a position
};

struct HidLayout {
    static constexpr int kMaxButtons = 8;

    // The application collection the fields come from: kUsageMouse,
    // kUsageJoystick, ... (0 when none of interest was found).
    u16 application;
    bool numbered_reports;  // every report starts with its ID byte
    HidField x, y, hat;
    HidField buttons[kMaxButtons];  // buttons[0] is button 1

    // Its value in report (length bytes, ID byte included), sign-extended
    // when the logical range goes below zero; 0 when the report is another
    // one or too short.
    static i32 Value(const HidField& field, const u8* report, u32 length);
};

// Generic Desktop usages.
const u16 kUsagePointer = 0x01;
const u16 kUsageMouse = 0x02;
const u16 kUsageJoystick = 0x04;
const u16 kUsageGamePad = 0x05;
const u16 kUsageX = 0x30;
const u16 kUsageY = 0x31;
const u16 kUsageHatSwitch = 0x39;

// Reads the descriptor; false when it is malformed or holds no mouse,
// pointer, joystick or game pad with at least X and Y or a hat switch.
bool parse_report_descriptor(const u8* data, u32 length, HidLayout* out);

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

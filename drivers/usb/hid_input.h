// HID devices other than keyboards: mice in the boot protocol; mice,
// tablets, joysticks and game pads through their report descriptors.
// Pointers report movement and buttons, pads a C64 joystick's state (the
// first two pads get numbers 0 and 1; a third is not used).
#ifndef TARN_DRIVERS_USB_HID_INPUT_H
#define TARN_DRIVERS_USB_HID_INPUT_H

#include "drivers/usb/class_driver.h"
#include "drivers/usb/descriptors.h"
#include "drivers/usb/hid_report.h"
#include "drivers/usb/interrupt_in.h"
#include "drivers/usb/usb_events.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

// A pad's report as the C64 joystick: X and Y beyond a quarter of their
// range from the middle, or the hat, give the directions; buttons 1-4 fire.
// False (and nothing stored) for a report other than the one they are in.
bool pad_state(const HidLayout& layout, const u8* report, u32 length, PadState* out);

class HidInput : public ClassDriver {
public:
    static constexpr int kMaxPads = 2;
    static constexpr u32 kMaxReportDescriptor = 1024;
    // A tablet's whole width and height, in the movement counts of a mouse.
    static constexpr i32 kTabletWidth = 320;
    static constexpr i32 kTabletHeight = 200;

    HidInput(Device* device, const InterfaceInfo& interface);
    ~HidInput() override;
    bool claimed() const { return claimed_; }

    const char* Kind() const override;
    void Start() override;
    void Poll(u32 now) override;
    void Detach() override;
    void TransferDone(Endpoint* ep, u8 code, u32 length, void* buffer) override;

private:
    enum class Step : u8 { SetProtocol, ReadDescriptor, SetIdle, Running };
    enum class Role : u8 { Unknown, BootMouse, Pointer, Pad, Unused };

    bool Ask();
    void Answered(u8 code, u32 length);
    void Report(const u8* report, u32 length);
    void PointerReport(const u8* report, u32 length);
    void PadReport(const u8* report, u32 length);

    InterruptIn reports_;
    HidLayout layout_{};
    bool claimed_ = false;
    u8 interface_;
    u16 descriptor_length_;
    Step step_;
    Role role_;
    bool asking_ = false;
    u8* buffer_ = nullptr;
    bool have_position_ = false;   // tablets: the last position seen
    i32 last_x_ = 0, last_y_ = 0;
    int pad_ = -1;
    PadState last_pad_{};
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

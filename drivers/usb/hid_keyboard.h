// A USB keyboard in the boot protocol: its reports become key events, held
// keys repeat, and the Num, Caps and Scroll Lock lights follow the lock
// keys (one lock state shared by every keyboard, as on a PC).
#ifndef TARN_DRIVERS_USB_HID_KEYBOARD_H
#define TARN_DRIVERS_USB_HID_KEYBOARD_H

#include "drivers/usb/class_driver.h"
#include "drivers/usb/descriptors.h"
#include "drivers/usb/hid_boot_keyboard.h"
#include "drivers/usb/interrupt_in.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {

class HidKeyboard : public ClassDriver {
public:
    HidKeyboard(Device* device, const InterfaceInfo& interface);
    ~HidKeyboard() override;
    // Its report endpoint could be added to the device.
    bool claimed() const { return claimed_; }

    const char* Kind() const override { return "keyboard"; }
    void Start() override;
    void Poll(u32 now) override;
    void Detach() override;
    void TransferDone(Endpoint* ep, u8 code, u32 length, void* buffer) override;

    // Lock lights: bit 0 Num, 1 Caps, 2 Scroll.
    static u8 locks();

private:
    enum class Step : u8 { SetProtocol, SetIdle, Running };
    bool Request(u8 request, u16 value, u16 length);
    void Report(const u8* report, u32 length);

    InterruptIn reports_;
    BootKeyboardReport decoder_;
    Typematic typematic_;
    bool claimed_ = false;
    u8 interface_;
    Step step_ = Step::SetProtocol;
    bool asking_ = false;       // a control transfer of ours is under way
    u8* out_ = nullptr;         // the LED report, where the controller reads it
    u32 lights_sent_ = 0;       // lock generation the lights show
    u32 lights_asked_ = 0;      // generation of the report under way
};

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

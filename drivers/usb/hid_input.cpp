// Mice, tablets and pads.
#include "drivers/usb/hid_input.h"

#include "drivers/usb/device.h"
#include "drivers/dma_memory.h"
#include "drivers/usb/xhci.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
const u8 kHidOut = kTypeClass | kToInterface;
const u8 kStandardIn = kDirIn | kToInterface;
const u8 kSetIdle = 0x0A;
const u8 kSetProtocol = 0x0B;
const u8 kSubclassBoot = 1;
const u8 kProtocolMouse = 2;

bool g_pad_taken[HidInput::kMaxPads] = {};

// Hat positions from north, clockwise: eight of them, or four.
const u8 kUp = 1, kRight = 2, kDown = 4, kLeft = 8;
const u8 kHat8[8] = {kUp, kUp | kRight, kRight, kDown | kRight, kDown, kDown | kLeft, kLeft, kUp | kLeft};
const u8 kHat4[4] = {kUp, kRight, kDown, kLeft};

bool same(const PadState& a, const PadState& b) {
    return a.up == b.up && a.down == b.down && a.left == b.left && a.right == b.right && a.fire == b.fire;
}
}  // namespace

bool pad_state(const HidLayout& layout, const u8* report, u32 length, PadState* out) {
    const HidField& key = layout.x.present ? layout.x : layout.hat;
    if (key.report_id && (length == 0 || report[0] != key.report_id)) return false;
    PadState s{};
    if (layout.x.present && layout.y.present) {
        i32 x = HidLayout::Value(layout.x, report, length);
        i32 y = HidLayout::Value(layout.y, report, length);
        i32 xq = (layout.x.maximum - layout.x.minimum) / 4;
        i32 yq = (layout.y.maximum - layout.y.minimum) / 4;
        s.left = x < layout.x.minimum + xq;
        s.right = x > layout.x.maximum - xq;
        s.up = y < layout.y.minimum + yq;
        s.down = y > layout.y.maximum - yq;
    }
    if (layout.hat.present) {
        i32 v = HidLayout::Value(layout.hat, report, length) - layout.hat.minimum;
        i32 range = layout.hat.maximum - layout.hat.minimum;
        // Outside its range the hat is centred.
        u8 dir = range == 7 && v >= 0 && v <= 7 ? kHat8[v] : range == 3 && v >= 0 && v <= 3 ? kHat4[v] : 0;
        s.up = s.up || (dir & kUp);
        s.right = s.right || (dir & kRight);
        s.down = s.down || (dir & kDown);
        s.left = s.left || (dir & kLeft);
    }
    for (int b = 0; b < 4; b++)
        if (HidLayout::Value(layout.buttons[b], report, length)) s.fire = true;
    *out = s;
    return true;
}

HidInput::HidInput(Device* device, const InterfaceInfo& interface)
    : ClassDriver(device), interface_(interface.number), descriptor_length_(interface.report_length) {
    bool boot_mouse = interface.subclass == kSubclassBoot && interface.protocol == kProtocolMouse;
    role_ = boot_mouse ? Role::BootMouse : Role::Unknown;
    step_ = boot_mouse ? Step::SetProtocol : Step::ReadDescriptor;
    if (descriptor_length_ > kMaxReportDescriptor) descriptor_length_ = kMaxReportDescriptor;
    const EndpointInfo* in = interface.find(kEndpointInterrupt, true);
    buffer_ = DmaAllocate(kMaxReportDescriptor, kDmaPage);
    claimed_ = in && buffer_ && (boot_mouse || descriptor_length_) && reports_.Claim(device, *in, this);
}

HidInput::~HidInput() {
    if (pad_ >= 0) g_pad_taken[pad_] = false;
    DmaFree(buffer_);
}

const char* HidInput::Kind() const {
    switch (role_) {
    case Role::BootMouse:
    case Role::Pointer: return "mouse";
    case Role::Pad: return pad_ >= 0 ? "game pad" : "game pad (a third one, not used)";
    default: return "input device (not used)";
    }
}

void HidInput::Start() { Ask(); }

bool HidInput::Ask() {
    SetupPacket s{};
    void* data = nullptr;
    switch (step_) {
    case Step::SetProtocol:
        s = SetupPacket{kHidOut, kSetProtocol, 0, interface_, 0};
        break;
    case Step::ReadDescriptor:
        s = SetupPacket{kStandardIn, kGetDescriptor, static_cast<u16>(kDescHidReport << 8), interface_,
                        descriptor_length_};
        data = buffer_;
        break;
    case Step::SetIdle:
        s = SetupPacket{kHidOut, kSetIdle, 0, interface_, 0};
        break;
    default:
        return false;
    }
    asking_ = device_->Control(s, data, this);
    return asking_;
}

void HidInput::Poll(u32) {
    if (device_->gone()) return;
    if (step_ != Step::Running) {
        if (!asking_) Ask();
        return;
    }
    if (role_ != Role::Unused) reports_.TopUp();
}

void HidInput::Answered(u8 code, u32 length) {
    switch (step_) {
    case Step::SetProtocol:
        step_ = Step::SetIdle;
        return;
    case Step::ReadDescriptor:
        if (trb::ok(code) && parse_report_descriptor(buffer_, length, &layout_)) {
            bool pointer = layout_.application == kUsageMouse || layout_.application == kUsagePointer;
            role_ = pointer && layout_.x.present ? Role::Pointer : pointer ? Role::Unused : Role::Pad;
        } else {
            role_ = Role::Unused;
        }
        if (role_ == Role::Pad)
            for (int i = 0; i < kMaxPads && pad_ < 0; i++)
                if (!g_pad_taken[i]) {
                    g_pad_taken[i] = true;
                    pad_ = i;
                }
        step_ = Step::SetIdle;
        return;
    case Step::SetIdle:
        // Refused by many pads and mice: they report on change anyway.
        step_ = Step::Running;
        state_ = State::Ready;
        if (role_ == Role::BootMouse || role_ == Role::Pointer)
            device_->controller()->events()->PointerPresent(true);
        return;
    default:
        return;
    }
}

void HidInput::TransferDone(Endpoint* ep, u8 code, u32 length, void* buffer) {
    if (reports_.owns(ep)) {
        if (trb::ok(code)) Report(static_cast<const u8*>(buffer), length);
        reports_.Returned(buffer);
        return;
    }
    asking_ = false;
    Answered(code, length);
}

void HidInput::Report(const u8* report, u32 length) {
    UsbEvents* events = device_->controller()->events();
    switch (role_) {
    case Role::BootMouse:
        // Buttons, then X and Y movement as signed bytes.
        if (length >= 3)
            events->PointerMoved(static_cast<i8>(report[1]), static_cast<i8>(report[2]), report[0] & 7);
        return;
    case Role::Pointer:
        PointerReport(report, length);
        return;
    case Role::Pad:
        PadReport(report, length);
        return;
    default:
        return;
    }
}

void HidInput::PointerReport(const u8* report, u32 length) {
    const HidField& fx = layout_.x;
    if (fx.report_id && (length == 0 || report[0] != fx.report_id)) return;  // another report
    i32 x = HidLayout::Value(fx, report, length);
    i32 y = HidLayout::Value(layout_.y, report, length);
    u8 buttons = 0;
    for (int b = 0; b < 3; b++)
        if (HidLayout::Value(layout_.buttons[b], report, length)) buttons |= static_cast<u8>(1 << b);
    i32 dx = x, dy = y;
    if (!fx.relative) {
        // A tablet reports where it points: its whole range spans a screen.
        i32 wx = fx.maximum - fx.minimum + 1, wy = layout_.y.maximum - layout_.y.minimum + 1;
        i32 px = wx > 0 ? static_cast<i32>(static_cast<int64_t>(x - fx.minimum) * kTabletWidth / wx) : 0;
        i32 py = wy > 0 ? static_cast<i32>(static_cast<int64_t>(y - layout_.y.minimum) * kTabletHeight / wy) : 0;
        dx = have_position_ ? px - last_x_ : 0;
        dy = have_position_ ? py - last_y_ : 0;
        last_x_ = px;
        last_y_ = py;
        have_position_ = true;
    }
    device_->controller()->events()->PointerMoved(dx, dy, buttons);
}

void HidInput::PadReport(const u8* report, u32 length) {
    PadState s;
    if (pad_ < 0 || !pad_state(layout_, report, length, &s) || same(s, last_pad_)) return;
    last_pad_ = s;
    device_->controller()->events()->PadChanged(static_cast<u8>(pad_), s);
}

void HidInput::Detach() {
    UsbEvents* events = device_->controller()->events();
    if ((role_ == Role::BootMouse || role_ == Role::Pointer) && step_ == Step::Running) {
        events->PointerMoved(0, 0, 0);
        events->PointerPresent(false);
    }
    if (role_ == Role::Pad && pad_ >= 0) events->PadChanged(static_cast<u8>(pad_), PadState{});
    if (pad_ >= 0) g_pad_taken[pad_] = false;
    pad_ = -1;
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

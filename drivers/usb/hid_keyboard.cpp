// Boot-protocol keyboards.
#include "drivers/usb/hid_keyboard.h"

#include "drivers/usb/device.h"
#include "drivers/dma_memory.h"
#include "drivers/usb/xhci.h"

namespace tarn {
namespace drivers {
namespace usb {

namespace {
// HID class requests, to the interface.
const u8 kHidOut = kTypeClass | kToInterface;
const u8 kSetReport = 0x09;
const u8 kSetIdle = 0x0A;
const u8 kSetProtocol = 0x0B;
const u16 kBootProtocol = 0;
const u16 kOutputReport = 2 << 8;

const u8 kLockNum = 1 << 0;
const u8 kLockCaps = 1 << 1;
const u8 kLockScroll = 1 << 2;

// One lock state for every keyboard; the generation counts its changes,
// so each keyboard knows whether its lights are behind.
u8 g_locks = 0;
u32 g_lock_generation = 0;

u8 lock_of(Key key) {
    switch (key) {
    case Key::NumLock: return kLockNum;
    case Key::CapsLock: return kLockCaps;
    case Key::ScrollLock: return kLockScroll;
    default: return 0;
    }
}
}  // namespace

u8 HidKeyboard::locks() { return g_locks; }

HidKeyboard::HidKeyboard(Device* device, const InterfaceInfo& interface)
    : ClassDriver(device), interface_(interface.number) {
    const EndpointInfo* in = interface.find(kEndpointInterrupt, true);
    out_ = DmaAllocate(8, 64);
    claimed_ = in && out_ && reports_.Claim(device, *in, this);
}

HidKeyboard::~HidKeyboard() { DmaFree(out_); }

bool HidKeyboard::Request(u8 request, u16 value, u16 length) {
    SetupPacket s{kHidOut, request, value, interface_, length};
    asking_ = device_->Control(s, length ? out_ : nullptr, this);
    return asking_;
}

void HidKeyboard::Start() {
    step_ = Step::SetProtocol;
    Request(kSetProtocol, kBootProtocol, 0);
}

void HidKeyboard::Poll(u32 now) {
    if (device_->gone()) return;
    if (step_ != Step::Running) {
        if (!asking_) Request(step_ == Step::SetProtocol ? kSetProtocol : kSetIdle, 0, 0);
        return;
    }
    reports_.TopUp();
    Key again = typematic_.Due(now);
    if (again != Key::None) device_->controller()->events()->Key(KeyEvent{again, true});
    if (!asking_ && lights_sent_ != g_lock_generation) {
        lights_asked_ = g_lock_generation;
        out_[0] = g_locks;
        Request(kSetReport, kOutputReport, 1);
    }
}

void HidKeyboard::TransferDone(Endpoint* ep, u8 code, u32 length, void* buffer) {
    if (reports_.owns(ep)) {
        if (trb::ok(code)) Report(static_cast<u8*>(buffer), length);
        reports_.Returned(buffer);
        return;
    }
    asking_ = false;
    // A keyboard that refuses SET_IDLE (some do) or even SET_PROTOCOL
    // still sends boot reports: both steps go on whatever the answer.
    if (step_ == Step::SetProtocol) {
        step_ = Step::SetIdle;
    } else if (step_ == Step::SetIdle) {
        step_ = Step::Running;
        state_ = State::Ready;
    } else {
        // Sent, or refused by a keyboard without lights: not asked again.
        lights_sent_ = lights_asked_;
    }
}

void HidKeyboard::Report(const u8* report, u32 length) {
    KeyEvent events[BootKeyboardReport::kMaxEvents];
    int n = decoder_.Apply(report, length, events);
    u32 now = device_->controller()->now();
    for (int i = 0; i < n; i++) {
        if (events[i].down) {
            typematic_.Down(events[i].key, now);
            if (u8 lock = lock_of(events[i].key)) {
                g_locks ^= lock;
                g_lock_generation++;
            }
        } else {
            typematic_.Up(events[i].key);
        }
        device_->controller()->events()->Key(events[i]);
    }
}

void HidKeyboard::Detach() {
    KeyEvent events[BootKeyboardReport::kMaxEvents];
    int n = decoder_.ReleaseAll(events);
    for (int i = 0; i < n; i++) device_->controller()->events()->Key(events[i]);
    typematic_ = Typematic();
}

}  // namespace usb
}  // namespace drivers
}  // namespace tarn

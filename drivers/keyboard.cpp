// PS/2 keyboard (8042 controller, first port): scan bytes to key events.
#include "drivers/keyboard.h"

namespace tarn {
namespace drivers {

namespace {
const u16 kDataPort = 0x60;     // read: output buffer; write: to the keyboard
const u16 kCommandPort = 0x64;  // read: status; write: controller command
const u8 kInterruptKeyboard = 0x21;  // IRQ 1 after remapping

const u8 kStatusOutputFull = 0x01;  // status bit 0: a byte waits at 0x60
const u8 kCmdReadConfig = 0x20;
const u8 kCmdWriteConfig = 0x60;
const u8 kCmdEnableFirstPort = 0xAE;
// Configuration byte: bit 0 first-port interrupt, bit 4 first-port clock off.
const u8 kConfigFirstPortIrq = 0x01;
const u8 kConfigFirstPortClockOff = 0x10;
const u8 kKbdEnableScanning = 0xF4;

}  // namespace

KeyboardDriver::KeyboardDriver(hardwarecommunication::InterruptManager* manager, KeyQueue* keys)
    : InterruptHandler(manager, kInterruptKeyboard), dataport(kDataPort), commandport(kCommandPort), keys(keys) {}

KeyboardDriver::~KeyboardDriver() {}

void KeyboardDriver::Activate() {
    // Drain what the controller still holds from the firmware. A controller
    // that keeps reporting a full buffer would hold start-up here for ever,
    // so the drain is bounded by the 8042's small buffer with margin.
    for (int i = 0; i < 256 && (commandport.Read() & kStatusOutputFull); ++i) dataport.Read();

    commandport.Write(kCmdEnableFirstPort);
    commandport.Write(kCmdReadConfig);
    u8 config = dataport.Read();
    config = static_cast<u8>((config | kConfigFirstPortIrq) & ~kConfigFirstPortClockOff);
    commandport.Write(kCmdWriteConfig);
    dataport.Write(config);
    dataport.Write(kKbdEnableScanning);
}

u32 KeyboardDriver::HandleInterrupt(u32 esp) {
    TakeByte();
    return esp;
}

// One byte from the controller; once it completes a key, the key event goes
// into the queue. An E0 prefix and its follower may come by one interrupt
// or by two: the decoder keeps the prefix in between.
bool KeyboardDriver::TakeByte() {
    if (!(commandport.Read() & kStatusOutputFull)) return false;
    KeyEvent event;
    if (decoder.take(dataport.Read(), &event) && keys) keys->push(event);
    return true;
}

}  // namespace drivers
}  // namespace tarn

// PS/2 keyboard (8042 controller, first port): ring of raw bytes and key events.
#include "drivers/keyboard.h"

u8 g_scan_ring[256];
volatile u32 g_scan_head = 0;
volatile u32 g_scan_tail = 0;

void keyboard_ring_push(u8 byte) {
    u32 head = g_scan_head;
    g_scan_ring[head & 0xFF] = byte;
    g_scan_head = head + 1;  // publish after the byte is in place
}

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

const u8 kPrefixExtended = 0xE0;
const u8 kReleaseBit = 0x80;

// Set-1 make codes 0x00..0x58 to key codes; 0 = ignored.
const u8 kKeyTable[0x59] = {
    /* 0x00 */ 0,   kKeyEscape, '1', '2', '3', '4', '5', '6',
    /* 0x08 */ '7', '8', '9', '0', '-', '=', kKeyBackspace, kKeyTab,
    /* 0x10 */ 'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I',
    /* 0x18 */ 'O', 'P', '[', ']', kKeyEnter, kKeyControl, 'A', 'S',
    /* 0x20 */ 'D', 'F', 'G', 'H', 'J', 'K', 'L', ';',
    /* 0x28 */ '\'', '`', kKeyShift, kKeyBackslash, 'Z', 'X', 'C', 'V',
    /* 0x30 */ 'B', 'N', 'M', ',', '.', '/', kKeyShift, kKeyShift,
    /* 0x38 */ kKeyAlt, ' ', 0, 241, 242, 243, 244, 245,
    /* 0x40 */ 246, 247, 248, kKeyF9, kKeyF10, kKeyNumLock, kKeyScrollLock, kKeyHome,
    /* 0x48 */ kKeyUp, 0, 0, kKeyLeft, 0, kKeyRight, 0, 0,
    /* 0x50 */ kKeyDown, 0, 0, 0, 0, 0, 0, kKeyF11,
    /* 0x58 */ kKeyF12,
};
}  // namespace

u8 keyboard_key_code(u8 make) {
    if (make >= sizeof(kKeyTable)) return 0;
    return kKeyTable[make];
}

u8 keyboard_extended_key_code(u8 make) {
    switch (make) {
    case 0x47: return kKeyHome;
    case 0x48: return kKeyUp;
    case 0x49: return kKeyPageUp;
    case 0x4B: return kKeyLeft;
    case 0x4D: return kKeyRight;
    case 0x50: return kKeyDown;
    default: return 0;
    }
}

namespace {
KeyboardDriver* g_active_driver = nullptr;  // the one driver on the controller
}  // namespace

KeyboardEventHandler::KeyboardEventHandler() {}
void KeyboardEventHandler::OnKeyDown(u8) {}
void KeyboardEventHandler::OnKeyUp(u8) {}

KeyboardDriver::KeyboardDriver(hardwarecommunication::InterruptManager* manager,
                               KeyboardEventHandler* handler, KeyQueue* keys)
    : InterruptHandler(manager, kInterruptKeyboard),
      dataport(kDataPort),
      commandport(kCommandPort),
      handler(handler),
      keys(keys) {
    g_active_driver = this;
}

KeyboardDriver::~KeyboardDriver() {
    if (g_active_driver == this) g_active_driver = nullptr;
}

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

// One byte from the controller into the ring and, once it completes a key
// event, into the key queue.
u8 KeyboardDriver::ReadByte() {
    u8 byte = dataport.Read();
    keyboard_ring_push(byte);
    KeyEvent event;
    if (decoder.take(byte, &event) && keys) keys->push(event);
    return byte;
}

bool KeyboardDriver::TakeByte() {
    if (!(commandport.Read() & kStatusOutputFull)) return false;

    u8 byte = ReadByte();
    if (handler == nullptr) return true;

    bool extended = extended_pending;
    extended_pending = false;
    if (byte == kPrefixExtended) {
        // The second byte of the pair usually waits already; if not, its own
        // interrupt brings it. Both bytes go into the ring.
        if (!(commandport.Read() & kStatusOutputFull)) {
            extended_pending = true;
            return true;
        }
        byte = ReadByte();
        extended = true;
    }
    if (extended) {
        u8 next = byte;
        u8 code = keyboard_extended_key_code(next & ~kReleaseBit);
        if (code != 0) {
            if (next & kReleaseBit)
                handler->OnKeyUp(code);
            else
                handler->OnKeyDown(code);
        }
        return true;
    }

    u8 code = keyboard_key_code(byte & ~kReleaseBit);
    if (code == 0) return true;
    if (byte & kReleaseBit)
        handler->OnKeyUp(code);
    else
        handler->OnKeyDown(code);
    return true;
}

}  // namespace drivers
}  // namespace tarn

bool keyboard_poll_byte() {
    tarn::drivers::KeyboardDriver* driver = tarn::drivers::g_active_driver;
    return driver && driver->TakeByte();
}

// PS/2 keyboard (8042 controller, first port): scan codes to key codes.
#ifndef TARN_DRIVERS_KEYBOARD_H
#define TARN_DRIVERS_KEYBOARD_H

#include "drivers/driver.h"
#include "drivers/keyboard_decoder.h"
#include "hardwarecommunication/interrupts.h"
#include "hardwarecommunication/port.h"
#include "lib/key_queue.h"
#include "lib/types.h"

// Raw bytes from the keyboard in arrival order. g_scan_head counts bytes ever
// stored (the next goes to g_scan_ring[g_scan_head & 0xFF]); g_scan_tail
// belongs to the reader. Writers store the byte first, then the head.
extern u8 g_scan_ring[256];
extern volatile u32 g_scan_head;
extern volatile u32 g_scan_tail;

// Appends one raw byte to the ring (used by the driver).
void keyboard_ring_push(u8 byte);

// Takes one byte the controller holds exactly as the keyboard interrupt does
// (into the ring, and its key event to the handler); false when none waits
// or no driver is active. For the main loop's poll, which picks up bytes
// whose interrupt edge was lost; call it with interrupts off.
bool keyboard_poll_byte();

namespace tarn {
namespace drivers {

// Key codes of keys that are not plain ASCII legends.
enum KeyCode : u8 {
    kKeyEscape = 1,
    kKeyF9 = 2,
    kKeyF10 = 3,
    kKeyF12 = 4,
    kKeyF11 = 5,
    kKeyEnter = 10,
    kKeyBackspace = 14,
    kKeyTab = 15,
    kKeyControl = 29,
    kKeyShift = 42,
    kKeyBackslash = 43,
    kKeyScrollLock = 144,
    kKeyNumLock = 145,
    kKeyF1 = 241,  // F1..F8 are 241..248
    kKeyPageUp = 249,
    kKeyLeft = 250,
    kKeyRight = 251,
    kKeyHome = 252,
    kKeyUp = 253,
    kKeyDown = 254,
    kKeyAlt = 255,
};

// Sink for key events; the driver calls it from its interrupt handler.
class KeyboardEventHandler {
public:
    KeyboardEventHandler();
    virtual void OnKeyDown(u8 code);
    virtual void OnKeyUp(u8 code);
};

// Key code for a set-1 make code (0..0x7F); 0 when the key is ignored.
u8 keyboard_key_code(u8 make);
// Key code for the byte after an 0xE0 prefix (make code); 0 when ignored.
u8 keyboard_extended_key_code(u8 make);

class KeyboardDriver : public hardwarecommunication::InterruptHandler, public Driver {
public:
    // Every key goes into `keys` as a key event (null: nowhere).
    KeyboardDriver(hardwarecommunication::InterruptManager* manager, KeyboardEventHandler* handler,
                   KeyQueue* keys = nullptr);
    ~KeyboardDriver();

    u32 HandleInterrupt(u32 esp) override;
    void Activate() override;
    // One waiting byte into the ring and its key event; false when none waits.
    bool TakeByte();

private:
    u8 ReadByte();

    hardwarecommunication::Port8Bit dataport;
    hardwarecommunication::Port8Bit commandport;
    KeyboardEventHandler* handler;
    KeyQueue* keys;
    ScanSet1Decoder decoder;
    bool extended_pending = false;  // an E0 arrived without its second byte
};

}  // namespace drivers
}  // namespace tarn

#endif

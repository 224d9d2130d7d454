// xHCI register map: capability, operational, port, runtime and doorbell
// registers and the extended capabilities, in the controller's own order.
#ifndef TARN_DRIVERS_USB_XHCI_REGISTERS_H
#define TARN_DRIVERS_USB_XHCI_REGISTERS_H

#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {
namespace xhci {

// ---- capability registers (from the BAR) ----------------------------------------
const u32 kCapLength = 0x00;          // u8: where the operational registers start
const u32 kHciVersion = 0x02;         // u16
const u32 kHcsParams1 = 0x04;
const u32 kHcsParams2 = 0x08;
const u32 kHcsParams3 = 0x0C;
const u32 kHccParams1 = 0x10;
const u32 kDoorbellOffset = 0x14;     // bits 31-2
const u32 kRuntimeOffset = 0x18;      // bits 31-5
const u32 kHccParams2 = 0x1C;

inline u32 max_slots(u32 hcs1) { return hcs1 & 0xFF; }
inline u32 max_ports(u32 hcs1) { return hcs1 >> 24; }
inline u32 max_scratchpads(u32 hcs2) { return ((hcs2 >> 21) & 0x1F) << 5 | (hcs2 >> 27); }
const u32 kHcc1ContextSize64 = 1 << 2;          // CSZ: contexts are 64 bytes, not 32
inline u32 extended_capabilities(u32 hcc1) { return (hcc1 >> 16) << 2; }  // byte offset, 0: none

// ---- operational registers (from CAPLENGTH) -----------------------------------------
const u32 kUsbCmd = 0x00;
const u32 kCmdRun = 1 << 0;
const u32 kCmdReset = 1 << 1;
const u32 kCmdInterrupterEnable = 1 << 2;
const u32 kCmdHostSystemErrorEnable = 1 << 3;

const u32 kUsbSts = 0x04;
const u32 kStsHalted = 1 << 0;
const u32 kStsHostSystemError = 1 << 2;
const u32 kStsEventInterrupt = 1 << 3;          // RW1C
const u32 kStsPortChange = 1 << 4;              // RW1C
const u32 kStsNotReady = 1 << 11;
const u32 kStsControllerError = 1 << 12;

const u32 kPageSize = 0x08;                     // bit n set: 2^(n+12)-byte pages
const u32 kDnCtrl = 0x14;
const u32 kCrcr = 0x18;                         // 64 bits: command ring pointer
const u32 kCrcrCycle = 1 << 0;
const u32 kCrcrRunning = 1 << 3;
const u32 kDcbaap = 0x30;                       // 64 bits
const u32 kConfig = 0x38;                       // bits 7-0: slots enabled

// ---- port register sets (from operational + 0x400, 16 bytes a port) -----------------
inline u32 portsc(u32 port) { return 0x400 + 0x10 * (port - 1); }
const u32 kPortConnected = 1 << 0;              // CCS
const u32 kPortEnabled = 1 << 1;                // PED, RW1C: writing 1 disables
const u32 kPortOverCurrent = 1 << 3;
const u32 kPortReset = 1 << 4;                  // PR
const u32 kPortLinkStateShift = 5;              // PLS, 4 bits
const u32 kPortPower = 1 << 9;                  // PP
const u32 kPortSpeedShift = 10;                 // 4 bits: protocol speed ID
const u32 kPortConnectChange = 1 << 17;         // CSC, RW1C
const u32 kPortEnableChange = 1 << 18;          // PEC
const u32 kPortWarmResetChange = 1 << 19;       // WRC
const u32 kPortOverCurrentChange = 1 << 20;     // OCC
const u32 kPortResetChange = 1 << 21;           // PRC
const u32 kPortLinkStateChange = 1 << 22;       // PLC
const u32 kPortConfigErrorChange = 1 << 23;     // CEC
const u32 kPortWarmReset = 1u << 31;            // WPR (USB3 ports)
const u32 kPortChanges = kPortConnectChange | kPortEnableChange | kPortWarmResetChange |
                         kPortOverCurrentChange | kPortResetChange | kPortLinkStateChange |
                         kPortConfigErrorChange;
// Bits a write must carry over unchanged: link state (ignored without its
// strobe), power, indicator and the wake enables. Everything else written
// as zero, so no change bit is cleared and the port not disabled by accident.
const u32 kPortPreserve = 0x0E00C3E0;
inline u32 port_speed(u32 sc) { return (sc >> kPortSpeedShift) & 0xF; }
inline u32 port_link_state(u32 sc) { return (sc >> kPortLinkStateShift) & 0xF; }

// ---- runtime registers (from RTSOFF) ---------------------------------------------------
inline u32 interrupter(u32 n) { return 0x20 + 0x20 * n; }
const u32 kIman = 0x00;
const u32 kImanPending = 1 << 0;                // RW1C
const u32 kImanEnable = 1 << 1;
const u32 kImod = 0x04;
const u32 kErstSize = 0x08;
const u32 kErstBase = 0x10;                     // 64 bits
const u32 kErdp = 0x18;                         // 64 bits
const u32 kErdpBusy = 1 << 3;                   // EHB, RW1C

// ---- doorbells (from DBOFF, 4 bytes each) ----------------------------------------------
inline u32 doorbell(u32 slot) { return 4 * slot; }

// ---- extended capabilities ------------------------------------------------------------
inline u32 ext_cap_id(u32 header) { return header & 0xFF; }
inline u32 ext_cap_next(u32 header) { return ((header >> 8) & 0xFF) << 2; }
const u32 kExtCapLegacy = 1;
const u32 kLegacyBiosOwned = 1 << 16;
const u32 kLegacyOsOwned = 1 << 24;
const u32 kLegacyControl = 0x04;                // USBLEGCTLSTS
// SMI enables (bits 0, 4, 13-15) off; the RW1C SMI events (bits 29-31) cleared.
const u32 kLegacyControlDisableSmis = 0xE0000000;
const u32 kExtCapProtocol = 2;
inline u32 protocol_major(u32 header) { return header >> 24; }
const u32 kProtocolPorts = 0x08;                // bits 7-0 first port, 15-8 count

}  // namespace xhci
}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

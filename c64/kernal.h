// The KERNAL's own addresses the machine reads and writes from outside the
// processor (keyboard buffer, file parameters), and the protocol of the
// patched serial-bus routines that hand drive 8's traffic to the machine.
#ifndef TARN_C64_KERNAL_H
#define TARN_C64_KERNAL_H

#include "lib/types.h"

namespace kernal {

// ---- zero page and the system area ----
constexpr u16 kTxtTab = 0x002B;       // start of the BASIC program (word)
constexpr u16 kVarTab = 0x002D;       // end of the BASIC program (word)
constexpr u16 kStatus = 0x0090;       // I/O status ST
constexpr u16 kVerify = 0x0093;       // 0 LOAD, otherwise VERIFY
constexpr u16 kBusByte = 0x0095;      // byte sent on the bus: under ATN or as data
constexpr u16 kReceived = 0x00A4;     // byte read by ACPTR
constexpr u16 kJiffyClock = 0x00A0;   // TI, three bytes, most significant first
constexpr u16 kLoadPointer = 0x00AE;  // where LOAD puts the next byte (word)
constexpr u16 kLastKey = 0x00C5;      // LSTX: matrix code of the last key
constexpr u16 kKeyCount = 0x00C6;     // NDX: characters in the keyboard buffer
constexpr u16 kCurrentKey = 0x00CB;   // SFDX: matrix code of the key held
constexpr u16 kKeyBuffer = 0x0277;    // KEYD: the keyboard buffer
constexpr u8 kKeyBufferSize = 10;
constexpr u16 kRepeatFlag = 0x028A;   // RPTFLG
constexpr u8 kNoKey = 0x40;           // matrix code of "no key"

// ---- the trap protocol: the patched routines store a request code in a
// register of the I/O 2 area, where no cartridge answers ----
constexpr u16 kTrapRequest = 0xDF80;
constexpr u8 kRequestAttention = 4;  // LISTEN/TALK/SECOND/TKSA/UNLISTEN/UNTALK
constexpr u8 kRequestSend = 5;       // CIOUT
constexpr u8 kRequestReceive = 6;    // ACPTR
constexpr u8 kRequestLoadRest = 7;   // LOAD: the rest of the file at once
constexpr u8 kFirstRequest = kRequestAttention;
constexpr u8 kLastRequest = kRequestLoadRest;

}  // namespace kernal

#endif

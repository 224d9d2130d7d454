// Typed port objects; each forwards to the static primitive of its width.
#include "hardwarecommunication/port.h"

namespace tarn {
namespace hardwarecommunication {

u8 Port8Bit::Read() { return Read8(portnumber); }
void Port8Bit::Write(u8 data) { Write8(portnumber, data); }
void Port8BitSlow::Write(u8 data) { Write8Slow(portnumber, data); }
u16 Port16Bit::Read() { return Read16(portnumber); }
void Port16Bit::Write(u16 data) { Write16(portnumber, data); }
u32 Port32Bit::Read() { return Read32(portnumber); }
void Port32Bit::Write(u32 data) { Write32(portnumber, data); }

}  // namespace hardwarecommunication
}  // namespace tarn

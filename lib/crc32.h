// CRC-32 as Ethernet, zip and GPT use it (reflected, polynomial 0x04C11DB7,
// initial value and final XOR all ones).
#ifndef TARN_LIB_CRC32_H
#define TARN_LIB_CRC32_H

#include "lib/types.h"

namespace tarn {

// Continues a CRC over more bytes: start with crc = 0.
u32 Crc32(const u8* data, u32 length, u32 crc = 0);

}  // namespace tarn

#endif

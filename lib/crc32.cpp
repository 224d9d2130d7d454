// CRC-32, bit by bit: the tables GPT checks are a few KiB, read once.
#include "lib/crc32.h"

namespace tarn {

u32 Crc32(const u8* data, u32 length, u32 crc) {
    crc = ~crc;
    for (u32 i = 0; i < length; i++) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; bit++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

}  // namespace tarn

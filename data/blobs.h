// Binary images linked in from data/blobs.S.
#ifndef TARN_DATA_BLOBS_H
#define TARN_DATA_BLOBS_H

#include "lib/types.h"

extern "C" {
extern const u8 data_basic_rom[], data_basic_rom_end[];    // 8 KiB at $A000
extern const u8 data_kernal_rom[], data_kernal_rom_end[];  // 8 KiB at $E000
extern const u8 data_char_rom[], data_char_rom_end[];      // 4 KiB character generator
extern const u8 data_monitor_prg[], data_monitor_prg_end[];  // resident monitor, loads at $9000
extern const u8 data_program_prg[], data_program_prg_end[];  // built-in program, loads at $0801
}

inline u32 data_size(const u8* begin, const u8* end) { return static_cast<u32>(end - begin); }

#endif

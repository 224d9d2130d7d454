#include <gtest/gtest.h>

#include "data/blobs.h"

// The ROM images are linked byte-exact into the host build.
TEST(Blobs, RomImagesHaveTheirChipSizes) {
    EXPECT_EQ(data_size(data_basic_rom, data_basic_rom_end), 8192u);
    EXPECT_EQ(data_size(data_kernal_rom, data_kernal_rom_end), 8192u);
    EXPECT_EQ(data_size(data_char_rom, data_char_rom_end), 4096u);
    EXPECT_EQ(data_kernal_rom[0x1FFC], 0xE2);  // reset vector $FCE2
    EXPECT_EQ(data_kernal_rom[0x1FFD], 0xFC);
}

TEST(Blobs, ProgramImagesHaveTheirFixedSizes) {
    EXPECT_EQ(data_size(data_monitor_prg, data_monitor_prg_end), 4225u);
    EXPECT_EQ(data_size(data_program_prg, data_program_prg_end), 47598u);
    EXPECT_EQ(data_monitor_prg[0] | data_monitor_prg[1] << 8, 0x9000);
    EXPECT_EQ(data_program_prg[0] | data_program_prg[1] << 8, 0x0801);
}

// Controller memory: aligned as asked, zeroed even where the heap hands back
// a block just written over, and given back whole (the sanitizer build sees
// a write past the block or a free of the wrong pointer).
#include <gtest/gtest.h>

#include "drivers/dma_memory.h"

using tarn::drivers::DeviceAddress;
using tarn::drivers::DmaAllocate;
using tarn::drivers::DmaFree;

TEST(DmaMemory, BlocksAreAlignedZeroedAndGivenBack) {
    for (u32 alignment : {1u, 64u, 1024u, 4096u}) {
        for (u32 bytes : {1u, 64u, 2112u, 4096u}) {
            u8* block = DmaAllocate(bytes, alignment);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(DeviceAddress(block) % alignment, 0u) << alignment;
            u32 nonzero = 0;
            for (u32 i = 0; i < bytes; i++) nonzero += block[i] != 0;
            EXPECT_EQ(nonzero, 0u) << bytes << " bytes at " << alignment;
            for (u32 i = 0; i < bytes; i++) block[i] = 0xFF;
            DmaFree(block);
        }
    }
    DmaFree(nullptr);
}

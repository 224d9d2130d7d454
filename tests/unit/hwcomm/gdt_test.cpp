#include <gtest/gtest.h>

#include <cstring>

#include "hardwarecommunication/cpu_control.h"
#include "kernel/gdt.h"
#include "tests/support/simbus.h"

using tarn::GlobalDescriptorTable;
using Descriptor = GlobalDescriptorTable::SegmentDescriptor;

TEST(Gdt, LimitUpTo64KiBIsKeptInBytes) {
    EXPECT_EQ(Descriptor::EncodedLimit(0), 0u);
    EXPECT_EQ(Descriptor::EncodedLimit(0xFFFF), 0xFFFFu);
    EXPECT_EQ(Descriptor::EncodedLimit(0x10000), 0x10000u);
    EXPECT_EQ(Descriptor::EncodedFlags(0x10000), 0x4);
}

TEST(Gdt, LimitAbove64KiBIsCountedInPages) {
    // 0x10001: 0x10 pages, minus one because the last page is partial.
    EXPECT_EQ(Descriptor::EncodedLimit(0x10001), 0x0Fu);
    EXPECT_EQ(Descriptor::EncodedFlags(0x10001), 0xC);
    // Whole pages: 0x1FFFF is 0x20 pages, stored as 0x1F.
    EXPECT_EQ(Descriptor::EncodedLimit(0x1FFFF), 0x1Fu);
    EXPECT_EQ(Descriptor::EncodedLimit(0xFFFFFFFF), 0xFFFFFu);
}

TEST(Gdt, DescriptorBytesFollowTheProcessorLayout) {
    Descriptor d(0x12345678, 0x10000, 0x9A);
    const uint8_t expected[8] = {0x00, 0x00, 0x78, 0x56, 0x34, 0x9A, 0x41, 0x12};
    EXPECT_EQ(sizeof(Descriptor), 8u);
    EXPECT_EQ(0, std::memcmp(d.Bytes(), expected, 8));
    EXPECT_EQ(d.Base(), 0x12345678u);
    EXPECT_EQ(d.Limit(), 0x10000u);
    EXPECT_EQ(d.Flags(), 0x4);
}

TEST(Gdt, FourGibibyteSegmentUsesPageGranularity) {
    Descriptor d(0, 0xFFFFFFFF, 0x92);
    const uint8_t expected[8] = {0xFF, 0xFF, 0x00, 0x00, 0x00, 0x92, 0xCF, 0x00};
    EXPECT_EQ(0, std::memcmp(d.Bytes(), expected, 8));
    EXPECT_EQ(d.Limit(), 0xFFFFFFFFu);
    Descriptor partial(0, 0x10001, 0x92);
    EXPECT_EQ(partial.Bytes()[0], 0x0F);
    EXPECT_EQ(partial.Bytes()[6], 0xC0);
    EXPECT_EQ(partial.Limit(), 0xFFFFu);  // the partial page is dropped
}

TEST(Gdt, TableHoldsNullUnusedCodeDataAndIsLoaded) {
    simbus::bus().reset();
    GlobalDescriptorTable gdt;
    EXPECT_EQ(gdt.CodeSegmentSelector(), 0x10);
    EXPECT_EQ(gdt.DataSegmentSelector(), 0x18);

    // Null descriptors: limit 0 is a byte-granular limit, so only the
    // 32-bit flag is set.
    const uint8_t null_bytes[8] = {0, 0, 0, 0, 0, 0, 0x40, 0};
    EXPECT_EQ(0, std::memcmp(gdt.Descriptor(0).Bytes(), null_bytes, 8));
    EXPECT_EQ(gdt.Descriptor(1).Access(), 0x00);
    EXPECT_EQ(gdt.Descriptor(1).Limit(), 0u);
    EXPECT_EQ(gdt.Descriptor(2).Access(), 0x9A);
    EXPECT_EQ(gdt.Descriptor(2).Limit(), 0xFFFFFFFFu);
    EXPECT_EQ(gdt.Descriptor(2).Base(), 0u);
    EXPECT_EQ(gdt.Descriptor(3).Access(), 0x92);
    EXPECT_EQ(gdt.Descriptor(3).Limit(), 0xFFFFFFFFu);

    // Descriptors sit at selector offsets inside the table that is loaded.
    const uint8_t* table = reinterpret_cast<const uint8_t*>(&gdt);
    EXPECT_EQ(gdt.Descriptor(2).Bytes(), table + 0x10);
    EXPECT_EQ(gdt.Descriptor(3).Bytes(), table + 0x18);
    ASSERT_EQ(simbus::bus().loaded_gdt, &gdt.LoadedPointer());
    EXPECT_EQ(gdt.LoadedPointer().limit, 32);
    EXPECT_EQ(gdt.LoadedPointer().base, reinterpret_cast<uintptr_t>(&gdt));
}

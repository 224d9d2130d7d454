// x86 global descriptor table: the flat ring-0 code and data segments.
#ifndef TARN_KERNEL_GDT_H
#define TARN_KERNEL_GDT_H

#include "lib/types.h"

namespace tarn {

class GlobalDescriptorTable {
public:
    // One 8-byte descriptor in the processor's format:
    //   bytes 0-1 limit 0..15      bytes 2-3 base 0..15     byte 4 base 16..23
    //   byte 5 access              byte 6 flags(hi) | limit 16..19(lo)
    //   byte 7 base 24..31
    // flags: G D/B L AVL  (G = 4 KiB granularity, D/B = 32-bit segment)
    class SegmentDescriptor {
    public:
        SegmentDescriptor(u32 base, u32 limit, u8 type);
        SegmentDescriptor() : SegmentDescriptor(0, 0, 0) {}

        u32 Base() const;
        u32 Limit() const;   // the limit in bytes the descriptor describes
        u8 Access() const { return type; }
        u8 Flags() const { return flags_limit_hi >> 4; }

        // Pure encoding of a byte limit: the 20-bit field stored and the flag
        // nibble (0x4 byte granularity up to 64 KiB, 0xC 4 KiB pages above).
        static u32 EncodedLimit(u32 limit);
        static u8 EncodedFlags(u32 limit);

        const u8* Bytes() const { return reinterpret_cast<const u8*>(this); }

    private:
        u16 limit_lo;
        u16 base_lo;
        u8 base_hi;
        u8 type;
        u8 flags_limit_hi;
        u8 base_vhi;
    } __attribute__((packed));

    GlobalDescriptorTable();
    ~GlobalDescriptorTable();

    u16 CodeSegmentSelector() const;   // 0x10
    u16 DataSegmentSelector() const;   // 0x18

    const SegmentDescriptor& Descriptor(int index) const;

    // What was handed to lgdt: limit and base of the table.
    struct Pointer {
        u16 limit;
        uintptr_t base;
    } __attribute__((packed));
    const Pointer& LoadedPointer() const { return pointer; }

private:
    SegmentDescriptor nullSegmentSelector;
    SegmentDescriptor unusedSegmentSelector;
    SegmentDescriptor codeSegmentSelector;
    SegmentDescriptor dataSegmentSelector;
    Pointer pointer;
};

}  // namespace tarn

#endif

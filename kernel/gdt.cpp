// x86 global descriptor table: builds the flat segments and loads them.
#include "kernel/gdt.h"

#include "hardwarecommunication/cpu_control.h"

namespace tarn {

namespace {
const u32 kByteGranularityMax = 0x10000;  // largest limit kept in bytes
const u8 kFlagsByte = 0x4;                // D/B: 32-bit, byte granularity
const u8 kFlagsPage = 0xC;                // G + D/B: 32-bit, 4 KiB granularity
const u8 kAccessCode = 0x9A;              // present, ring 0, code, readable
const u8 kAccessData = 0x92;              // present, ring 0, data, writable
const u16 kCodeSelector = 0x10;
const u16 kDataSelector = 0x18;
const u16 kGdtLimit = 32;                 // table byte size, as loaded
}  // namespace

u32 GlobalDescriptorTable::SegmentDescriptor::EncodedLimit(u32 limit) {
    if (limit <= kByteGranularityMax) return limit;
    // Pages: a limit ending in 0xFFF covers whole pages; otherwise the
    // partial last page is dropped.
    if ((limit & 0xFFF) == 0xFFF) return limit >> 12;
    return (limit >> 12) - 1;
}

u8 GlobalDescriptorTable::SegmentDescriptor::EncodedFlags(u32 limit) {
    return limit <= kByteGranularityMax ? kFlagsByte : kFlagsPage;
}

GlobalDescriptorTable::SegmentDescriptor::SegmentDescriptor(u32 base, u32 limit, u8 access) {
    u32 field = EncodedLimit(limit);
    limit_lo = static_cast<u16>(field & 0xFFFF);
    // 0x10000 itself does not fit 16 bits: bit 16 lands in the high nibble.
    flags_limit_hi = static_cast<u8>((EncodedFlags(limit) << 4) | ((field >> 16) & 0x0F));
    base_lo = static_cast<u16>(base & 0xFFFF);
    base_hi = static_cast<u8>((base >> 16) & 0xFF);
    base_vhi = static_cast<u8>((base >> 24) & 0xFF);
    type = access;
}

u32 GlobalDescriptorTable::SegmentDescriptor::Base() const {
    return static_cast<u32>(base_lo) | static_cast<u32>(base_hi) << 16 |
           static_cast<u32>(base_vhi) << 24;
}

u32 GlobalDescriptorTable::SegmentDescriptor::Limit() const {
    u32 field = static_cast<u32>(limit_lo) | static_cast<u32>(flags_limit_hi & 0x0F) << 16;
    if (flags_limit_hi & 0x80) return field << 12 | 0xFFF;
    return field;
}

GlobalDescriptorTable::GlobalDescriptorTable()
    : nullSegmentSelector(0, 0, 0),
      unusedSegmentSelector(0, 0, 0),
      codeSegmentSelector(0, 0xFFFFFFFF, kAccessCode),
      dataSegmentSelector(0, 0xFFFFFFFF, kAccessData) {
    pointer.limit = kGdtLimit;
    pointer.base = reinterpret_cast<uintptr_t>(this);
    hardwarecommunication::cpu_load_gdt(&pointer);
}

GlobalDescriptorTable::~GlobalDescriptorTable() {}

u16 GlobalDescriptorTable::CodeSegmentSelector() const { return kCodeSelector; }
u16 GlobalDescriptorTable::DataSegmentSelector() const { return kDataSelector; }

const GlobalDescriptorTable::SegmentDescriptor& GlobalDescriptorTable::Descriptor(int index) const {
    switch (index) {
    case 1: return unusedSegmentSelector;
    case 2: return codeSegmentSelector;
    case 3: return dataSegmentSelector;
    default: return nullSegmentSelector;
    }
}

}  // namespace tarn

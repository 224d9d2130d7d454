// What the boot loader tells the kernel, read once from the Multiboot
// (version 1) information block into a BootInfo the kernel keeps: the
// framebuffer with its pixel layout, the usable memory below 4 GiB and the
// command line. Everything is copied, so the block's memory may be reused.
#ifndef TARN_KERNEL_MULTIBOOT_H
#define TARN_KERNEL_MULTIBOOT_H

#include "lib/types.h"

namespace tarn {

// Byte offsets of the information block's fields, and its flag bits.
namespace mbi {
const u32 kFlags = 0;            // u32
const u32 kMemUpper = 8;         // u32, KiB of memory above 1 MiB up to the first hole
const u32 kCmdline = 16;         // u32 physical address of a C string
const u32 kMmapLength = 44;      // u32 bytes of memory-map entries
const u32 kMmapAddr = 48;        // u32 physical address of the first entry
const u32 kFbAddr = 88;          // u64 physical address
const u32 kFbPitch = 96;         // u32 bytes per scan line
const u32 kFbWidth = 100;        // u32 pixels
const u32 kFbHeight = 104;       // u32 pixels
const u32 kFbBpp = 108;          // u8 bits per pixel
const u32 kFbType = 109;         // u8: 0 palette, 1 direct RGB, 2 EGA text
const u32 kFbColourInfo = 110;   // u8 pairs (position, size) for red, green, blue
const u32 kSize = 116;           // bytes up to the end of the colour fields

const u32 kFlagMemory = 1u << 0;
const u32 kFlagCmdline = 1u << 2;
const u32 kFlagMemoryMap = 1u << 6;
const u32 kFlagFramebuffer = 1u << 12;

const u8 kFbTypeRgb = 1;
const u32 kMemoryAvailable = 1;  // memory-map entry type of usable RAM
}  // namespace mbi

struct FramebufferInfo {
    u64 address = 0;
    u32 width = 0, height = 0, pitch = 0;
    u8 bpp = 0;
    u8 type = 0;
    // Bit position and width of each channel within a pixel.
    u8 red_position = 0, red_size = 0;
    u8 green_position = 0, green_size = 0;
    u8 blue_position = 0, blue_size = 0;
};

struct MemoryRegion {
    u64 base = 0;
    u64 length = 0;
};

struct BootInfo {
    static const u32 kMaxRegions = 32;
    static const u32 kMaxCmdline = 256;

    bool has_framebuffer = false;
    FramebufferInfo framebuffer;
    // Usable RAM below 4 GiB, in the loader's order; from the memory map
    // where there is one, else 1 MiB up to mem_upper.
    MemoryRegion usable[kMaxRegions];
    u32 usable_count = 0;
    bool has_memory_info = false;
    char cmdline[kMaxCmdline] = {};  // empty without one; cut to fit
};

// Where the byte at a physical address can be read: the address itself in
// the kernel (memory is identity-mapped); tests point it at their buffers.
typedef const u8* (*PhysicalReader)(u32 address);
const u8* identity_physical(u32 address);

// Reads the information block at mbi (null gives an empty BootInfo).
void read_boot_info(const void* mbi, BootInfo* out, PhysicalReader physical = identity_physical);

}  // namespace tarn

#endif

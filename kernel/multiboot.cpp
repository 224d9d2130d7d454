// Reading the Multiboot information block into a BootInfo.
#include "kernel/multiboot.h"

namespace tarn {

namespace {

const u64 kFourGiB = 0x100000000ull;
const u64 kOneMiB = 0x100000;
const u32 kMaxMapBytes = 64 * 1024;   // far more than any firmware's map
const u32 kMapEntryMin = 20;          // base, length and type after the size word

u32 le32(const u8* p) { return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24; }
u64 le64(const u8* p) { return u64(le32(p)) | u64(le32(p + 4)) << 32; }

void add_usable(BootInfo* out, u64 base, u64 length) {
    if (base >= kFourGiB || length == 0) return;
    if (length > kFourGiB - base) length = kFourGiB - base;
    if (out->usable_count == BootInfo::kMaxRegions) return;
    out->usable[out->usable_count].base = base;
    out->usable[out->usable_count].length = length;
    out->usable_count++;
}

// Entries: u32 size of the rest, u64 base, u64 length, u32 type.
void read_memory_map(const u8* block, BootInfo* out, PhysicalReader physical) {
    u32 length = le32(block + mbi::kMmapLength);
    u32 address = le32(block + mbi::kMmapAddr);
    if (length > kMaxMapBytes) length = kMaxMapBytes;
    const u8* map = physical(address);
    if (!map) return;
    u32 offset = 0;
    while (offset + 4 + kMapEntryMin <= length) {
        const u8* entry = map + offset;
        u32 size = le32(entry);
        if (size < kMapEntryMin) break;  // a broken map ends here
        if (le32(entry + 20) == mbi::kMemoryAvailable) add_usable(out, le64(entry + 4), le64(entry + 12));
        offset += size + 4;
    }
    out->has_memory_info = true;
}

void read_framebuffer(const u8* block, BootInfo* out) {
    FramebufferInfo& fb = out->framebuffer;
    fb.address = le64(block + mbi::kFbAddr);
    fb.pitch = le32(block + mbi::kFbPitch);
    fb.width = le32(block + mbi::kFbWidth);
    fb.height = le32(block + mbi::kFbHeight);
    fb.bpp = block[mbi::kFbBpp];
    fb.type = block[mbi::kFbType];
    const u8* colour = block + mbi::kFbColourInfo;
    fb.red_position = colour[0];
    fb.red_size = colour[1];
    fb.green_position = colour[2];
    fb.green_size = colour[3];
    fb.blue_position = colour[4];
    fb.blue_size = colour[5];
    out->has_framebuffer = true;
}

void read_cmdline(const u8* block, BootInfo* out, PhysicalReader physical) {
    const u8* line = physical(le32(block + mbi::kCmdline));
    if (!line) return;
    u32 i = 0;
    for (; i + 1 < BootInfo::kMaxCmdline && line[i]; i++) out->cmdline[i] = static_cast<char>(line[i]);
    out->cmdline[i] = 0;
}

}  // namespace

const u8* identity_physical(u32 address) {
    return address ? reinterpret_cast<const u8*>(static_cast<uintptr_t>(address)) : nullptr;
}

void read_boot_info(const void* mbi, BootInfo* out, PhysicalReader physical) {
    *out = BootInfo();
    if (!mbi) return;
    const u8* block = static_cast<const u8*>(mbi);
    u32 flags = le32(block + mbi::kFlags);
    if (flags & mbi::kFlagMemoryMap) {
        read_memory_map(block, out, physical);
    } else if (flags & mbi::kFlagMemory) {
        add_usable(out, kOneMiB, u64(le32(block + mbi::kMemUpper)) * 1024);
        out->has_memory_info = true;
    }
    if (flags & mbi::kFlagFramebuffer) read_framebuffer(block, out);
    if (flags & mbi::kFlagCmdline) read_cmdline(block, out, physical);
}

}  // namespace tarn

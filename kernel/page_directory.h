// The kernel's page tables: an identity map of the 4 GiB address space, so
// every address still means the same byte once paging is on. Pages take the
// memory type the memory-type range registers give (PAT entry 0, write-back
// deferring to them), as without paging, except the framebuffer, which goes
// through PAT entry 4, set to write-combining: its stores then leave the
// processor in full bursts instead of one uncached bus cycle each.
#ifndef TARN_KERNEL_PAGE_DIRECTORY_H
#define TARN_KERNEL_PAGE_DIRECTORY_H

#include "lib/types.h"

namespace tarn {

const u32 kPageEntries = 1024;
const u32 kPresent = 1u << 0;
const u32 kWritable = 1u << 1;
const u32 kLargePage = 1u << 7;       // directory entry maps 4 MiB itself
const u32 kPatLargePage = 1u << 12;   // PAT index bit 2 in a 4 MiB entry
const u32 kPatSmallPage = 1u << 7;    // PAT index bit 2 in a 4 KiB entry
// PAT entries 0-3 as at reset (WB, WT, UC-, UC), 4 write-combining, 5-7 as at reset.
const u64 kPatValue = 0x0007040100070406ull;

// The directory and the two page tables a range needs where it starts and
// ends inside a 4 MiB block (only its own pages there become write-combining).
struct alignas(4096) PageTables {
    u32 directory[kPageEntries];
    u32 edge[2][kPageEntries];
};

// Fills tables for the identity map with [wc_base, wc_base + wc_size)
// write-combining (nothing when wc_size is 0). edge_address holds the
// physical addresses of tables->edge[0] and [1], as the directory names them.
void build_identity_map(PageTables* tables, const u32 edge_address[2], u32 wc_base, u32 wc_size);

}  // namespace tarn

#endif

// Building the identity map with a write-combining framebuffer.
#include "kernel/page_directory.h"

namespace tarn {

namespace {
const u32 kLargeShift = 22;
const u32 kSmallShift = 12;
const u64 kLargeSize = 1ull << kLargeShift;
const u64 kSmallSize = 1ull << kSmallShift;

bool inside(u64 start, u64 size, u64 base, u64 end) { return start >= base && start + size <= end; }
bool overlaps(u64 start, u64 size, u64 base, u64 end) { return start < end && start + size > base; }
}  // namespace

void build_identity_map(PageTables* tables, const u32 edge_address[2], u32 wc_base, u32 wc_size) {
    const u64 base = wc_base, end = u64(wc_base) + wc_size;
    u32 edges_used = 0;
    for (u32 i = 0; i < kPageEntries; i++) {
        const u64 block = u64(i) << kLargeShift;
        u32 entry = static_cast<u32>(block) | kPresent | kWritable | kLargePage;
        if (wc_size && inside(block, kLargeSize, base, end)) {
            entry |= kPatLargePage;
        } else if (wc_size && overlaps(block, kLargeSize, base, end) && edges_used < 2) {
            u32* table = tables->edge[edges_used];
            for (u32 k = 0; k < kPageEntries; k++) {
                const u64 page = block + (u64(k) << kSmallShift);
                table[k] = static_cast<u32>(page) | kPresent | kWritable |
                           (inside(page, kSmallSize, base, end) ? kPatSmallPage : 0);
            }
            entry = edge_address[edges_used++] | kPresent | kWritable;
        }
        tables->directory[i] = entry;
    }
}

}  // namespace tarn

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "kernel/memorymanagement.h"

using tarn::HeapChunk;
using tarn::MemoryManager;

namespace {

constexpr u32 kHeader = MemoryManager::kHeaderSize;
constexpr u32 kArena = 1 << 16;

// The manager takes a 32-bit start address, so the region must lie below
// 4 GiB; MAP_32BIT places it there on x86-64.
class Heap : public ::testing::Test {
protected:
    void SetUp() override {
        void* p = mmap(nullptr, kArena, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
        ASSERT_NE(p, MAP_FAILED);
        arena = static_cast<u8*>(p);
        memset(arena, 0xA5, kArena);
    }
    void TearDown() override {
        MemoryManager::activeMemoryManager = nullptr;
        munmap(arena, kArena);
    }
    u32 start() const { return static_cast<u32>(reinterpret_cast<uintptr_t>(arena)); }
    static HeapChunk* header(void* payload) { return reinterpret_cast<HeapChunk*>(static_cast<u8*>(payload) - kHeader); }

    // Walks the list, checking links both ways and that the chunks tile
    // the region with no gap; returns (allocated, size) per chunk.
    static std::vector<std::pair<bool, u32>> chunks(const MemoryManager& mm, u32 region) {
        std::vector<std::pair<bool, u32>> out;
        u32 total = 0;
        HeapChunk* prev = nullptr;
        for (HeapChunk* c = mm.FirstChunk(); c; c = c->next) {
            EXPECT_EQ(c->prev, prev);
            if (prev) EXPECT_EQ(reinterpret_cast<u8*>(c), reinterpret_cast<u8*>(prev) + kHeader + prev->size);
            total += kHeader + c->size;
            out.emplace_back(c->allocated, c->size);
            prev = c;
        }
        EXPECT_EQ(total, region);
        return out;
    }
    using Chunks = std::vector<std::pair<bool, u32>>;

    u8* arena = nullptr;
};

TEST_F(Heap, HeaderIsFourPointerSizedFieldsAndPayloadFollowsIt) {
    // 16 bytes on i386 (checked at compile time in the kernel build).
    EXPECT_EQ(kHeader, sizeof(HeapChunk));
    MemoryManager mm(start(), 1000);
    void* p = mm.malloc(64);
    EXPECT_EQ(static_cast<u8*>(p), arena + kHeader);
    void* q = mm.malloc(64);
    EXPECT_EQ(static_cast<u8*>(q), arena + kHeader + 64 + kHeader);
}

TEST_F(Heap, RegionSmallerThanAHeaderGivesNoChunkAndEveryMallocFails) {
    MemoryManager mm(start(), kHeader - 1);
    EXPECT_EQ(mm.FirstChunk(), nullptr);
    EXPECT_EQ(mm.malloc(0), nullptr);
    EXPECT_EQ(mm.malloc(1), nullptr);
    EXPECT_EQ(arena[0], 0xA5) << "a region too small is left untouched";
}

TEST_F(Heap, RegionOfExactlyOneHeaderHasAnEmptyChunkThatCannotServe) {
    MemoryManager mm(start(), kHeader);
    ASSERT_NE(mm.FirstChunk(), nullptr);
    EXPECT_EQ(mm.FirstChunk()->size, 0u);
    EXPECT_EQ(mm.malloc(0), nullptr);
}

TEST_F(Heap, FreshHeapIsOneFreeChunkOfTheRegionLessItsHeader) {
    MemoryManager mm(start(), 1000);
    EXPECT_EQ(chunks(mm, 1000), (Chunks{{false, 1000 - kHeader}}));
    EXPECT_EQ(mm.FirstChunk()->prev, nullptr);
    EXPECT_EQ(mm.FirstChunk()->next, nullptr);
}

TEST_F(Heap, RequestMustBeStrictlySmallerThanTheFreePayload) {
    const u32 n = 1000;
    MemoryManager mm(start(), n);
    EXPECT_EQ(mm.malloc(n - kHeader), nullptr);
    void* p = mm.malloc(n - kHeader - 1);
    ASSERT_NE(p, nullptr);
    // Too little left for a header plus a byte: handed out whole.
    EXPECT_EQ(chunks(mm, n), (Chunks{{true, n - kHeader}}));
    EXPECT_EQ(mm.malloc(0), nullptr);
}

TEST_F(Heap, SplitLeavesTheRestAsAFreeChunkRightBehindTheBlock) {
    MemoryManager mm(start(), 1000);
    void* p = mm.malloc(96);
    ASSERT_EQ(static_cast<u8*>(p), arena + kHeader);
    EXPECT_EQ(chunks(mm, 1000), (Chunks{{true, 96}, {false, 1000 - kHeader - 96 - kHeader}}));
    HeapChunk* rest = header(p)->next;
    EXPECT_EQ(reinterpret_cast<u8*>(rest), static_cast<u8*>(p) + 96);
}

TEST_F(Heap, SplitNeedsRoomForAHeaderAndOneByte) {
    // Exactly header + 1 spare bytes: split, leaving a 1-byte free chunk.
    u32 region = kHeader + 64 + kHeader + 1;
    MemoryManager a(start(), region);
    ASSERT_NE(a.malloc(64), nullptr);
    EXPECT_EQ(chunks(a, region), (Chunks{{true, 64}, {false, 1}}));

    // One byte less: no split, the block keeps the spare bytes.
    region -= 1;
    MemoryManager b(start(), region);
    ASSERT_NE(b.malloc(64), nullptr);
    EXPECT_EQ(chunks(b, region), (Chunks{{true, 64 + kHeader}}));
}

TEST_F(Heap, FirstFitTakesTheEarliestFreeChunkLargeEnough) {
    MemoryManager mm(start(), 4096);
    u8* a = static_cast<u8*>(mm.malloc(64));
    u8* b = static_cast<u8*>(mm.malloc(256));
    u8* c = static_cast<u8*>(mm.malloc(64));
    u8* d = static_cast<u8*>(mm.malloc(256));
    ASSERT_TRUE(a && b && c && d);
    mm.free(b);
    mm.free(d);
    // b's hole is the first that fits, though d's was freed later.
    EXPECT_EQ(mm.malloc(128), b);
    // A request no earlier hole strictly exceeds goes past them.
    u8* e = static_cast<u8*>(mm.malloc(256));
    EXPECT_EQ(e, d);
}

TEST_F(Heap, FreeChunkOfExactlyTheRequestedSizeIsPassedOver) {
    MemoryManager mm(start(), 4096);
    u8* a = static_cast<u8*>(mm.malloc(64));
    u8* b = static_cast<u8*>(mm.malloc(64));
    ASSERT_TRUE(a && b);
    mm.free(a);
    u8* c = static_cast<u8*>(mm.malloc(64));
    EXPECT_GT(c, b);
    EXPECT_EQ(mm.malloc(56), a);
}

TEST_F(Heap, FreeMergesWithAFreeChunkBehind) {
    MemoryManager mm(start(), 1000);
    void* a = mm.malloc(64);
    void* b = mm.malloc(64);
    void* c = mm.malloc(64);
    mm.free(a);
    mm.free(b);
    EXPECT_EQ(chunks(mm, 1000), (Chunks{{false, 64 + kHeader + 64}, {true, 64}, {false, 1000 - 4 * kHeader - 192}}));
    (void)c;
}

TEST_F(Heap, FreeMergesWithAFreeChunkAhead) {
    MemoryManager mm(start(), 1000);
    void* a = mm.malloc(64);
    void* b = mm.malloc(64);
    void* c = mm.malloc(64);
    mm.free(c);  // joins the free tail
    EXPECT_EQ(chunks(mm, 1000), (Chunks{{true, 64}, {true, 64}, {false, 1000 - 3 * kHeader - 128}}));
    mm.free(b);  // joins what is now ahead of it
    EXPECT_EQ(chunks(mm, 1000), (Chunks{{true, 64}, {false, 1000 - 2 * kHeader - 64}}));
    (void)a;
}

TEST_F(Heap, FreeingTheMiddleOfThreeJoinsThemIntoOneChunkHeadersIncluded) {
    MemoryManager mm(start(), 1000);
    void* a = mm.malloc(64);
    void* b = mm.malloc(96);
    void* c = mm.malloc(128);
    void* d = mm.malloc(32);  // keeps c's neighbour ahead allocated
    mm.free(a);
    mm.free(c);
    mm.free(b);
    Chunks list = chunks(mm, 1000);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (std::pair<bool, u32>{false, 64 + kHeader + 96 + kHeader + 128}));
    EXPECT_EQ(list[1], (std::pair<bool, u32>{true, 32}));
    EXPECT_EQ(header(d)->prev, mm.FirstChunk());
    // The joined chunk serves a request that spans all three.
    EXPECT_EQ(mm.malloc(64 + 96 + 128), a);
}

TEST_F(Heap, FreeingEverythingRestoresOneChunk) {
    MemoryManager mm(start(), kArena);
    std::vector<void*> blocks;
    for (u32 i = 0; i < 50; i++) blocks.push_back(mm.malloc(8 * (i % 7 + 1)));
    for (size_t i = 0; i < blocks.size(); i += 2) mm.free(blocks[i]);
    for (size_t i = 1; i < blocks.size(); i += 2) mm.free(blocks[i]);
    EXPECT_EQ(chunks(mm, kArena), (Chunks{{false, kArena - kHeader}}));
}

TEST_F(Heap, ExhaustionReturnsNullAndFreeingMakesRoomAgain) {
    const u32 region = 1024;
    MemoryManager mm(start(), region);
    std::vector<void*> blocks;
    for (void* p; (p = mm.malloc(64)) != nullptr;) blocks.push_back(p);
    EXPECT_EQ(blocks.size(), (region - kHeader) / (64 + kHeader));
    for (auto [allocated, size] : chunks(mm, region))
        if (!allocated) EXPECT_LE(size, 64u) << "a free chunk could still have served";
    mm.free(blocks[3]);
    EXPECT_EQ(mm.malloc(32), blocks[3]);
    EXPECT_EQ(mm.malloc(4 * region), nullptr);
}

TEST_F(Heap, BlocksDoNotOverlap) {
    MemoryManager mm(start(), 4096);
    u8* a = static_cast<u8*>(mm.malloc(200));
    u8* b = static_cast<u8*>(mm.malloc(200));
    ASSERT_TRUE(a && b);
    memset(a, 0x11, 200);
    memset(b, 0x22, 200);
    EXPECT_EQ(a[199], 0x11);
    EXPECT_EQ(b[0], 0x22);
    EXPECT_EQ(chunks(mm, 4096).size(), 3u) << "headers intact after writing full payloads";
}

TEST_F(Heap, FreeOfNullLeavesTheHeapAlone) {
    MemoryManager mm(start(), 1000);
    void* a = mm.malloc(64);
    Chunks before = chunks(mm, 1000);
    mm.free(nullptr);
    EXPECT_EQ(chunks(mm, 1000), before);
    EXPECT_EQ(header(a)->allocated, true);
}

TEST_F(Heap, NewestManagerIsActiveAndDestroyingItClearsTheActivePointer) {
    EXPECT_EQ(MemoryManager::activeMemoryManager, nullptr);
    MemoryManager first(start(), 1000);
    EXPECT_EQ(MemoryManager::activeMemoryManager, &first);
    {
        MemoryManager second(start() + 2048, 1000);
        EXPECT_EQ(MemoryManager::activeMemoryManager, &second);
        EXPECT_EQ(static_cast<u8*>(MemoryManager::AllocateFromActive(8)), arena + 2048 + kHeader);
    }
    // The older manager is not reinstated.
    EXPECT_EQ(MemoryManager::activeMemoryManager, nullptr);
    EXPECT_EQ(MemoryManager::AllocateFromActive(8), nullptr);
}

TEST_F(Heap, DestroyingAnInactiveManagerKeepsTheActiveOne) {
    MemoryManager* older = new MemoryManager(start(), 1000);
    MemoryManager newer(start() + 2048, 1000);
    delete older;
    EXPECT_EQ(MemoryManager::activeMemoryManager, &newer);
}

TEST_F(Heap, OperatorPathsDoNothingWithoutAnActiveManager) {
    MemoryManager::activeMemoryManager = nullptr;
    EXPECT_EQ(MemoryManager::AllocateFromActive(16), nullptr);
    MemoryManager::FreeToActive(arena + kHeader);  // must not touch anything
    EXPECT_EQ(arena[0], 0xA5);
}

TEST_F(Heap, OperatorPathsUseTheActiveManagerAndIgnoreNull) {
    MemoryManager mm(start(), 1000);
    void* p = MemoryManager::AllocateFromActive(64);
    EXPECT_EQ(static_cast<u8*>(p), arena + kHeader);
    MemoryManager::FreeToActive(nullptr);
    EXPECT_TRUE(header(p)->allocated);
    MemoryManager::FreeToActive(p);
    EXPECT_EQ(chunks(mm, 1000), (Chunks{{false, 1000 - kHeader}}));
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/framebuffer/framebuffer_screen.h"
#include "kernel/globals.h"
#include "kernel/multiboot.h"
#include "kernel/page_directory.h"
#include "kernel/startup.h"
#include "tests/support/sim_pci.h"
#include "tests/support/sim_vbe.h"
#include "tests/support/simbus.h"

namespace {

// A Multiboot information block, with its memory map and command line at
// made-up physical addresses the reader below resolves.
struct Mbi {
    uint8_t bytes[tarn::mbi::kSize] = {};
    std::vector<uint8_t> map;
    std::string cmdline;
    static constexpr uint32_t kMapAt = 0x9000, kCmdlineAt = 0x9800;

    void u32at(uint32_t off, uint32_t v) { std::memcpy(bytes + off, &v, 4); }
    uint32_t flags() const {
        uint32_t v;
        std::memcpy(&v, bytes, 4);
        return v;
    }
    Mbi& set(uint32_t flag) { u32at(tarn::mbi::kFlags, flags() | flag); return *this; }
    Mbi& fb(uint64_t addr, uint32_t w, uint32_t h, uint32_t pitch, uint8_t bpp, uint8_t type = 1) {
        set(tarn::mbi::kFlagFramebuffer);
        std::memcpy(bytes + tarn::mbi::kFbAddr, &addr, 8);
        u32at(tarn::mbi::kFbWidth, w);
        u32at(tarn::mbi::kFbHeight, h);
        u32at(tarn::mbi::kFbPitch, pitch);
        bytes[tarn::mbi::kFbBpp] = bpp;
        bytes[tarn::mbi::kFbType] = type;
        return *this;
    }
    Mbi& colours(uint8_t rp, uint8_t rs, uint8_t gp, uint8_t gs, uint8_t bp, uint8_t bs) {
        uint8_t c[6] = {rp, rs, gp, gs, bp, bs};
        std::memcpy(bytes + tarn::mbi::kFbColourInfo, c, 6);
        return *this;
    }
    Mbi& region(uint64_t base, uint64_t length, uint32_t type, uint32_t size = 20) {
        set(tarn::mbi::kFlagMemoryMap);
        size_t at = map.size();
        map.resize(at + 4 + size);
        std::memcpy(&map[at], &size, 4);
        std::memcpy(&map[at + 4], &base, 8);
        std::memcpy(&map[at + 12], &length, 8);
        std::memcpy(&map[at + 20], &type, 4);
        u32at(tarn::mbi::kMmapAddr, kMapAt);
        u32at(tarn::mbi::kMmapLength, static_cast<uint32_t>(map.size()));
        return *this;
    }
    Mbi& line(const std::string& text) {
        set(tarn::mbi::kFlagCmdline);
        cmdline = text;
        u32at(tarn::mbi::kCmdline, kCmdlineAt);
        return *this;
    }
    tarn::BootInfo read() const {
        current = this;
        tarn::BootInfo info;
        tarn::read_boot_info(bytes, &info, [](u32 address) -> const u8* {
            if (address == kMapAt) return current->map.data();
            if (address == kCmdlineAt) return reinterpret_cast<const u8*>(current->cmdline.c_str());
            return nullptr;
        });
        return info;
    }
    static const Mbi* current;
};
const Mbi* Mbi::current = nullptr;

const uint32_t kAvailable = 1, kReserved = 2;

TEST(BootInfo, UsableRegionsComeFromTheMemoryMapAndStopAtFourGigabytes) {
    Mbi m;
    m.u32at(tarn::mbi::kMemUpper, 1024);   // the first hole, as UEFI machines report it
    m.set(tarn::mbi::kFlagMemory);
    m.region(0, 0x9F000, kAvailable)
        .region(0x9F000, 0x61000, kReserved)
        .region(0x100000, 0x700000, kAvailable)
        .region(0x800000, 0x8000, kReserved)     // a firmware hole
        .region(0x808000, 0x7000000, kAvailable)
        .region(0xFFF00000, 0x200000, kAvailable)  // crosses 4 GiB
        .region(0x100000000ull, 0x40000000, kAvailable);
    tarn::BootInfo info = m.read();
    ASSERT_EQ(info.usable_count, 4u);
    EXPECT_EQ(info.usable[2].base, 0x808000u);
    EXPECT_EQ(info.usable[3].length, 0x100000u);
    EXPECT_EQ(startup::usable_memory(info), 0x9F000u + 0x700000u + 0x7000000u + 0x100000u);
    // The heap takes the largest stretch above the kernel, not mem_upper.
    startup::HeapRegion heap = startup::choose_heap(info, 0x343651);
    EXPECT_EQ(heap.start, 0x808000u);
    EXPECT_EQ(heap.size, 0x7000000u);
    heap = startup::choose_heap(info, 0x4000000);
    EXPECT_EQ(heap.start, 0x4000000u);
    EXPECT_EQ(heap.size, 0x3808000u);
}

TEST(BootInfo, ABrokenMapEndsAtItsFirstBadEntryAndMemUpperServesWithoutAMap) {
    Mbi broken;
    broken.region(0x100000, 0x1000000, kAvailable).region(0x2000000, 0x1000000, kAvailable, 8);
    EXPECT_EQ(broken.read().usable_count, 1u);
    Mbi old;
    old.set(tarn::mbi::kFlagMemory).u32at(tarn::mbi::kMemUpper, 130048);   // 128 MiB machine
    tarn::BootInfo info = old.read();
    startup::HeapRegion heap = startup::choose_heap(info, 0x343651);
    EXPECT_EQ(heap.start, 0x344000u);
    EXPECT_EQ(heap.start + heap.size, 0x100000u + 130048u * 1024);
    Mbi none;
    heap = startup::choose_heap(none.read(), 0x343651);
    EXPECT_EQ(heap.start + heap.size, 16u << 20);   // assumed, not claimed beyond
}

TEST(BootInfo, TheCommandLineIsCopiedAndCutToFit) {
    Mbi m;
    m.line("/boot/tarn.elf c64 volume=1234-ABCD");
    EXPECT_STREQ(m.read().cmdline, "/boot/tarn.elf c64 volume=1234-ABCD");
    m.line(std::string(1000, 'x'));
    EXPECT_EQ(std::strlen(m.read().cmdline), tarn::BootInfo::kMaxCmdline - 1);
    Mbi no_flag;
    no_flag.u32at(tarn::mbi::kCmdline, Mbi::kCmdlineAt);
    EXPECT_STREQ(no_flag.read().cmdline, "");
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        simbus::bus().attach(&vbe);
        simbus::bus().attach(&pci);
        pci.add_standard_machine();   // adapter 1234:1111, BAR 0 0xFD000008
    }
    void TearDown() override {
        simbus::bus().reset();
        g_fb_addr = nullptr;
    }
    uintptr_t fb() const { return reinterpret_cast<uintptr_t>(g_fb_addr); }

    simbus::SimVbe vbe;
    simbus::SimPci pci;
};

TEST_F(Startup, BootLoaderFramebufferIsTakenWithItsChannelLayoutWithoutTouchingTheAdapter) {
    Mbi m;
    m.fb(0xFC000000, 1920, 1080, 7680, 32).colours(0, 8, 8, 8, 16, 8);   // red in the low byte
    startup::Display d = startup::choose_framebuffer(m.read());
    EXPECT_TRUE(d.from_loader);
    EXPECT_EQ(fb(), 0xFC000000u);
    EXPECT_EQ(g_fb_width, 1920u);
    EXPECT_EQ(g_fb_pitch, 7680u);
    EXPECT_EQ(g_fb_bpp, 32);
    EXPECT_EQ(d.format.encode(0x123456), 0x563412u);
    EXPECT_TRUE(vbe.writes().empty());
}

TEST_F(Startup, AFramebufferTheKernelCannotDriveFallsToTheAdapterMode) {
    struct Case {
        uint64_t addr;
        uint32_t w, pitch;
        uint8_t bpp, type;
    } cases[] = {
        {0xFC000000, 319, 1600, 16, 1},        // too narrow
        {0xFC000000, 800, 800, 8, 0},          // palette
        {0xFC000000, 800, 1600, 16, 2},        // EGA text
        {0xFC000000, 800, 1000, 16, 1},        // pitch shorter than a line
        {0, 800, 1600, 16, 1},                 // no address
        {0x100000000ull, 800, 3200, 32, 1},    // above 4 GiB: unreachable without PAE
        {0xFFF00000, 800, 3200, 32, 1},        // runs past 4 GiB
    };
    for (const Case& c : cases) {
        Mbi m;
        m.fb(c.addr, c.w, 600, c.pitch, c.bpp, c.type);
        startup::Display d = startup::choose_framebuffer(m.read());
        EXPECT_FALSE(d.from_loader) << c.w << "x" << int(c.bpp);
        EXPECT_EQ(fb(), 0xFD000000u);
        EXPECT_EQ(g_fb_width, 800u);
        EXPECT_EQ(g_fb_pitch, 1600u);
        EXPECT_EQ(g_fb_bpp, 16);
        EXPECT_TRUE(vbe.lfb_enabled());
        EXPECT_EQ(vbe.reg(simbus::SimVbe::kBpp), 16);
    }
}

TEST_F(Startup, WithoutAUsableFramebufferOrAnAdapterThereIsNoDisplay) {
    vbe.set_id(0xB0D0);
    Mbi m;
    m.fb(0xFC000000, 640, 480, 640, 8, 0);
    startup::Display d = startup::choose_framebuffer(m.read());
    EXPECT_EQ(d.video, nullptr);
    EXPECT_EQ(fb(), 0u);
    EXPECT_TRUE(vbe.writes().empty());
}

TEST(StartupCmdline, TheWordC64AloneAsksForFullMode) {
    EXPECT_TRUE(startup::cmdline_requests_full_mode("c64"));
    EXPECT_TRUE(startup::cmdline_requests_full_mode("/boot/tarn.elf c64"));
    EXPECT_TRUE(startup::cmdline_requests_full_mode("build/tarn.elf  c64  quiet"));
    EXPECT_FALSE(startup::cmdline_requests_full_mode("/boot/tarn.elf"));
    EXPECT_FALSE(startup::cmdline_requests_full_mode("/boot/c64.elf c644 xc64"));
    EXPECT_FALSE(startup::cmdline_requests_full_mode(""));
    EXPECT_FALSE(startup::cmdline_requests_full_mode(nullptr));
}

TEST(StartupBanner, WritesTwelveWhiteOnBlueCellsAndNothingElse) {
    std::vector<uint16_t> text(80 * 25, 0x0720);
    startup::text_banner(text.data());
    const char* want = "TARN BOOT OK";
    for (int i = 0; i < 12; i++) EXPECT_EQ(text[i], 0x1F00 | uint8_t(want[i])) << i;
    EXPECT_EQ(text[12], 0x0720);
}

// ---- progress squares ---------------------------------------------------------

class Squares : public ::testing::Test {
protected:
    void use(uint32_t width, uint32_t pitch, uint8_t bpp) {
        mem.assign(pitch * 40, 0xAA);
        g_fb_addr = reinterpret_cast<u32*>(mem.data());
        g_fb_width = width;
        g_fb_height = 40;
        g_fb_pitch = pitch;
        g_fb_bpp = bpp;
    }
    void TearDown() override { g_fb_addr = nullptr; }
    uint16_t px16(uint32_t x, uint32_t y) const {
        return uint16_t(mem[y * g_fb_pitch + x * 2] | mem[y * g_fb_pitch + x * 2 + 1] << 8);
    }
    std::vector<uint8_t> mem;
};

TEST_F(Squares, SixteenBitSquaresSitSideBySideInTheirColours) {
    use(800, 1600, 16);
    for (int n = 1; n <= 4; n++) startup::progress_square(n);
    const uint16_t colour[4] = {0x07E0, 0x07FF, 0xFFE0, 0xFFFF};   // green, cyan, yellow, white
    for (int n = 0; n < 4; n++) {
        uint32_t x0 = 40 * n;
        EXPECT_EQ(px16(x0, 0), colour[n]);
        EXPECT_EQ(px16(x0 + 31, 31), colour[n]);
        EXPECT_EQ(px16(x0 + 32, 0), 0xAAAA) << "gap after square " << n + 1;
        EXPECT_EQ(px16(x0, 32), 0xAAAA) << "below square " << n + 1;
    }
}

TEST_F(Squares, WideModesStoreBlueGreenRedAtTheirOwnPixelSize) {
    for (uint8_t bpp : {24, 32}) {
        const uint32_t bytes = bpp / 8;
        use(800, 3200, bpp);
        startup::progress_square(3);   // yellow, from column 80 to 111
        uint8_t* p = &mem[5 * 3200 + 85 * bytes];
        EXPECT_EQ(p[0], 0x00);
        EXPECT_EQ(p[1], 0xFF);
        EXPECT_EQ(p[2], 0xFF);
        EXPECT_EQ(mem[5 * 3200 + 80 * bytes - 1], 0xAA) << int(bpp);
        EXPECT_EQ(mem[5 * 3200 + 112 * bytes], 0xAA) << int(bpp);
    }
}

TEST_F(Squares, OnceTheScreenIsUpTheyGoIntoItsPictureAndArePresented) {
    mem.assign(3200 * 200, 0xAA);
    std::vector<uint32_t> ram(tarn::drivers::FramebufferScreen::ram_bytes(800, 200) / 4);
    tarn::drivers::FramebufferScreen screen;
    ASSERT_TRUE(screen.attach(mem.data(), 800, 200, 3200, tarn::drivers::PixelFormat::standard(32),
                              reinterpret_cast<u8*>(ram.data())));
    startup::squares_on(&screen);
    startup::progress_square(4);   // white, columns 120 to 151
    startup::squares_on(nullptr);
    EXPECT_EQ(screen.pixels()[31 * 800 + 151], 0xFFFFFFu);
    EXPECT_EQ(screen.pixels()[31 * 800 + 152], 0u);
    EXPECT_EQ(mem[31 * 3200 + 151 * 4], 0xFF);
    EXPECT_EQ(mem[31 * 3200 + 152 * 4], 0xAA);
}

TEST_F(Squares, NothingIsDrawnWithoutAnAddressPitchOrDepth) {
    use(800, 1600, 16);
    g_fb_pitch = 0;
    startup::progress_square(1);
    use(800, 1600, 8);
    startup::progress_square(1);
    use(800, 1600, 14);
    startup::progress_square(2);
    for (uint8_t b : mem) ASSERT_EQ(b, 0xAA);
    g_fb_addr = nullptr;
    g_fb_pitch = 1600;
    g_fb_bpp = 16;
    startup::progress_square(1);   // must not crash on a null framebuffer
}

}  // namespace

// ---- the identity map with a write-combining framebuffer --------------------

namespace {

TEST(PageTables, IdentityEverywhereAndOnlyTheFramebufferPagesWriteCombining) {
    static tarn::PageTables t;
    const u32 edges[2] = {0x00200000, 0x00201000};
    // 1920 x 1080 x 4 bytes from 0xFD100000: from inside one 4 MiB block
    // to inside the next-but-one.
    const u32 base = 0xFD100000, size = 1920 * 1080 * 4;
    tarn::build_identity_map(&t, edges, base, size);
    for (u32 i = 0; i < tarn::kPageEntries; i++) {
        u32 e = t.directory[i];
        ASSERT_TRUE(e & tarn::kPresent) << i;
        if (i == (base >> 22) || i == ((base + size - 1) >> 22)) {
            EXPECT_EQ(e & ~0xFFFu, edges[i == (base >> 22) ? 0 : 1]) << i;
            EXPECT_FALSE(e & tarn::kLargePage);
        } else {
            EXPECT_EQ(e & 0xFFC00000u, i << 22);
            EXPECT_TRUE(e & tarn::kLargePage);
            EXPECT_EQ((e & tarn::kPatLargePage) != 0, i > (base >> 22) && i < ((base + size - 1) >> 22)) << i;
        }
    }
    auto small = [&](int table, u32 address) { return t.edge[table][(address >> 12) & 1023]; };
    EXPECT_EQ(small(0, base - 4096), (base - 4096) | 3u);   // below: write-back
    EXPECT_EQ(small(0, base), base | 3u | tarn::kPatSmallPage);
    const u32 last = (base + size - 1) & ~0xFFFu;
    EXPECT_EQ(small(1, last), last | 3u | tarn::kPatSmallPage);
    EXPECT_EQ(small(1, last + 4096), (last + 4096) | 3u);   // above: write-back
}

}  // namespace

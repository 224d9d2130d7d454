#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "c64/c64.h"
#include "drivers/keyboard.h"
#include "kernel/globals.h"
#include "kernel/startup.h"
#include "tests/support/sim_pci.h"
#include "tests/support/sim_vbe.h"
#include "tests/support/simbus.h"

namespace {

// A Multiboot information block with the fields start-up reads.
struct Mbi {
    uint8_t bytes[120] = {};
    void u32at(uint32_t off, uint32_t v) { std::memcpy(bytes + off, &v, 4); }
    Mbi& flags(uint32_t v) { u32at(startup::kMbiFlags, v); return *this; }
    Mbi& fb(uint64_t addr, uint32_t w, uint32_t h, uint32_t pitch, uint8_t bpp) {
        std::memcpy(bytes + startup::kMbiFbAddr, &addr, 8);
        u32at(startup::kMbiFbWidth, w);
        u32at(startup::kMbiFbHeight, h);
        u32at(startup::kMbiFbPitch, pitch);
        bytes[startup::kMbiFbBpp] = bpp;
        return *this;
    }
};

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        simbus::bus().attach(&vbe);
        simbus::bus().attach(&pci);
        pci.add_standard_machine();   // adapter 1234:1111, BAR 0 0xFD000008
        g_fb_addr = nullptr;
        g_fb_width = g_fb_height = g_fb_pitch = 0;
        g_fb_bpp = 0;
    }
    void TearDown() override {
        simbus::bus().reset();
        g_fb_addr = nullptr;
    }
    uintptr_t fb() const { return reinterpret_cast<uintptr_t>(g_fb_addr); }

    simbus::SimVbe vbe;
    simbus::SimPci pci;
};

TEST_F(Startup, BootLoaderFramebufferIsTakenWithoutTouchingTheAdapter) {
    Mbi m;
    m.flags(0x1000 | 0x2).fb(0xFC000000, 800, 600, 1600, 16);
    startup::choose_framebuffer(m.bytes);
    EXPECT_EQ(fb(), 0xFC000000u);
    EXPECT_EQ(g_fb_width, 800u);
    EXPECT_EQ(g_fb_height, 600u);
    EXPECT_EQ(g_fb_pitch, 1600u);
    EXPECT_EQ(g_fb_bpp, 16);
    EXPECT_TRUE(vbe.writes().empty());
}

TEST_F(Startup, NarrowOrPaletteFramebufferFallsToTheAdapterMode) {
    for (auto mode : {std::pair<uint32_t, uint8_t>{319, 16}, {800, 8}, {800, 14}}) {
        Mbi m;
        m.flags(0x1000).fb(0xFC000000, mode.first, 600, 1600, mode.second);
        g_fb_addr = nullptr;
        startup::choose_framebuffer(m.bytes);
        EXPECT_EQ(fb(), 0xFD000000u) << mode.first << "x" << int(mode.second);
        EXPECT_EQ(g_fb_width, 800u);
        EXPECT_EQ(g_fb_height, 600u);
        EXPECT_EQ(g_fb_pitch, 1600u);
        EXPECT_EQ(g_fb_bpp, 16);
        EXPECT_TRUE(vbe.lfb_enabled());
        EXPECT_EQ(vbe.reg(simbus::SimVbe::kXres), 800);
        EXPECT_EQ(vbe.reg(simbus::SimVbe::kBpp), 16);
    }
}

TEST_F(Startup, MissingFlagOrZeroAddressFallsToTheAdapterMode) {
    Mbi noflag;
    noflag.flags(0x2).fb(0xFC000000, 800, 600, 1600, 16);
    startup::choose_framebuffer(noflag.bytes);
    EXPECT_EQ(fb(), 0xFD000000u);
    Mbi zero;
    zero.flags(0x1000).fb(0, 800, 600, 1600, 16);
    g_fb_addr = nullptr;
    startup::choose_framebuffer(zero.bytes);
    EXPECT_EQ(fb(), 0xFD000000u);
}

TEST_F(Startup, AddressAboveFourGigabytesStillCountsAsPresentButKeepsItsLowHalf) {
    Mbi m;
    m.flags(0x1000).fb(0x1'0000'0000ull, 1024, 768, 4096, 32);
    startup::choose_framebuffer(m.bytes);
    EXPECT_TRUE(vbe.writes().empty());
    EXPECT_EQ(fb(), 0u);
    EXPECT_EQ(g_fb_bpp, 32);
}

TEST_F(Startup, AdapterThatDoesNotIdentifyLeavesTheMultibootValues) {
    vbe.set_id(0xB0D0);
    Mbi m;
    m.flags(0x1000).fb(0xFC000000, 640, 480, 640, 8);
    startup::choose_framebuffer(m.bytes);
    EXPECT_TRUE(vbe.writes().empty());
    EXPECT_EQ(fb(), 0xFC000000u);
    EXPECT_EQ(g_fb_width, 640u);
    EXPECT_EQ(g_fb_pitch, 640u);
    EXPECT_EQ(g_fb_bpp, 8);
}

TEST_F(Startup, NoAdapterOnThePciBusUsesTheCustomaryAddress) {
    simbus::bus().detach(&pci);
    Mbi m;
    startup::choose_framebuffer(m.bytes);
    EXPECT_EQ(fb(), 0xE0000000u);
    EXPECT_EQ(g_fb_bpp, 16);
}

TEST(StartupCmdline, TheWordC64AloneAsksForFullMode) {
    EXPECT_TRUE(startup::cmdline_requests_full_mode("c64"));
    EXPECT_TRUE(startup::cmdline_requests_full_mode("/boot/tarn.elf c64"));
    EXPECT_TRUE(startup::cmdline_requests_full_mode("build/tarn.elf  c64  quiet"));
    EXPECT_FALSE(startup::cmdline_requests_full_mode("/boot/tarn.elf"));
    EXPECT_FALSE(startup::cmdline_requests_full_mode("/boot/c64.elf c644 xc64"));
    EXPECT_FALSE(startup::cmdline_requests_full_mode(""));
    EXPECT_FALSE(startup::cmdline_requests_full_mode(nullptr));
    Mbi mbi;
    mbi.u32at(startup::kMbiCmdline, 0x1234);
    EXPECT_EQ(startup::mbi_cmdline(mbi.bytes), nullptr);  // flag bit 2 clear
    mbi.flags(startup::kMbiFlagCmdline).u32at(startup::kMbiCmdline, 0);
    EXPECT_EQ(startup::mbi_cmdline(mbi.bytes), nullptr);
}

TEST(StartupHeap, SizeRunsFromTenMegabytesToTenKilobytesShortOfTheTop) {
    EXPECT_EQ(startup::heap_size(130048), 122673152u);   // 128 MiB machine
    EXPECT_EQ(startup::heap_size(130048) + startup::kHeapStart + 10240, 130048u * 1024);
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
    const uint16_t colour[4] = {0x07E0, 0x07FF, 0xFFE0, 0xFFFF};
    for (int n = 0; n < 4; n++) {
        uint32_t x0 = 40 * n;
        EXPECT_EQ(px16(x0, 0), colour[n]);
        EXPECT_EQ(px16(x0 + 31, 31), colour[n]);
        EXPECT_EQ(px16(x0 + 32, 0), 0xAAAA) << "gap after square " << n + 1;
        EXPECT_EQ(px16(x0, 32), 0xAAAA) << "below square " << n + 1;
    }
}

TEST_F(Squares, WideModesStoreBlueGreenRedAndLeaveTheFourthByte) {
    for (uint8_t bpp : {24, 32}) {
        use(800, 3200, bpp);
        startup::progress_square(3);   // yellow
        uint8_t* p = &mem[5 * 3200 + 85 * 4];
        EXPECT_EQ(p[0], 0x00);
        EXPECT_EQ(p[1], 0xFC);
        EXPECT_EQ(p[2], 0xF8);
        EXPECT_EQ(p[3], 0xAA) << int(bpp);
        EXPECT_EQ(mem[5 * 3200 + 79 * 4], 0xAA);
        EXPECT_EQ(mem[5 * 3200 + 112 * 4], 0xAA);
    }
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

// ---- publishing the machine to the key sink ----------------------------------

namespace {

class Publish : public ::testing::Test {
protected:
    void SetUp() override {
        simbus::bus().reset();
        g_scan_head = 0;
        g_scan_tail = 0;
        c64ptr = nullptr;
    }
    void TearDown() override {
        c64ptr = nullptr;
        simbus::bus().reset();
    }
};

TEST_F(Publish, KeysPendingWhileNoMachineWasCompleteAreDroppedOnPublishing) {
    for (u8 b : {0x1E, 0x9E, 0x1F, 0x9F}) keyboard_ring_push(b);   // "A", "S" typed during start-up
    C64 machine;
    startup::publish_machine(&machine);
    EXPECT_EQ(c64ptr, &machine);
    EXPECT_EQ(g_scan_tail, g_scan_head);
    EXPECT_EQ(g_scan_head, 4u);
    EXPECT_TRUE(simbus::bus().interrupts_enabled);
    keyboard_ring_push(0x20);   // typed afterwards: stays for the machine
    EXPECT_EQ(g_scan_head - g_scan_tail, 1u);
    startup::withdraw_machine();
    EXPECT_EQ(c64ptr, nullptr);
}

TEST_F(Publish, HotKeysDuringARebuildReachNoMachine) {
    IOKeyboardEventHandler sink;
    C64 old_machine;
    startup::publish_machine(&old_machine);
    startup::withdraw_machine();
    // F10 and Esc while no machine is published: nothing happens to the one
    // being torn down or to the next.
    sink.OnKeyDown(3);
    sink.OnKeyDown(1);
    sink.OnKeyUp(1);
    EXPECT_FALSE(old_machine.is_reset_requested());
    EXPECT_TRUE(old_machine.is_running());
    EXPECT_FALSE(sink.in_monitor_mode());
    C64 fresh;
    startup::publish_machine(&fresh);
    EXPECT_FALSE(fresh.is_reset_requested());
    sink.OnKeyDown(3);
    EXPECT_TRUE(fresh.is_reset_requested());
}

}  // namespace

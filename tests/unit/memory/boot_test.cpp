// The KERNAL's reset code brings up BASIC on the real ROMs.
#include <gtest/gtest.h>

#include <string>

#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/control_ports.h"
#include "c64/raster_picture.h"
#include "c64/memory.h"
#include "c64/processor.h"
#include "c64/sid.h"
#include "c64/vic.h"

namespace {

constexpr u16 kScreen = 0x0400;
constexpr int kStepsPerIrq = 16667;
constexpr int kStepsPerLine = 20;     // roughly 63 cycles of a PAL raster line
constexpr int kRasterLines = 312;
constexpr u8 kRasterRegister = 0x12;  // $D012: current raster line, low byte

// Screen code of a printable ASCII character in the upper-case set.
u8 screen_code(char ch) {
    if (ch >= 'A' && ch <= 'Z') return static_cast<u8>(ch - 'A' + 1);
    if (ch == '@') return 0;
    return static_cast<u8>(ch);
}

struct BootedMachine {
    Memory mem;
    Processor cpu{&mem};
    Cia1 cia1;
    Cia2 cia2;
    Vic vic;
    Sid sid;
    RasterPicture picture;
    ControlPorts ports;

    BootedMachine() {
        mem.vic(&vic);
        mem.cia1(&cia1);
        mem.cia2(&cia2);
        mem.sid(&sid);
        cia1.cpu(&cpu);
        cia1.ports(&ports);
        cia2.cpu(&cpu);
        vic.memory(&mem);
        vic.cpu(&cpu);
        vic.picture(&picture);
        cpu.reset();
    }

    std::string screen_line(int row) {
        std::string s;
        for (int col = 0; col < 40; col++) s += static_cast<char>(mem.read_byte_no_io(kScreen + row * 40 + col));
        return s;
    }

    bool screen_has(const char* text) {
        std::string want;
        for (const char* p = text; *p; p++) want += static_cast<char>(screen_code(*p));
        for (int row = 0; row < 25; row++)
            if (screen_line(row).find(want) != std::string::npos) return true;
        return false;
    }

    int line_ = 0;

    u16 word(u16 a) { return static_cast<u16>(mem.read_byte_no_io(a) | (mem.read_byte_no_io(a + 1) << 8)); }

    // The KERNAL's screen set-up waits for raster line 0 at $FF5E, so the
    // harness moves a raster beam through $D012 as the video chip would.
    void advance_raster() {
        line_ = (line_ + 1) % kRasterLines;
        vic.write_register(kRasterRegister, static_cast<u8>(line_ & 0xFF));
    }

    // Runs until READY. appears or the step budget is spent.
    bool run_to_ready(long max_steps) {
        for (long i = 1; i <= max_steps; i++) {
            cpu.step();
            if (i % kStepsPerLine == 0) advance_raster();
            if (i % kStepsPerIrq == 0) {
                cpu.tick();
                if (screen_has("READY.")) return true;
            }
        }
        return false;
    }
};

TEST(Boot, BasicBannerAndReadyAppearWithPowerOnPointers) {
    BootedMachine m;
    ASSERT_TRUE(m.run_to_ready(20000000)) << "stuck at pc $" << std::hex << m.cpu.pc();
    EXPECT_TRUE(m.screen_has("**** COMMODORE 64 BASIC V2 ****"));
    EXPECT_TRUE(m.screen_has("64K RAM SYSTEM  38911 BASIC BYTES FREE"));
    EXPECT_EQ(m.word(0x2B), 0x0801);  // start of BASIC text
    EXPECT_EQ(m.word(0x2D), 0x0803);  // start of variables
    EXPECT_EQ(m.word(0x2F), 0x0803);  // start of arrays
    EXPECT_EQ(m.word(0x31), 0x0803);  // end of arrays
    EXPECT_EQ(m.word(0x33), 0xA000);  // bottom of strings
    EXPECT_EQ(m.word(0x37), 0xA000);  // top of BASIC memory
    EXPECT_EQ(m.word(0x0281), 0x0800);  // KERNAL: bottom of memory
    EXPECT_EQ(m.word(0x0283), 0xA000);  // KERNAL: top of memory
    EXPECT_EQ(m.mem.read_byte_no_io(0x0288), 0x04);  // screen page
    EXPECT_EQ(m.mem.read_byte_no_io(0x01) & 7, 7);  // BASIC, I/O and KERNAL banked in
}

}  // namespace

// The main loop end to end on the headless machine: typing, the picture on
// the framebuffer, hot keys, the monitor and machine rebuilds.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "c64/control_ports.h"
#include "c64/text_view.h"
#include "c64/memory.h"
#include "c64/processor.h"
#include "c64/text_keys.h"
#include "c64/vic.h"
#include "tests/support/headless_machine.h"
#include "tests/support/simbus.h"

namespace {

using tarn::Key;
constexpr Key kKeyEsc = Key::Escape;
constexpr Key kKeyF9 = Key::F9;
constexpr Key kKeyF10 = Key::F10;
constexpr Key kKeyF12 = Key::F12;
constexpr Key kKeyTab = Key::Tab;
constexpr Key kKeyUp = Key::Up;
const u16 kLightBlue = HeadlessMachine::colour(14);
const u16 kBlue = HeadlessMachine::colour(6);

class MainLoop : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(hm.boot()); }

    int row_starting(const std::string& text, int from = 0) {
        for (int r = from; r < 25; r++)
            if (hm.row(r).rfind(text, 0) == 0) return r;
        return -1;
    }
    int last_row_starting(const std::string& text) {
        int found = -1;
        for (int r = 0; r < 25; r++)
            if (hm.row(r).rfind(text, 0) == 0) found = r;
        return found;
    }
    u8 key_count() { return hm.mem().read_byte_no_io(0xC6); }
    std::vector<u8> key_buffer() {
        std::vector<u8> v;
        for (int i = 0; i < key_count() && i < 10; i++) v.push_back(hm.mem().read_byte_no_io(0x0277 + i));
        return v;
    }

    HeadlessMachine hm;
};

TEST_F(MainLoop, ReadyIsDrawnAsPixelsInTheDefaultColours) {
    int r = row_starting("READY.");
    ASSERT_GE(r, 0);
    const TextView& view = *hm.machine().text_view();
    int left = view.left(), top = view.top();
    EXPECT_EQ(hm.pixel(0, 0), kLightBlue);         // border
    EXPECT_EQ(hm.pixel(799, 599), kLightBlue);
    EXPECT_EQ(hm.pixel(left + 12 * 39 + 11, top), kBlue);  // background of the top-right cell
    const char* word = "READY.";
    for (int col = 0; col < 6; col++) {
        const u8* glyph = TextView::kFont[word[col] - 0x20];
        for (int k = 0; k < 7; k++)
            for (int l = 0; l < 5; l++) {
                u16 want = (glyph[k] & (0x10 >> l)) ? kLightBlue : kBlue;
                ASSERT_EQ(hm.cell_pixel(col, r, l, k), want) << "col " << col << " dot " << l << "," << k;
                ASSERT_EQ(hm.pixel(left + 12 * col + 2 * l + 1, top + 18 * r + 2 * k + 1), want);
            }
        // Below the glyph the cell keeps its background.
        EXPECT_EQ(hm.pixel(left + 12 * col, top + 18 * r + 16), kBlue);
    }
}

TEST_F(MainLoop, TypedProgramRunsAndListsBack) {
    hm.type("10 FOR I=1 TO 3\n");
    hm.type("20 PRINT I*7\n");
    hm.type("30 NEXT\n");
    hm.type("RUN\n");
    hm.run_passes(20);
    int run = last_row_starting("RUN");
    ASSERT_GE(run, 0);
    EXPECT_EQ(hm.row(run + 1).substr(0, 4), " 7  ");
    EXPECT_EQ(hm.row(run + 2).substr(0, 4), " 14 ");
    EXPECT_EQ(hm.row(run + 3).substr(0, 4), " 21 ");
    EXPECT_EQ(hm.row(run + 5).substr(0, 6), "READY.");

    hm.type("LIST\n");
    hm.run_passes(20);
    int list = last_row_starting("LIST");
    ASSERT_GE(list, 0);
    // LIST starts with an empty line.
    EXPECT_EQ(hm.row(list + 2).substr(0, 16), "10 FOR I=1 TO 3 ");
    EXPECT_EQ(hm.row(list + 3).substr(0, 13), "20 PRINT I*7 ");
    EXPECT_EQ(hm.row(list + 4).substr(0, 8), "30 NEXT ");
    EXPECT_EQ(hm.row(list + 5).substr(0, 6), "READY.");
}

TEST_F(MainLoop, ShiftedKeysTypeTheirUpperSymbols) {
    hm.type("PRINT \"A!B\";5*(2+1)\n");
    hm.run_passes(10);
    int r = last_row_starting("PRINT \"A!B\";5*(2+1)");
    ASSERT_GE(r, 0);
    EXPECT_EQ(hm.row(r + 1).substr(0, 7), "A!B 15 ");
}

TEST_F(MainLoop, KeysBeyondTheKernalBufferWaitAndArriveWhole) {
    std::vector<u8> bytes;
    for (char c : std::string("123456789012345")) {
        auto b = HeadlessMachine::scan_codes_for(c);
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    hm.scan(bytes);  // all at once, before the KERNAL can take any
    hm.run_pass();
    EXPECT_EQ(key_count(), 10);
    EXPECT_EQ(key_buffer(), std::vector<u8>({'1', '2', '3', '4', '5', '6', '7', '8', '9', '0'}));
    hm.run_passes(5);
    int r = last_row_starting("1234567890");
    ASSERT_GE(r, 0);
    EXPECT_EQ(hm.row(r).substr(0, 16), "123456789012345 ");
}

TEST_F(MainLoop, TwoLinesTypedWhileAProgramRunsArriveWhole) {
    hm.type("FOR I=1 TO 600:NEXT:PRINT \"DONE\"\n");
    std::vector<u8> bytes;
    for (char c : std::string("PRINT 11*11\nPRINT \"AB\";12*12\n")) {
        auto b = HeadlessMachine::scan_codes_for(c);
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    hm.scan(bytes);  // while the loop runs: more than the KERNAL's buffer holds
    for (int i = 0; i < 200 && !hm.screen_has("AB 144"); i++) hm.run_pass();
    int done = last_row_starting("DONE");
    int first = row_starting("PRINT 11*11 ", done);
    int second = row_starting("PRINT \"AB\";12*12 ", done);
    ASSERT_GE(done, 0);
    ASSERT_GT(first, done);
    ASSERT_GT(second, first);
    EXPECT_EQ(hm.row(first + 1).substr(0, 5), " 121 ");
    EXPECT_EQ(hm.row(second + 1).substr(0, 7), "AB 144 ");
}

TEST_F(MainLoop, ShiftStateFollowsTheLastShiftEvent) {
    // Left Shift held, right Shift pressed and let go: the loop sees no Shift.
    hm.scan({0x2A, 0x36, 0xB6, 0x02, 0x82});
    hm.run_pass();
    EXPECT_FALSE(hm.machine().text_keys()->shift());
    EXPECT_EQ(key_buffer(), std::vector<u8>({'1'}));
    hm.scan({0x2A, 0x02, 0x82, 0xAA});
    hm.run_pass();
    EXPECT_EQ(key_buffer(), std::vector<u8>({'!'}));
}

TEST_F(MainLoop, ReleasesAndKeysWithoutCharacterTypeNothing) {
    hm.scan({0x9E});                    // 'a' released only
    hm.scan({0x3B, 0xBB});              // F1
    hm.scan({0x1D, 0x9D});              // Ctrl
    hm.scan({0xE0, 0x48, 0xE0, 0xC8});  // cursor up
    hm.run_pass();
    EXPECT_EQ(key_count(), 0);
}

TEST_F(MainLoop, BytesWhoseInterruptWasLostAreTakenByThePoll) {
    std::vector<u8> bytes;
    for (int i = 0; i < 10; i++) bytes.insert(bytes.end(), {0x1E, 0x9E});  // 'a' ten times
    hm.queue_for_poll(bytes);
    hm.run_pass();
    EXPECT_EQ(hm.ps2().pending(), 0u);
    EXPECT_EQ(key_count(), 10);
}

TEST_F(MainLoop, ExtendedPairsDecodeFromThePollAsFromTheInterrupt) {
    hm.scan({0xE0, 0x52, 0xE0, 0xD2});  // Insert: types nothing
    hm.queue_for_poll({0xE0, 0x52, 0xE0, 0xD2, 0x1E, 0x9E, 0xE0, 0x1C, 0xE0, 0x9C});  // Insert, a, keypad Enter
    hm.run_pass();
    EXPECT_EQ(key_buffer(), std::vector<u8>({'A', 13}));
}

TEST_F(MainLoop, PolledBytesAreTakenAsTheInterruptTakesThem) {
    // Tab pressed through the interrupt, its release left to the poll (its
    // interrupt edge lost): RUN/STOP comes up again.
    hm.press_key(kKeyTab);
    hm.run_pass();
    EXPECT_EQ(hm.machine().ports()->matrix_row(7), 0x7F);
    hm.queue_for_poll({0x8F});  // Tab released
    hm.run_passes(2);  // a tap is held two passes for the KERNAL's scan
    EXPECT_EQ(hm.machine().ports()->matrix_row(7), 0xFF);
}

TEST_F(MainLoop, F12TogglesFrameSkipping) {
    EXPECT_FALSE(hm.machine().frame_skip());
    hm.tap_key(kKeyF12);
    hm.run_pass();
    EXPECT_TRUE(hm.machine().frame_skip());
    hm.tap_key(kKeyF12);
    hm.run_pass();
    EXPECT_FALSE(hm.machine().frame_skip());
}

TEST_F(MainLoop, TabStopsAProgramWithBreakAndKeepsIt) {
    hm.type("10 GOTO 10\nRUN\n");
    hm.run_passes(5);
    hm.press_key(kKeyTab);
    hm.run_passes(5);
    hm.release_key(kKeyTab);
    hm.run_passes(5);
    EXPECT_TRUE(hm.screen_has("BREAK IN 10"));
    hm.type("LIST\n");
    hm.run_passes(10);
    EXPECT_EQ(hm.row(last_row_starting("LIST") + 2).substr(0, 11), "10 GOTO 10 ");
}

// A tap quicker than a pass (the PC was busy drawing) still reaches the
// KERNAL's jiffy scan.
TEST_F(MainLoop, QuickTabTapBetweenPassesStillStopsTheProgram) {
    hm.type("10 GOTO 10\nRUN\n");
    hm.run_passes(5);
    hm.tap_key(kKeyTab);
    hm.run_passes(5);
    EXPECT_TRUE(hm.screen_has("BREAK IN 10"));
}

// RUN/STOP + RESTORE: the KERNAL's NMI routine clears the screen and
// warm-starts BASIC; the program stays.
TEST_F(MainLoop, TabWithRestoreReturnsToReadyAndKeepsTheProgram) {
    hm.type("10 GOTO 10\nRUN\n");
    hm.run_passes(5);
    hm.press_key(kKeyTab);
    hm.tap_key(kKeyF9);
    hm.run_passes(5);
    hm.release_key(kKeyTab);
    hm.run_passes(5);
    EXPECT_FALSE(hm.screen_has("RUN"));
    EXPECT_TRUE(hm.screen_has("READY."));
    hm.type("LIST\n");
    hm.run_passes(10);
    EXPECT_TRUE(hm.screen_has("10 GOTO 10 "));
}

TEST_F(MainLoop, CursorBlinksAndReverseTextShowsInverted) {
    hm.type("PRINT CHR$(18)\"AB\"\n");
    hm.run_passes(10);
    int r = last_row_starting("AB");
    ASSERT_GE(r, 0);
    const u8* glyph = TextView::kFont['A' - 0x20];
    for (int k = 0; k < 7; k++)
        for (int l = 0; l < 5; l++)
            ASSERT_EQ(hm.cell_pixel(0, r, l, k), (glyph[k] & (0x10 >> l)) ? kBlue : kLightBlue) << l << "," << k;
    const TextView& view = *hm.machine().text_view();
    EXPECT_EQ(hm.pixel(view.left() + 11, view.top() + 18 * r + 17), kLightBlue);  // the cell's far corner
    // The cursor waits below READY. and blinks: its cell is seen lit and dark.
    int cursor = last_row_starting("READY.") + 1;
    bool lit = false, dark = false;
    for (int i = 0; i < 80; i++) {
        hm.run_pass();
        lit |= hm.cell_pixel(0, cursor, 0, 0) == kLightBlue;
        dark |= hm.cell_pixel(0, cursor, 0, 0) == kBlue;
    }
    EXPECT_TRUE(lit);
    EXPECT_TRUE(dark);
}

TEST_F(MainLoop, FrameSkippingDrawsASkippedChangeWithinElevenPasses) {
    hm.type("10 GOTO 10\nRUN\n");  // no blinking cursor while it runs
    hm.run_passes(5);
    hm.tap_key(kKeyF12);
    for (u8 colour = 0; colour < 11; colour++) {  // each at another point of the skip cycle
        hm.mem().write_byte(0xD020, colour);
        hm.run_passes(11);
        EXPECT_EQ(hm.pixel(0, 0), HeadlessMachine::colour(colour)) << int(colour);
        hm.run_pass();
    }
}

TEST_F(MainLoop, KeyboardInterruptBetweenPollStatusAndDataTakesTheByteOnce) {
    simbus::bus().interrupts_enabled = true;  // as in the kernel's main loop
    bool armed = true, deferred = false;
    hm.ps2().after_status_read([&] {
        if (!armed) return;
        armed = false;
        if (simbus::bus().interrupts_enabled) hm.interrupt_keyboard();
        else deferred = true;  // the controller's IRQ waits for interrupts to come back on
    });
    hm.queue_for_poll({0x1E});  // 'a' pressed: the controller's one byte
    hm.run_pass();
    if (deferred) hm.interrupt_keyboard();
    hm.ps2().after_status_read(nullptr);
    EXPECT_EQ(key_buffer(), std::vector<u8>({'A'}));
}

TEST_F(MainLoop, PushesOfFFAtTheTriggerKeepTheProgramAndPokeStillPlaces) {
    const u8 code[] = {
        0xBA, 0x86, 0xFB,        // C000 TSX; STX $FB
        0xA2, 0x39, 0x9A,        // C003 LDX #$39; TXS
        0xA9, 0xFF, 0x48,        // C006 LDA #$FF; PHA      $FF -> $0139
        0x28, 0x08, 0x28,        // C009 PLP; PHP; PLP      $FF -> $0139
        0xD8, 0x58,              // C00C CLD; CLI
        0xA2, 0x3A, 0x9A,        // C00E LDX #$3A; TXS
        0x4C, 0xFD, 0xC0,        // C011 JMP $C0FD
    };
    const u8 tail[] = {0x20, 0x00, 0xC2, 0xA6, 0xFB, 0x9A, 0x60};  // C0FD JSR $C200 ($FF -> $0139); LDX $FB; TXS; RTS
    for (u16 i = 0; i < sizeof code; i++) hm.mem().write_byte_no_io(0xC000 + i, code[i]);
    for (u16 i = 0; i < sizeof tail; i++) hm.mem().write_byte_no_io(0xC0FD + i, tail[i]);
    hm.mem().write_byte_no_io(0xC200, 0x60);  // RTS
    hm.type("10 REM KEEP\nSYS 49152\n");
    hm.run_passes(10);
    EXPECT_EQ(hm.mem().read_byte_no_io(0x0139), 0xFF);
    EXPECT_NE(hm.mem().read_byte_no_io(0x0317), 0x90);  // BRK vector: no monitor placed
    hm.type("LIST\n");
    hm.run_passes(10);
    EXPECT_EQ(hm.row(last_row_starting("LIST") + 2).substr(0, 12), "10 REM KEEP ");

    hm.type("POKE 313,255\n");
    hm.run_passes(10);
    EXPECT_EQ(hm.mem().read_byte_no_io(0x0317), 0x90);
}

TEST_F(MainLoop, RegistersInTheMonitorAreTheRunningLoops) {
    const u8 loop[] = {0xE8, 0xC8, 0x4C, 0x00, 0xC0};  // C000 INX; INY; JMP $C000
    for (u16 i = 0; i < sizeof loop; i++) hm.mem().write_byte_no_io(0xC000 + i, loop[i]);
    hm.type("SYS 49152\n");
    hm.run_passes(5);
    hm.tap_key(kKeyEsc);
    hm.monitor_script("R\n");
    hm.monitor_script_key(kKeyEsc);
    hm.run_pass();
    consolereader::ConsoleReader screen = hm.console();
    int r = screen.find_row(">R");
    ASSERT_GE(r, 0) << screen.text();
    char want[32];
    Processor::Registers g = hm.cpu().registers();
    snprintf(want, sizeof want, "%04X %02X %02X %02X %02X %02X", g.pc, g.flags, g.a, g.x, g.y, g.s);
    EXPECT_EQ(screen.row(r + 2), want);
    EXPECT_GE(g.pc, 0xC000);
    EXPECT_LT(g.pc, 0xC005);
}

TEST_F(MainLoop, AStillScreenIsNotDrawnAgainAndAChangeDrawsOnlyItself) {
    hm.type("10 GOTO 10\nRUN\n");  // no blinking cursor while it runs
    hm.run_passes(5);
    hm.fill_framebuffer(0x1234);
    hm.run_passes(3);
    EXPECT_EQ(hm.pixel(0, 0), 0x1234);  // nothing changed, nothing drawn
    hm.mem().write_byte(0x0400 + 40 * 12 + 20, 0x01);  // an A in the middle
    hm.run_pass();
    EXPECT_EQ(hm.pixel(0, 0), 0x1234);
    EXPECT_EQ(hm.cell_pixel(20, 12, 2, 0), kLightBlue);  // A's top dot
    EXPECT_EQ(hm.cell_pixel(21, 12, 0, 0), 0x1234);      // the cell beside it untouched
    hm.mem().write_byte(0xD020, 2);  // border red
    hm.run_pass();
    EXPECT_EQ(hm.pixel(0, 0), HeadlessMachine::colour(2));
    EXPECT_EQ(hm.cell_pixel(21, 12, 0, 0), 0x1234);
}

TEST_F(MainLoop, EscRoutesKeysToTheMonitorAndBack) {
    hm.type("1000 REM KEPT\n");
    hm.run_passes(5);
    u16 pc = hm.cpu().pc();
    hm.tap_key(kKeyEsc);

    // In the monitor, cursor up goes to the monitor, not the joystick.
    hm.monitor_script("R\n1000\n");
    hm.monitor_script_key(kKeyUp);
    hm.monitor_script_key(kKeyEsc);
    EXPECT_TRUE(hm.run_pass());
    EXPECT_FALSE(hm.monitor_ran_dry());
    EXPECT_GT(hm.monitor_waits(), 0);
    EXPECT_FALSE(hm.in_monitor());
    EXPECT_TRUE(hm.console().find_row(">R") >= 0);
    EXPECT_EQ(hm.machine().ports()->joystick(2), 0);
    EXPECT_EQ(hm.cpu().pc(), pc);  // the processor stood still meanwhile

    // The keys were the monitor's: none reaches the C64, and line 1000,
    // typed in the monitor, did not delete the program's line 1000.
    hm.run_pass();
    EXPECT_EQ(key_buffer(), std::vector<u8>());
    hm.type("LIST\n");
    hm.run_passes(10);
    EXPECT_EQ(hm.row(last_row_starting("LIST") + 2).substr(0, 14), "1000 REM KEPT ");
}

TEST_F(MainLoop, F10EndsTheMachineAndAFreshOneBoots) {
    hm.type("A=7:PRINT A*6\n");
    hm.run_passes(10);
    ASSERT_TRUE(hm.screen_has(" 42"));
    hm.tap_key(kKeyF10);
    EXPECT_FALSE(hm.run_pass());  // the pass takes F10, then start() returns
    EXPECT_TRUE(hm.machine().is_reset_requested());
    EXPECT_TRUE(hm.ended());

    hm.rebuild();
    EXPECT_FALSE(hm.machine().is_reset_requested());
    ASSERT_TRUE(hm.boot());
    EXPECT_FALSE(hm.screen_has(" 42"));
    hm.type("PRINT A\n");
    hm.run_passes(10);
    EXPECT_TRUE(hm.screen_has(" 0"));  // a new machine: variables are gone
}

TEST_F(MainLoop, LoadTrapIsServedWithinTheSameBatch) {
    // No volume: LOAD reports "file not found" at once.
    hm.type("LOAD \"X\",8\n");
    hm.run_passes(20);
    EXPECT_TRUE(hm.screen_has("?FILE NOT FOUND  ERROR"));
}

}  // namespace

namespace {

TEST(MonitorScript, RunningDryFailsAndLeavesTheMonitor) {
    HeadlessMachine hm;
    ASSERT_TRUE(hm.boot());
    hm.tap_key(tarn::Key::Escape);
    hm.monitor_script("R\n");
    EXPECT_NONFATAL_FAILURE(hm.run_pass(), "does not have");
    EXPECT_TRUE(hm.monitor_ran_dry());
    EXPECT_FALSE(hm.in_monitor());
    EXPECT_TRUE(hm.machine().is_running());
}

}  // namespace

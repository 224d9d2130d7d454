// Full C64 mode on the headless machine: the KERNAL boots on the chips'
// own clock, and small test programs measure raster lines, timer
// underflows, TOD, NMIs and a border split against the core's cycles.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "c64/c64.h"
#include "c64/processor.h"
#include "c64/text_view.h"
#include "c64/raster_picture.h"
#include "c64/memory.h"
#include "c64/vic.h"
#include "tests/support/headless_machine.h"

namespace {

constexpr u16 kProgram = 0xC000;
constexpr u16 kResults = 0xC200;
constexpr u32 kSecond = 985248;   // PAL cycles
constexpr u32 kFrame = 19656;
constexpr u16 kKeyCount = 0xC6;   // characters in the KERNAL's keyboard buffer
constexpr u32 kKeyBufferSize = 10;
constexpr tarn::Key kKeyF9 = tarn::Key::F9;
constexpr tarn::Key kKeyF10 = tarn::Key::F10;
constexpr tarn::Key kKeyF11 = tarn::Key::F11;
constexpr tarn::Key kKeyF12 = tarn::Key::F12;

class FullMode : public ::testing::Test {
protected:
    void SetUp() override {
        hm.machine().full_mode(true);
        ASSERT_TRUE(RunUntilScreen("READY.", 400)) << Screen();
    }

    // Screen RAM as text (the text view is off in full mode).
    std::string Screen() {
        std::string s;
        for (int i = 0; i < 1000; i++) {
            s += static_cast<char>(TextView::character(hm.mem().read_byte_no_io(static_cast<u16>(0x0400 + i))));
            if (i % 40 == 39) s += '\n';
        }
        return s;
    }
    bool RunUntilScreen(const std::string& text, int frames) {
        for (int i = 0; i < frames; i++) {
            if (Screen().find(text) != std::string::npos) return true;
            if (!hm.run_pass()) return false;
        }
        return Screen().find(text) != std::string::npos;
    }
    // Types into the KERNAL's keyboard buffer, as the text mode does.
    void Enter(const std::string& line) {
        for (char c : line + "\r") {
            for (int i = 0; i < 50 && Peek(kKeyCount) >= kKeyBufferSize; i++) hm.run_pass();
            hm.buffer_key(static_cast<u8>(c));
        }
        hm.run_passes(3);
    }
    // Puts a test program at $C000, clears its results and starts it.
    void Start(const std::string& name) {
        std::ifstream f(std::string(FULLMODE_PROGRAMS) + "/" + name + ".bin", std::ios::binary);
        ASSERT_TRUE(f.good()) << name;
        std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        for (size_t i = 0; i < bytes.size(); i++)
            hm.mem().write_byte_no_io(static_cast<u16>(kProgram + i), static_cast<u8>(bytes[i]));
        for (int i = 0; i < 0x40; i++) hm.mem().write_byte_no_io(static_cast<u16>(kResults + i), 0);
    }
    void Sys() { Enter("SYS49152"); }
    u32 Peek(u16 a, int bytes = 1) {
        u32 v = 0;
        for (int i = bytes - 1; i >= 0; i--) v = v << 8 | hm.mem().read_byte_no_io(static_cast<u16>(a + i));
        return v;
    }
    u32 Cycles() { return hm.cpu().cycles(); }

    HeadlessMachine hm;
};

TEST_F(FullMode, BootsToReadyWithTheFaceOffAndTheRasterMoving) {
    EXPECT_TRUE(hm.machine().full_mode());
    u32 frames = hm.vic().frame_count();
    u32 before = Cycles();
    hm.run_passes(10);
    EXPECT_EQ(hm.vic().frame_count(), frames + 10);
    // Ten frames of the core's time, give or take the last instruction.
    EXPECT_NEAR(static_cast<double>(Cycles() - before), 10.0 * kFrame, 8);
}

TEST_F(FullMode, JiffyClockAdvancesSixtyTimesAnEmulatedSecond) {
    u32 ti0 = Peek(0xA0, 1) << 16 | Peek(0xA1, 1) << 8 | Peek(0xA2, 1);
    u32 c0 = Cycles();
    while (Cycles() - c0 < 3 * kSecond) hm.run_pass();
    u32 ti1 = Peek(0xA0, 1) << 16 | Peek(0xA1, 1) << 8 | Peek(0xA2, 1);
    double seconds = static_cast<double>(Cycles() - c0) / kSecond;
    EXPECT_NEAR(ti1 - ti0, 60.0 * seconds, 1.5);
}

TEST_F(FullMode, RasterInterruptFiresOnceAFrameAtItsLineUntilNotAcknowledged) {
    Start("raster");
    Sys();
    u32 count0 = Peek(kResults, 2);
    ASSERT_GT(count0, 0u);
    hm.run_passes(50);
    EXPECT_EQ(Peek(kResults, 2) - count0, 50u);
    for (u16 i = 0; i < 16; i++) EXPECT_EQ(Peek(static_cast<u16>(0xC210 + i)), 100u) << i;

    // Without INC $D019 the latched flag holds the line: the handler runs
    // again as soon as it returns.
    hm.mem().write_byte_no_io(0xC202, 1);
    u32 count1 = Peek(kResults, 2);
    hm.run_passes(2);
    EXPECT_GT(Peek(kResults, 2) - count1, 100u);
}

TEST_F(FullMode, CiaTimerAUnderflowsEveryPeriodAndTimerBCountsThem) {
    Start("timers");
    Sys();
    hm.run_passes(2);
    auto timer_b = [&] { return static_cast<u32>(hm.mem().read_byte(0xDC06) | hm.mem().read_byte(0xDC07) << 8); };
    u32 c0 = Cycles(), n0 = Peek(kResults, 3), b0 = timer_b();
    hm.run_passes(100);
    u32 c1 = Cycles(), n1 = Peek(kResults, 3), b1 = timer_b();
    double expected = static_cast<double>(c1 - c0) / 1000.0;
    EXPECT_NEAR(n1 - n0, expected, 1.5);
    EXPECT_NEAR(b0 - b1, expected, 1.5);
}

TEST_F(FullMode, TodCountsTenthsAndRaisesItsAlarm) {
    Start("tod");
    Sys();
    u32 c0 = Cycles();
    while (Peek(kResults) == 0 && Cycles() - c0 < 3 * kSecond) hm.run_pass();
    double to_alarm = static_cast<double>(Cycles() - c0) / kSecond;
    ASSERT_EQ(Peek(kResults), 1u);
    EXPECT_NEAR(to_alarm, 1.5, 0.1);
    EXPECT_EQ(Peek(0xC201), 0x01u);  // 1 AM
    EXPECT_EQ(Peek(0xC202), 0x00u);
    EXPECT_EQ(Peek(0xC203), 0x01u);
    EXPECT_EQ(Peek(0xC204), 0x05u);

    // Read from outside: seconds and tenths follow the cycles.
    auto tenths = [&] {
        u8 h = hm.mem().read_byte(0xDC0B);
        (void)h;
        u8 s = hm.mem().read_byte(0xDC09);
        u8 t = hm.mem().read_byte(0xDC08);
        return (s >> 4) * 100 + (s & 15) * 10 + t;
    };
    u32 t0 = tenths(), c1 = Cycles();
    hm.run_passes(120);
    u32 t1 = tenths();
    EXPECT_NEAR(t1 - t0, (Cycles() - c1) / (kSecond / 10.0), 1.0);
    hm.run_passes(10);
    EXPECT_EQ(Peek(kResults), 1u);  // the alarm time has passed: no second alarm
}

TEST_F(FullMode, CiaTwoTimerAndRestoreReachTheProgramAsNmi) {
    Start("nmi");
    Sys();
    hm.run_passes(2);
    u32 c0 = Cycles(), n0 = Peek(kResults, 2);
    hm.run_passes(100);
    EXPECT_NEAR(Peek(kResults, 2) - n0, (Cycles() - c0) / 10000.0, 1.5);
    EXPECT_EQ(Peek(0xC202, 2), 0u);

    hm.mem().write_byte(0xDD0E, 0x00);  // timer stopped
    hm.run_passes(2);
    u32 timer_nmis = Peek(kResults, 2);
    hm.tap_key(kKeyF9);
    hm.run_passes(2);
    hm.tap_key(kKeyF9);
    hm.run_passes(2);
    EXPECT_EQ(Peek(0xC202, 2), 2u);
    EXPECT_EQ(Peek(kResults, 2), timer_nmis);
}

TEST_F(FullMode, BorderSplitShowsAtItsRasterLinesInThePicture) {
    Start("split");
    Sys();
    hm.run_passes(3);
    auto border = [&](int line) { return hm.machine().raster()->pixel(0, line - Vic::kFirstVisibleLine); };
    EXPECT_EQ(border(100), 14);
    EXPECT_EQ(border(149), 14);
    EXPECT_EQ(border(151), 2);
    EXPECT_EQ(border(199), 2);
    EXPECT_EQ(border(201), 14);
    EXPECT_EQ(border(290), 14);
}

TEST_F(FullMode, F11ThereAndBackKeepsProgramAndVariables) {
    Enter("10 PRINT A*2");
    Enter("A=21");
    hm.tap_key(kKeyF11);
    hm.run_pass();
    EXPECT_FALSE(hm.machine().full_mode());
    hm.type_and_run("PRINT A\n", 5);
    EXPECT_TRUE(hm.screen_has(" 21")) << Screen();
    hm.tap_key(kKeyF11);
    hm.run_passes(20);
    EXPECT_TRUE(hm.machine().full_mode());
    Enter("A=A+1");
    hm.tap_key(kKeyF11);
    hm.run_pass();
    EXPECT_FALSE(hm.machine().full_mode());
    hm.type_and_run("GOTO 10\n", 10);  // keeps the variables, unlike RUN
    EXPECT_TRUE(hm.screen_has(" 44"));
}

TEST_F(FullMode, RasterInterruptLatchedIntoTextModeLeavesTheStackPageAlone) {
    // Text mode serves no VIC interrupt: a raster flag latched and enabled
    // when the machine leaves full mode must not push anything anywhere.
    const u16 kMarked[] = {0x0100, 0x01FE, 0x01FF};
    for (u16 a : kMarked) hm.mem().write_byte_no_io(a, 0x5A);
    hm.mem().write_byte(0xD01A, 0x01);
    hm.vic().latch_interrupt(Vic::kIrqRaster);
    hm.machine().full_mode(false);
    hm.run_passes(5);
    for (u16 a : kMarked) EXPECT_EQ(Peek(a), 0x5Au) << std::hex << a;
    hm.type_and_run("PRINT 6*7\n", 5);
    EXPECT_TRUE(hm.screen_has(" 42"));
}

TEST_F(FullMode, ResetKeepsFullModeAndWarpSkipsPacing) {
    hm.tap_key(kKeyF12);
    hm.run_pass();
    EXPECT_TRUE(hm.machine().warp());
    hm.tap_key(kKeyF10);
    EXPECT_FALSE(hm.run_pass());
    hm.rebuild();
    EXPECT_TRUE(hm.machine().full_mode());
    EXPECT_FALSE(hm.machine().warp());
    EXPECT_TRUE(RunUntilScreen("READY.", 400));
}

TEST(FramePacer, DeadlinesFollowThePalFrameRateWithoutDrift) {
    FramePacer p;
    p.restart(1000);
    for (u64 n = 1; n <= 200000; n++) {
        u32 due = p.next_deadline();
        ASSERT_EQ(due, 1000 + n * kFrame * 1000 / kSecond) << n;
    }
}

TEST(FramePacer, WaitsOnlyWhileAheadAndRestartsWhenFarOut) {
    FramePacer p;
    p.restart(0);
    EXPECT_EQ(p.wait_ms(0), 19u);    // first deadline 19.95 ms on
    EXPECT_EQ(p.wait_ms(45), 0u);    // behind: go on at once
    EXPECT_EQ(p.wait_ms(1000), 0u);  // far behind: start again from now
    EXPECT_EQ(p.due_ms(), 1000u);
    EXPECT_EQ(p.wait_ms(1000), 19u);
}

}  // namespace

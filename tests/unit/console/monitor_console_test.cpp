// The monitor's output through the console onto the machine's framebuffer,
// read back as text: what a user sees after pressing Esc. The monitor turns
// the console's cursor on for good, so each test runs in a child process.
#include <string>

#include "tests/unit/console/console_fixture.h"
#include "c64/memory.h"
#include "tests/support/headless_machine.h"

namespace {

constexpr tarn::Key kKeyEsc = tarn::Key::Escape;
constexpr tarn::Key kKeyBackspace = tarn::Key::Backspace;

class MonitorConsole : public ::testing::Test {
protected:
    void SetUp() override {
        hm.run_passes(3);
        for (int i = 0; i < 0x200; i++) hm.mem().write_byte(static_cast<u16>(0xC000 + i), static_cast<u8>(i));
        for (int i = 0; i < 16; i++) hm.mem().write_byte(static_cast<u16>(0xC000 + i), static_cast<u8>('A' + i));
        hm.tap_key(kKeyEsc);
    }
    // Runs the queued monitor keys, then leaves the monitor.
    void run() {
        hm.monitor_script_key(kKeyEsc);
        hm.run_pass();
        EXPECT_FALSE(hm.monitor_ran_dry());
    }
    HeadlessMachine hm;
};

TEST_F(MonitorConsole, BannerHelpAndMemoryLineAppearOnTheConsoleGrid) {
    InChildProcess([&] {
        hm.monitor_script("M C000 C010\n");
        run();
        consolereader::ConsoleReader screen = hm.console();
        EXPECT_EQ(screen.row(0), "Tarn v0.10 - Debugging:");
        EXPECT_EQ(screen.row(2), std::string(52, '='));
        EXPECT_EQ(screen.row(4), "M - Memory Display");
        EXPECT_EQ(screen.row(17), "Built in ML monitor activated via SYS 36864");
        EXPECT_EQ(screen.row(19), ">M C000 C010");
        EXPECT_EQ(screen.row(20), "C000: 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 ABCDEFGHIJKLMNOP");
        EXPECT_EQ(screen.row(21), ">_");  // the monitor's cursor waits after the prompt
        EXPECT_EQ(screen.fore(0, 0), consolereader::kLightGrey);
    });
}

TEST_F(MonitorConsole, BackspaceWhileTypingRemovesTheCharacterFromTheScreen) {
    InChildProcess([&] {
        hm.monitor_script("RX");
        hm.monitor_script_key(kKeyBackspace);
        hm.monitor_script("\n");
        run();
        consolereader::ConsoleReader screen = hm.console();
        int at = screen.find_row(">R");
        ASSERT_GE(at, 0) << screen.text();
        EXPECT_EQ(screen.row(at), ">R");
        EXPECT_EQ(screen.row(at + 1), " PC  SR AC XR YR SP");
    });
}

TEST_F(MonitorConsole, LongOutputScrollsAndKeepsTheLatestLines) {
    InChildProcess([&] {
        hm.monitor_script("M C000 C200\n");
        run();
        consolereader::ConsoleReader screen = hm.console();
        // 32 dump lines after 19 of banner and command: the top has scrolled away.
        EXPECT_EQ(screen.find_row("Tarn v0.10"), -1);
        EXPECT_EQ(screen.row(36), ">_");
        EXPECT_EQ(screen.row(35).substr(0, 24), "C1F0: F0 F1 F2 F3 F4 F5 ");
        EXPECT_EQ(screen.row(34).substr(0, 10), "C1E0: E0 E");
    });
}

}  // namespace

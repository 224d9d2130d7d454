// Full mode's keyboard end to end: PS/2 scan bytes through the keyboard
// interrupt, the key matrix and CIA 1 to the KERNAL's own keyboard scan,
// BASIC's GET and PEEK, and the joysticks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "c64/c64.h"
#include "c64/text_view.h"
#include "c64/memory.h"
#include "drivers/keyboard.h"
#include "tests/support/headless_machine.h"

namespace {

class FullModeKeys : public ::testing::Test {
protected:
    void SetUp() override {
        hm.machine().full_mode(true);
        ASSERT_TRUE(run_until("READY.", 400)) << screen();
    }

    std::string screen() {
        std::string s;
        for (int i = 0; i < 1000; i++) {
            s += static_cast<char>(TextView::character(hm.mem().read_byte_no_io(static_cast<u16>(0x0400 + i))));
            if (i % 40 == 39) s += '\n';
        }
        return s;
    }
    bool run_until(const std::string& text, int frames) {
        for (int i = 0; i < frames && screen().find(text) == std::string::npos; i++)
            if (!hm.run_pass()) return false;
        return screen().find(text) != std::string::npos;
    }
    // Scan bytes as a quick typist sends them; the frames run until the
    // machine has put every key on the matrix, and a few more for what a
    // program prints about them (a scroll of the screen takes a frame).
    void keys(const std::vector<u8>& bytes, int after = 5) {
        hm.scan(bytes);
        for (int i = 0; i < 400 && hm.keys_pending() != 0; i++) hm.run_pass();
        hm.run_passes(after);
    }
    void type(const std::string& text) {
        for (char c : text) keys(HeadlessMachine::scan_codes_for(c), 2);
    }
    // The last number a BASIC loop printed on the screen.
    int last_number() {
        std::string s = screen();
        size_t end = s.find_last_of("0123456789");
        if (end == std::string::npos) return -1;
        size_t start = s.find_last_not_of("0123456789", end);
        return std::stoi(s.substr(start + 1, end - start));
    }

    HeadlessMachine hm;
};

TEST_F(FullModeKeys, TypedLinesGoThroughTheKernalsOwnScan) {
    type("PRINT 6*7;\"@:(;'\"\n");  // Shift+2, Shift+;, Shift+9 and ' as a C64 prints them
    EXPECT_TRUE(run_until(" 42 @:(;'", 20)) << screen();
    type("PRINT 19");
    keys({0xE0, 0x4B, 0xE0, 0xCB});  // cursor left: back over the 9
    type("2\n");
    EXPECT_TRUE(run_until(" 12", 20)) << screen();
    type("PRINT 12");
    keys({0x0E, 0x8E});              // Backspace: INST/DEL
    type("3\n");
    EXPECT_TRUE(run_until(" 13", 20)) << screen();
}

TEST_F(FullModeKeys, ALinePastedAllAtOnceArrivesWholeAndInItsShiftStates) {
    // Every scan byte at once, quicker than any typist: the key matrix takes
    // them in order, a change a frame, so each reaches the KERNAL's scan.
    std::vector<u8> bytes;
    for (char c : std::string("PRINT \":L\"+\"X\";5*5;\"[]\"\n")) {
        std::vector<u8> b = HeadlessMachine::scan_codes_for(c);
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    hm.scan(bytes);
    for (int i = 0; i < 600 && hm.keys_pending() != 0; i++) hm.run_pass();
    hm.run_passes(5);
    // [ and ] are SHIFT+: and SHIFT+; on the C64's keyboard (screen codes
    // $1B and $1D).
    EXPECT_NE(screen().find(":LX 25 []"), std::string::npos) << screen();
}

TEST_F(FullModeKeys, GetAndPeekOfTheKeyboardSeeHeldKeys) {
    type("10 GET A$:IF A$=\"\" THEN 10\n20 PRINT ASC(A$)\nRUN\n");
    type("Q");
    EXPECT_TRUE(run_until(" 81", 20)) << screen();
    type("10 PRINT PEEK(197):GOTO 10\nRUN\n");
    hm.run_passes(5);
    EXPECT_EQ(last_number(), 64);  // no key
    keys({0x1E});                  // a held
    EXPECT_EQ(last_number(), 10);
    keys({0x9E, 0x39});            // a up, space held
    EXPECT_EQ(last_number(), 60);
    hm.scan({0xB9});
    // Tab: RUN/STOP, held over a few jiffies: the flag the interrupt sets
    // lasts one jiffy, and a PRINT that scrolls the screen takes longer.
    hm.scan({0x0F});
    hm.run_passes(6);
    hm.scan({0x8F});
    EXPECT_TRUE(run_until("BREAK IN 10", 20)) << screen();
}

TEST_F(FullModeKeys, JoystickDirectionsHeldTogetherInEitherPort) {
    type("10 PRINT PEEK(56320)AND31;PEEK(56321)AND31:GOTO 10\nRUN\n");
    hm.run_passes(5);
    EXPECT_TRUE(screen().find("31  31") != std::string::npos) << screen();
    keys({0x48, 0x4B, 0x52});      // keypad 8, 4, 0: up, left, fire
    EXPECT_NE(screen().rfind(" 10  31"), std::string::npos) << screen();
    keys({0xC8});                  // up released: left and fire stay
    EXPECT_NE(screen().rfind(" 11  31"), std::string::npos) << screen();
    keys({0xCB, 0xD2, 0x46, 0xC6, 0x51});  // Scroll Lock, then 3: down right in port 1
    EXPECT_NE(screen().rfind(" 31  21"), std::string::npos) << screen();
    hm.scan({0xD1});
}

}  // namespace

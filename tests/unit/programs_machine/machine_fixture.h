// The built-in programs on the whole headless machine: a fixture that boots
// BASIC, places the images with POKE 313,255 and reads the text view.
#ifndef TARN_TESTS_UNIT_PROGRAMS_MACHINE_MACHINE_FIXTURE_H
#define TARN_TESTS_UNIT_PROGRAMS_MACHINE_MACHINE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/headless_machine.h"

#include "c64/c64.h"
#include "c64/memory.h"

class ProgramsOnMachine : public ::testing::Test {
protected:
    static constexpr u16 kKeyCount = 0xC6;  // characters in the KERNAL keyboard buffer

    void SetUp() override { ASSERT_TRUE(hm.boot()); }

    // Types a line and runs until the KERNAL has taken every key.
    void TypeLine(const std::string& text) {
        hm.type(text + "\n");
        Settle();
    }
    // Keys typed without RETURN (the menu and GET read single keys).
    void TypeKeys(const std::string& keys) {
        hm.type(keys);
        Settle();
    }
    void Settle() {
        for (int i = 0; i < 100 && (hm.keys_pending() != 0 || Peek(kKeyCount) != 0); i++) hm.run_pass();
        hm.run_passes(2);
    }

    // Runs until the text shows up anywhere on the screen.
    bool WaitFor(const std::string& text, int max_passes = 600) { return hm.run_until_text(text, max_passes); }

    // Runs until the last line with anything on it reads exactly this.
    bool WaitForLastLine(const std::string& text, int max_passes = 600) {
        for (int i = 0; i < max_passes; i++) {
            if (LastLine() == text) return true;
            if (!hm.run_pass()) break;
        }
        return LastLine() == text;
    }

    // BASIC places the two images, then RUN starts the welcome menu.
    bool StartProgram() {
        TypeLine("POKE 313,255");
        TypeLine("RUN");
        return WaitFor("PRESS 1-6", 400);
    }

    std::string LastLine() const {
        for (int r = 24; r >= 0; r--) {
            std::string row = Trimmed(r);
            if (!row.empty()) return row;
        }
        return "";
    }
    std::string Trimmed(int r) const {
        std::string row = hm.row(r);
        row.erase(row.find_last_not_of(' ') + 1);
        return row;
    }
    // Last row that starts with the text, -1 when none does.
    int LastRowStarting(const std::string& text) const {
        for (int r = 24; r >= 0; r--)
            if (hm.row(r).rfind(text, 0) == 0) return r;
        return -1;
    }
    int LastRowWith(const std::string& text) const {
        for (int r = 24; r >= 0; r--)
            if (hm.row(r).find(text) != std::string::npos) return r;
        return -1;
    }
    std::string Screen() const {
        std::string s;
        for (const std::string& r : hm.screen_text()) s += "|" + r + "|\n";
        return s;
    }

    u8 Peek(u16 a) { return hm.mem().read_byte_no_io(a); }
    u16 PeekWord(u16 a) { return static_cast<u16>(Peek(a) | Peek(static_cast<u16>(a + 1)) << 8); }
    void Poke(u16 a, u8 v) { hm.mem().write_byte_no_io(a, v); }

    HeadlessMachine hm;
};

#endif

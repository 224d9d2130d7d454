// The resident monitor on the whole machine: entered by SYS 36864 and by a
// BRK, its commands typed through the keyboard into the screen editor.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/unit/programs_machine/machine_fixture.h"

#include "drivers/keyboard.h"

namespace {

class ResidentMonitor : public ProgramsOnMachine {
protected:
    // Places the images; the monitor is then at $9000 without RUN.
    void Place() {
        TypeLine("POKE 313,255");
        ASSERT_TRUE(WaitForLastLine("READY."));
    }
    // BASIC puts bytes where a test wants them.
    void PokeFromBasic(u16 at, const std::vector<u8>& bytes) {
        std::string line;
        for (size_t i = 0; i < bytes.size(); i++) {
            std::string one = "POKE" + std::to_string(at + i) + "," + std::to_string(bytes[i]) + ":";
            if (line.size() + one.size() > 78) {
                TypeLine(line.substr(0, line.size() - 1));
                line.clear();
            }
            line += one;
        }
        if (!line.empty()) TypeLine(line.substr(0, line.size() - 1));
        ASSERT_TRUE(WaitForLastLine("READY."));
        ASSERT_FALSE(hm.screen_has("ERROR")) << Screen();
    }
    void Enter() {
        TypeLine("SYS 36864");
        ASSERT_TRUE(WaitFor("TARN MONITOR", 100)) << Screen();
    }
    // A monitor command, run until the next prompt is the last line.
    void Command(const std::string& text) {
        TypeLine(text);
        WaitForLastLine(".", 200);
    }
    // A key held long enough for the KERNAL's keyboard scan to see it.
    void HoldKey(tarn::Key code) {
        hm.press_key(code);
        hm.run_passes(2);
        hm.release_key(code);
        hm.run_passes(2);
    }
    std::string Hex2(u8 v) const {
        char s[3];
        std::snprintf(s, sizeof s, "%02X", v);
        return s;
    }
};

}  // namespace

TEST_F(ResidentMonitor, SysShowsTheBannerPromptAndTheCallersRegisters) {
    Place();
    // SYS hands the processor A, X, Y and SR from 780-783.
    TypeLine("POKE 780,18:POKE 781,52:POKE 782,86:POKE 783,1");
    Enter();
    EXPECT_TRUE(hm.screen_has("TARN MONITOR  ? FOR HELP"));
    int header = LastRowStarting("   PC  SR AC XR YR SP");
    ASSERT_GE(header, 0) << Screen();
    EXPECT_EQ(hm.row(header + 1).substr(0, 20), ".;9000 31 12 34 56 F") << Screen();
    EXPECT_EQ(LastLine(), ".");
    Command("R");
    EXPECT_EQ(hm.row(LastRowStarting(".;9000")).substr(0, 19), ".;9000 31 12 34 56 ");
    Command("?");
    // Every help line reads in full on the text view (no character of it
    // is one the view draws as a blank).
    for (const char* line : {"M ADDR (END)      MEMORY", "D ADDR (END)      DISASSEMBLE", "G (ADDR)          GO",
                             "T FROM TO DEST    TRANSFER", "X                 EXIT TO BASIC"})
        EXPECT_TRUE(hm.screen_has(line)) << line << "\n" << Screen();
    TypeLine("X");
    ASSERT_TRUE(WaitForLastLine("READY.")) << Screen();
    TypeLine("PRINT 6*7");
    ASSERT_TRUE(WaitForLastLine("READY."));
    EXPECT_GE(LastRowStarting(" 42 "), 0) << Screen();
}

TEST_F(ResidentMonitor, MemoryDisplayShowsWhatMemoryHolds) {
    Place();
    std::vector<u8> bytes = {'H', 'E', 'L', 'L', 'O', 0x00, 0x22, 0xFF, 0x31, 0x32, 0x20, 0x2A, 0x60, 0x0D, 0x41, 0x7F};
    PokeFromBasic(0xC000, bytes);
    Enter();
    Command("M C000 C00F");
    int r = LastRowStarting(".:C000 ");
    ASSERT_GE(r, 0) << Screen();
    for (int line = 0; line < 2; line++) {
        u16 at = static_cast<u16>(0xC000 + 8 * line);
        std::string want = ".:" + Hex2(at >> 8) + Hex2(at & 0xFF);
        for (int i = 0; i < 8; i++) want += " " + Hex2(Peek(static_cast<u16>(at + i)));
        EXPECT_EQ(hm.row(r + line).substr(0, want.size()), want) << Screen();
    }
    EXPECT_EQ(Trimmed(r), ".:C000 48 45 4C 4C 4F 00 22 FF HELLO...");
    EXPECT_EQ(Trimmed(r + 1), ".:C008 31 32 20 2A 60 0D 41 7F 12 *..A.");
    EXPECT_EQ(Trimmed(r + 2), ".");  // two lines, then the prompt

    // The shown line edited in place with the cursor keys and entered
    // again with RETURN writes its bytes.
    // The screen editor's cursor row is $D6; the cursor stays in column 1,
    // so the line's start is typed over and its other bytes are kept.
    for (int i = 0; i < 5 && Peek(0xD6) != r; i++) HoldKey(tarn::Key::Up);
    ASSERT_EQ(Peek(0xD6), r) << Screen();
    Command(":C000 99");
    EXPECT_EQ(Peek(0xC000), 0x99) << Screen();
    EXPECT_EQ(Peek(0xC001), 'E');
    EXPECT_EQ(Peek(0xC007), 0xFF);
    EXPECT_EQ(Peek(0xC008), 0x31);  // one line changes only its own eight bytes

    // A line typed afresh writes as many bytes as it names.
    Command(":C000 01 02 03");
    EXPECT_EQ(Peek(0xC000), 1);
    EXPECT_EQ(Peek(0xC002), 3);
    EXPECT_EQ(Peek(0xC003), 'L');
}

TEST_F(ResidentMonitor, DisassemblesBytesPlacedWithPoke) {
    Place();
    PokeFromBasic(0xC000, {0xA9, 0x01, 0x8D, 0x20, 0xD0, 0xB1, 0xFB, 0x6C, 0x16, 0x03, 0xD0, 0xF4, 0x60, 0x02});
    Enter();
    Command("D C000 C00D");
    int r = LastRowStarting("., C000 ");
    ASSERT_GE(r, 0) << Screen();
    const char* want[] = {"., C000 A9 01     LDA #$01", "., C002 8D 20 D0  STA $D020", "., C005 B1 FB     LDA ($FB),Y",
                          "., C007 6C 16 03  JMP ($0316)", "., C00A D0 F4     BNE $C000", "., C00C 60        RTS",
                          "., C00D 02        ???"};
    for (int i = 0; i < 7; i++) EXPECT_EQ(Trimmed(r + i), want[i]) << Screen();

    // What A assembles, D shows and memory holds.
    Command("A C100 LDX #$07");
    EXPECT_EQ(Peek(0xC100), 0xA2);
    EXPECT_EQ(Peek(0xC101), 0x07);
    EXPECT_GE(LastRowStarting(".A C102"), 0) << Screen();  // the next address is offered
    Command("STX $D021");
    Command("");
    EXPECT_EQ(Peek(0xC102), 0x8E);
    EXPECT_EQ(PeekWord(0xC103), 0xD021);
}

TEST_F(ResidentMonitor, FillTransferAndHuntChangeAndSearchMemory) {
    Place();
    PokeFromBasic(0xC300, {'T', 'A', 'R', 'N'});
    u8 before = Peek(0xC110);
    Enter();
    Command("F C100 C10F AA");
    for (u16 a = 0xC100; a <= 0xC10F; a++) ASSERT_EQ(Peek(a), 0xAA) << a;
    EXPECT_EQ(Peek(0xC110), before);

    Command("T C100 C107 C200");
    for (u16 a = 0xC200; a <= 0xC207; a++) ASSERT_EQ(Peek(a), 0xAA) << a;
    EXPECT_NE(Peek(0xC208), 0xAA);

    Command("H C000 C3FF \"TARN");
    int r = LastRowStarting("C300 ");
    EXPECT_GE(r, 0) << Screen();
    Command("H C0F0 C1FF AA AA");
    r = LastRowStarting("C100 C101 C102");
    EXPECT_GE(r, 0) << Screen();

    Command("F C010 C00F 55");  // an end below the start is refused
    EXPECT_GE(LastRowWith(" ?"), 0) << Screen();
    EXPECT_NE(Peek(0xC010), 0x55);
}

TEST_F(ResidentMonitor, BrkInAProgramEntersWithTheRegistersAtTheBreak) {
    Place();
    // LDA #$42; BRK. X and Y come from SYS: $E1 and $46 make the top of
    // the break's frame look like SYS's own return address.
    PokeFromBasic(0xC000, {0xA9, 0x42, 0x00});
    TypeLine("POKE 781,225:POKE 782,70:POKE 783,0:SYS 49152");
    ASSERT_TRUE(WaitFor("B*", 100)) << Screen();
    EXPECT_FALSE(hm.screen_has("TARN MONITOR")) << Screen();
    int r = LastRowStarting(".;C002 ");
    ASSERT_GE(r, 0) << Screen();
    // SR as the break pushed it (B set), then A, X, Y.
    EXPECT_EQ(hm.row(r).substr(0, 19), ".;C002 30 42 E1 46 ") << Screen();
    EXPECT_EQ(LastLine(), ".");
    Command("M C000 C002");
    EXPECT_GE(LastRowStarting(".:C000 A9 42 00"), 0) << Screen();
    TypeLine("X");
    ASSERT_TRUE(WaitForLastLine("READY.")) << Screen();
    TypeLine("PRINT \"BACK\"");
    ASSERT_TRUE(WaitForLastLine("READY."));
    EXPECT_GE(LastRowStarting("BACK"), 0) << Screen();
}

TEST_F(ResidentMonitor, GoRunsCodeThatBreaksBackOrReturnsToBasic) {
    Place();
    PokeFromBasic(0xC010, {0x8D, 0x00, 0xC1, 0x8E, 0x01, 0xC1, 0x00,   // STA $C100; STX $C101; BRK
                           0xA9, 0x2A, 0x8D, 0x02, 0xC1, 0x60});       // LDA #$2A; STA $C102; RTS
    Enter();
    // Registers set with ';' are what the code runs with.
    Command(";C010 30 77 66 00");
    Command("G");
    ASSERT_TRUE(WaitFor("B*", 50)) << Screen();
    EXPECT_EQ(Peek(0xC100), 0x77);
    EXPECT_EQ(Peek(0xC101), 0x66);
    int r = LastRowStarting(".;C016 ");
    ASSERT_GE(r, 0) << Screen();
    EXPECT_EQ(hm.row(r).substr(0, 19), ".;C016 30 77 66 00 ") << Screen();

    // From SYS, code that ends in RTS returns to BASIC.
    TypeLine("X");
    ASSERT_TRUE(WaitForLastLine("READY.")) << Screen();
    Enter();
    Command("G C017");
    ASSERT_TRUE(WaitForLastLine("READY.")) << Screen();
    EXPECT_EQ(Peek(0xC102), 0x2A);
    TypeLine("PRINT PEEK(49410)");
    ASSERT_TRUE(WaitForLastLine("READY."));
    EXPECT_GE(LastRowStarting(" 42 "), 0) << Screen();
}

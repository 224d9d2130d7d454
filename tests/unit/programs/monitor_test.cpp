// Resident monitor at $9000, driven on the program bench through its KERNAL I/O.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "bench6502.h"

namespace {

// A bench with the images placed and the monitor entered by SYS 36864.
struct MonitorBench : Bench6502 {
    explicit MonitorBench(std::vector<std::string> input) {
        place_images();
        a = 0x12; x = 0x34; y = 0x56; s = 0xF6; p = 0x24;
        for (auto& l : input) lines.push_back("." + l);  // as read back from the screen
        sys(0x9000);
        run();
    }
    bool printed(const std::string& text) const { return out.find(text) != std::string::npos; }
    // Output lines (the screen editor's CR separates them).
    std::vector<std::string> screen_lines() const {
        std::vector<std::string> r(1);
        for (char c : out) { if (c == '\r') r.emplace_back(); else r.back() += c; }
        return r;
    }
};

std::string disassemble(std::vector<uint8_t> bytes, uint16_t at = 0xC000) {
    Bench6502 b;
    b.place_images();
    std::memcpy(b.mem + at, bytes.data(), bytes.size());
    char cmd[32];
    std::snprintf(cmd, sizeof cmd, ".D %04X %04X", at, at);
    b.lines.push_back(cmd);
    b.s = 0xF6;
    b.sys(0x9000);
    b.run();
    auto pos = b.out.rfind(".,");
    return pos == std::string::npos ? "" : b.out.substr(pos, b.out.find('\r', pos) - pos);
}

}  // namespace

TEST(Monitor, SysEntryShowsBannerAndTheCallersRegisters) {
    MonitorBench m({});
    EXPECT_TRUE(m.printed("TARN MONITOR"));
    EXPECT_TRUE(m.printed("   PC  SR AC XR YR SP"));
    // SYS left two bytes on the stack: SP $F4; flags as PHP pushes them.
    EXPECT_TRUE(m.printed(".;9000 34 12 34 56 F4")) << m.out;
    EXPECT_TRUE(m.starved);  // waiting at the prompt
}

TEST(Monitor, MemoryDisplayShowsBytesAndPrintableCharacters) {
    Bench6502 seed;
    MonitorBench m({});
    const uint8_t bytes[16] = {'H', 'E', 'L', 'L', 'O', 0x00, 0x22, 0xFF,
                               0x31, 0x32, 0x20, 0x5F, 0x60, 0x0D, 0x41, 0x7F};
    std::memcpy(m.mem + 0xC000, bytes, 16);
    m.lines.push_back(".M C000 C00F");
    m.out.clear();
    m.run();
    auto ls = m.screen_lines();
    ASSERT_GE(ls.size(), 3u) << m.out;
    EXPECT_EQ(ls[1], ".:C000 48 45 4C 4C 4F 00 22 FF HELLO...");
    EXPECT_EQ(ls[2], ".:C008 31 32 20 5F 60 0D 41 7F 12 _..A.");
    EXPECT_EQ(ls[3], ".");   // the next prompt: exactly two lines were shown
}

TEST(Monitor, MemoryDisplayWithoutEndShowsEightLinesAndThenContinues) {
    MonitorBench m({"M 1000", "M"});
    int lines_1000 = 0, after = 0;
    for (auto& l : m.screen_lines()) {
        if (l.rfind(".:1", 0) == 0 && l < ".:1040") ++lines_1000;
        if (l.rfind(".:1040", 0) == 0) ++after;
    }
    EXPECT_EQ(lines_1000, 8);
    EXPECT_EQ(after, 1);  // a bare M goes on where the last one stopped
}

TEST(Monitor, ColonLineChangesMemoryAndAShownLineReadsBackUnchanged) {
    MonitorBench m({":C100 01 02 0A FF", ":C200 11 22 33 44 55 66 77 88 99"});
    EXPECT_EQ(m.mem[0xC100], 0x01);
    EXPECT_EQ(m.mem[0xC101], 0x02);
    EXPECT_EQ(m.mem[0xC102], 0x0A);
    EXPECT_EQ(m.mem[0xC103], 0xFF);
    EXPECT_EQ(m.mem[0xC104], 0x00);  // power-on pattern untouched
    EXPECT_EQ(m.mem[0xC207], 0x88);
    EXPECT_EQ(m.mem[0xC208], 0x00);  // a line changes at most eight bytes

    // A displayed line entered again (the characters column is hex-like
    // here: "ABCDEF01") must not write past its eight bytes.
    MonitorBench r({});
    std::memcpy(r.mem + 0xC300, "ABCDEF01", 8);
    r.lines.push_back(".:C300 41 42 43 44 45 46 30 31 ABCDEF01");
    r.run();
    EXPECT_EQ(0, std::memcmp(r.mem + 0xC300, "ABCDEF01", 8));
    EXPECT_EQ(r.mem[0xC308], 0x00);
}

TEST(Monitor, DisassemblesEveryAddressingMode) {
    EXPECT_EQ(disassemble({0xA9, 0x00}), "., C000 A9 00     LDA #$00");
    EXPECT_EQ(disassemble({0x8D, 0x20, 0xD0}), "., C000 8D 20 D0  STA $D020");
    EXPECT_EQ(disassemble({0x60}), "., C000 60        RTS");
    EXPECT_EQ(disassemble({0x0A}), "., C000 0A        ASL");
    EXPECT_EQ(disassemble({0xA5, 0xFB}), "., C000 A5 FB     LDA $FB");
    EXPECT_EQ(disassemble({0x95, 0x10}), "., C000 95 10     STA $10,X");
    EXPECT_EQ(disassemble({0xB6, 0x10}), "., C000 B6 10     LDX $10,Y");
    EXPECT_EQ(disassemble({0x7D, 0x34, 0x12}), "., C000 7D 34 12  ADC $1234,X");
    EXPECT_EQ(disassemble({0xBE, 0x34, 0x12}), "., C000 BE 34 12  LDX $1234,Y");
    EXPECT_EQ(disassemble({0x6C, 0x16, 0x03}), "., C000 6C 16 03  JMP ($0316)");
    EXPECT_EQ(disassemble({0xA1, 0x22}), "., C000 A1 22     LDA ($22,X)");
    EXPECT_EQ(disassemble({0x91, 0xFB}), "., C000 91 FB     STA ($FB),Y");
    EXPECT_EQ(disassemble({0xD0, 0xFE}), "., C000 D0 FE     BNE $C000");
    EXPECT_EQ(disassemble({0x10, 0x7F}), "., C000 10 7F     BPL $C081");
    EXPECT_EQ(disassemble({0x90, 0x80}), "., C000 90 80     BCC $BF82");
    EXPECT_EQ(disassemble({0xF0, 0x00}, 0xC0FE), "., C0FE F0 00     BEQ $C100");
    EXPECT_EQ(disassemble({0x20, 0xD2, 0xFF}), "., C000 20 D2 FF  JSR $FFD2");
    EXPECT_EQ(disassemble({0x02}), "., C000 02        ???");
}

TEST(Monitor, KnowsExactlyTheDocumentedOpcodes) {
    // Every opcode once, each followed by two operand bytes of its own.
    Bench6502 b;
    b.place_images();
    for (int op = 0; op < 256; ++op) {
        b.mem[0x2000 + op * 3] = uint8_t(op);
        b.mem[0x2001 + op * 3] = 0xEA;
        b.mem[0x2002 + op * 3] = 0xEA;
    }
    std::vector<std::string> text;
    int unknown = 0, known = 0;
    for (int op = 0; op < 256; ++op) {
        char cmd[32];
        std::snprintf(cmd, sizeof cmd, ".D %04X %04X", 0x2000 + op * 3, 0x2000 + op * 3);
        b.lines.push_back(cmd);
    }
    b.s = 0xF6;
    b.sys(0x9000);
    b.run(50000000);
    size_t pos = 0;
    while ((pos = b.out.find(".,", pos)) != std::string::npos) {
        std::string l = b.out.substr(pos, b.out.find('\r', pos) - pos);
        (l.find("???") != std::string::npos ? unknown : known)++;
        ++pos;
    }
    EXPECT_EQ(known, 151);
    EXPECT_EQ(unknown, 105);
}

TEST(Monitor, FillTransferAndHuntWorkOnRanges) {
    MonitorBench m({"F C000 C00F AA", "F C010 C00F BB"});
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.mem[0xC000 + i], 0xAA);
    EXPECT_EQ(m.mem[0xC010], 0x00);  // inverted range: refused, nothing written
    EXPECT_NE(m.out.find(" ?"), std::string::npos);

    MonitorBench t({});
    for (int i = 0; i < 8; ++i) t.mem[0xC000 + i] = uint8_t(i + 1);
    t.lines.push_back(".T C000 C007 C002");    // overlapping, upwards
    t.lines.push_back(".T C002 C009 C100");    // elsewhere
    t.lines.push_back(".T C101 C108 C100");    // overlapping, downwards
    t.run();
    const uint8_t up[10] = {1, 2, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(0, std::memcmp(t.mem + 0xC000, up, 10));
    const uint8_t down[8] = {2, 3, 4, 5, 6, 7, 8, 0};  // $C108 was never written
    EXPECT_EQ(0, std::memcmp(t.mem + 0xC100, down, 8));

    MonitorBench h({});
    std::memcpy(h.mem + 0xC000, "xxTARNxxxxA9 TARN", 17);
    h.mem[0xC020] = 0xA9; h.mem[0xC021] = 0x00;
    h.mem[0xC030] = 0xA9; h.mem[0xC031] = 0x01;
    h.lines.push_back(".H C000 C0FF \"TARN");
    h.lines.push_back(".H C000 C0FF A9 00");
    h.run();
    auto ls = h.screen_lines();
    bool text_found = false, bytes_found = false;
    for (auto& l : ls) {
        if (l == "C002 C00D ") text_found = true;
        if (l == "C020 ") bytes_found = true;
    }
    EXPECT_TRUE(text_found) << h.out;
    EXPECT_TRUE(bytes_found) << h.out;
}

TEST(Monitor, RejectsUnknownCommandsAndMissingArguments) {
    MonitorBench m({"Q", "F C000", "T C000 C010"});
    int errors = 0;
    for (size_t p = 0; (p = m.out.find(" ?\r", p)) != std::string::npos; ++p) ++errors;
    EXPECT_EQ(errors, 3);
    EXPECT_EQ(m.mem[0xC000], 0x00);
    EXPECT_TRUE(m.starved);  // still at the prompt
}

TEST(Monitor, RegistersChangeAndGoRunsCodeUntilBrkReentersTheMonitor) {
    MonitorBench m({});
    const uint8_t code[] = {0x8D, 0x00, 0xC1,   // STA $C100
                            0x8E, 0x01, 0xC1,   // STX $C101
                            0x8C, 0x02, 0xC1,   // STY $C102
                            0x00};              // BRK
    std::memcpy(m.mem + 0xC000, code, sizeof code);
    m.lines.push_back(".;C000 30 11 22 33 F4");
    m.lines.push_back(".R");
    m.lines.push_back(".G");
    m.out.clear();
    m.run();
    EXPECT_EQ(m.mem[0xC100], 0x11);
    EXPECT_EQ(m.mem[0xC101], 0x22);
    EXPECT_EQ(m.mem[0xC102], 0x33);
    EXPECT_TRUE(m.printed(".;C000 30 11 22 33 F4")) << m.out;  // R after ';'
    EXPECT_TRUE(m.printed("B*")) << m.out;
    EXPECT_TRUE(m.printed(".;C009 ")) << m.out;  // PC at the BRK itself
    EXPECT_TRUE(m.printed(" 11 22 33 F4")) << m.out;
}

TEST(Monitor, BrkInAProgramEntersWithTheRegistersAtTheBreak) {
    Bench6502 b;
    b.place_images();
    const uint8_t code[] = {0xA9, 0x11, 0xA2, 0x22, 0xA0, 0x33, 0x38, 0x00, 0x00};
    std::memcpy(b.mem + 0xC000, code, sizeof code);
    b.pc = 0xC000;
    b.s = 0xF0;
    b.p = 0x20;
    b.run();
    EXPECT_NE(b.out.find("B*"), std::string::npos) << b.out;
    // SEC then BRK: carry and B in SR; the interrupt frame is gone again.
    EXPECT_NE(b.out.find(".;C007 31 11 22 33 F0"), std::string::npos) << b.out;
    EXPECT_TRUE(b.starved);
}

TEST(Monitor, JsrFromAProgramIsACallThatGoCanReturnTo) {
    Bench6502 b;
    b.place_images();
    const uint8_t code[] = {0x20, 0x00, 0x90,   // JSR $9000
                            0xA9, 0x5A, 0x00};  // LDA #$5A; BRK
    std::memcpy(b.mem + 0xC000, code, sizeof code);
    b.mem[0xC010] = 0x60;                       // RTS
    b.pc = 0xC000;
    b.s = 0xF0;
    b.p = 0x20;
    b.lines.push_back(".G C010");
    b.run();
    // Entered as a call, not as a break; G's RTS goes back after the JSR.
    EXPECT_NE(b.out.find("TARN MONITOR"), std::string::npos) << b.out;
    EXPECT_NE(b.out.find(".;9000 "), std::string::npos) << b.out;
    EXPECT_NE(b.out.find("B*"), std::string::npos) << b.out;
    EXPECT_NE(b.out.find(".;C005 "), std::string::npos) << b.out;
    EXPECT_NE(b.out.find(" 5A "), std::string::npos) << b.out;
}

TEST(Monitor, XLeavesThroughBasicsWarmStart) {
    MonitorBench m({"X"});
    EXPECT_TRUE(m.warm_started);
    EXPECT_FALSE(m.starved);
}

TEST(Monitor, HelpListsTheCommands) {
    MonitorBench m({"?"});
    for (const char* c : {"MEMORY", "DISASSEMBLE", "ASSEMBLE", "REGISTERS", "GO", "FILL", "TRANSFER",
                          "HUNT", "EXIT TO BASIC"})
        EXPECT_TRUE(m.printed(c)) << c;
}

TEST(Monitor, AssemblesEachAddressingModeAndOffersTheNextAddress) {
    MonitorBench m({"A C000 LDX #$05", "A C002 DEX", "A C003 BNE C002", "A C005 STA $D020",
                    "A C008 STA $FB", "A C00A LDA ($FB),Y", "A C00C JMP ($0316)", "A C00F ASL",
                    "A C010 LDA $10,X", "A C012 LDA $1234,Y", "A C015 LDA ($10,X)",
                    "A C017 LDX $20,Y", "A C019 ROR A", "A C01A RTS"});
    const uint8_t want[] = {0xA2, 0x05, 0xCA, 0xD0, 0xFD, 0x8D, 0x20, 0xD0, 0x85, 0xFB,
                            0xB1, 0xFB, 0x6C, 0x16, 0x03, 0x0A, 0xB5, 0x10, 0xB9, 0x34,
                            0x12, 0xA1, 0x10, 0xB6, 0x20, 0x6A, 0x60};
    for (size_t i = 0; i < sizeof want; ++i) EXPECT_EQ(m.mem[0xC000 + i], want[i]) << i;
    EXPECT_TRUE(m.printed("\r., C003 D0 FD     BNE $C002")) << m.out;
    // The next line is offered as keys, so the editor reads it back with the line.
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m.mem + 0x277), 7), "A C01B ");
    EXPECT_EQ(m.mem[0xC6], 7);
    EXPECT_EQ(m.out.find(" ?\r"), std::string::npos) << m.out;
}

TEST(Monitor, AssemblerRefusesWhatNoOpcodeEncodes) {
    MonitorBench m({"A C000 FOO", "A C000 BNE C100", "A C000 LDX $10,X", "A C000 STA #$10",
                    "A C000 JMP ($10),Y", "A C000 LDAX #$10"});
    int errors = 0;
    for (size_t p = 0; (p = m.out.find(" ?\r", p)) != std::string::npos; ++p) ++errors;
    EXPECT_EQ(errors, 6) << m.out;
    EXPECT_EQ(m.mem[0xC000], 0x00);
}

TEST(Monitor, EveryDisassembledInstructionAssemblesBackToItsBytes) {
    Bench6502 b;
    b.place_images();
    int documented = 0;
    for (int op = 0; op < 256; ++op) {
        uint16_t at = uint16_t(0x2000 + op * 3);
        b.mem[at] = uint8_t(op);
        b.mem[at + 1] = 0x12;
        b.mem[at + 2] = 0x34;
        char cmd[32];
        std::snprintf(cmd, sizeof cmd, ".D %04X %04X", at, at);
        b.lines.push_back(cmd);
    }
    b.s = 0xF6;
    b.sys(0x9000);
    b.run(50000000);
    // Feed each line back as "A ADDR MNE OPERAND" to a fresh area.
    Bench6502 r;
    r.place_images();
    std::vector<std::tuple<uint16_t, std::string, int>> instr;
    for (size_t pos = 0; (pos = b.out.find(".,", pos)) != std::string::npos; ++pos) {
        std::string l = b.out.substr(pos, b.out.find('\r', pos) - pos);
        if (l.find("???") != std::string::npos) continue;
        uint16_t at = uint16_t(std::stoul(l.substr(3, 4), nullptr, 16));
        int len = 0;  // bytes shown in the byte column
        for (int c : {8, 11, 14}) len += l[c] != ' ';
        instr.emplace_back(at, l.substr(18), len);
        r.lines.push_back(".A " + l.substr(3, 4) + " " + l.substr(18));
        ++documented;
    }
    EXPECT_EQ(documented, 151);
    r.s = 0xF6;
    r.sys(0x9000);
    r.run(50000000);
    for (auto& [at, text, len] : instr) {
        for (int i = 0; i < len; ++i)
            EXPECT_EQ(r.mem[at + i], b.mem[at + i]) << text << " byte " << i;
    }
}

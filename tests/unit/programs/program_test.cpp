// Built-in welcome program: image layout, its BASIC text, and every menu entry run on the bench.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench6502.h"
#include "data/blobs.h"

namespace {

constexpr size_t kMonitorOffset = 2 + (0x9000 - 0x0801);  // in the program file

uint16_t peek16(const uint8_t* m, uint16_t a) { return m[a] | m[a + 1] << 8; }

// BASIC started, images placed by POKE 313,255's routine, then RUN typed.
struct ProgramBench : Bench6502 {
    ProgramBench() {
        boot_basic();
        place_images();
        lines.push_back("RUN");
        run();
    }
    // Presses a key at the menu and runs until the program waits again.
    void press(char k) {
        keys.push_back(uint8_t(k));
        out.clear();
        colours.clear();
        run();
    }
    bool printed(const std::string& t) const { return out.find(t) != std::string::npos; }
};

}  // namespace

TEST(ProgramImage, CarriesTheMonitorByteForByteAtItsAddress) {
    ASSERT_EQ(data_size(data_program_prg, data_program_prg_end), 47598u);
    ASSERT_EQ(data_size(data_monitor_prg, data_monitor_prg_end), 4225u);
    EXPECT_EQ(0, std::memcmp(data_program_prg + kMonitorOffset, data_monitor_prg + 2, 4223));
}

TEST(ProgramImage, BasicTextIsAWellLinkedChainThatSetsItsOwnPointers) {
    Bench6502 b;
    b.place_images();
    uint16_t at = 0x0801;
    int last = -1, lines = 0;
    while (peek16(b.mem, at) != 0) {
        uint16_t link = peek16(b.mem, at);
        int number = peek16(b.mem, at + 2);
        EXPECT_GT(number, last);
        last = number;
        ASSERT_GT(link, at + 4);
        ASSERT_LT(link, 0x8C00);
        EXPECT_EQ(b.mem[link - 1], 0) << "line " << number << " not terminated";
        at = link;
        ++lines;
    }
    EXPECT_GT(lines, 20);
    uint16_t vars = at + 2;  // just past the end-of-text marker
    // Line 0: POKE45,lo:POKE46,hi:... tokenized POKE is $97.
    std::string line0(reinterpret_cast<char*>(b.mem + 0x0805));
    char want[64];
    std::snprintf(want, sizeof want, "\x97" "45,%d:\x97" "46,%d:", vars & 0xFF, vars >> 8);
    EXPECT_EQ(line0.rfind(want, 0), 0u) << line0;
    EXPECT_NE(line0.find("\x97" "55,0:\x97" "56,140:\x9c"), std::string::npos);  // top $8C00, CLR
}

TEST(Program, RunShowsTheMenuWithoutRunningOutOfMemory) {
    ProgramBench p;
    EXPECT_FALSE(p.printed("ERROR")) << p.out;
    for (const char* entry : {"WELCOME TO TARN", "1  A TOUR OF THE COLOURS", "2  A TUNE ON THE SID",
                              "3  GAME: GUESS THE NUMBER", "4  DISK DIRECTORY",
                              "5  MACHINE-LANGUAGE MONITOR", "6  END"})
        EXPECT_TRUE(p.printed(entry)) << entry;
    EXPECT_EQ(peek16(p.mem, 0x37), 0x8C00);  // strings stay below the machine code
    EXPECT_LT(peek16(p.mem, 0x2D), 0x1000);  // variables right after the text
    EXPECT_EQ(p.mem[0xD021], 6);
}

TEST(Program, ColourTourNamesEachColourInThatColour) {
    ProgramBench p;
    std::vector<int> borders;
    p.on_step = [&](Bench6502& b) {
        if (borders.empty() || borders.back() != b.mem[0xD020]) borders.push_back(b.mem[0xD020]);
    };
    p.press('1');
    const char* names[16] = {"BLACK", "WHITE", "RED", "CYAN", "PURPLE", "GREEN", "BLUE", "YELLOW",
                             "ORANGE", "BROWN", "LIGHT RED", "DARK GREY", "GREY", "LIGHT GREEN",
                             "LIGHT BLUE", "LIGHT GREY"};
    size_t from = 0;
    for (int c = 0; c < 16; ++c) {
        std::string n = std::to_string(c) + " " + names[c];
        size_t at = p.out.find(n, from);
        ASSERT_NE(at, std::string::npos) << names[c] << p.out;
        EXPECT_EQ(p.colours[at + n.size() - 1], char(c)) << names[c];
        from = at + n.size();
    }
    EXPECT_TRUE(p.printed("(THE BACKGROUND)"));
    EXPECT_TRUE(p.printed("PRESS A KEY FOR THE MENU"));
    std::vector<int> seq;  // the border walks through all sixteen colours
    for (int c = 0; c < 16; ++c) seq.push_back(c);
    EXPECT_NE(std::search(borders.begin(), borders.end(), seq.begin(), seq.end()), borders.end());
    p.press(' ');
    EXPECT_TRUE(p.printed("1  A TOUR OF THE COLOURS"));  // back at the menu
}

TEST(Program, TunePlaysItsNotesThroughTheSidFrequencyRegisters) {
    ProgramBench p;
    std::vector<int> notes;
    int volume_while_gated = -1;
    uint8_t gate = 0;
    p.on_step = [&](Bench6502& b) {
        if (b.mem[0xD404] == 17 && gate != 17) {
            notes.push_back(b.mem[0xD400] | b.mem[0xD401] << 8);
            volume_while_gated = b.mem[0xD418];
        }
        gate = b.mem[0xD404];
    };
    p.press('2');
    const std::vector<int> tune = {5613, 5613, 5947, 6675, 6675, 5947, 5613, 5001, 4455, 4455,
                                   5001, 5613, 5613, 5001, 5001, 5613, 5613, 5947, 6675, 6675,
                                   5947, 5613, 5001, 4455, 4455, 5001, 5613, 5001, 4455, 4455};
    EXPECT_EQ(notes, tune);
    EXPECT_EQ(volume_while_gated, 15);
    EXPECT_EQ(p.mem[0xD418], 0);  // silent afterwards
    EXPECT_TRUE(p.printed(" E E F G G F E D C C D E E D D"));
}

TEST(Program, GuessingGameAnswersTooLowTooHighAndRight) {
    ProgramBench p;
    p.press('3');
    ASSERT_TRUE(p.printed("I'M THINKING OF A NUMBER, 1 TO 100."));
    int lo = 1, hi = 100, tries = 0;
    bool low_seen = false, high_seen = false;
    while (tries < 10) {
        int guess = (lo + hi) / 2;
        ++tries;
        p.out.clear();
        p.lines.push_back(std::to_string(guess));
        p.run();
        if (p.printed("TOO LOW")) { lo = guess + 1; low_seen = true; continue; }
        if (p.printed("TOO HIGH")) { hi = guess - 1; high_seen = true; continue; }
        break;
    }
    EXPECT_TRUE(p.printed("RIGHT! YOU NEEDED " + std::to_string(tries) + " TRIES.")) << p.out;
    EXPECT_LE(tries, 7);
    EXPECT_TRUE(low_seen || high_seen || tries == 1);
}

TEST(Program, DirectoryEntryLoadsTheListingAsideAndPrintsIt) {
    ProgramBench p;
    // Play the host: answer the LOAD request some instructions later with a
    // listing program, linked as if it sat at $0801, at the load target.
    const uint8_t listing[] = {
        0x1F, 0x08, 0x00, 0x00, 0x12, '"', 'T', 'A', 'R', 'N', '"', ' ', '0', '0', 0x00,
        0x2F, 0x08, 0x03, 0x00, ' ', ' ', '"', 'H', 'E', 'L', 'L', 'O', '"', ' ', 'P', 'R', 'G', 0x00,
        0x3F, 0x08, 0x10, 0x27, 'B', 'L', 'O', 'C', 'K', 'S', ' ', 'F', 'R', 'E', 'E', '.', 0x00,
        0x00, 0x00};
    int countdown = -1;
    uint16_t target = 0;
    p.on_step = [&](Bench6502& b) {
        if (b.mem[2] == 4 && countdown < 0) countdown = 5000;
        if (countdown > 0 && --countdown == 0) {
            target = peek16(b.mem, 0x2B);
            b.mem[2] = 0;
            std::memcpy(b.mem + target, listing, sizeof listing);
            uint16_t end = uint16_t(target + sizeof listing);
            b.mem[0xAE] = end & 0xFF;
            b.mem[0xAF] = end >> 8;
        }
    };
    p.press('4');
    EXPECT_EQ(target, 0xC000);                 // not over the running program
    EXPECT_EQ(peek16(p.mem, 0x2B), 0x0801);    // BASIC start given back
    EXPECT_EQ(p.mem[0xB7], 1);
    EXPECT_EQ(p.mem[0xBA], 8);
    // The header in yellow without its reverse-on (the text view would
    // blank reversed letters), the entries in white.
    EXPECT_TRUE(p.printed("\r\x9e" "0 \"TARN\" 00")) << p.out;
    EXPECT_TRUE(p.printed("\r\x05" "3   \"HELLO\" PRG"));
    EXPECT_TRUE(p.printed("\r\x05" "10000 BLOCKS FREE."));
    EXPECT_FALSE(p.printed("\x12"));
    EXPECT_TRUE(p.printed("LOAD\"$\",8"));
    EXPECT_FALSE(p.printed("ERROR"));
}

TEST(Program, DirectoryEntryGivesUpWhenNoAnswerComes) {
    ProgramBench p;
    p.press('4');
    EXPECT_TRUE(p.printed("NO ANSWER FROM THE DISK.")) << p.out;
    EXPECT_EQ(peek16(p.mem, 0x2B), 0x0801);
    EXPECT_TRUE(p.printed("PRESS A KEY FOR THE MENU"));
}

TEST(Program, MonitorEntryStartsTheResidentMonitorAndXReturnsToBasic) {
    ProgramBench p;
    p.press('5');
    EXPECT_TRUE(p.printed("TARN MONITOR")) << p.out;
    EXPECT_TRUE(p.printed(".;9000 ")) << p.out;
    p.lines.push_back(".X");
    p.run();
    EXPECT_TRUE(p.warm_started);
}

TEST(Program, EndEntryStopsAtReady) {
    ProgramBench p;
    p.press('6');
    EXPECT_TRUE(p.printed("RUN BRINGS THE MENU BACK.")) << p.out;
    EXPECT_TRUE(p.printed("READY.")) << p.out;
    EXPECT_TRUE(p.starved);  // BASIC waits for a direct command
}

TEST(Program, OtherKeysAreIgnoredAtTheMenu) {
    ProgramBench p;
    p.keys = {'9', 'A', '0'};
    p.out.clear();
    p.run();
    EXPECT_TRUE(p.out.empty()) << p.out;  // still waiting at the menu
    EXPECT_TRUE(p.keys.empty());
}

TEST(ProgramImage, BasicListsTheTokenizedLinesBackAsWritten) {
    Bench6502 b;
    b.boot_basic();
    b.place_images();
    b.lines.push_back("LIST 120-150");
    b.lines.push_back("LIST 2030-2040");
    b.lines.push_back("LIST 3020");
    b.out.clear();
    b.run();
    for (const char* l : {"\r120 GETK$:IFK$=\"\"THEN120\r", "\r130 K=VAL(K$):IFK<1ORK>6THEN120\r",
                          "\r140 ONKGOSUB1000,2000,3000,4000,5000,6000\r", "\r150 GOTO10\r",
                          "\r2030 READN$,F,L:IFL=0THEN2080\r",
                          "\r2040 PRINT\" \";N$;:POKES+1,INT(F/256):POKES,FAND255:POKES+24,15:POKES+4,17\r",
                          "\r3020 X=RND(-TI):G=INT(RND(1)*100)+1:T=0\r"})
        EXPECT_NE(b.out.find(l), std::string::npos) << l << b.out;
}

// The built-in welcome program on the whole machine: placed by POKE 313,255,
// started with RUN, every menu entry driven through the keyboard.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/programs_machine/machine_fixture.h"
#include "tests/unit/bridge/mounted_volume.h"

#include "c64/processor.h"
#include "c64/sid.h"
#include "drivers/speaker.h"
#include "host/speaker_tone.h"
#include "tests/support/sim_pit.h"
#include "c64/text_view.h"
#include "c64/vic.h"
#include "data/blobs.h"

namespace {

constexpr u16 kVarTab = 0x2D;    // BASIC start of variables
constexpr u16 kMemSiz = 0x37;    // BASIC top of memory
constexpr u16 kBrkVector = 0x0316;
constexpr u16 kProgramEnd = 0xC1ED;
constexpr u16 kMonitor = 0x9000;
constexpr u32 kMonitorBytes = 4223;
constexpr u8 kBlue = 6;          // the program's background colour
constexpr u8 kWhite = 1;

const char* const kColourNames[16] = {"BLACK",  "WHITE",     "RED",       "CYAN",       "PURPLE",      "GREEN",
                                      "BLUE",   "YELLOW",    "ORANGE",    "BROWN",      "LIGHT RED",   "DARK GREY",
                                      "GREY",   "LIGHT GREEN", "LIGHT BLUE", "LIGHT GREY"};

// One processor store into the SID's page (the chip keeps no RAM copy).
struct SidStore {
    u8 reg;
    u8 value;
    uint32_t speaker_hz;  // what the PC speaker plays right after it
};

// The PC's interval timer on the simulated bus for as long as it lives.
struct TimerOnBus {
    TimerOnBus() { simbus::bus().attach(&pit); }
    ~TimerOnBus() { simbus::bus().detach(&pit); }
    simbus::SimPit pit;
};

bool IsStore(u8 opcode, u8* which) {
    switch (opcode) {
    case 0x85: case 0x95: case 0x8D: case 0x9D: case 0x99: case 0x81: case 0x91: *which = 'A'; return true;
    case 0x86: case 0x96: case 0x8E: *which = 'X'; return true;
    case 0x84: case 0x94: case 0x8C: *which = 'Y'; return true;
    default: return false;
    }
}

class Program : public ProgramsOnMachine {
protected:
    // Presses a menu key the way the KERNAL receives one, without running
    // the machine, so what follows can be watched from its first step.
    void KeyIntoBuffer(char key) {
        Poke(0x0277, static_cast<u8>(key));
        Poke(kKeyCount, 1);
    }

    // Steps the core as the C64 face does (an interrupt every 1/60 s worth
    // of instructions) and notes every store into $D400-$D4FF.
    void StepWatchingSid(u32 steps, const simbus::SimPit& pit, std::vector<SidStore>* stores) {
        constexpr u32 kStepsPerIrq = 16667;
        Processor& cpu = hm.cpu();
        u32 since_tick = 0;
        for (u32 i = 0; i < steps; i++) {
            cpu.step();
            since_tick++;
            u8 which = 0;
            u16 ea = cpu.effective_address();
            if (IsStore(cpu.opcode(), &which) && ea >= 0xD400 && ea < 0xD500) {
                Processor::Registers r = cpu.registers();
                u8 v = which == 'A' ? r.a : which == 'X' ? r.x : r.y;
                stores->push_back({static_cast<u8>(ea & 0xFF), v, pit.speaker_hz()});
            }
            if (since_tick % kStepsPerIrq == 0) cpu.tick();
        }
    }

    // Plays one round of the guessing game, each guess chosen by `pick`
    // from what is still possible; returns the tries the game counted when
    // it said RIGHT!, -1 when it never did within 100 guesses.
    int PlayRound(int (*pick)(int lo, int hi)) {
        int lo = 1, hi = 100;
        for (int tries = 1; tries <= 100 && lo <= hi; tries++) {
            int guess = pick(lo, hi);
            TypeLine(std::to_string(guess));
            std::string answer;
            for (int pass = 0; pass < 200 && answer.empty(); pass++) {
                int r = LastRowStarting(" YOUR GUESS? " + std::to_string(guess));
                if (r >= 0 && r < 24) answer = Trimmed(r + 1);
                if (answer.empty()) hm.run_pass();
            }
            if (answer == " TOO LOW") {
                lo = guess + 1;
            } else if (answer == " TOO HIGH") {
                hi = guess - 1;
            } else {
                EXPECT_EQ(answer, " RIGHT! YOU NEEDED " + std::to_string(tries) + " TRIES.") << Screen();
                return answer.rfind(" RIGHT!", 0) == 0 ? tries : -1;
            }
        }
        return -1;
    }

    // A menu entry is over when it asks for a key to go back.
    bool EntryDone(int max_passes = 600) { return WaitFor("PRESS A KEY FOR THE MENU", max_passes); }

    // A dot of the cell's glyph that is lit, as (l, k); false for a blank.
    static bool LitDot(char ch, int* l, int* k) {
        const u8* glyph = TextView::kFont[static_cast<u8>(ch) - 0x20];
        for (*k = 0; *k < 7; (*k)++)
            for (*l = 0; *l < 5; (*l)++)
                if (glyph[*k] & (0x10 >> *l)) return true;
        return false;
    }
};

}  // namespace

TEST(ProgramImages, HaveTheirSizesAndLoadAddresses) {
    ASSERT_EQ(data_size(data_monitor_prg, data_monitor_prg_end), 4225u);
    ASSERT_EQ(data_size(data_program_prg, data_program_prg_end), 47598u);
    EXPECT_EQ(data_monitor_prg[0] | data_monitor_prg[1] << 8, 0x9000);
    EXPECT_EQ(data_program_prg[0] | data_program_prg[1] << 8, 0x0801);
}

TEST_F(Program, PokeTriggerPlacesBothImagesWithTheMonitorIntact) {
    TypeLine("POKE 313,255");
    ASSERT_TRUE(WaitForLastLine("READY."));
    EXPECT_EQ(PeekWord(kBrkVector), kMonitor);
    EXPECT_EQ(PeekWord(kVarTab), kProgramEnd);
    // The program's own bytes over $9000-$A07E are the monitor, so placing
    // the program last leaves a working monitor behind.
    int differing = 0;
    for (u32 i = 0; i < kMonitorBytes; i++)
        if (Peek(static_cast<u16>(kMonitor + i)) != data_monitor_prg[2 + i]) differing++;
    EXPECT_EQ(differing, 0);
    for (u32 i = 0; i < 16; i++) EXPECT_EQ(Peek(static_cast<u16>(0x0801 + i)), data_program_prg[2 + i]);
}

TEST_F(Program, RunShowsTheMenuAndBasicStillHasRoomForVariables) {
    ASSERT_TRUE(StartProgram()) << Screen();
    EXPECT_FALSE(hm.screen_has("ERROR")) << Screen();
    for (const char* entry : {"WELCOME TO TARN", "1  A TOUR OF THE COLOURS", "2  A TUNE ON THE SID",
                              "3  GAME: GUESS THE NUMBER", "4  DISK DIRECTORY", "5  MACHINE-LANGUAGE MONITOR",
                              "6  END"})
        EXPECT_TRUE(hm.screen_has(entry)) << entry << "\n" << Screen();
    EXPECT_LT(PeekWord(kVarTab), 0x1000);  // variables right after the BASIC text
    EXPECT_EQ(PeekWord(kMemSiz), 0x8C00);  // strings stay below the machine code
    EXPECT_EQ(hm.vic().read_register(0x21) & 0x0F, kBlue);

    // Keys that are no entry leave the menu as it is.
    TypeKeys("9X0");
    hm.run_passes(20);
    EXPECT_TRUE(hm.screen_has("PRESS 1-6"));
    EXPECT_FALSE(hm.screen_has("READY."));

    TypeKeys("6");
    ASSERT_TRUE(WaitForLastLine("READY.")) << Screen();
    EXPECT_TRUE(hm.screen_has("RUN BRINGS THE MENU BACK."));
    EXPECT_FALSE(hm.screen_has("OUT OF MEMORY"));
    // Numbers, strings and arrays still work in the room the program left.
    TypeLine("A=6:B$=\"OK\":DIM C(50):C(50)=A*7:PRINT C(50);B$");
    ASSERT_TRUE(WaitForLastLine("READY.")) << Screen();
    int r = LastRowStarting(" 42 OK");
    EXPECT_GE(r, 0) << Screen();
    EXPECT_FALSE(hm.screen_has("ERROR")) << Screen();
    TypeLine("RUN");
    EXPECT_TRUE(WaitFor("PRESS 1-6", 400)) << Screen();
}

TEST_F(Program, ColourTourShowsEachNameInItsColour) {
    ASSERT_TRUE(StartProgram());
    TypeKeys("1");
    ASSERT_TRUE(EntryDone()) << Screen();
    for (int c = 0; c < 16; c++) {
        std::string line = " " + std::to_string(c) + " " + kColourNames[c];
        int r = LastRowStarting(line);
        ASSERT_GE(r, 0) << line << "\n" << Screen();
        int name_col = static_cast<int>(line.size() - std::strlen(kColourNames[c]));
        for (int col = name_col; col < static_cast<int>(line.size()); col++)
            EXPECT_EQ(hm.machine().text_view()->colour(40 * r + col), c) << kColourNames[c];
        EXPECT_EQ(hm.machine().text_view()->colour(40 * r + 1), kWhite) << "number of " << kColourNames[c];
        // And on the framebuffer: the name's first letter is drawn in the
        // text view's shade of the colour it names.
        int l = 0, k = 0;
        ASSERT_TRUE(LitDot(kColourNames[c][0], &l, &k));
        EXPECT_EQ(hm.cell_pixel(name_col, r, l, k), HeadlessMachine::colour(c)) << kColourNames[c];
    }
    EXPECT_TRUE(hm.screen_has("BLUE (THE BACKGROUND)"));
    EXPECT_EQ(hm.vic().read_register(0x20) & 0x0F, 14);  // border back to light blue
    TypeKeys(" ");
    EXPECT_TRUE(WaitFor("PRESS 1-6", 200)) << Screen();
}

TEST_F(Program, TunePlaysEveryNoteThroughTheSidOnThePcSpeaker) {
    ASSERT_TRUE(StartProgram());
    TimerOnBus timer;
    tarn::drivers::SpeakerDriver speaker;
    tarn::host::SpeakerTone tone(&speaker);
    hm.machine().sid()->sink(&tone);
    KeyIntoBuffer('2');
    std::vector<SidStore> stores;
    // The whole tune is well under two million instructions.
    StepWatchingSid(2500000, timer.pit, &stores);
    hm.machine().sid()->sink(nullptr);
    ASSERT_FALSE(stores.empty());

    // A note sounds when the gate opens (volume on, triangle, gate); its
    // pitch is what the frequency registers hold at that moment.
    const std::vector<int> tune = {5613, 5613, 5947, 6675, 6675, 5947, 5613, 5001, 4455, 4455,
                                   5001, 5613, 5613, 5001, 5001, 5613, 5613, 5947, 6675, 6675,
                                   5947, 5613, 5001, 4455, 4455, 5001, 5613, 5001, 4455, 4455};
    std::vector<int> notes;
    u8 lo = 0, hi = 0;
    int silences = 0;
    for (const SidStore& s : stores) {
        if (s.reg == 0) lo = s.value;
        if (s.reg == 1) hi = s.value;
        if (s.reg == 4 && s.value == 17) {
            int note = hi << 8 | lo;
            notes.push_back(note);
            // The note sounds on the PC speaker at its pitch (the timer's
            // whole-number divisor moves it by well under one percent).
            double hz = note * 985248.0 / 16777216;
            EXPECT_NEAR(double(s.speaker_hz), hz, hz / 100 + 1) << "note " << notes.size();
        }
        if (s.reg == 24 && s.value == 0) {
            silences++;
            EXPECT_EQ(s.speaker_hz, 0u) << "after note " << notes.size();
        }
    }
    EXPECT_EQ(notes, tune);
    // Each note ends in silence, so repeated notes sound apart on the PC
    // speaker, and the tune leaves it quiet.
    EXPECT_GE(silences, static_cast<int>(tune.size()));
    EXPECT_EQ(stores.back().reg, 24);
    EXPECT_EQ(stores.back().value, 0);
    EXPECT_FALSE(timer.pit.speaker_on());

    ASSERT_TRUE(EntryDone(100)) << Screen();
    EXPECT_TRUE(hm.screen_has("ODE TO JOY"));
    EXPECT_TRUE(hm.screen_has(" E E F G G F E D C C D E E D D")) << Screen();
    EXPECT_TRUE(hm.screen_has("FREQUENCY $D400/$D401, VOLUME $D418"));
}

// Plays one round by halving the range; returns the tries, -1 when no
// RIGHT! came within eight. Guesses follow `pick` (lo, hi) -> guess.
TEST_F(Program, GuessingGameIsPlayableRoundAfterRound) {
    ASSERT_TRUE(StartProgram());
    TypeKeys("3");
    ASSERT_TRUE(WaitFor("YOUR GUESS?")) << Screen();
    // Every line fits the 40 columns: nothing spills onto a row of its own.
    EXPECT_GE(LastRowStarting(" I'M THINKING OF A NUMBER, 1 TO 100."), 0) << Screen();
    EXPECT_EQ(LastRowStarting("."), -1) << Screen();

    // Something that is no number is asked again, not taken.
    TypeLine("ABC");
    hm.run_passes(10);
    EXPECT_TRUE(hm.screen_has("?REDO FROM START")) << Screen();
    EXPECT_FALSE(hm.screen_has("TOO ")) << Screen();

    int tries = PlayRound([](int lo, int hi) { return (lo + hi) / 2; });
    ASSERT_GT(tries, 0) << Screen();
    EXPECT_LE(tries, 7);
    EXPECT_FALSE(hm.screen_has("AT MOST 7")) << Screen();
    ASSERT_TRUE(WaitFor("ANOTHER ROUND (Y/N)?", 50)) << Screen();

    // Other keys wait; Y starts a fresh round on a cleared screen.
    TypeKeys("Q");
    hm.run_passes(10);
    EXPECT_TRUE(hm.screen_has("RIGHT! YOU NEEDED")) << Screen();
    TypeKeys("Y");
    ASSERT_TRUE(WaitFor("YOUR GUESS?")) << Screen();
    EXPECT_FALSE(hm.screen_has("RIGHT!")) << Screen();

    // Walking up one by one from 1 may take more than seven tries; the
    // game then tells how few would have done.
    tries = PlayRound([](int lo, int) { return lo; });
    ASSERT_GT(tries, 0) << Screen();
    EXPECT_EQ(hm.screen_has("HALVING WHAT IS LEFT NEEDS AT MOST 7."), tries > 7) << Screen();
    ASSERT_TRUE(WaitFor("ANOTHER ROUND (Y/N)?", 50)) << Screen();
    TypeKeys("N");
    EXPECT_TRUE(WaitFor("PRESS 1-6", 100)) << Screen();
}

TEST_F(Program, DirectoryEntryListsTheAttachedDisk) {
    diskimage::Options options;
    options.label = "TARNDISK";
    MountedVolume volume(options);
    ASSERT_TRUE(volume.image.ok());
    ASSERT_TRUE(volume.Put("HELLO.PRG", std::vector<uint8_t>(300, 0xEA)));
    ASSERT_TRUE(volume.Put("GAME.PRG", std::vector<uint8_t>(2000, 0x60)));
    tarn::filesystem::Fat32* fat = volume.Mount();
    ASSERT_TRUE(fat && fat->mounted());
    hm.attach_fat32(fat);
    // Mounting may have set the simulated bus up afresh: the keyboard
    // controller goes back on it (once).
    simbus::bus().detach(&hm.ps2());
    simbus::bus().attach(&hm.ps2());

    ASSERT_TRUE(StartProgram()) << Screen();
    TypeKeys("4");
    ASSERT_TRUE(EntryDone()) << Screen();
    int header = LastRowWith("\"TARNDISK");
    ASSERT_GE(header, 0) << Screen();
    EXPECT_EQ(hm.machine().text_view()->colour(40 * header + 4), 7);  // the header in yellow
    int hello = LastRowWith("\"HELLO\"");
    int game = LastRowWith("\"GAME\"");
    ASSERT_GE(hello, 0) << Screen();
    ASSERT_GE(game, 0) << Screen();
    EXPECT_EQ(Trimmed(hello).substr(0, 2), "2 ");   // 300 bytes: two blocks
    EXPECT_EQ(Trimmed(game).substr(0, 2), "8 ");    // 2,000 bytes: eight blocks
    EXPECT_NE(hm.row(hello).find("PRG"), std::string::npos);
    EXPECT_EQ(hm.machine().text_view()->colour(40 * hello + 4), kWhite);
    EXPECT_TRUE(hm.screen_has("BLOCKS FREE.")) << Screen();
    EXPECT_FALSE(hm.screen_has("NO DISK")) << Screen();
    EXPECT_EQ(PeekWord(0x2B), 0x0801);  // BASIC's program start given back
    TypeKeys(" ");
    EXPECT_TRUE(WaitFor("PRESS 1-6", 200)) << Screen();
    hm.attach_fat32(nullptr);
}

TEST_F(Program, DirectoryEntryWithoutADiskSaysSo) {
    ASSERT_TRUE(StartProgram());
    TypeKeys("4");
    ASSERT_TRUE(EntryDone()) << Screen();
    EXPECT_TRUE(hm.screen_has("NO DISK IN DRIVE 8.")) << Screen();
    EXPECT_FALSE(hm.screen_has("BLOCKS FREE")) << Screen();
    EXPECT_FALSE(hm.screen_has("ERROR")) << Screen();
    EXPECT_EQ(PeekWord(0x2B), 0x0801);
}

TEST_F(Program, MonitorEntryEntersTheResidentMonitorAndXEndsAtReady) {
    ASSERT_TRUE(StartProgram());
    TypeKeys("5");
    ASSERT_TRUE(WaitFor("TARN MONITOR")) << Screen();
    EXPECT_TRUE(hm.screen_has("   PC  SR AC XR YR SP")) << Screen();
    EXPECT_GE(LastRowStarting(".;9000 "), 0) << Screen();
    TypeLine("M 0801 0807");
    int r = LastRowStarting(".:0801 ");
    ASSERT_GE(r, 0) << Screen();
    TypeLine("X");
    EXPECT_TRUE(WaitForLastLine("READY.")) << Screen();
    TypeLine("RUN");
    EXPECT_TRUE(WaitFor("PRESS 1-6", 400)) << Screen();
}

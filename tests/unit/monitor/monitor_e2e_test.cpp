// The monitor on the running machine: Esc from BASIC, commands typed as keys,
// the output read off the framebuffer console, Esc back to the same machine.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/unit/bridge/machine_on_volume.h"

#include "c64/processor.h"
#include "c64/memory.h"
#include "drivers/keyboard.h"
#include "filesystem/fat.h"

namespace {

constexpr tarn::Key kKeyEsc = tarn::Key::Escape;
constexpr u16 kBasicStart = 0x0801;
constexpr u16 kVarTab = 0x2D;

class MonitorE2E : public MachineOnVolume {
protected:
    // Esc, the scripted monitor lines, Esc: all served within one pass of
    // the main loop, which is parked in the monitor meanwhile.
    consolereader::ConsoleReader Monitor(const std::vector<std::string>& lines) {
        hm.tap_key(kKeyEsc);
        for (const std::string& l : lines) hm.monitor_script(l + "\n");
        hm.monitor_script_key(kKeyEsc);
        EXPECT_TRUE(hm.run_pass());
        EXPECT_FALSE(hm.monitor_ran_dry());
        EXPECT_FALSE(hm.in_monitor());
        return hm.console();
    }

    // Back from the monitor (whose keys never reach the C64): let BASIC
    // take whatever is still pending and wait for READY.
    void Settle() {
        for (int i = 0; i < 100 && (hm.keys_pending() != 0 || Peek(kKeyCount) != 0); i++) hm.run_pass();
        TypeLine("");
        for (int i = 0; i < 600 && LastLine() != "READY."; i++) hm.run_pass();
    }
};

std::string Hex4(unsigned v) {
    char b[8];
    snprintf(b, sizeof b, "%04X", v);
    return b;
}

TEST_F(MonitorE2E, MonitorShowsTheFrozenMachineAndBasicCarriesOn) {
    TypeLine("10 A=42");
    ASSERT_TRUE(Command("RUN"));
    u16 end = PeekWord(kVarTab);
    u16 pc = hm.cpu().pc();
    std::vector<u8> ram;
    for (u32 a = 0; a < 0x10000; a++) ram.push_back(Peek((u16)a));

    consolereader::ConsoleReader screen = Monitor({"M 0801", "R"});
    EXPECT_EQ(screen.row(0), "Tarn v0.10 - Debugging:");
    int m = screen.find_row(">M 0801");
    ASSERT_GE(m, 0) << screen.text();
    // Line 10: link, number 10, A = 42, as BASIC tokenized it.
    std::string dump = screen.row(m + 1);
    EXPECT_EQ(dump.substr(0, 6), "0801: ") << dump;
    char bytes[64];
    snprintf(bytes, sizeof bytes, "%02X %02X 0A 00 41 B2 34 32 00 00 00", Peek(0x0801), Peek(0x0802));
    EXPECT_EQ(dump.substr(6, 32), bytes) << dump;
    int r = screen.find_row(">R");
    ASSERT_GE(r, 0);
    EXPECT_EQ(screen.row(r + 1), " PC  SR AC XR YR SP");
    EXPECT_EQ(screen.row(r + 2).size(), 19u) << screen.row(r + 2);

    // Nothing ran and nothing changed while the monitor had the machine.
    EXPECT_EQ(hm.cpu().pc(), pc);
    for (u32 a = 0; a < 0x10000; a++) ASSERT_EQ(Peek((u16)a), ram[a]) << Hex4(a);

    Settle();
    ASSERT_TRUE(Command("PRINT A"));
    EXPECT_EQ(hm.row(RowOf("PRINT A") + 1).rfind(" 42", 0), 0u);
    EXPECT_EQ(PeekWord(kVarTab), end);
    // The C64 picture is back on the framebuffer.
    EXPECT_FALSE(hm.console().contains("Tarn v0.10"));
}

TEST_F(MonitorE2E, ProgramWrittenByTheMonitorLoadsInBasic) {
    Mount();
    TypeLine("10 B=6");
    TypeLine("20 PRINT B*7");
    u16 end = PeekWord(kVarTab);
    std::string w = "W MONSAVED.PRG 0801 " + Hex4(end - 1);  // the range is inclusive
    consolereader::ConsoleReader screen = Monitor({w});
    int at = screen.find_row(">" + w);
    ASSERT_GE(at, 0) << screen.text();
    EXPECT_EQ(screen.row(at + 1), "status=0");
    std::vector<u8> program;
    for (u32 a = kBasicStart; a < end; a++) program.push_back(Peek((u16)a));
    EXPECT_EQ(volume.Get("MONSAVED.PRG"), program);
    std::string report;
    EXPECT_EQ(volume.Check(&report), 0) << report;

    Settle();
    ASSERT_TRUE(Command("NEW"));
    ASSERT_TRUE(Command("LOAD \"MONSAVED\",8"));
    ASSERT_TRUE(Command("RUN"));
    EXPECT_EQ(hm.row(RowOf("RUN") + 1).rfind(" 42", 0), 0u);
}

TEST_F(MonitorE2E, FileLoadedByTheMonitorIsThereForBasic) {
    ASSERT_TRUE(volume.Put("DATABYTE.PRG", {0x11, 0x22, 0x33}));
    Mount();
    consolereader::ConsoleReader screen = Monitor({"L DATABYTE.PRG C000", "D"});
    int at = screen.find_row(">L DATABYTE.PRG C000");
    ASSERT_GE(at, 0) << screen.text();
    EXPECT_EQ(screen.row(at + 1), "3 bytes written to C000 - C003");
    EXPECT_EQ(screen.row(at + 2), "status=4");
    EXPECT_GE(screen.find_row("DATABYTE.PRG "), 0) << screen.text();
    Settle();
    ASSERT_TRUE(Command("PRINT PEEK(49152)+PEEK(49154)"));
    std::string shown;
    for (auto& r : hm.screen_text()) shown += r + "\n";
    EXPECT_EQ(hm.row(RowOf("PRINT PEEK") + 1).rfind(" 68", 0), 0u) << shown;
}

// A power cut anywhere in W leaves no file or the whole file, never an
// entry without its data: the data is on the disk before the entry.
TEST_F(MonitorE2E, ACutDuringWriteLeavesNoEntryOrTheWholeFile) {
    std::vector<u8> whole;
    for (u32 a = 0xC000; a < 0xC800; a++) {
        hm.mem().write_byte_no_io((u16)a, (u8)(a * 7));
        whole.push_back((u8)(a * 7));
    }
    Mount();
    int before = volume.device().writes;
    Monitor({"W CUTFILE.PRG C000 C7FF"});
    int needed = volume.device().writes - before;
    ASSERT_EQ(volume.Get("CUTFILE.PRG"), whole);
    ASSERT_GT(needed, 4);
    volume.Unmount();  // each cut on a fresh disk in its place
    for (int cut = 0; cut < needed; cut++) {
        MountedVolume fresh;
        hm.attach_fat32(fresh.Mount());
        fresh.CutAfter(cut);
        Monitor({"W CUTFILE.PRG C000 C7FF"});
        hm.attach_fat32(nullptr);
        fresh.Unmount();
        std::vector<u8> found;
        if (fresh.image.Get("CUTFILE.PRG", &found)) EXPECT_EQ(found, whole) << "power cut after " << cut << " writes";
    }
}

}  // namespace

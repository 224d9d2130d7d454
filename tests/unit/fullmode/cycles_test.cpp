// Full mode to the cycle: small programs measure on the headless machine
// what a C64 shows of its CIAs' pipeline, of the moment an interrupt is
// taken and of the cycles the VIC takes from the processor. The expected
// numbers follow from the chips' documented timing; each test derives them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "c64/c64.h"
#include "c64/memory.h"
#include "tests/support/headless_machine.h"

namespace {

constexpr u16 kProgram = 0xC000;
constexpr u16 kResults = 0xC200;
constexpr u16 kDone = 0xC23F;
constexpr u16 kKeyCount = 0xC6;
constexpr u32 kKeyBufferSize = 10;

class Cycles : public ::testing::Test {
protected:
    void SetUp() override {
        hm.machine().full_mode(true);
        for (int i = 0; i < 400 && !Ready(); i++) hm.run_pass();
        ASSERT_TRUE(Ready());
    }
    // READY. in screen RAM (screen codes).
    bool Ready() {
        static const u8 kReady[] = {0x12, 0x05, 0x01, 0x04, 0x19, 0x2E};
        for (u16 a = 0x0400; a < 0x07E8 - sizeof kReady; a++) {
            bool match = true;
            for (u16 i = 0; i < sizeof kReady && match; i++) match = Peek(static_cast<u16>(a + i)) == kReady[i];
            if (match) return true;
        }
        return false;
    }

    // Loads NAME at $C000, SYS 49152, and runs until it sets its done flag.
    void Run(const std::string& name) {
        std::ifstream f(std::string(FULLMODE_PROGRAMS) + "/" + name + ".bin", std::ios::binary);
        ASSERT_TRUE(f.good()) << name;
        std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        for (size_t i = 0; i < bytes.size(); i++)
            hm.mem().write_byte_no_io(static_cast<u16>(kProgram + i), static_cast<u8>(bytes[i]));
        for (int i = 0; i < 0x40; i++) hm.mem().write_byte_no_io(static_cast<u16>(kResults + i), 0);
        for (char c : std::string("SYS49152\r")) {
            for (int i = 0; i < 50 && Peek(kKeyCount) >= kKeyBufferSize; i++) hm.run_pass();
            hm.buffer_key(static_cast<u8>(c));
        }
        for (int i = 0; i < 200 && Peek(kDone) == 0; i++) hm.run_pass();
        ASSERT_EQ(Peek(kDone), 1u) << name << " did not finish";
    }
    u32 Peek(u16 a) { return hm.mem().read_byte_no_io(a); }
    u32 Word(u16 a) { return Peek(a) | Peek(static_cast<u16>(a + 1)) << 8; }
    std::vector<u32> Bytes(u16 a, int n) {
        std::vector<u32> v;
        for (int i = 0; i < n; i++) v.push_back(Peek(static_cast<u16>(a + i)));
        return v;
    }

    HeadlessMachine hm;
};

using V = std::vector<u32>;

// Every experiment of cia_cycles.s writes a control register in cycle W
// and probes 14 cycles later (STA ends at W + 1, five NOPs, the probing
// LDA reads in its fourth cycle). Force load puts latch L in at W; counting
// starts at W + 2, so the counter reaches 0 at W + 2 + L and underflows in
// that cycle: U = W + 2 + L, and the probe reads at U + 12 - L.
TEST_F(Cycles, CiaPipelineAroundTheUnderflowCycleByCycle) {
    Run("cia_cycles");

    // ICR with timer B's source enabled: flag from U + 1, bit 7 from U + 2.
    // L = 10..14 puts the first read at U + 2 .. U - 2: $82, then $02 (read
    // in the flag's own cycle: no bit 7, and the interrupt is lost), then
    // nothing yet. The second read, 9 cycles later, finds the flag and bit
    // 7 only where the first read came before the flag.
    EXPECT_EQ(Bytes(kResults, 5), (V{0x82, 0x02, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Bytes(kResults + 5, 5), (V{0x00, 0x00, 0x82, 0x82, 0x82}));

    // PB6 in pulse mode is high in U + 1 alone: L = 10, 11, 12 probe
    // U + 2, U + 1, U.
    EXPECT_EQ(Bytes(kResults + 0x10, 3), (V{0x00, 0x40, 0x00}));
    // PB7 in toggle mode goes high when the timer starts and flips in
    // U + 1: low at U + 2 and U + 1, still high at U.
    EXPECT_EQ(Bytes(kResults + 0x13, 3), (V{0x00, 0x00, 0x80}));

    // Timer B (latch 0) counting A's underflows counts in U + 1, and being
    // at 0 underflows there: its flag shows from U + 2, one cycle after
    // A's. L = 9..12 probe U + 3, U + 2, U + 1, U: $03 $03 $01 $00.
    EXPECT_EQ(Bytes(kResults + 0x18, 4), (V{0x03, 0x03, 0x01, 0x00}));

    // One-shot written in W1 = W0 + 14 while the timer runs: it counts for
    // underflows from W1 + 1 on. U = W0 + 2 + L, so L = 11..14 put the
    // underflow at W1 - 1, W1, W1 + 1, W1 + 2; CRA read at W1 + 4 still
    // shows START for the first two (the next underflow is 12 cycles on)
    // and not for the last two.
    EXPECT_EQ(Bytes(kResults + 0x20, 4), (V{0x09, 0x09, 0x08, 0x08}));
}

// irq_cycle.s: stopwatch B force-loaded with $FFFF in W_B reads
// $FFFF - (R - W_B - 2) in cycle R. Timer A (latch L) is started in
// W_A = W_B + 12, underflows at W_A + 2 + L and pulls IRQ two cycles later,
// at W_A + 4 + L. The processor samples IRQ in an instruction's next-to-
// last cycle; the entry takes 7 cycles and the handler's LDA reads in its
// fourth.
TEST_F(Cycles, TimerInterruptReachesItsHandlerAtTheSampledCycle) {
    Run("irq_cycle");
    // NOPs from W_A + 1, two cycles each, sampled in their first: the
    // first NOP starting at or after W_A + 4 + L is the last before the
    // entry. L = 20, 21: the NOP at W_A + 25, entry from W_A + 27, read at
    // W_A + 37 = W_B + 49: $FFFF - 47 = $FFD0. L = 22: the NOP at W_A + 27,
    // two cycles later: $FFCE.
    EXPECT_EQ(Word(kResults), 0xFFD0u);
    EXPECT_EQ(Word(kResults + 2), 0xFFD0u);
    EXPECT_EQ(Word(kResults + 4), 0xFFCEu);
    // A taken branch that stays in its page (three cycles from W_A + 1)
    // samples in its first cycle only. L = 20, 21: the branch at W_A + 25
    // is the last, entry from W_A + 28, read at W_B + 50: $FFCF. L = 22:
    // IRQ at W_A + 26 misses the branch at W_A + 25 (it would have seen it
    // in its second cycle), so the one at W_A + 28 is last: $FFCC.
    EXPECT_EQ(Word(kResults + 6), 0xFFCFu);
    EXPECT_EQ(Word(kResults + 8), 0xFFCFu);
    EXPECT_EQ(Word(kResults + 10), 0xFFCCu);
}

// raster_write.s writes the compare register in cycle W = W_B + 6 to the
// line the raster is on. The comparator matches from that cycle, so the
// IRQ line is low from W: the STA sampled it in W - 1, too early; the NOP
// from W + 1 samples it and the entry follows from W + 3; the handler's
// LDY reads at W + 13 = W_B + 19: $FFFF - 17 = $FFEE. One entry for the
// write, and one more a frame later at the line's start.
TEST_F(Cycles, RasterCompareWrittenToTheCurrentLineInterruptsAtTheWrite) {
    Run("raster_write");
    EXPECT_EQ(Word(kResults), 0xFFEEu);
    EXPECT_EQ(Peek(kResults + 3), 1u);
    EXPECT_EQ(Peek(kResults + 4), 2u);
}

// steals.s times the same read-only work over whole lines. Each sprite with
// DMA on holds BA low from three cycles before its two fetch cycles to
// their end; neighbouring sprites' windows merge, so sprites 0..N-1 cost
// 2N + 3 cycles a line (sprite 0: cycles 55-59; up to sprite 7: 55-63
// and 1-10 of the next line). Sprites at Y = 100 are fetched for 21 lines.
// A badline holds BA low in cycles 12-54: 43 cycles, 20 left.
TEST_F(Cycles, RasterLinesLeaveTheProcessorWhatSpritesAndBadlinesDoNotTake) {
    Run("steals");
    auto elapsed = [&](int i) { return 0xFFFFu - Word(static_cast<u16>(kResults + 2 * i)); };
    u32 bare = elapsed(0);
    for (int n = 1; n <= 8; n++) {
        u32 taken = elapsed(n) - bare;
        EXPECT_EQ(taken % 21, 0u) << n << " sprites";
        EXPECT_EQ(63 - taken / 21, 60u - 2 * n) << n << " sprites: cycles left to the processor a line";
    }
    // Screen on, no sprites: badlines 91 to 131 (six) inside the timing.
    EXPECT_EQ(elapsed(9) - bare, 6u * 43);
}

// sprite_check.s enables sprite 0 (Y = 100) by a write in line 100 and
// times fixed work from there. The chip's check in cycle 55 decides the
// next line's sprites: written in cycles 9-15 the sprite is fetched for
// lines 101-121, each fetch holding BA low in cycles 55-59 of the line
// before, so the work takes 21 x 5 cycles longer than when written in
// cycles 56-62, after the check, where the sprite waits for the next frame.
TEST_F(Cycles, SpriteDmaIsDecidedInCycle55OfTheLineBefore) {
    Run("sprite_check");
    u32 early = 0xFFFFu - Word(kResults), late = 0xFFFFu - Word(kResults + 2);
    EXPECT_EQ(early - late, 21u * 5);
}

}  // namespace

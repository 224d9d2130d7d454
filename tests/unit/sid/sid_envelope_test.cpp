// The envelope's rate counter across a stretch held at zero: however the
// idle time is clocked, a new attack's first step comes when the counter,
// counting all along, next meets the attack's period (or after it has run
// round its 15 bits when it already stands above that period).
#include <gtest/gtest.h>

#include "c64/sid_envelope.h"

namespace {

// Cycles from the gate to the attack's first step, one cycle at a time.
u32 CyclesToFirstStep(SidEnvelope& e) {
    e.gate(true);
    for (u32 n = 1; n <= 0x10000; n++) {
        e.clock(1);
        if (e.level() == 1) return n;
    }
    return 0;
}

// Idle for `idle` cycles in steps of 8 (as the synthesizer clocks it) with
// release rate `release`, then an attack at rate 0 (period 9).
u32 AttackAfterIdle(u8 release, u32 idle) {
    SidEnvelope e;
    e.attack_decay(0x00);
    e.sustain_release(release);
    for (u32 c = 0; c < idle; c += 8) e.clock(8);
    return CyclesToFirstStep(e);
}

}  // namespace

TEST(SidEnvelope, AnAttackAfterALongSilenceStartsWhereTheCounterStands) {
    // Release period 9 (the same as the attack's): the counter stands at
    // idle mod 9, and meets 9 that many cycles sooner.
    for (u32 idle : {8000u, 8008u, 100000u, 100016u}) EXPECT_EQ(AttackAfterIdle(0x00, idle), 9 - idle % 9) << idle;
    // Release period 220 (rate 5): a counter at 9 or above runs round its
    // 15 bits before it meets 9; below 9 it meets it at once.
    for (u32 idle : {44000u + 8, 44000u + 216, 44000u + 224}) {
        u32 counter = idle % 220;
        u32 expected = counter < 9 ? 9 - counter : 0x8000 - counter + 9;
        EXPECT_EQ(AttackAfterIdle(0x05, idle), expected) << idle;
    }
}

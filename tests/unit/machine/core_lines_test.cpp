// The 6502 core's interrupt inputs and halt as text mode sees them, end to
// end on the headless machine.
#include <gtest/gtest.h>

#include "c64/processor.h"
#include "c64/memory.h"
#include "tests/support/headless_machine.h"

namespace {

constexpr tarn::Key kKeyF10 = tarn::Key::F10;

TEST(CoreLines, TextModeServesTheTickButNotAHeldChipIrq) {
    HeadlessMachine hm;
    ASSERT_TRUE(hm.boot());
    // Text mode never served the chips' IRQ sources: a VIC line left
    // asserted must not trap the KERNAL in its handler.
    hm.cpu().set_irq(Processor::kIrqVic, true);
    hm.type_and_run("PRINT 6*7\n", 20);
    hm.cpu().set_irq(Processor::kIrqVic, false);
    EXPECT_TRUE(hm.screen_has(" 42"));
    // The tick still drives the jiffy clock at $A0-$A2: one every 16,667
    // instructions, counted across passes of 12,000.
    auto ti = [&] {
        return hm.mem().read_byte_no_io(0xA0) << 16 | hm.mem().read_byte_no_io(0xA1) << 8 |
               hm.mem().read_byte_no_io(0xA2);
    };
    int ti0 = ti();
    hm.run_passes(50);
    EXPECT_NEAR(ti() - ti0, 50 * 12000 / 16667, 1);
}

TEST(CoreLines, TextModeCiasCountTheProcessorsCycles) {
    HeadlessMachine hm;
    ASSERT_TRUE(hm.boot());
    // RND(0) seeds from CIA 1's timer and clock: two draws differ only when
    // the timers run.
    hm.type_and_run("A=RND(0):B=RND(0):PRINT A<>B;TI>0\n", 10);
    EXPECT_TRUE(hm.screen_has("-1 -1"));
    u8 lo = hm.mem().read_byte(0xDC04);
    hm.run_pass();
    EXPECT_NE(hm.mem().read_byte(0xDC04), lo);
}

TEST(CoreLines, HaltingOpcodeStopsTheMachineUntilReset) {
    HeadlessMachine hm;
    ASSERT_TRUE(hm.boot());
    hm.type_and_run("POKE 820,2:SYS 820\n", 20);
    EXPECT_TRUE(hm.cpu().jammed());
    EXPECT_EQ(hm.cpu().pc(), 820);
    u8 jiffy = hm.mem().read_byte_no_io(0xA2);
    hm.run_passes(20);
    EXPECT_EQ(hm.mem().read_byte_no_io(0xA2), jiffy);  // no tick is taken either
    hm.tap_key(kKeyF10);
    EXPECT_FALSE(hm.run_pass());
    hm.rebuild();
    EXPECT_FALSE(hm.cpu().jammed());
    EXPECT_TRUE(hm.run_until_text("READY.", 2000));
}

}  // namespace

// The whole machine boots BASIC and shows it on the framebuffer.
#include <gtest/gtest.h>

#include "tests/support/headless_machine.h"

TEST(Machine, BootsToReadyWithBanner) {
    HeadlessMachine hm;
    ASSERT_TRUE(hm.boot());
    EXPECT_TRUE(hm.screen_has("**** COMMODORE 64 BASIC V2 ****"));
    EXPECT_TRUE(hm.screen_has("64K RAM SYSTEM  38911 BASIC BYTES FREE"));
}

TEST(Machine, PrintTwoPlusTwoShowsFour) {
    HeadlessMachine hm;
    ASSERT_TRUE(hm.boot());
    hm.type("PRINT 2+2\n");
    hm.run_passes(10);
    auto rows = hm.screen_text();
    int at = -1;
    for (int r = 0; r < 25; r++)
        if (rows[r].rfind("PRINT 2+2", 0) == 0) at = r;
    ASSERT_GE(at, 0);
    EXPECT_EQ(rows[at + 1].substr(0, 3), " 4 ");
    EXPECT_EQ(rows[at + 3].substr(0, 6), "READY.");
}

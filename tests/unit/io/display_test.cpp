// IO display: the text view and the raster picture on a memory framebuffer,
// frame skipping and frame pacing.
#include <gtest/gtest.h>

#include <vector>

#include "c64/c64.h"
#include "c64/face_node.h"
#include "c64/io.h"
#include "lib/clock.h"

namespace {

constexpr u16 kSentinel = 0x1234;

// Time moves only by hand; a wait jumps to its end.
struct ManualClock : tarn::Clock {
    u32 now = 100000;
    u32 milliseconds() override { return now; }
    void wait_until(u32 due) override {
        if (static_cast<i32>(due - now) > 0) now = due;
    }
};

class Display : public ::testing::Test {
protected:
    void SetUp() override {
        io.clock(&clock);
        open(800, 600);
        g_face_active = 1;
        for (int i = 0; i < 1000; i++) {
            g_face_screen[i] = ' ';
            g_face_color[i] = 1;
        }
        g_vic_border = 14;
        g_vic_backgnd = 6;
        io.last_sync_ms(0);
        // Leave the skip counter at 0: one drawn frame without skipping.
        io.frame_skip(0);
        io.screen_refresh();
    }
    void TearDown() override { g_face_active = 0; }

    // A framebuffer with guard words after its last line.
    void open(u32 w, u32 h, u32 pitch_words = 0) {
        width = w;
        height = h;
        pitch = pitch_words ? pitch_words : w;
        fb.assign(pitch * h + kGuard, kSentinel);
        io.init_display(reinterpret_cast<u32*>(fb.data()), w, h, pitch * 2, 16);
    }
    u16 pixel(u32 x, u32 y) const { return fb[y * pitch + x]; }
    void paint(u16 v) {
        for (u16& p : fb) p = v;
    }
    bool drew() {
        paint(kSentinel);
        clock.now += 100;  // no pacing wait
        io.screen_refresh();
        return pixel(0, 0) != kSentinel;
    }

    static constexpr u32 kGuard = 64;
    ManualClock clock;
    IO io;
    std::vector<u16> fb;
    u32 width = 0, height = 0, pitch = 0;
};

TEST_F(Display, FontKeepsTheReferenceGlyphs) {
    const u8 a[7] = {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11};
    const u8 zero[7] = {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E};
    for (int k = 0; k < 7; k++) {
        EXPECT_EQ(IO::font5x7['A' - 0x20][k], a[k]);
        EXPECT_EQ(IO::font5x7['0' - 0x20][k], zero[k]);
        EXPECT_EQ(IO::font5x7[0][k], 0);  // space is empty
    }
    // Every printable glyph but space has dots, and only in the low five bits.
    for (int g = 1; g < 96; g++) {
        int dots = 0;
        for (int k = 0; k < 7; k++) {
            EXPECT_EQ(IO::font5x7[g][k] & 0xE0, 0) << g;
            dots += IO::font5x7[g][k];
        }
        EXPECT_GT(dots, 0) << g;
    }
}

TEST_F(Display, TextViewDrawsBorderCellsAndDoubledGlyphs) {
    g_face_screen[0] = 'A';
    g_face_color[0] = 2;
    g_face_screen[40 * 24 + 39] = '0';
    g_face_color[40 * 24 + 39] = 7;
    ASSERT_TRUE(drew());
    EXPECT_EQ(pixel(0, 0), IO::c64pal[14]);
    EXPECT_EQ(pixel(23, 23), IO::c64pal[14]);
    EXPECT_EQ(pixel(504, 100), IO::c64pal[14]);
    EXPECT_EQ(pixel(100, 474), IO::c64pal[14]);
    EXPECT_EQ(pixel(799, 599), IO::c64pal[14]);
    EXPECT_EQ(pixel(503, 473), IO::c64pal[6]);  // last pixel of the text area
    for (int k = 0; k < 7; k++)
        for (int l = 0; l < 5; l++) {
            u16 want = (IO::font5x7['A' - 0x20][k] & (0x10 >> l)) ? IO::c64pal[2] : IO::c64pal[6];
            for (int dy = 0; dy < 2; dy++)
                for (int dx = 0; dx < 2; dx++) ASSERT_EQ(pixel(24 + 2 * l + dx, 24 + 2 * k + dy), want);
            u16 want0 = (IO::font5x7['0' - 0x20][k] & (0x10 >> l)) ? IO::c64pal[7] : IO::c64pal[6];
            ASSERT_EQ(pixel(24 + 12 * 39 + 2 * l, 24 + 18 * 24 + 2 * k), want0);
        }
    // The glyph fills only the top-left 10 x 14 of its 12 x 18 cell.
    for (int y = 24; y < 42; y++) {
        EXPECT_EQ(pixel(34, y), IO::c64pal[6]);
        EXPECT_EQ(pixel(35, y), IO::c64pal[6]);
    }
    for (int x = 24; x < 36; x++) EXPECT_EQ(pixel(x, 38), IO::c64pal[6]);
}

TEST_F(Display, PixelsAreLittleEndianRgb565) {
    g_vic_border = 8;  // orange C200
    ASSERT_TRUE(drew());
    const u8* bytes = reinterpret_cast<const u8*>(fb.data());
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0xC2);
}

TEST_F(Display, ControlAndHighCharactersShowAsBlankCells) {
    g_face_screen[1] = 0x1F;
    g_face_screen[2] = 0x80;
    g_face_screen[3] = 0xFF;
    g_face_screen[4] = 0x00;
    ASSERT_TRUE(drew());
    for (int col = 1; col <= 4; col++)
        for (int y = 24; y < 42; y++)
            for (int x = 24 + 12 * col; x < 36 + 12 * col; x++) ASSERT_EQ(pixel(x, y), IO::c64pal[6]);
}

TEST_F(Display, ColourBytesUseTheirLowFourBits) {
    g_face_screen[0] = 'A';
    g_face_color[0] = 0xF2;
    g_vic_border = 0x1E;
    g_vic_backgnd = 0x26;
    ASSERT_TRUE(drew());
    EXPECT_EQ(pixel(0, 0), IO::c64pal[14]);
    EXPECT_EQ(pixel(24, 24), IO::c64pal[6]);
    EXPECT_EQ(pixel(26, 24), IO::c64pal[2]);
}

TEST_F(Display, SmallFramebufferClipsTheTextArea) {
    open(300, 200, 320);  // pitch wider than the picture
    for (int i = 0; i < 1000; i++) g_face_screen[i] = 0x7F;  // solid-ish glyph everywhere
    ASSERT_TRUE(drew());
    EXPECT_EQ(pixel(299, 199), IO::c64pal[6]);
    for (u32 y = 0; y < height; y++)
        for (u32 x = width; x < pitch; x++) ASSERT_EQ(pixel(x, y), kSentinel) << x << "," << y;
    for (u32 i = pitch * height; i < fb.size(); i++) ASSERT_EQ(fb[i], kSentinel);
}

TEST_F(Display, FrameSkipDrawsTextOnceInEleven) {
    io.frame_skip(10);
    for (int call = 1; call <= 10; call++) EXPECT_FALSE(drew()) << call;
    EXPECT_TRUE(drew());
    EXPECT_FALSE(drew());
    io.frame_skip(0);
    EXPECT_TRUE(drew());
    EXPECT_TRUE(drew());
}

TEST_F(Display, RasterPictureIsCentredAtTwiceItsSize) {
    g_face_active = 0;
    io.screen_update_pixel(11, 1, 2);     // top-left of the visible area
    io.screen_update_pixel(394, 272, 7);  // bottom-right
    io.screen_update_pixel(10, 1, 3);     // just outside it
    io.screen_draw_rect(10, 5, 3, 5);
    io.screen_draw_border(100, 1);
    EXPECT_EQ(io.frame_pixel(10, 5), 0);
    EXPECT_EQ(io.frame_pixel(11, 5), 5);
    EXPECT_EQ(io.frame_pixel(13, 5), 5);
    EXPECT_EQ(io.frame_pixel(14, 5), 0);
    ASSERT_TRUE(drew());
    EXPECT_EQ(io.picture_scale(), 2);
    // 768 x 544 at (16, 28); black around it.
    for (u32 y = 28; y < 30; y++)
        for (u32 x = 16; x < 18; x++) EXPECT_EQ(pixel(x, y), io.palette(2)) << x << "," << y;
    EXPECT_EQ(pixel(15, 28), 0);
    EXPECT_EQ(pixel(16, 27), 0);
    EXPECT_EQ(pixel(783, 571), io.palette(7));
    EXPECT_EQ(pixel(782, 570), io.palette(7));
    EXPECT_EQ(pixel(784, 571), 0);
    EXPECT_EQ(pixel(783, 572), 0);
    EXPECT_EQ(pixel(799, 599), 0);
    EXPECT_EQ(pixel(16, 36), io.palette(5));  // columns 11 to 13 of row 5
    EXPECT_EQ(pixel(21, 37), io.palette(5));
    EXPECT_EQ(pixel(22, 36), io.palette(0));
    for (u32 x = 16; x < 784; x += 37) EXPECT_EQ(pixel(x, 28 + 2 * 99), io.palette(1));
}

TEST_F(Display, OnlyChangedRowsAreWrittenAgain) {
    g_face_active = 0;
    ASSERT_EQ(io.present_raster(), 272);
    EXPECT_EQ(io.present_raster(), 0);
    paint(kSentinel);
    io.screen_update_pixel(200, 100, 4);
    io.screen_update_pixel(201, 100, 4);
    io.screen_update_pixel(5, 50, 4);  // outside the visible area: not shown
    EXPECT_EQ(io.present_raster(), 1);
    for (u32 y = 0; y < height; y++) {
        bool changed = y == 28 + 2 * 99 || y == 29 + 2 * 99;
        ASSERT_EQ(pixel(0, y), kSentinel) << y;
        ASSERT_EQ(pixel(400, y), changed ? io.palette(0) : kSentinel) << y;
    }
    EXPECT_EQ(pixel(16 + 2 * 189, 28 + 2 * 99), io.palette(4));
    EXPECT_EQ(pixel(16 + 2 * 190 + 1, 29 + 2 * 99), io.palette(4));
    // The text view drew over everything: the next picture is written whole.
    g_face_active = 1;
    ASSERT_TRUE(drew());
    g_face_active = 0;
    EXPECT_EQ(io.present_raster(), 272);
    EXPECT_EQ(pixel(0, 0), 0);
}

TEST_F(Display, SmallFramebufferShowsTheMiddleOfThePicture) {
    open(300, 200, 320);
    g_face_active = 0;
    io.screen_update_pixel(11 + 42, 1 + 36, 7);  // (42, 36) of the visible area lands on (0, 0)
    io.screen_update_pixel(11 + 42 + 299, 1 + 36 + 199, 2);
    EXPECT_EQ(io.present_raster(), 272);
    EXPECT_EQ(io.picture_scale(), 1);
    EXPECT_EQ(pixel(0, 0), io.palette(7));
    EXPECT_EQ(pixel(299, 199), io.palette(2));
    for (u32 y = 0; y < height; y++)
        for (u32 x = width; x < pitch; x++) ASSERT_EQ(pixel(x, y), kSentinel) << x << "," << y;
    for (u32 i = pitch * height; i < fb.size(); i++) ASSERT_EQ(fb[i], kSentinel);
}

TEST_F(Display, RasterPaletteAndFrameSkipOneInTen) {
    const u16 want[16] = {0x0000, 0xFFFF, 0x8800, 0xAFFD, 0xCA39, 0x066A, 0x0015, 0xEF6E,
                          0xDC4A, 0x6220, 0xFBAE, 0x3186, 0x73AE, 0xAFEC, 0x045F, 0xBDD7};
    for (int i = 0; i < 16; i++) EXPECT_EQ(io.palette(i), want[i]);
    g_face_active = 0;
    io.frame_skip(10);
    // An unchanged picture is not written again: drop the record of it so
    // that every presented frame shows.
    auto drew_picture = [&] {
        io.invalidate_picture();
        return drew();
    };
    // After the text frame the counter is 0: ten skipped calls, then a draw.
    for (int call = 1; call <= 10; call++) EXPECT_FALSE(drew_picture()) << call;
    EXPECT_TRUE(drew_picture());
    // A raster frame leaves the counter at 1: from then on one call in ten.
    for (int round = 0; round < 2; round++) {
        for (int call = 1; call <= 9; call++) EXPECT_FALSE(drew_picture()) << call;
        EXPECT_TRUE(drew_picture());
    }
}

TEST_F(Display, DrawingOutsideThePictureIsIgnored) {
    io.screen_update_pixel(403, 0, 3);
    io.screen_update_pixel(-1, 0, 3);
    io.screen_update_pixel(0, 284, 3);
    io.screen_draw_rect(400, 0, 10, 3);
    EXPECT_EQ(io.frame_pixel(401, 0), 3);
    EXPECT_EQ(io.frame_pixel(402, 0), 3);
    EXPECT_EQ(io.frame_pixel(403, 0), 0xFFFF);
}

TEST_F(Display, SyncWaitsUntilNineteenMillisecondsSinceTheLastOnly) {
    u32 start = clock.now;
    io.last_sync_ms(start - 5);
    io.sync();
    EXPECT_EQ(clock.now, start + 14);
    EXPECT_EQ(io.last_sync_ms(), start + 14);
    clock.now += 30;
    io.sync();
    EXPECT_EQ(clock.now, start + 44);  // long after the last: no wait
}

}  // namespace

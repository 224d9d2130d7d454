// The two pictures on a screen in RAM: text mode's view of screen memory,
// drawn cell by cell where something changed and never cleared first, and
// full mode's raster picture, presented row by row where it changed.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "c64/cia2.h"
#include "c64/memory.h"
#include "c64/palette.h"
#include "c64/raster_picture.h"
#include "c64/text_view.h"
#include "c64/vic.h"
#include "lib/screen.h"

namespace {

constexpr u32 kGuard = 0xDEADBEEF;

// A picture in RAM with a guard row below it, a record of every rectangle
// presented and a hook that sees the picture as each present finds it.
class MemoryScreen : public tarn::Screen {
public:
    struct Rect {
        u32 x, y, w, h;
    };
    MemoryScreen(u32 w, u32 h) : w_(w), h_(h), pixels_((h + 1) * w, kGuard) {
        for (u32 i = 0; i < w * h; i++) pixels_[i] = 0;
    }
    u32 width() const override { return w_; }
    u32 height() const override { return h_; }
    u32* pixels() override { return pixels_.data(); }
    u32 stride() const override { return w_; }
    void present(u32 x, u32 y, u32 w, u32 h) override {
        presented.push_back({x, y, w, h});
        if (on_present) on_present(presented.back());
    }
    u32 at(u32 x, u32 y) const { return pixels_[y * w_ + x]; }
    bool guard_intact() const {
        for (u32 i = w_ * h_; i < pixels_.size(); i++)
            if (pixels_[i] != kGuard) return false;
        return true;
    }
    std::vector<Rect> presented;
    std::function<void(const Rect&)> on_present;

private:
    u32 w_, h_;
    std::vector<u32> pixels_;
};

u32 rgb(u8 c) { return palette::rgb(c); }

class TextViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        mem.vic(&vic);
        mem.cia2(&cia2);
        vic.memory(&mem);
        for (int i = 0; i < 1000; i++) {
            mem.write_byte_no_io(static_cast<u16>(0x0400 + i), 0x20);
            mem.write_byte_no_io(static_cast<u16>(0xD800 + i), 14);
        }
        vic.write_register(0x18, 0x14);  // screen at $0400
        vic.write_register(0x20, 14);
        vic.write_register(0x21, 6);
    }
    void poke(u16 a, u8 v) { mem.write_byte_no_io(a, v); }
    // Colour of glyph dot (l, k) of a cell on the screen.
    u32 dot(const MemoryScreen& s, int col, int row, int l, int k) const {
        int sc = view.scale();
        return s.at(static_cast<u32>(view.left() + sc * (12 * col + 2 * l)),
                    static_cast<u32>(view.top() + sc * (18 * row + 2 * k)));
    }

    Memory mem;
    Vic vic;
    Cia2 cia2;
    TextView view{&mem, &vic};
};

TEST_F(TextViewTest, CellsAreDoubledGlyphsInTheirColoursCentredInTheBorder) {
    MemoryScreen s(800, 600);
    poke(0x0400, 0x01);  // A
    poke(0xD800, 2);
    poke(0x0400 + 999, 0x30);  // 0 in the last cell
    poke(0xD800 + 999, 7);
    poke(0x0401, 0x81);  // reverse A
    ASSERT_TRUE(view.draw(&s));
    EXPECT_EQ(view.scale(), 1);
    EXPECT_EQ(view.left(), 160);  // (800 - 480) / 2
    EXPECT_EQ(view.top(), 75);    // (600 - 450) / 2
    EXPECT_EQ(s.at(0, 0), rgb(14));
    EXPECT_EQ(s.at(159, 300), rgb(14));
    EXPECT_EQ(s.at(640, 300), rgb(14));
    EXPECT_EQ(s.at(799, 599), rgb(14));
    EXPECT_EQ(s.at(639, 524), rgb(6));  // the text area's last dot
    for (int k = 0; k < 7; k++)
        for (int l = 0; l < 5; l++) {
            bool a = TextView::kFont['A' - 0x20][k] & (0x10 >> l);
            EXPECT_EQ(dot(s, 0, 0, l, k), a ? rgb(2) : rgb(6));
            EXPECT_EQ(dot(s, 1, 0, l, k), a ? rgb(6) : rgb(14));  // reverse: the cell in ink
            EXPECT_EQ(dot(s, 39, 24, l, k), (TextView::kFont['0' - 0x20][k] & (0x10 >> l)) ? rgb(7) : rgb(6));
        }
    // The glyph fills the top-left 10 x 14 of the 12 x 18 cell.
    for (int y = 0; y < 18; y++) EXPECT_EQ(s.at(160 + 10, 75 + y), rgb(6));
    for (int x = 0; x < 12; x++) EXPECT_EQ(s.at(160 + x, 75 + 14), rgb(6));
    EXPECT_EQ(view.shown(0), 'A');
    EXPECT_EQ(view.shown(999), '0');
}

TEST_F(TextViewTest, OnlyWhatChangedIsShownAndNothingShownIsBlank) {
    MemoryScreen s(800, 600);
    poke(0x0400 + 40 * 3, 0x12);  // R
    ASSERT_TRUE(view.draw(&s));
    s.presented.clear();
    EXPECT_FALSE(view.draw(&s));  // nothing changed: nothing drawn or shown
    EXPECT_TRUE(s.presented.empty());

    // The cursor blinks at row 3, column 5: that cell alone is shown, and
    // whenever anything is shown the R beside it is there.
    s.on_present = [&](const MemoryScreen::Rect&) {
        EXPECT_EQ(dot(s, 0, 3, 0, 0), rgb(14));  // R's top-left dot
    };
    poke(0x0400 + 40 * 3 + 5, 0xA0);
    ASSERT_TRUE(view.draw(&s));
    ASSERT_EQ(s.presented.size(), 1u);
    EXPECT_EQ(s.presented[0].x, 160u + 12 * 5);
    EXPECT_EQ(s.presented[0].y, 75u + 18 * 3);
    EXPECT_EQ(s.presented[0].w, 12u);
    EXPECT_EQ(s.presented[0].h, 18u);
    EXPECT_EQ(dot(s, 5, 3, 0, 0), rgb(14));

    // A new border colour: the bands around the text area only.
    s.presented.clear();
    vic.write_register(0x20, 2);
    ASSERT_TRUE(view.draw(&s));
    for (const MemoryScreen::Rect& r : s.presented)
        EXPECT_TRUE(r.x + r.w <= 160 || r.x >= 640 || r.y + r.h <= 75 || r.y >= 525) << r.x << "," << r.y;
    EXPECT_EQ(s.at(0, 0), rgb(2));
    EXPECT_EQ(dot(s, 0, 3, 0, 0), rgb(14));

    s.on_present = nullptr;
    // The monitor drew over the screen: everything is drawn again, and
    // shown where it differs from what the monitor left.
    for (u32 y = 0; y < 600; y++)
        for (u32 x = 0; x < 800; x++) s.pixels()[y * 800 + x] = 0;
    view.invalidate();
    s.presented.clear();
    ASSERT_TRUE(view.draw(&s));
    EXPECT_EQ(s.presented.size(), 25u + 4u);
    EXPECT_EQ(dot(s, 0, 3, 0, 0), rgb(14));
    // Drawn again over itself, nothing differs: nothing is shown.
    view.invalidate();
    s.presented.clear();
    EXPECT_TRUE(view.draw(&s));
    EXPECT_TRUE(s.presented.empty());
}

TEST_F(TextViewTest, ScreenMemoryIsReadWhereTheVicPoints) {
    MemoryScreen s(800, 600);
    poke(0x0800, 0x02);           // B at $0800
    vic.write_register(0x18, 0x24);  // screen at $0800
    view.draw(&s);
    EXPECT_EQ(view.shown(0), 'B');
    // Screen codes the 5 x 7 font has no glyph for show as spaces.
    const struct { u8 code; char ch; } cases[] = {{0x00, '@'}, {0x1A, 'Z'}, {0x1B, '['}, {0x1E, '^'}, {0x40, '-'}, {0x4D, '/'},
                                                  {0x51, 'O'}, {0x5C, '|'}, {0x5D, ' '}, {0x66, '#'}, {0xB1, '1'}};
    for (auto c : cases) EXPECT_EQ(TextView::character(c.code), static_cast<u8>(c.ch)) << int(c.code);
}

TEST_F(TextViewTest, LargeScreensGetLargerCellsAndSmallOnesAreClipped) {
    MemoryScreen big(1920, 1080);
    poke(0x0400, 0x01);
    view.draw(&big);
    EXPECT_EQ(view.scale(), 2);
    EXPECT_EQ(view.left(), 480);  // (1920 - 960) / 2
    EXPECT_EQ(view.top(), 90);    // (1080 - 900) / 2
    bool top_dot = TextView::kFont['A' - 0x20][0] & 0x04;  // A's middle column, top row
    for (int dy = 0; dy < 4; dy++)
        for (int dx = 0; dx < 4; dx++) EXPECT_EQ(big.at(480 + 8 + dx, 90 + dy), top_dot ? rgb(14) : rgb(6));

    MemoryScreen small(320, 200);
    view.draw(&small);
    EXPECT_EQ(view.scale(), 1);
    EXPECT_TRUE(small.guard_intact());
    EXPECT_EQ(small.at(319, 199), rgb(6));
}

TEST(Font, KeepsTheReferenceGlyphs) {
    const u8 a[7] = {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11};
    const u8 zero[7] = {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E};
    for (int k = 0; k < 7; k++) {
        EXPECT_EQ(TextView::kFont['A' - 0x20][k], a[k]);
        EXPECT_EQ(TextView::kFont['0' - 0x20][k], zero[k]);
        EXPECT_EQ(TextView::kFont[0][k], 0);  // space is empty
    }
    // Every screen code has a glyph in the font: [ pound ] up-arrow left-arrow too.
    for (int code = 0; code < 256; code++) {
        u8 c = TextView::character(static_cast<u8>(code));
        EXPECT_TRUE(c >= 0x20 && c < 0x20 + 96) << code;
    }
}

// ---- full mode's raster picture --------------------------------------------

TEST(RasterPictureTest, CentredAtTwiceItsSizeWithBlackAround) {
    RasterPicture p;
    MemoryScreen s(800, 600);
    p.row(1)[11] = 2;     // top-left of the visible area
    p.row(272)[394] = 7;  // bottom-right
    p.row(1)[10] = 3;     // just outside it
    EXPECT_EQ(p.present(&s), 272);
    EXPECT_EQ(p.scale(), 2);
    // 768 x 544 at (16, 28).
    for (u32 y = 28; y < 30; y++)
        for (u32 x = 16; x < 18; x++) EXPECT_EQ(s.at(x, y), rgb(2)) << x << "," << y;
    EXPECT_EQ(s.at(15, 28), 0u);
    EXPECT_EQ(s.at(16, 27), 0u);
    EXPECT_EQ(s.at(783, 571), rgb(7));
    EXPECT_EQ(s.at(784, 571), 0u);
    EXPECT_EQ(s.at(799, 599), 0u);
    EXPECT_EQ(p.pixel(10, 1), 3);
    EXPECT_EQ(p.pixel(403, 0), 0xFF);
}

TEST(RasterPictureTest, OnlyChangedRowsArePresentedAgain) {
    RasterPicture p;
    MemoryScreen s(800, 600);
    ASSERT_EQ(p.present(&s), 272);
    s.presented.clear();
    EXPECT_EQ(p.present(&s), 0);
    EXPECT_TRUE(s.presented.empty());
    p.row(100)[200] = 4;
    p.row(50)[5] = 4;  // outside the visible area: not shown
    EXPECT_EQ(p.present(&s), 1);
    ASSERT_EQ(s.presented.size(), 1u);
    EXPECT_EQ(s.presented[0].y, 28u + 2 * 99);
    EXPECT_EQ(s.presented[0].h, 2u);
    EXPECT_EQ(s.presented[0].x, 16u + 2 * 189);  // only the span that differs
    EXPECT_EQ(s.presented[0].w, 2u);
    EXPECT_EQ(s.at(16 + 2 * 189, 28 + 2 * 99), rgb(4));
    // Drawn over (text view, monitor): written whole again.
    p.invalidate();
    EXPECT_EQ(p.present(&s), 272);
}

TEST(RasterPictureTest, SmallScreenShowsTheMiddleOfThePicture) {
    RasterPicture p;
    MemoryScreen s(320, 200);
    p.row(1 + 36)[11 + 32] = 7;  // (32, 36) of the visible area lands on (0, 0)
    p.row(1 + 36 + 199)[11 + 32 + 319] = 2;
    EXPECT_EQ(p.present(&s), 272);
    EXPECT_EQ(p.scale(), 1);
    EXPECT_EQ(s.at(0, 0), rgb(7));
    EXPECT_EQ(s.at(319, 199), rgb(2));
    EXPECT_TRUE(s.guard_intact());
}

}  // namespace

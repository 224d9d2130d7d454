// Text mode's picture: the 40 x 25 characters of screen memory, where the
// VIC reads them, in their colours from colour memory on the VIC's border
// and background colours, each a 5 x 7 glyph at twice its size in a 12 x 18
// cell. Only the cells that changed are drawn, straight into the screen's
// picture, and of them only the pixels that differ are written and shown;
// nothing is ever cleared first, so no picture shown is blank. The cells grow with the screen: the text area is drawn at the
// largest whole multiple of its size that fits, centred, the border colour
// around it.
#ifndef TARN_C64_TEXT_VIEW_H
#define TARN_C64_TEXT_VIEW_H

#include "lib/types.h"

class Memory;
class Vic;
namespace tarn { class Screen; }

class TextView {
public:
    static constexpr int kCols = 40;
    static constexpr int kRows = 25;
    static constexpr int kCells = kCols * kRows;
    static constexpr int kCellWidth = 12;
    static constexpr int kCellHeight = 18;
    static constexpr int kDot = 2;  // a font dot is a 2 x 2 block of a cell
    // 5 x 7 glyphs for 0x20..0x7F, one byte a row from the top, bit 4 the
    // leftmost dot.
    static const u8 kFont[96][7];

    TextView(Memory* mem, Vic* vic) : mem_(mem), vic_(vic) {}

    // Draws and shows the cells that changed since the last call (all of
    // them, and the border, after invalidate()); true when anything was.
    bool draw(tarn::Screen* screen);
    // The screen was drawn over: the next draw draws everything.
    void invalidate() { valid_ = false; }

    // What a cell shows as last drawn: the character of its glyph, whether
    // in reverse video, its colour.
    char shown(int cell) const { return static_cast<char>(character(codes_[cell])); }
    bool reversed(int cell) const { return (codes_[cell] & 0x80) != 0; }
    u8 colour(int cell) const { return colours_[cell]; }
    // Screen code (as stored in screen memory) to the character of its
    // glyph; bit 7 (reverse video) is drawn, not translated.
    static u8 character(u8 screen_code);

    // Placement on the last screen drawn: dots of the text area's top-left
    // corner and the scale of its cells.
    int left() const { return left_; }
    int top() const { return top_; }
    int scale() const { return scale_; }

private:
    // The bounding box of the pixels that changed, shown in one present.
    struct Changed {
        int x0 = 0x7FFFFFFF, y0 = 0x7FFFFFFF, x1 = -1, y1 = -1;
        void add(int x, int y);
        void present(tarn::Screen* screen) const;
    };

    void place(tarn::Screen* screen);
    void draw_border(tarn::Screen* screen, u8 colour);
    void draw_cell(tarn::Screen* screen, int col, int row, u8 code, u8 colour, u8 background, Changed* changed);
    static void put(u32* pixel, int x, int y, u32 rgb, Changed* changed);

    Memory* mem_;
    Vic* vic_;
    bool valid_ = false;
    u8 codes_[kCells] = {};
    u8 colours_[kCells] = {};
    u8 border_ = 0, background_ = 0;
    u32 width_ = 0, height_ = 0;  // of the screen the view was placed on
    int scale_ = 1;
    int left_ = 0, top_ = 0;
};

#endif

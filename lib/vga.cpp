// Framebuffer console: glyph drawing, the shadow text screen, scrolling and
// the cursor. The character-level output (putc, puts) lives here too.
#include "lib/vga.h"

#include "lib/screen.h"
#include "lib/stdio.h"

namespace {

const u8 kNewline = 0x0A;
const u8 kBackspace = 0x0E;  // what the keyboard driver delivers for Backspace
const u8 kSpace = ' ';
const u32 kMinGridWidth = 640;   // glyph pixels the grid keeps at any scale
const u32 kMinGridHeight = 480;
// The grid kept (in the shadow screen only) while there is no screen.
const u8 kUnattachedCols = 100;
const u8 kUnattachedRows = 37;

// The sixteen C64 colours in C64 order, 0x00RRGGBB.
const u32 kPalette[16] = {
    0x000000,  // black (background)
    0xFFFFFF,  // white
    0x6B3429,  // red
    0x73A6B5,  // cyan
    0x6B3C84,  // purple
    0x5A8E42,  // green
    0x31287B,  // blue
    0xBDC76B,  // yellow
    0x6B4D21,  // orange
    0x423800,  // brown
    0x9C655A,  // light red
    0x424542,  // dark grey
    0x6B6D6B,  // grey
    0x9CD384,  // light green
    0x6B5DB5,  // light blue
    0x949694,  // light grey (text)
};

tarn::Screen* vga_screen = nullptr;
u32 vga_cell_scale = 1;
u8 vga_cursorCol = 0;
u8 vga_cursorRow = 0;
u8 vga_backColor = 0;
u8 vga_foreColor = 15;
u8 vga_cursorOn = 0;
u8 vga_textCols = kUnattachedCols;
u8 vga_textRows = kUnattachedRows;
// Column by column: the byte of (col, row) is at col * kVgaMaxRows + row.
u8 vga_textscreen[kVgaMaxCols * kVgaMaxRows];

u8& shadow(u8 col, u8 row) { return vga_textscreen[col * kVgaMaxRows + row]; }

u32 cell_width() { return kVgaGlyphWidth * vga_cell_scale; }
u32 cell_height() { return kVgaGlyphHeight * vga_cell_scale; }

void fill(u32 x, u32 y, u32 w, u32 h, u32 rgb) {
    u32* pixels = vga_screen->pixels();
    u32 stride = vga_screen->stride();
    for (u32 row = y; row < y + h; row++)
        for (u32 col = x; col < x + w; col++) pixels[row * stride + col] = rgb;
}

// The glyph into the picture only; cells outside the grid are dropped.
bool draw_cell(i32 col, u8 row, u8 ch) {
    if (!vga_screen || col < 0 || col >= vga_textCols || row >= vga_textRows) return false;
    const u8* glyph = g_8x16_font + ch * kVgaGlyphHeight;
    const u32 s = vga_cell_scale;
    const u32 left = static_cast<u32>(col) * cell_width();
    const u32 top = row * cell_height();
    u32* pixels = vga_screen->pixels();
    const u32 stride = vga_screen->stride();
    for (u32 line = 0; line < kVgaGlyphHeight; line++) {
        u8 bits = glyph[line];
        for (u32 dot = 0; dot < kVgaGlyphWidth; dot++) {
            u32 rgb = kPalette[(bits & (0x80 >> dot)) ? vga_foreColor : vga_backColor];
            u32* block = pixels + (top + line * s) * stride + left + dot * s;
            for (u32 k = 0; k < s; k++, block += stride)
                for (u32 l = 0; l < s; l++) block[l] = rgb;
        }
    }
    return true;
}

void present_rows(u32 first_row, u32 count) {
    vga_screen->present(0, first_row * cell_height(), vga_textCols * cell_width(), count * cell_height());
}

// A space over the cursor cell, so a moving cursor leaves nothing behind.
void erase_cursor() {
    if (vga_cursorOn) putc_col_row(static_cast<i8>(vga_cursorCol), vga_cursorRow, kSpace);
}

void blank_cell(u8 col, u8 row) {
    putc_col_row(static_cast<i8>(col), row, kSpace);
    shadow(col, row) = kSpace;
}

void backspace() {
    if (vga_cursorCol > 0) {
        erase_cursor();
        vga_cursorCol--;
    } else if (vga_cursorRow > 0) {
        erase_cursor();
        vga_cursorCol = static_cast<u8>(vga_textCols - 1);
        vga_cursorRow--;
    } else {
        return;
    }
    blank_cell(vga_cursorCol, vga_cursorRow);
    vga_cursor_update();
}

u8 grid_cells(u32 pixels, u32 cell, u8 most) {
    u32 n = pixels / cell;
    return static_cast<u8>(n > most ? most : n);
}

}  // namespace

u32 vga_scale_for(u32 width, u32 height) {
    u32 by_width = width / kMinGridWidth, by_height = height / kMinGridHeight;
    u32 scale = by_width < by_height ? by_width : by_height;
    return scale ? scale : 1;
}

void vga_init(tarn::Screen* screen) {
    vga_screen = screen;
    vga_cell_scale = screen ? vga_scale_for(screen->width(), screen->height()) : 1;
    vga_textCols = screen ? grid_cells(screen->width(), cell_width(), kVgaMaxCols) : kUnattachedCols;
    vga_textRows = screen ? grid_cells(screen->height(), cell_height(), kVgaMaxRows) : kUnattachedRows;
    if (vga_cursorCol >= vga_textCols) vga_cursorCol = 0;
    if (vga_cursorRow >= vga_textRows) vga_cursorRow = static_cast<u8>(vga_textRows - 1);
}

void vga_clear() {
    vga_cursorCol = 0;
    vga_cursorRow = 0;
    for (u32 i = 0; i < sizeof vga_textscreen; i++) vga_textscreen[i] = kSpace;
    if (!vga_screen) return;
    fill(0, 0, vga_screen->width(), vga_screen->height(), kPalette[vga_backColor]);
    vga_screen->present(0, 0, vga_screen->width(), vga_screen->height());
}

void putc_col_row(i8 col, u8 row, u8 ch) {
    if (draw_cell(col, row, ch))
        vga_screen->present(static_cast<u32>(col) * cell_width(), row * cell_height(), cell_width(), cell_height());
}

void putc(u8 ch) {
    if (ch == kBackspace) {
        backspace();
        return;
    }
    if (ch == kNewline) {
        erase_cursor();
        vga_cursorCol = 0;
        vga_cursorRow++;
    } else {
        putc_col_row(static_cast<i8>(vga_cursorCol), vga_cursorRow, ch);
        shadow(vga_cursorCol, vga_cursorRow) = ch;
        vga_cursorCol++;
    }
    if (vga_cursorCol >= vga_textCols) {
        vga_cursorCol = 0;
        vga_cursorRow++;
    }
    vga_scroll();
    vga_cursor_update();
}

void puts(const char* str) {
    while (*str) putc(static_cast<u8>(*str++));
}

void vga_cursor_enable() { vga_cursorOn = 1; }

void vga_cursor_update() {
    if (vga_cursorOn) putc_col_row(static_cast<i8>(vga_cursorCol), vga_cursorRow, kVgaCursorChar);
}

// The picture moves up one cell row in RAM and the grid is presented once.
void vga_scroll() {
    if (vga_cursorRow < vga_textRows) return;
    for (u8 col = 0; col < vga_textCols; col++) {
        for (u8 row = 0; row + 1 < vga_textRows; row++) shadow(col, row) = shadow(col, row + 1);
        shadow(col, vga_textRows - 1) = kSpace;
    }
    vga_cursorCol = 0;
    vga_cursorRow = static_cast<u8>(vga_textRows - 1);
    if (!vga_screen) return;
    u32* pixels = vga_screen->pixels();
    const u32 stride = vga_screen->stride();
    const u32 width = vga_textCols * cell_width();
    const u32 moved = (vga_textRows - 1) * cell_height();
    for (u32 y = 0; y < moved; y++) {
        u32* to = pixels + y * stride;
        const u32* from = to + cell_height() * stride;
        for (u32 x = 0; x < width; x++) to[x] = from[x];
    }
    fill(0, moved, width, cell_height(), kPalette[vga_backColor]);
    present_rows(0, vga_textRows);
}

void vga_restore_textscreen() {
    for (u8 row = 0; row < vga_textRows; row++)
        for (u8 col = 0; col < vga_textCols; col++) draw_cell(col, row, shadow(col, row));
    if (vga_screen) present_rows(0, vga_textRows);
}

u8 vga_cols() { return vga_textCols; }
u8 vga_rows() { return vga_textRows; }
u32 vga_scale() { return vga_cell_scale; }
u8 vga_cursor_col() { return vga_cursorCol; }
u8 vga_cursor_row() { return vga_cursorRow; }
bool vga_cursor_on() { return vga_cursorOn != 0; }
u32 vga_palette_color(u8 index) { return kPalette[index & 15]; }
u8 vga_text_at(u8 col, u8 row) {
    if (col >= kVgaMaxCols || row >= kVgaMaxRows) return 0;
    return shadow(col, row);
}

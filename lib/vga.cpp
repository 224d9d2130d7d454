// Framebuffer console: glyph drawing, the shadow text screen, scrolling and
// the cursor. The character-level output (putc, puts) lives here too.
#include "lib/vga.h"

#include "lib/stdio.h"

namespace {

const u8 kNewline = 0x0A;
const u8 kBackspace = 0x0E;  // what the keyboard driver delivers for Backspace
const u8 kSpace = ' ';

// The sixteen C64 colours in C64 order, RGB 5-6-5 (rrrrrggg gggbbbbb).
const u16 kPalette[16] = {
    0x0000,  // black (background)
    0xFFFF,  // white
    0x69A5,  // red
    0x7536,  // cyan
    0x69F0,  // purple
    0x5C68,  // green
    0x314F,  // blue
    0xBE2D,  // yellow
    0x6A64,  // orange
    0x41C0,  // brown
    0x9B2B,  // light red
    0x4228,  // dark grey
    0x6B6D,  // grey
    0x9E90,  // light green
    0x6AF6,  // light blue
    0x94B2,  // light grey (text)
};

u8* vga_framebuffer = nullptr;
u32 vga_width = 0;
u32 vga_height = 0;
u32 vga_pitch = 0;
u8 vga_mode_bpp = 0;
u8 vga_pixel_width = 0;
u8 vga_cursorCol = 0;
u8 vga_cursorRow = 0;
u8 vga_backColor = 0;
u8 vga_foreColor = 15;
u8 vga_cursorOn = 0;
u8 vga_textCols = kVgaTextCols;
u8 vga_textRows = kVgaTextRows;
u16 vga_color_palette[16];
// Column by column: the byte of (col, row) is at col * rows + row.
u8 vga_textscreen[kVgaTextCols * kVgaTextRows];

u8& shadow(u8 col, u8 row) { return vga_textscreen[col * kVgaTextRows + row]; }

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

}  // namespace

void vga_init(void* framebuffer, u32 width, u32 height, u32 pitch, u8 bpp) {
    vga_framebuffer = static_cast<u8*>(framebuffer);
    vga_width = width;
    vga_height = height;
    vga_pitch = pitch;
    vga_mode_bpp = bpp;
    vga_pixel_width = static_cast<u8>(bpp / 8);
    vga_set_color_palette();
}

void vga_set_color_palette() {
    for (int i = 0; i < 16; i++) vga_color_palette[i] = kPalette[i];
}

void vga_clear() {
    for (u32 y = 0; y < vga_height; y++)
        for (u32 x = 0; x < vga_width; x++) vga_put_pixel(static_cast<i32>(x), static_cast<i32>(y), vga_backColor);
    vga_cursorCol = 0;
    vga_cursorRow = 0;
    for (u32 i = 0; i < sizeof vga_textscreen; i++) vga_textscreen[i] = kSpace;
}

// The text grid is fixed while the framebuffer may be smaller (or not yet
// described), so a pixel whose two bytes would fall outside it is dropped.
void vga_put_pixel(i32 x, i32 y, u8 index) {
    if (!vga_framebuffer || x < 0 || y < 0) return;
    if (static_cast<u32>(x) >= vga_width || static_cast<u32>(y) >= vga_height) return;
    u32 offset = static_cast<u32>(y) * vga_pitch + static_cast<u32>(x) * vga_pixel_width;
    if (offset + 2 > vga_pitch * vga_height) return;
    u16 color = vga_color_palette[index & 15];
    vga_framebuffer[offset] = static_cast<u8>(color);
    vga_framebuffer[offset + 1] = static_cast<u8>(color >> 8);
}

void putc_col_row(i8 col, u8 row, u8 ch) {
    if (!vga_framebuffer) return;  // nothing described yet: nowhere to draw
    const u8* glyph = g_8x16_font + ch * kVgaGlyphHeight;
    i32 left = col * kVgaGlyphWidth;
    i32 top = row * kVgaGlyphHeight;
    for (i32 line = 0; line < kVgaGlyphHeight; line++) {
        u8 bits = glyph[line];
        for (i32 dot = 0; dot < kVgaGlyphWidth; dot++) {
            bool on = bits & (0x80 >> dot);
            vga_put_pixel(left + dot, top + line, on ? vga_foreColor : vga_backColor);
        }
    }
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

void vga_scroll() {
    if (vga_cursorRow < vga_textRows) return;
    for (u8 col = 0; col < vga_textCols; col++) {
        for (u8 row = 0; row + 1 < vga_textRows; row++) shadow(col, row) = shadow(col, row + 1);
        shadow(col, vga_textRows - 1) = kSpace;
    }
    vga_restore_textscreen();
    vga_cursorCol = 0;
    vga_cursorRow = static_cast<u8>(vga_textRows - 1);
}

void vga_restore_textscreen() {
    for (u8 row = 0; row < vga_textRows; row++)
        for (u8 col = 0; col < vga_textCols; col++) putc_col_row(static_cast<i8>(col), row, shadow(col, row));
}

u8 vga_cursor_col() { return vga_cursorCol; }
u8 vga_cursor_row() { return vga_cursorRow; }
bool vga_cursor_on() { return vga_cursorOn != 0; }
u16 vga_palette_color(u8 index) { return vga_color_palette[index & 15]; }
u8 vga_text_at(u8 col, u8 row) {
    if (col >= kVgaTextCols || row >= kVgaTextRows) return 0;
    return shadow(col, row);
}

// Framebuffer console: 8 x 16 glyphs drawn into a tarn::Screen, each glyph
// dot a square of `scale` pixels so the grid stays readable on large
// screens (at least 80 x 30 cells, at most kVgaMaxCols x kVgaMaxRows), with
// a shadow copy of the characters for scrolling and redrawing. Every
// drawing step presents exactly the pixels it changed, once.
#ifndef TARN_LIB_VGA_H
#define TARN_LIB_VGA_H

#include "lib/types.h"

namespace tarn {
class Screen;
}

// 256 glyphs of 16 bytes: glyph c at c * 16, one byte per pixel row from the
// top, bit 7 the leftmost pixel (data/font8x16.bin, linked by data/blobs.S).
extern "C" const u8 g_8x16_font[], g_8x16_font_end[];

const u8 kVgaMaxCols = 240;
const u8 kVgaMaxRows = 68;
const u8 kVgaGlyphWidth = 8;
const u8 kVgaGlyphHeight = 16;
const u8 kVgaCursorChar = 95;  // '_'

// The cell scale for a screen: the largest whole factor that leaves the
// grid at least 640 x 480 glyph pixels (1 up to 1279 x 959).
u32 vga_scale_for(u32 width, u32 height);

// Draws on screen from now on (null: nowhere); the grid follows its size,
// the cursor and the shadow screen stay, nothing is drawn.
void vga_init(tarn::Screen* screen);
// Background over every pixel, cursor home, shadow screen all spaces.
void vga_clear();
// Glyph ch in cell (col, row); the shadow screen and the cursor are untouched.
void putc_col_row(i8 col, u8 row, u8 ch);
void vga_cursor_enable();
void vga_cursor_update();
void vga_scroll();
void vga_restore_textscreen();

// Read-only views of the console state.
u8 vga_cols();
u8 vga_rows();
u32 vga_scale();
u8 vga_cursor_col();
u8 vga_cursor_row();
bool vga_cursor_on();
u32 vga_palette_color(u8 index);  // 0x00RRGGBB of a palette index (0..15)
u8 vga_text_at(u8 col, u8 row);   // shadow-screen character of a cell

#endif

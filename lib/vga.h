// Framebuffer console: 8x16 glyphs on a fixed 100 x 37 text grid, with a
// shadow copy of the characters for scrolling and redrawing.
#ifndef TARN_LIB_VGA_H
#define TARN_LIB_VGA_H

#include "lib/types.h"

// 256 glyphs of 16 bytes: glyph c at c * 16, one byte per pixel row from the
// top, bit 7 the leftmost pixel (data/font8x16.bin, linked by data/blobs.S).
extern "C" const u8 g_8x16_font[], g_8x16_font_end[];

const u8 kVgaTextCols = 100;  // 800 / 8
const u8 kVgaTextRows = 37;   // 600 / 16, rounded down
const u8 kVgaGlyphWidth = 8;
const u8 kVgaGlyphHeight = 16;
const u8 kVgaCursorChar = 95;  // '_'

// Describes the framebuffer and loads the palette; the screen is left as it is.
void vga_init(void* framebuffer, u32 width, u32 height, u32 pitch, u8 bpp);
void vga_set_color_palette();
// Background over every pixel, cursor home, shadow screen all spaces.
void vga_clear();
// One RGB 5-6-5 palette colour, low byte first. Pixels outside the
// framebuffer are dropped.
void vga_put_pixel(i32 x, i32 y, u8 index);
// Glyph ch in cell (col, row); the shadow screen and the cursor are untouched.
void putc_col_row(i8 col, u8 row, u8 ch);
void vga_cursor_enable();
void vga_cursor_update();
void vga_scroll();
void vga_restore_textscreen();

// Read-only views of the console state.
u8 vga_cursor_col();
u8 vga_cursor_row();
bool vga_cursor_on();
u16 vga_palette_color(u8 index);  // RGB 5-6-5 of a palette index (0..15)
u8 vga_text_at(u8 col, u8 row);   // shadow-screen character of a cell

#endif

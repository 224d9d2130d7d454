// Reads the kernel console's text back from a 16-bit memory framebuffer by
// matching every 8 x 16 cell of the 100 x 37 grid against the console font
// exactly (two colours: the background and one foreground colour).
//
//   consolereader::AttachConsole(fb, 800, 600, 1600);  // vga_init + g_fb_*
//   vga_clear(); printf("READY\n");
//   consolereader::ConsoleReader screen(fb, 800, 600, 1600);
//   screen.row(0)           -> "READY" (trailing spaces removed)
//   screen.row_raw(0)       -> all 100 characters
//   screen.text()           -> rows joined by '\n', trailing blank rows dropped
//   screen.contains("EAD")  -> any row holds the text
//   screen.code_at(c, r)    -> font code of a cell, -1 when no glyph matches
//   screen.fore(c, r)       -> RGB 5-6-5 of the cell's foreground pixels
//
// A blank cell (all background) reads as a space; a cell of one colour other
// than the background reads as the full block (219). Cells that match no
// glyph read as '?' in the text views. Glyphs drawn identically by the font
// (0, 32 and 255) read as 32.
#ifndef TARN_TESTS_SUPPORT_CONSOLE_READER_H
#define TARN_TESTS_SUPPORT_CONSOLE_READER_H

#include <cstdint>
#include <string>
#include <vector>

namespace tarn { class Screen; }

namespace consolereader {

constexpr int kCols = 100;
constexpr int kRows = 37;
constexpr uint16_t kBlack = 0x0000;      // palette 0, the console's background
constexpr uint16_t kLightGrey = 0x94B2;  // palette 15, the console's text

class ConsoleReader {
public:
    // pitch in bytes; pixels are 16-bit RGB 5-6-5.
    ConsoleReader(const void* framebuffer, uint32_t width, uint32_t height, uint32_t pitch,
                  uint16_t background = kBlack);

    int code_at(int col, int row) const;
    char char_at(int col, int row) const;
    // Foreground colour of a cell; the background colour for a blank cell.
    uint16_t fore(int col, int row) const;
    // Whether every pixel of the cell has the given colour.
    bool cell_is(int col, int row, uint16_t color) const;

    std::string row_raw(int row) const;
    std::string row(int row) const;
    std::vector<std::string> rows() const;
    std::string text() const;
    bool contains(const std::string& needle) const;
    // First row holding the text, -1 if none.
    int find_row(const std::string& needle) const;

private:
    uint16_t pixel(uint32_t x, uint32_t y) const;
    bool decode(int col, int row, int* code, uint16_t* fore) const;

    const uint8_t* fb_;
    uint32_t width_, height_, pitch_;
    uint16_t background_;
};

// Points the console at a memory framebuffer as start-up does with the real
// one: sets g_fb_* and calls vga_init (the screen is not cleared).
void AttachConsole(void* framebuffer, uint32_t width, uint32_t height, uint32_t pitch, uint8_t bpp = 16);
// The screen the console draws on since AttachConsole (the machine under
// test draws on it too).
tarn::Screen* AttachedConsoleScreen();
// Leaves the console with no framebuffer, so nothing is drawn (call before
// the memory goes away).
void DetachConsole();

}  // namespace consolereader

#endif

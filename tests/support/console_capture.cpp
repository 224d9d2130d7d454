// Printed-text capture over the real console (see console_capture.h).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/console_capture.h"
#include "tests/support/console_reader.h"
#include "lib/vga.h"

namespace consolecapture {

namespace {

constexpr uint32_t kWidth = 800;
constexpr uint32_t kHeight = 600;
constexpr uint32_t kPitch = kWidth * 2;
constexpr uint16_t kUntouched = 0x0821;  // in no palette of the system

std::vector<uint16_t>& Framebuffer() {
    static std::vector<uint16_t> fb(kWidth * kHeight);
    return fb;
}

bool Drawn(int col, int row) {
    return Framebuffer()[static_cast<size_t>(row) * 16 * kWidth + static_cast<size_t>(col) * 8] != kUntouched;
}

}  // namespace

void Capture::Start() {
    consolereader::AttachConsole(Framebuffer().data(), kWidth, kHeight, kPitch);
    vga_clear();
    for (uint16_t& p : Framebuffer()) p = kUntouched;
}

// Only a scroll draws the last cell of the last row without moving the
// cursor past it (which would itself scroll).
bool Capture::Scrolled() const { return Drawn(consolereader::kCols - 1, consolereader::kRows - 1); }

std::string Capture::Text() const {
    consolereader::ConsoleReader screen(Framebuffer().data(), kWidth, kHeight, kPitch);
    if (vga_cursor_on()) {
        // A cursor over the next cell, and the space a newline leaves in its
        // place, cannot be told from printed text.
        ADD_FAILURE() << "the console cursor is on (the monitor enabled it in this process); "
                         "Capture needs it off";
    }
    if (Scrolled()) {
        ADD_FAILURE() << "the console scrolled since Capture::Start(); only the visible rows are returned";
        return screen.text();
    }
    std::string text;
    int last = vga_cursor_row();
    for (int row = 0; row <= last; row++) {
        int end = row == last ? vga_cursor_col() : consolereader::kCols;
        int col = 0;
        for (; col < end && Drawn(col, row); col++) text += screen.char_at(col, row);
        if (row < last && col < consolereader::kCols) text += '\n';
    }
    return text;
}

}  // namespace consolecapture

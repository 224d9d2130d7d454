// Console read-back: exact glyph matching over a memory framebuffer.
#include "tests/support/console_reader.h"

#include <array>
#include <map>
#include <vector>

#include "drivers/framebuffer/framebuffer_screen.h"
#include "kernel/globals.h"
#include "lib/vga.h"

namespace consolereader {

namespace {

using Bitmap = std::array<uint8_t, 16>;

constexpr int kBlankCode = 32;
constexpr int kBlockCode = 219;

// Font bitmap to code; of identical glyphs the printable one (or the lowest) wins.
const std::map<Bitmap, int>& Glyphs() {
    static const std::map<Bitmap, int> table = [] {
        std::map<Bitmap, int> t;
        for (int code = 255; code >= 0; code--) {
            Bitmap b;
            for (int i = 0; i < 16; i++) b[i] = g_8x16_font[code * 16 + i];
            auto it = t.find(b);
            bool printable = code >= 32 && code <= 126;
            if (it == t.end() || printable || !(it->second >= 32 && it->second <= 126)) t[b] = code;
        }
        return t;
    }();
    return table;
}

int Lookup(const Bitmap& b) {
    auto it = Glyphs().find(b);
    return it == Glyphs().end() ? -1 : it->second;
}

}  // namespace

ConsoleReader::ConsoleReader(const void* framebuffer, uint32_t width, uint32_t height, uint32_t pitch,
                             uint16_t background)
    : fb_(static_cast<const uint8_t*>(framebuffer)), width_(width), height_(height), pitch_(pitch),
      background_(background) {}

uint16_t ConsoleReader::pixel(uint32_t x, uint32_t y) const {
    const uint8_t* p = fb_ + y * pitch_ + x * 2;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The cell must hold at most two colours. With the background among them,
// the other colour's pixels are the glyph; a cell of two other colours is
// tried both ways round.
bool ConsoleReader::decode(int col, int row, int* code, uint16_t* fore) const {
    if (col < 0 || row < 0 || col >= kCols || row >= kRows) return false;
    uint32_t left = static_cast<uint32_t>(col) * 8, top = static_cast<uint32_t>(row) * 16;
    if (left + 8 > width_ || top + 16 > height_) return false;
    uint16_t colors[2];
    int ncolors = 0;
    for (uint32_t y = 0; y < 16; y++)
        for (uint32_t x = 0; x < 8; x++) {
            uint16_t c = pixel(left + x, top + y);
            if (ncolors > 0 && c == colors[0]) continue;
            if (ncolors > 1 && c == colors[1]) continue;
            if (ncolors == 2) return false;
            colors[ncolors++] = c;
        }
    if (ncolors == 1) {
        *code = colors[0] == background_ ? kBlankCode : kBlockCode;
        *fore = colors[0];
        return true;
    }
    auto try_ink = [&](uint16_t ink) {
        Bitmap b{};
        for (uint32_t y = 0; y < 16; y++)
            for (uint32_t x = 0; x < 8; x++)
                if (pixel(left + x, top + y) == ink) b[y] |= static_cast<uint8_t>(0x80 >> x);
        return Lookup(b);
    };
    uint16_t first = colors[0] == background_ ? colors[1] : colors[0];
    uint16_t second = first == colors[0] ? colors[1] : colors[0];
    int found = try_ink(first);
    if (found < 0 && colors[0] != background_ && colors[1] != background_) {
        found = try_ink(second);
        if (found >= 0) first = second;
    }
    if (found < 0) return false;
    *code = found;
    *fore = first;
    return true;
}

int ConsoleReader::code_at(int col, int row) const {
    int code;
    uint16_t fore;
    return decode(col, row, &code, &fore) ? code : -1;
}

char ConsoleReader::char_at(int col, int row) const {
    int code = code_at(col, row);
    return code < 0 ? '?' : static_cast<char>(code);
}

uint16_t ConsoleReader::fore(int col, int row) const {
    int code;
    uint16_t fore = background_;
    decode(col, row, &code, &fore);
    return fore;
}

bool ConsoleReader::cell_is(int col, int row, uint16_t color) const {
    uint32_t left = static_cast<uint32_t>(col) * 8, top = static_cast<uint32_t>(row) * 16;
    for (uint32_t y = 0; y < 16; y++)
        for (uint32_t x = 0; x < 8; x++)
            if (pixel(left + x, top + y) != color) return false;
    return true;
}

std::string ConsoleReader::row_raw(int row) const {
    std::string s;
    for (int col = 0; col < kCols; col++) s += char_at(col, row);
    return s;
}

std::string ConsoleReader::row(int row) const {
    std::string s = row_raw(row);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::vector<std::string> ConsoleReader::rows() const {
    std::vector<std::string> out;
    for (int r = 0; r < kRows; r++) out.push_back(row(r));
    return out;
}

std::string ConsoleReader::text() const {
    std::vector<std::string> all = rows();
    while (!all.empty() && all.back().empty()) all.pop_back();
    std::string s;
    for (size_t i = 0; i < all.size(); i++) {
        if (i) s += '\n';
        s += all[i];
    }
    return s;
}

bool ConsoleReader::contains(const std::string& needle) const { return find_row(needle) >= 0; }

int ConsoleReader::find_row(const std::string& needle) const {
    for (int r = 0; r < kRows; r++)
        if (row_raw(r).find(needle) != std::string::npos) return r;
    return -1;
}

namespace {
tarn::drivers::FramebufferScreen& AttachedScreen() {
    static tarn::drivers::FramebufferScreen screen;
    return screen;
}
}  // namespace

void AttachConsole(void* framebuffer, uint32_t width, uint32_t height, uint32_t pitch, uint8_t bpp) {
    g_fb_addr = static_cast<u32*>(framebuffer);
    g_fb_width = width;
    g_fb_height = height;
    g_fb_pitch = pitch;
    g_fb_bpp = bpp;
    static std::vector<uint32_t> ram;
    ram.assign(tarn::drivers::FramebufferScreen::ram_bytes(width, height) / 4 + 1, 0);
    bool attached = AttachedScreen().attach(static_cast<u8*>(framebuffer), width, height, pitch,
                                            tarn::drivers::PixelFormat::standard(bpp),
                                            reinterpret_cast<u8*>(ram.data()));
    vga_init(attached ? &AttachedScreen() : nullptr);
}

tarn::Screen* AttachedConsoleScreen() { return &AttachedScreen(); }

void DetachConsole() {
    g_fb_addr = nullptr;
    g_fb_width = g_fb_height = g_fb_pitch = 0;
    vga_init(nullptr);
}

}  // namespace consolereader

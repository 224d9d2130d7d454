// MOS 6569 VIC-II video chip: register file, raster counter and line renderer.
#include "c64/vic.h"

#include "c64/core6502_bridge.h"
#include "c64/cpu.h"
#include "c64/io.h"
#include "c64/memory.h"

namespace {

// Register numbers ($D000 + r).
constexpr u8 kRegSprite0X = 0x00;        // $D000-$D00F: X low / Y pairs
constexpr u8 kRegSpriteMsbX = 0x10;      // $D010
constexpr u8 kRegControl1 = 0x11;        // $D011
constexpr u8 kRegRaster = 0x12;          // $D012
constexpr u8 kRegLightPenX = 0x13;       // $D013
constexpr u8 kRegLightPenY = 0x14;       // $D014
constexpr u8 kRegSpriteEnable = 0x15;    // $D015
constexpr u8 kRegControl2 = 0x16;        // $D016
constexpr u8 kRegSpriteExpandY = 0x17;   // $D017
constexpr u8 kRegMemPointers = 0x18;     // $D018
constexpr u8 kRegIrqStatus = 0x19;       // $D019
constexpr u8 kRegIrqEnable = 0x1A;       // $D01A
constexpr u8 kRegSpritePriority = 0x1B;  // $D01B
constexpr u8 kRegSpriteMulti = 0x1C;     // $D01C
constexpr u8 kRegSpriteExpandX = 0x1D;   // $D01D
constexpr u8 kRegSpriteSprite = 0x1E;    // $D01E collision
constexpr u8 kRegSpriteData = 0x1F;      // $D01F collision
constexpr u8 kRegBorder = 0x20;          // $D020
constexpr u8 kRegBackground0 = 0x21;     // $D021-$D024
constexpr u8 kRegBackground3 = 0x24;
constexpr u8 kRegSpriteMc0 = 0x25;       // $D025, $D026
constexpr u8 kRegSpriteMc1 = 0x26;
constexpr u8 kRegSpriteColor0 = 0x27;    // $D027-$D02E
constexpr u8 kRegSpriteColor7 = 0x2E;

// $D011: RST8 ECM BMM DEN RSEL YSCROLL(3)
constexpr u8 kCr1RasterBit8 = 0x80;
constexpr u8 kCr1Ecm = 0x40;
constexpr u8 kCr1Bmm = 0x20;
constexpr u8 kCr1Den = 0x10;
constexpr u8 kCr1Rsel = 0x08;   // 25 rows
// $D016: - - RES MCM CSEL XSCROLL(3)
constexpr u8 kCr2Mcm = 0x10;
constexpr u8 kCr2Csel = 0x08;   // 40 columns

constexpr u16 kColorRam = 0xD800;
constexpr int kSpriteLineOffset = 6;   // sprite Y 0 meets raster line 6
constexpr int kSpriteXOffset = 18;     // sprite X 0 lies 18 picture columns left
constexpr int kWindowLeft = 42;        // picture column before the first text pixel
constexpr int kWindowRight = 362;      // last picture column of the 40-column window
constexpr int kSpriteHeight = 21;

}  // namespace

Vic::Vic()
    : msbx_(0), sprite_enabled_(0), sprite_priority_(0), sprite_multicolor_(0), sprite_double_width_(0),
      sprite_double_height_(0), border_color_(0), next_raster_at_(kLineCycles), frame_c_(0), cr1_(0), cr2_(0),
      raster_c_(0), raster_irq_(0), irq_status_(0), irq_enabled_(0), screen_mem_(0x0400), char_mem_(0xD000),
      bitmap_mem_(0), mem_pointers_(1), graphic_mode_(kModeChar) {
    for (int i = 0; i < 8; i++) {
        mx_[i] = 0;
        my_[i] = 0;
        sprite_colors_[i] = 0;
    }
    sprite_shared_colors_[0] = sprite_shared_colors_[1] = 0;
    for (u8& c : bgcolor_) c = 0;
}

// ---- registers -------------------------------------------------------------

u8 Vic::read_register(u8 r) {
    r &= 0x3F;
    if (r < kRegSpriteMsbX) return (r & 1) ? my_[r >> 1] : mx_[r >> 1];
    switch (r) {
    case kRegSpriteMsbX: return msbx_;
    case kRegControl1: return cr1_;
    case kRegRaster: return raster_c_;
    case kRegLightPenX:
    case kRegLightPenY: return 0xFF;
    case kRegSpriteEnable: return sprite_enabled_;
    case kRegControl2: return cr2_;
    case kRegSpriteExpandY: return sprite_double_height_;
    case kRegMemPointers: return mem_pointers_;
    case kRegIrqStatus: {
        u8 latched = irq_status_ & 0x0F;
        return static_cast<u8>(latched | (latched ? 0x80 : 0) | 0x70);
    }
    case kRegIrqEnable: return irq_enabled_ | 0xF0;
    case kRegSpritePriority: return sprite_priority_;
    case kRegSpriteMulti: return sprite_multicolor_;
    case kRegSpriteExpandX: return sprite_double_width_;
    case kRegSpriteSprite:
    case kRegSpriteData: return 0;
    case kRegBorder: return border_color_ | 0xF0;
    default: break;
    }
    if (r >= kRegBackground0 && r <= kRegBackground3) return bgcolor_[r - kRegBackground0] | 0xF0;
    if (r == kRegSpriteMc0 || r == kRegSpriteMc1) return sprite_shared_colors_[r - kRegSpriteMc0] | 0xF0;
    if (r >= kRegSpriteColor0 && r <= kRegSpriteColor7) return sprite_colors_[r - kRegSpriteColor0] | 0xF0;
    return 0xFF;
}

void Vic::write_register(u8 r, u8 v) {
    r &= 0x3F;
    if (r < kRegSpriteMsbX) {
        if (r & 1) my_[r >> 1] = v;
        else mx_[r >> 1] = v;
        return;
    }
    switch (r) {
    case kRegSpriteMsbX: msbx_ = v; return;
    case kRegControl1:
        cr1_ = v & 0x7F;
        raster_irq_ = (raster_irq_ & 0xFF) | ((v & kCr1RasterBit8) << 1);
        set_graphic_mode();
        return;
    case kRegRaster: raster_irq_ = (raster_irq_ & 0x100) | v; return;
    case kRegSpriteEnable: sprite_enabled_ = v; return;
    case kRegControl2:
        cr2_ = v;
        set_graphic_mode();
        return;
    case kRegSpriteExpandY: sprite_double_height_ = v; return;
    case kRegMemPointers:
        char_mem_ = static_cast<u16>((v * 1024) & 0x3800);
        screen_mem_ = static_cast<u16>((v * 64) & 0x3C00);
        bitmap_mem_ = static_cast<u16>((v * 1024) & 0x2000);
        mem_pointers_ = v | 1;
        return;
    case kRegIrqStatus: irq_status_ &= static_cast<u8>(~(v & 0x0F)); return;
    case kRegIrqEnable: irq_enabled_ = v; return;
    case kRegSpritePriority: sprite_priority_ = v; return;
    case kRegSpriteMulti: sprite_multicolor_ = v; return;
    case kRegSpriteExpandX: sprite_double_width_ = v; return;
    case kRegBorder: border_color_ = v & 0x0F; return;
    default: break;
    }
    if (r >= kRegBackground0 && r <= kRegBackground3) bgcolor_[r - kRegBackground0] = v & 0x0F;
    else if (r == kRegSpriteMc0 || r == kRegSpriteMc1) sprite_shared_colors_[r - kRegSpriteMc0] = v & 0x0F;
    else if (r >= kRegSpriteColor0 && r <= kRegSpriteColor7) sprite_colors_[r - kRegSpriteColor0] = v & 0x0F;
    // Light pen, collision and unused registers ignore writes.
}

void Vic::raster_counter(int n) {
    raster_c_ = static_cast<u8>(n & 0xFF);
    cr1_ = static_cast<u8>((cr1_ & 0x7F) | ((n & 0x100) >> 1));
}

bool Vic::is_bad_line() const {
    int r = raster_counter();
    return r >= 48 && r <= 247 && (r & 7) == (cr1_ & 7);
}

void Vic::set_graphic_mode() {
    bool ecm = (cr1_ & kCr1Ecm) != 0;
    bool bmm = (cr1_ & kCr1Bmm) != 0;
    bool mcm = (cr2_ & kCr2Mcm) != 0;
    if (ecm) graphic_mode_ = (bmm || mcm) ? kModeInvalid : kModeExtBg;
    else if (bmm) graphic_mode_ = mcm ? kModeMcBitmap : kModeBitmap;
    else graphic_mode_ = mcm ? kModeMcChar : kModeChar;
}

// ---- memory fetches ---------------------------------------------------------

u8 Vic::get_screen_char(int col, int row) {
    return mem_->vic_read_byte(static_cast<u16>(screen_mem_ + 40 * row + col));
}

u8 Vic::get_char_color(int col, int row) {
    return mem_->read_byte_no_io(static_cast<u16>(kColorRam + 40 * row + col)) & 0x0F;
}

u8 Vic::get_char_data(int ch, int line) {
    if (graphic_mode_ == kModeExtBg) ch &= 0x3F;
    return mem_->vic_read_byte(static_cast<u16>(char_mem_ + 8 * ch + line));
}

u8 Vic::get_bitmap_data(int col, int row, int line) {
    return mem_->vic_read_byte(static_cast<u16>(bitmap_mem_ + 320 * row + 8 * col + line));
}

u16 Vic::get_sprite_ptr(int n) {
    return static_cast<u16>(64 * mem_->vic_read_byte(static_cast<u16>(screen_mem_ + 1016 + n)));
}

// ---- raster ------------------------------------------------------------------

bool Vic::emulate() {
    if (!cpu_) return true;
    // A latched, unacknowledged flag keeps asking for the interrupt.
    if (read_register(kRegIrqStatus) & 0x80) cpu_->irq();
    if (cpu_->cycles() < next_raster_at_) return true;

    int r = raster_counter();
    if (raster_irq_enabled() && r == raster_irq_) {
        irq_status_ |= 1;
        cpu_->irq();
    }
    if (!render_line(r)) return false;
    next_raster_at_ += is_bad_line() ? kBadLineCycles : kLineCycles;

    raster_counter(r + 1);
    if (r + 1 > kLastLine) {
        if (io_) io_->screen_refresh();
        frame_c_++;
        raster_counter(0);
    }
    return true;
}

bool Vic::render_line(int r) {
    if (r < kFirstVisibleLine || r > kLastVisibleLine || !io_) return true;
    int y = r - kFirstVisibleLine;
    io_->screen_draw_border(y, border_color_);
    switch (graphic_mode_) {
    case kModeChar:
    case kModeMcChar:
    case kModeExtBg: draw_raster_char_mode(r, y); break;
    case kModeBitmap:
    case kModeMcBitmap: draw_raster_bitmap_mode(r, y); break;
    default: return false;
    }
    draw_raster_sprites(r, y);
    return true;
}

void Vic::latch_interrupt(u8 bits) {
    irq_status_ |= bits & 0x0F;
    update_irq_line();
}

// The chip holds its IRQ output low while a latched source is enabled.
void Vic::update_irq_line() { cpu6502_set_irq(CORE6502_IRQ_VIC, (irq_status_ & irq_enabled_ & 0x0F) != 0); }

// Text window: all 40 columns (or 38, trimmed 8 each side), 25 rows (or 24).
bool Vic::in_display_window(int px, int y) const {
    bool horizontal = (cr2_ & kCr2Csel) || (px > 50 && px <= 353);
    bool vertical = (cr1_ & kCr1Rsel) || (y > 44 && y < 238);
    return horizontal && vertical;
}

bool Vic::in_sprite_window(int px, int y) const {
    int h = (cr2_ & kCr2Csel) ? 0 : 8;
    int top = (cr1_ & kCr1Rsel) ? 42 : 44;
    int bottom = (cr1_ & kCr1Rsel) ? 242 : 238;
    return px > kWindowLeft + h && px <= kWindowRight - h && y >= top && y < bottom;
}

void Vic::draw_raster_char_mode(int r, int y) {
    if (r < kFirstDisplayLine || r > kLastDisplayLine || is_screen_off()) return;
    if (cr2_ & kCr2Csel) io_->screen_draw_rect(kWindowLeft, y, 320, bgcolor_[0]);
    else io_->screen_draw_rect(50, y, 304, bgcolor_[0]);

    int line = r - kFirstDisplayLine - ((cr1_ & 7) - 3);
    int row = line / 8;
    int cl = line % 8;
    for (int col = 0; col < 40; col++) {
        int x = kWindowLeft + 8 * col;
        u8 ch = get_screen_char(col, row);
        u8 data = get_char_data(ch, cl);
        u8 color = get_char_color(col, row);
        switch (graphic_mode_) {
        case kModeChar: draw_char(x, y, data, color); break;
        case kModeMcChar:
            // Colour bit 3 selects multicolour; without it the cell keeps the fill.
            if (color & 8) draw_mcchar(x, y, data, color & 7);
            break;
        case kModeExtBg: draw_ext_backcolor_char(x, y, data, color, ch); break;
        default: break;
        }
    }
}

void Vic::draw_raster_bitmap_mode(int r, int y) {
    if (r < kFirstDisplayLine || r > kLastDisplayLine || is_screen_off()) return;
    io_->screen_draw_rect(kWindowLeft, y, 320, bgcolor_[0]);
    int row = (r - kFirstDisplayLine) / 8;
    int line = (r - kFirstDisplayLine) % 8;
    for (int col = 0; col < 40; col++) {
        int x = kWindowLeft + 8 * col;
        u8 data = get_bitmap_data(col, row, line);
        u8 scr = get_screen_char(col, row);
        u8 color = get_char_color(col, row);
        if (graphic_mode_ == kModeBitmap) draw_bitmap(x, y, data, scr);
        else draw_mcbitmap(x, y, data, scr, color);
    }
}

void Vic::draw_char(int x, int y, u8 data, u8 color) {
    int hs = horizontal_scroll();
    for (int i = 0; i < 8; i++) {
        int px = x + 8 - i + hs;
        if (px > kWindowRight) continue;
        if (!in_display_window(px, y)) io_->screen_update_pixel(px, y, border_color_);
        else if ((data >> i) & 1) io_->screen_update_pixel(px, y, color);
    }
}

void Vic::draw_ext_backcolor_char(int x, int y, u8 data, u8 color, u8 ch) {
    int hs = horizontal_scroll();
    for (int i = 0; i < 8; i++) {
        int px = x + 8 - i + hs;
        if (px > kWindowRight) continue;
        if (!in_display_window(px, y)) io_->screen_update_pixel(px, y, border_color_);
        else if ((data >> i) & 1) io_->screen_update_pixel(px, y, color);
        else if (ch >= 64) io_->screen_update_pixel(px, y, bgcolor_[ch >> 6]);
    }
}

void Vic::draw_mcchar(int x, int y, u8 data, u8 color) {
    int hs = horizontal_scroll();
    for (int i = 0; i < 4; i++) {
        int pair = (data >> (2 * i)) & 3;
        u8 c = pair == 3 ? color : bgcolor_[pair];
        int px = x + 8 - 2 * i + hs;
        if (in_display_window(px, y)) {
            io_->screen_update_pixel(px, y, c);
            io_->screen_update_pixel(px + 1, y, c);
        } else {
            io_->screen_update_pixel(px, y, border_color_);
        }
    }
}

void Vic::draw_bitmap(int x, int y, u8 data, u8 scr) {
    int hs = horizontal_scroll();
    for (int i = 0; i < 8; i++) {
        int px = x + 8 - i + hs;
        if (px > kWindowRight) continue;
        io_->screen_update_pixel(px, y, ((data >> i) & 1) ? scr >> 4 : scr & 0x0F);
    }
}

void Vic::draw_mcbitmap(int x, int y, u8 data, u8 scr, u8 color) {
    int hs = horizontal_scroll();
    for (int i = 0; i < 4; i++) {
        u8 c;
        switch ((data >> (2 * i)) & 3) {
        case 0: c = bgcolor_[0]; break;
        case 1: c = scr >> 4; break;
        case 2: c = scr & 0x0F; break;
        default: c = color; break;
        }
        int px = x + 8 - 2 * i + hs;
        io_->screen_update_pixel(px, y, c);
        io_->screen_update_pixel(px + 1, y, c);
    }
}

// ---- sprites ------------------------------------------------------------------

void Vic::draw_raster_sprites(int r, int y) {
    if (sprite_enabled_ == 0) return;
    // Sprite 0 is drawn last so it shows on top.
    for (int n = 7; n >= 0; n--) {
        if (!is_sprite_enabled(n)) continue;
        int height = is_double_height_sprite(n) ? 2 * kSpriteHeight : kSpriteHeight;
        int dy = r - kSpriteLineOffset - my_[n];
        if (dy < 0 || dy >= height) continue;
        int row = is_double_height_sprite(n) ? dy / 2 : dy;
        int x = sprite_x(n) + kSpriteXOffset;
        if (is_multicolor_sprite(n)) draw_mcsprite(x, y, n, row);
        else draw_sprite(x, y, n, row);
    }
}

void Vic::draw_sprite(int x, int y, int n, int row) {
    int w = is_double_width_sprite(n) ? 2 : 1;
    u16 base = static_cast<u16>(get_sprite_ptr(n) + 3 * row);
    for (int j = 1; j <= 3; j++) {
        u8 byte = mem_->vic_read_byte(static_cast<u16>(base + j - 1));
        for (int k = 0; k < 8; k++) {
            if (!((byte >> k) & 1)) continue;
            for (int i = 0; i < w; i++) {
                u16 px = static_cast<u16>(x + i + w * (8 * j - k));
                if (in_sprite_window(px, y)) io_->screen_update_pixel(px, y, sprite_colors_[n]);
            }
        }
    }
}

void Vic::draw_mcsprite(int x, int y, int n, int row) {
    int w = is_double_width_sprite(n) ? 2 : 1;
    u16 base = static_cast<u16>(get_sprite_ptr(n) + 3 * row);
    for (int j = 1; j <= 3; j++) {
        u8 byte = mem_->vic_read_byte(static_cast<u16>(base + j - 1));
        for (int k = 0; k < 4; k++) {
            int p = (byte >> (2 * k)) & 3;
            if (p == 0) continue;  // transparent
            u8 c = p == 1 ? sprite_shared_colors_[0] : p == 2 ? sprite_colors_[n] : sprite_shared_colors_[1];
            for (int i = 0; i < w; i++) {
                u16 l = static_cast<u16>(x + i + w * (8 * j - 2 * k));
                int last = w == 2 ? 2 : 1;
                for (int d = 0; d <= last; d++) {
                    int px = l + d;
                    if (in_sprite_window(px, y)) io_->screen_update_pixel(px, y, c);
                }
            }
        }
    }
}

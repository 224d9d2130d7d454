// MOS 6569 VIC-II video chip: the line renderer. Each raster line is built
// with the registers as they stand when it is rendered, so programs that
// change colours, modes or scroll bits between lines see their splits.
//
// The sequencer follows the chip: a bad line fetches a row of the video
// matrix and restarts the character line counter; eight lines later the
// row is done and the display goes idle until the next bad line. Sprites
// keep their own data counters, so a sprite runs its 21 (or 42) lines
// wherever its Y register matched, and can be reused further down.
#include "c64/raster_picture.h"
#include "c64/memory.h"
#include "c64/vic.h"

namespace {

// $D011: RST8 ECM BMM DEN RSEL YSCROLL(3)
constexpr u8 kCr1Ecm = 0x40;
constexpr u8 kCr1Bmm = 0x20;
constexpr u8 kCr1Den = 0x10;
constexpr u8 kCr1Rsel = 0x08;
// $D016: - - RES MCM CSEL XSCROLL(3)
constexpr u8 kCr2Mcm = 0x10;
constexpr u8 kCr2Csel = 0x08;

constexpr u16 kMatrixMask = 0x3FF;       // video matrix counter, 10 bits
constexpr u16 kSpritePointers = 0x3F8;   // after the 1000 screen codes
constexpr u16 kIdleAddress = 0x3FFF;     // graphics byte shown in idle state
constexpr u16 kEcmAddressMask = 0x39FF;  // ECM holds address bits 9 and 10 low

// Raster lines.
constexpr int kFirstBadLine = 0x30;
constexpr int kLastBadLine = 0xF7;
constexpr int kTopLine25 = 51, kBottomLine25 = 251;  // display window, 25 rows
constexpr int kTopLine24 = 55, kBottomLine24 = 247;  // 24 rows

// X coordinates (the sprite registers' scale) and picture columns.
constexpr int kColumnOfX0 = 19;          // picture column of X coordinate 0
constexpr int kLeftX40 = 24, kRightX40 = 344;   // display window, 40 columns
constexpr int kLeftX38 = 31, kRightX38 = 335;   // 38 columns
constexpr int kLineX = 504;              // X positions in a PAL line
constexpr int kFirstLateX = 0x194;       // from here on X lies left of X 0
constexpr int kLastSpriteX = 0x1F7;      // sprites further right never show

// The renderer paints into a line wider than the picture, so sprites and
// scrolled cells may run over either edge without checks.
constexpr int kPad = 96;
constexpr int kLineWidth = kPad + 480 + 8;
constexpr int kSpriteRows = 63;          // 21 rows of 3 bytes

u8 g_pixels[kLineWidth];
u8 g_foreground[kLineWidth];     // graphics pixels that collide with sprites
u8 g_sprite_bits[kLineWidth];    // sprites present at each column
u8 g_sprite_color[kLineWidth];   // colour of the frontmost of them

// Eight pixels as one word, leftmost pixel in the lowest byte.
struct PixelTables {
    u64 hires[256];   // 0xFF for a set bit
    u64 pair[3][256]; // 0xFF where a bit pair holds 1, 2, 3
    constexpr PixelTables() : hires(), pair() {
        for (int d = 0; d < 256; d++) {
            for (int k = 0; k < 8; k++)
                if ((d >> (7 - k)) & 1) hires[d] |= u64(0xFF) << (8 * k);
            for (int k = 0; k < 4; k++) {
                int p = (d >> (6 - 2 * k)) & 3;
                if (p) pair[p - 1][d] |= u64(0xFFFF) << (16 * k);
            }
        }
    }
};
constexpr PixelTables kTables{};

inline u64 spread(u8 colour) { return u64(0x0101010101010101ull) * colour; }

inline void store8(u8* p, u64 v) { __builtin_memcpy(p, &v, 8); }

// Byte runs in whole words (the kernel's own memset and memcpy go byte by
// byte).
void fill(u8* p, int n, u8 v) {
    u64 w = spread(v);
    int i = 0;
    for (; i + 8 <= n; i += 8) store8(p + i, w);
    for (; i < n; i++) p[i] = v;
}

void copy(u8* dst, const u8* src, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        u64 w;
        __builtin_memcpy(&w, src + i, 8);
        store8(dst + i, w);
    }
    for (; i < n; i++) dst[i] = src[i];
}

// A cell of one colour on another.
inline void hires_cell(u8* pix, u8* fg, u8 data, u8 on, u8 off) {
    u64 m = kTables.hires[data];
    store8(pix, (spread(on) & m) | (spread(off) & ~m));
    store8(fg, m);
}

// A cell of bit pairs: 00 c0, 01 c1, 10 c2, 11 c3; 10 and 11 are foreground.
inline void multicolor_cell(u8* pix, u8* fg, u8 data, u8 c0, u8 c1, u8 c2, u8 c3) {
    u64 m1 = kTables.pair[0][data], m2 = kTables.pair[1][data], m3 = kTables.pair[2][data];
    store8(pix, (spread(c0) & ~(m1 | m2 | m3)) | (spread(c1) & m1) | (spread(c2) & m2) | (spread(c3) & m3));
    store8(fg, m2 | m3);
}

}  // namespace

bool Vic::render_line(int r) {
    begin_line(r);
    u8* row = (picture_ && r >= kFirstVisibleLine && r <= kLastVisibleLine) ? picture_->row(r - kFirstVisibleLine) : nullptr;
    bool invalid = graphic_mode_ == kModeInvalid;
    // Sprites collide on every line, shown or not.
    if (vertical_border_ && !sprite_dma_) {
        if (row) fill(row, RasterPicture::kCols, border_color_);
    } else if (row || sprite_dma_) {
        u8* pixels = g_pixels + kPad;
        draw_graphics(pixels, g_foreground + kPad);
        if (sprite_dma_) draw_sprites(pixels, g_foreground + kPad);
        draw_border(pixels);
        if (row) copy(row, pixels, RasterPicture::kCols);
    }
    end_line(r);
    return !(row && invalid);
}

// ---- sequencer ---------------------------------------------------------------

void Vic::begin_line(int r) {
    if (r == 0) {
        vc_base_ = 0;
        bad_lines_enabled_ = false;
    }
    if (r == kFirstBadLine && (cr1_ & kCr1Den)) bad_lines_enabled_ = true;
    bad_line_ = bad_lines_enabled_ && r >= kFirstBadLine && r <= kLastBadLine && (r & 7) == (cr1_ & 7);
    if (bad_line_) {
        display_state_ = true;
        rc_ = 0;
        fetch_matrix_line();
    }
    // The vertical border flip-flop: set at the bottom line, cleared at the
    // top line only while the screen is on, so blanking keeps it set.
    bool rows25 = (cr1_ & kCr1Rsel) != 0;
    if (r == (rows25 ? kBottomLine25 : kBottomLine24)) vertical_border_ = true;
    else if (r == (rows25 ? kTopLine25 : kTopLine24) && (cr1_ & kCr1Den)) vertical_border_ = false;
}

void Vic::end_line(int r) {
    if (rc_ == 7) {
        if (display_state_) vc_base_ = static_cast<u16>((vc_base_ + 40) & kMatrixMask);
        if (!bad_line_) display_state_ = false;
    }
    if (display_state_) rc_ = static_cast<u8>((rc_ + 1) & 7);
    advance_sprites(r);
}

void Vic::fetch_matrix_line() {
    for (int i = 0; i < 40; i++) {
        u16 vc = static_cast<u16>((vc_base_ + i) & kMatrixMask);
        matrix_[i] = mem_->vic_read_byte(static_cast<u16>(screen_mem_ + vc));
        matrix_colors_[i] = mem_->colour(vc);
    }
}

// ---- graphics ----------------------------------------------------------------

// The 40 cells of the line, shifted right by XSCROLL, on background colour 0.
// Invalid mode combinations show black but still collide. Foreground flags
// stay zero outside the cells.
void Vic::draw_graphics(u8* pixels, u8* foreground) {
    constexpr int kFirstCell = kColumnOfX0 + kLeftX40;
    int first = kFirstCell + horizontal_scroll();
    fill(pixels, first, bgcolor_[0]);
    fill(pixels + first + 320, RasterPicture::kCols - first - 320, bgcolor_[0]);
    fill(foreground + kFirstCell, first - kFirstCell, 0);
    fill(foreground + first + 320, kFirstCell + 7 - first, 0);
    bool ecm = (cr1_ & kCr1Ecm) != 0;
    bool bmm = (cr1_ & kCr1Bmm) != 0;
    bool mcm = (cr2_ & kCr2Mcm) != 0;
    bool black = ecm && (bmm || mcm);
    u8* pix = pixels + first;
    u8* fg = foreground + first;
    u16 mask = ecm ? kEcmAddressMask : 0x3FFF;

    const u8* chars = mem_->vic_block(char_mem_) + (char_mem_ & 0x0800);
    if (display_state_ && !ecm && !bmm && !mcm) {
        text_cells(pix, fg, chars + rc_);
        return;
    }
    const u8* bitmap_lo = mem_->vic_block(bitmap_mem_);
    const u8* bitmap_hi = mem_->vic_block(static_cast<u16>(bitmap_mem_ + 0x1000));
    u8 idle = mem_->vic_read_byte(mask & kIdleAddress);

    for (int i = 0; i < 40; i++, pix += 8, fg += 8) {
        // Idle state shows the idle byte with screen code and colour 0.
        u8 ch = display_state_ ? matrix_[i] : 0;
        u8 color = display_state_ ? matrix_colors_[i] : 0;
        u8 data = idle;
        if (display_state_) {
            if (bmm) {
                u16 a = static_cast<u16>((((vc_base_ + i) & kMatrixMask) << 3 | rc_) & mask);
                data = (a & 0x1000 ? bitmap_hi : bitmap_lo)[a & 0x0FFF];
            } else {
                data = chars[((ecm ? ch & 0x3F : ch) << 3 | rc_) & 0x7FF];
            }
        }
        if (bmm) {
            if (mcm) multicolor_cell(pix, fg, data, bgcolor_[0], ch >> 4, ch & 0x0F, color);
            else hires_cell(pix, fg, data, ch >> 4, ch & 0x0F);
        } else if (mcm) {
            // Colour bit 3 makes a multicolour cell; without it the cell is
            // hires in the low three bits.
            if (color & 8) multicolor_cell(pix, fg, data, bgcolor_[0], bgcolor_[1], bgcolor_[2], color & 7);
            else hires_cell(pix, fg, data, color & 7, bgcolor_[0]);
        } else if (ecm) {
            hires_cell(pix, fg, data, color, bgcolor_[ch >> 6]);
        } else {
            hires_cell(pix, fg, data, color, bgcolor_[0]);
        }
        if (black) store8(pix, 0);
    }
}

// The usual line: 40 text cells in their colours on background colour 0.
// What the loop needs is read before it, as its byte stores could alias
// the chip's fields.
void Vic::text_cells(u8* pix, u8* fg, const u8* glyph_row) const {
    u8 codes[40], colours[40];
    copy(codes, matrix_, 40);
    copy(colours, matrix_colors_, 40);
    const u64 off = spread(bgcolor_[0]);
    for (int i = 0; i < 40; i++) {
        u64 m = kTables.hires[glyph_row[codes[i] << 3]];
        store8(pix + 8 * i, off ^ ((spread(colours[i]) ^ off) & m));
        store8(fg + 8 * i, m);
    }
}

// The border covers graphics and sprites: the whole line above and below
// the display window, and the sides outside its 40 or 38 columns.
void Vic::draw_border(u8* pixels) const {
    if (vertical_border_) {
        fill(pixels, RasterPicture::kCols, border_color_);
        return;
    }
    bool wide = (cr2_ & kCr2Csel) != 0;
    int left = kColumnOfX0 + (wide ? kLeftX40 : kLeftX38);
    int right = kColumnOfX0 + (wide ? kRightX40 : kRightX38);
    fill(pixels, left, border_color_);
    fill(pixels + right, RasterPicture::kCols - right, border_color_);
}

// ---- sprites ------------------------------------------------------------------

// Paints every sprite with DMA on: sprite 0 is frontmost among sprites, and
// the frontmost sprite goes behind foreground graphics when its $D01B bit is
// set. Overlaps latch the collision registers.
void Vic::draw_sprites(u8* pixels, const u8* foreground) {
    int lo = kLineWidth, hi = 0;
    u8* bits = g_sprite_bits + kPad;
    u8* colors = g_sprite_color + kPad;
    for (int n = 7; n >= 0; n--) {
        if (!((sprite_dma_ >> n) & 1)) continue;
        int x = sprite_x(n);
        if (x > kLastSpriteX) continue;
        int col = kColumnOfX0 + (x >= kFirstLateX ? x - kLineX : x);
        u16 base = static_cast<u16>(mem_->vic_read_byte(static_cast<u16>(screen_mem_ + kSpritePointers + n)) * 64 +
                                    sprite_mcbase_[n]);
        u32 data = mem_->vic_read_byte(base) << 16 | mem_->vic_read_byte(static_cast<u16>(base + 1)) << 8 |
                   mem_->vic_read_byte(static_cast<u16>(base + 2));
        int w = is_double_width_sprite(n) ? 2 : 1;
        u8 bit = static_cast<u8>(1 << n);
        if (col < lo) lo = col;
        if (col + 24 * w > hi) hi = col + 24 * w;
        if (is_multicolor_sprite(n)) {
            // Bit pairs two pixels wide: 01 $D025, 10 own colour, 11 $D026.
            for (int k = 0; k < 12; k++) {
                int p = (data >> (22 - 2 * k)) & 3;
                if (!p) continue;
                u8 c = p == 1 ? sprite_shared_colors_[0] : p == 2 ? sprite_colors_[n] : sprite_shared_colors_[1];
                for (int i = 0; i < 2 * w; i++) {
                    bits[col + 2 * w * k + i] |= bit;
                    colors[col + 2 * w * k + i] = c;
                }
            }
        } else {
            for (int k = 0; k < 24; k++) {
                if (!((data >> (23 - k)) & 1)) continue;
                for (int i = 0; i < w; i++) {
                    bits[col + w * k + i] |= bit;
                    colors[col + w * k + i] = sprite_colors_[n];
                }
            }
        }
    }
    u8 sprite_sprite = 0, sprite_data = 0;
    for (int c = lo; c < hi; c++) {
        u8 b = bits[c];
        if (!b) continue;
        bits[c] = 0;
        if (b & (b - 1)) sprite_sprite |= b;
        if (foreground[c]) sprite_data |= b;
        u8 front = b & static_cast<u8>(-b);
        if (!(sprite_priority_ & front) || !foreground[c]) pixels[c] = colors[c];
    }
    // The interrupt comes with the first collision after the register was read.
    if (sprite_sprite) {
        if (!sprite_sprite_collision_) latch_interrupt(0x04);
        sprite_sprite_collision_ |= sprite_sprite;
    }
    if (sprite_data) {
        if (!sprite_data_collision_) latch_interrupt(0x02);
        sprite_data_collision_ |= sprite_data;
    }
}

// After a line: each sprite with DMA on steps to its next row (every other
// line when expanded in Y) and stops after 21 rows; a sprite whose Y matches
// this line starts, to show from the next line on.
void Vic::advance_sprites(int r) {
    // On the clock the line's check in cycle 55 has decided who starts;
    // a line painted without its start is decided now.
    u8 starts = starts_line_ == r ? sprite_starts_ : starting_sprites(r);
    starts_line_ = -1;
    if (!(sprite_dma_ | starts)) return;
    for (int n = 0; n < 8; n++) {
        u8 bit = static_cast<u8>(1 << n);
        bool expand = is_double_height_sprite(n);
        if (sprite_dma_ & bit) {
            if (!expand || (sprite_expand_ff_ & bit)) sprite_mcbase_[n] = static_cast<u8>(sprite_mcbase_[n] + 3);
            if (expand) sprite_expand_ff_ ^= bit;
            if (sprite_mcbase_[n] >= kSpriteRows) sprite_dma_ &= static_cast<u8>(~bit);
        } else if (starts & bit) {
            sprite_dma_ |= bit;
            sprite_mcbase_[n] = 0;
            sprite_expand_ff_ &= static_cast<u8>(~bit);
        }
    }
}

// MOS 6569 VIC-II video chip: register file, raster counter and line renderer.
#include "c64/vic.h"

#include "c64/memory.h"
#include "c64/processor.h"

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


// Collision registers clear when read.
u8 take_collisions(u8& latched) {
    u8 v = latched;
    latched = 0;
    return v;
}

}  // namespace

Vic::Vic()
    : msbx_(0), sprite_enabled_(0), sprite_priority_(0), sprite_multicolor_(0), sprite_double_width_(0),
      sprite_double_height_(0), border_color_(0), frame_c_(0), cr1_(0), cr2_(0),
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
    case kRegControl1:
    case kRegRaster: {
        int line = current_line();
        if (r == kRegRaster) return static_cast<u8>(line & 0xFF);
        return static_cast<u8>((cr1_ & 0x7F) | ((line & 0x100) >> 1));
    }
    case kRegLightPenX:
    case kRegLightPenY: return 0xFF;
    case kRegSpriteEnable: return sprite_enabled_;
    case kRegControl2: return cr2_;
    case kRegSpriteExpandY: return sprite_double_height_;
    case kRegMemPointers: return mem_pointers_;
    case kRegIrqStatus: {
        // Bit 7 mirrors the IRQ output: a latched source that is enabled.
        u8 latched = irq_status_ & 0x0F;
        return static_cast<u8>(latched | ((latched & irq_enabled_) ? 0x80 : 0) | 0x70);
    }
    case kRegIrqEnable: return irq_enabled_ | 0xF0;
    case kRegSpritePriority: return sprite_priority_;
    case kRegSpriteMulti: return sprite_multicolor_;
    case kRegSpriteExpandX: return sprite_double_width_;
    case kRegSpriteSprite: return take_collisions(sprite_sprite_collision_);
    case kRegSpriteData: return take_collisions(sprite_data_collision_);
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
        if (r & 1) {
            my_[r >> 1] = v;
            sprite_check_written();
        } else {
            mx_[r >> 1] = v;
        }
        return;
    }
    switch (r) {
    case kRegSpriteMsbX: msbx_ = v; return;
    case kRegControl1:
        cr1_ = v & 0x7F;
        compare_written((raster_irq_ & 0xFF) | ((v & kCr1RasterBit8) << 1));
        set_graphic_mode();
        return;
    case kRegRaster: compare_written((raster_irq_ & 0x100) | v); return;
    case kRegSpriteEnable:
        sprite_enabled_ = v;
        sprite_check_written();
        return;
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
    case kRegIrqStatus:
        // Writing 1 to a bit acknowledges that source.
        irq_status_ &= static_cast<u8>(~(v & 0x0F));
        update_irq_line();
        return;
    case kRegIrqEnable:
        irq_enabled_ = v;
        update_irq_line();
        return;
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

// The counter moves on at cycle 1 of a line, also when the processor's
// instruction runs past the line it began in.
int Vic::current_line() const {
    int line = raster_counter();
    i32 into = cpu_ ? static_cast<i32>(cpu_->cycles() - line_start_) : 0;
    if (clocked_ && into >= static_cast<i32>(kLineCycles) && into < static_cast<i32>(2 * kLineCycles))
        line = line == kLastLine ? 0 : line + 1;
    return line;
}

// The comparator watches the counter and the register alike: in full mode
// a compare value written to equal the current line latches the interrupt
// at the write's cycle (once: the line's start does not latch it again).
void Vic::compare_written(int value) {
    int before = raster_irq_;
    raster_irq_ = value;
    if (!clocked_ || value == before) return;
    int line = current_line();
    if (value != line) return;
    compare_latched_line_ = line;
    irq_status_ |= kIrqRaster;
    update_irq_line();
}

void Vic::raster_counter(int n) {
    raster_c_ = static_cast<u8>(n & 0xFF);
    cr1_ = static_cast<u8>((cr1_ & 0x7F) | ((n & 0x100) >> 1));
}

bool Vic::is_bad_line() const {
    int r = raster_counter();
    return r >= kFirstBadLine && r <= kLastBadLine && (r & 7) == (cr1_ & 7);
}

// ---- full mode: the raster on the processor's clock ------------------------

void Vic::start_line(int r, u32 line_start) {
    clocked_ = true;
    line_start_ = line_start;
    raster_counter(r);
    // The display is switched on for the frame when DEN is set on the
    // first line that can be a badline.
    if (r == kFirstBadLine) display_enabled_ = (cr1_ & kCr1Den) != 0;
    // The compare flag latches whether or not its interrupt is enabled
    // (the KERNAL tells PAL from NTSC by it); line 0 compares a cycle late.
    if (r == raster_irq_ && compare_latched_line_ != r) {
        irq_status_ |= kIrqRaster;
        update_irq_line(r == 0 ? line_start + 1 : line_start);
    }
    compare_latched_line_ = -1;
    if (r == kLastLine) frame_c_++;
    sprite_starts_ = starting_sprites(r);
    starts_line_ = r;
    plan_bus_windows(r);
}

// The sprites whose DMA the check in cycle 55 of line r turns on: enabled,
// Y equal to the line, DMA off.
u8 Vic::starting_sprites(int r) const {
    if (!(sprite_enabled_ & ~sprite_dma_)) return 0;
    u8 starts = 0;
    for (int n = 0; n < 8; n++)
        if (is_sprite_enabled(n) && my_[n] == (r & 0xFF)) starts |= static_cast<u8>(1 << n);
    return static_cast<u8>(starts & ~sprite_dma_);
}

// The sprites with DMA on the next line, as advance_sprites will leave them.
u8 Vic::dma_after_line() const {
    u8 dma = sprite_dma_;
    if (!(dma | sprite_starts_)) return 0;
    for (int n = 0; n < 8; n++) {
        u8 bit = static_cast<u8>(1 << n);
        if (!(dma & bit)) continue;
        bool steps = !is_double_height_sprite(n) || (sprite_expand_ff_ & bit);
        if (sprite_mcbase_[n] + (steps ? 3 : 0) >= 63) dma &= static_cast<u8>(~bit);
    }
    return dma | sprite_starts_;
}

// A write to a sprite's enable or Y before cycle 55 counts for the line's
// check: the sprites starting and the bus windows for their fetches follow
// it, and the processor takes the new windows from the next instruction.
void Vic::sprite_check_written() {
    if (!clocked_ || !cpu_) return;
    u32 into = cpu_->cycles() - line_start_;  // cycle 1 of the line is 0
    if (into >= kSpriteCheckCycle - 1) return;
    int r = raster_counter();
    u8 starts = starting_sprites(r);
    if (starts == sprite_starts_) return;
    sprite_starts_ = starts;
    plan_bus_windows(r);
    cpu_->bus_windows(windows_, window_count_);
    cpu_->stop_by(cpu_->cycles());
}

// BA goes low three cycles before the chip takes the bus and stays low
// while it fetches: cycles 12-54 on a badline (the row's 40 matrix
// fetches from cycle 15), and for each sprite with DMA on its pointer and
// data fetches, two cycles at 58 + 2n for sprites 0-2 (for the next line)
// and at 2n - 5 for sprites 3-7 (the line's cycle 1 onwards). Cycles of
// this line are 1-63, the next line's first fetches 64-73.
void Vic::plan_bus_windows(int r) {
    constexpr int kBadLineFrom = 12, kBadLineTo = 54;
    constexpr int kLeadIn = 3;
    constexpr int kCycles = 73;
    window_count_ = 0;
    // The holds come in cycle order (sprites 3-7 of this line, the badline,
    // sprites 0-2 and 3-7 of the next); one that meets or overlaps the
    // window before it extends that window.
    auto hold = [&](int from, int to) {
        if (from < 1) from = 1;
        if (to > kCycles) to = kCycles;
        u32 begin = line_start_ + static_cast<u32>(from - 1), end = line_start_ + static_cast<u32>(to);
        Processor::BusWindow* last = window_count_ ? &windows_[window_count_ - 1] : nullptr;
        if (last && static_cast<i32>(begin - last->until) <= 0) {
            if (static_cast<i32>(end - last->until) > 0) last->until = end;
            return;
        }
        windows_[window_count_++] = {begin, end};
    };
    auto sprite = [&](int fetch) { hold(fetch - kLeadIn, fetch + 1); };
    for (int n = 3; n < 8; n++)
        if ((sprite_dma_ >> n) & 1) sprite(2 * n - 5);
    if (display_enabled_ && is_bad_line()) hold(kBadLineFrom, kBadLineTo);
    u8 next = dma_after_line();
    for (int n = 0; n < 8; n++)
        if ((next >> n) & 1) sprite(n < 3 ? 58 + 2 * n : static_cast<int>(kLineCycles) + 2 * n - 5);
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
    return mem_->colour(40 * row + col);
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

// ---- interrupts ------------------------------------------------------------

void Vic::latch_interrupt(u8 bits) {
    // $D019: - - - - LP SSC SBC RST (light pen, sprite-sprite,
    // sprite-background, raster).
    irq_status_ |= bits & 0x0F;
    update_irq_line();
}

// The chip holds its IRQ output low while a latched source is enabled.
void Vic::update_irq_line(u32 at) {
    if (cpu_) cpu_->set_irq(Processor::kIrqVic, (irq_status_ & irq_enabled_ & 0x0F) != 0, at);
}

void Vic::update_irq_line() {
    if (cpu_) update_irq_line(cpu_->cycles());
}

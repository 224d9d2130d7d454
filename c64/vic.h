// MOS 6569 VIC-II video chip: register file, raster counter and line renderer.
#ifndef TARN_C64_VIC_H
#define TARN_C64_VIC_H

#include "c64/pal.h"
#include "c64/processor.h"
#include "lib/types.h"

class Memory;
class RasterPicture;

class Vic {
public:
    // Raster geometry of a PAL frame, in lines and picture entries.
    static constexpr int kFirstVisibleLine = 14;   // picture row 0
    static constexpr int kLastVisibleLine = 297;
    static constexpr int kLastLine = pal::kLines - 1;
    static constexpr int kFirstDisplayLine = 56;   // first text line with scroll 3
    static constexpr int kLastDisplayLine = 255;
    static constexpr u32 kLineCycles = pal::kLineCycles;
    static constexpr int kFirstBadLine = 0x30;
    static constexpr int kLastBadLine = 0xF7;
    static constexpr u8 kIrqRaster = 0x01;      // $D019 / $D01A bit 0
    static constexpr u32 kSpriteCheckCycle = 55;  // sprite DMA decided for the next line

    // Mode numbers from ECM/BMM/MCM.
    static constexpr int kModeChar = 0;
    static constexpr int kModeMcChar = 1;
    static constexpr int kModeBitmap = 2;
    static constexpr int kModeMcBitmap = 3;
    static constexpr int kModeExtBg = 4;
    static constexpr int kModeInvalid = 5;

    Vic();
    void memory(Memory* m) { mem_ = m; }
    void cpu(Processor* c) { cpu_ = c; }
    // Where render_line paints (null: nowhere, collisions still count).
    void picture(RasterPicture* p) { picture_ = p; }

    u8 read_register(u8 r);
    void write_register(u8 r, u8 v);
    // Full mode: makes r the raster line that begins at cycle line_start
    // (its cycle 1): counter, compare interrupt, and the windows in which
    // the chip holds BA low for its badline and sprite fetches.
    void start_line(int r, u32 line_start);
    // Text mode: the raster stands still and no longer runs on the clock.
    void stop_clock() { clocked_ = false; }
    // This line's bus windows, absolute cycles in order, reaching into the
    // next line's first sprite fetches.
    const Processor::BusWindow* bus_windows() const { return windows_; }
    int bus_window_count() const { return window_count_; }
    // Paints raster line r into the raster picture with the registers as
    // they are now; false on a visible line in an invalid mode.
    bool render_line(int r);
    // Latches interrupt sources in $D019 (bit 0 raster, 1 sprite-background,
    // 2 sprite-sprite, 3 light pen) and updates the IRQ output.
    void latch_interrupt(u8 bits);

    int raster_counter() const { return ((cr1_ & 0x80) << 1) | raster_c_; }
    void raster_counter(int n);
    bool is_screen_off() const { return (cr1_ & 0x10) == 0; }
    bool is_bad_line() const;
    bool raster_irq_enabled() const { return (irq_enabled_ & 1) != 0; }
    u8 vertical_scroll() const { return cr1_ & 7; }
    u8 horizontal_scroll() const { return cr2_ & 7; }
    bool is_sprite_enabled(int n) const { return (sprite_enabled_ >> n) & 1; }
    bool is_double_width_sprite(int n) const { return (sprite_double_width_ >> n) & 1; }
    bool is_double_height_sprite(int n) const { return (sprite_double_height_ >> n) & 1; }
    bool is_multicolor_sprite(int n) const { return (sprite_multicolor_ >> n) & 1; }
    int sprite_x(int n) const { return mx_[n] + (((msbx_ >> n) & 1) << 8); }
    void set_graphic_mode();

    int graphic_mode() const { return graphic_mode_; }
    int raster_irq() const { return raster_irq_; }
    u32 frame_count() const { return frame_c_; }
    u16 screen_mem() const { return screen_mem_; }
    u16 char_mem() const { return char_mem_; }
    u16 bitmap_mem() const { return bitmap_mem_; }
    u8 border_colour() const { return border_color_; }
    u8 background_colour() const { return bgcolor_[0]; }

    // The chip's own memory fetches.
    u8 get_screen_char(int col, int row);
    u8 get_char_color(int col, int row);
    u8 get_char_data(int ch, int line);
    u8 get_bitmap_data(int col, int row, int line);
    u16 get_sprite_ptr(int n);

private:
    int current_line() const;
    void compare_written(int value);
    void update_irq_line(u32 at);
    void update_irq_line();
    u8 starting_sprites(int r) const;
    u8 dma_after_line() const;
    void sprite_check_written();
    void plan_bus_windows(int r);

    // ---- line renderer (vic_render.cpp) ----
    void begin_line(int r);
    void end_line(int r);
    void fetch_matrix_line();
    void draw_graphics(u8* pixels, u8* foreground);
    void text_cells(u8* pix, u8* fg, const u8* glyph_row) const;
    void draw_sprites(u8* pixels, const u8* foreground);
    void draw_border(u8* pixels) const;
    void advance_sprites(int r);

    // Sequencer state of the chip: the video matrix row being shown, the
    // line inside it, display or idle state, and the vertical border.
    u16 vc_base_ = 0;             // matrix index of the row's first cell
    u8 rc_ = 0;                   // line 0..7 within the character row
    bool display_state_ = false;  // idle state shows the byte at $3FFF
    bool bad_line_ = false;       // this line fetches a matrix row
    bool bad_lines_enabled_ = false;  // the screen was on at line $30
    bool vertical_border_ = true;
    u8 matrix_[40] = {};          // screen codes of the current row
    u8 matrix_colors_[40] = {};   // and their colour RAM nibbles
    // Sprite state: DMA on (one bit a sprite), the data counter of each
    // sprite (0..63, three bytes a row) and the Y expansion flip-flops.
    u8 sprite_dma_ = 0;
    u8 sprite_starts_ = 0;        // DMA turned on by the cycle-55 check of line starts_line_
    int starts_line_ = -1;
    u8 sprite_mcbase_[8] = {};
    u8 sprite_expand_ff_ = 0xFF;
    // Collisions latched since the register was last read ($D01E, $D01F).
    u8 sprite_sprite_collision_ = 0;
    u8 sprite_data_collision_ = 0;

    Memory* mem_ = nullptr;
    Processor* cpu_ = nullptr;
    RasterPicture* picture_ = nullptr;
    u8 mx_[8];
    u8 my_[8];
    u8 msbx_;
    u8 sprite_enabled_;
    u8 sprite_priority_;
    u8 sprite_multicolor_;
    u8 sprite_double_width_;
    u8 sprite_double_height_;
    u8 sprite_shared_colors_[2];
    u8 sprite_colors_[8];
    u8 border_color_;
    u8 bgcolor_[4];
    u32 frame_c_;
    u8 cr1_;
    u8 cr2_;
    u8 raster_c_;
    i32 raster_irq_;
    u8 irq_status_;
    u8 irq_enabled_;
    u16 screen_mem_;
    u16 char_mem_;
    u16 bitmap_mem_;
    u8 mem_pointers_;
    i32 graphic_mode_;
    bool display_enabled_ = false;  // DEN seen on line $30 this frame
    // Full mode's clock: where the current line began, and the bus windows.
    bool clocked_ = false;
    u32 line_start_ = 0;
    int compare_latched_line_ = -1;  // a compare write latched this line's interrupt
    Processor::BusWindow windows_[10] = {};
    int window_count_ = 0;
};

#endif

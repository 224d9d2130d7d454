// The emulated machine's bridge to the host: display and LOAD/SAVE.
#ifndef TARN_C64_IO_H
#define TARN_C64_IO_H

#include "c64/drive/drive.h"
#include "c64/drive/fat_store.h"
#include "lib/types.h"

class Memory;
namespace tarn {
class Clock;
class Screen;
namespace filesystem { class Fat32; }
}

class IO {
public:
    // Raster picture painted by the VIC: 403 x 284 colour indices, one
    // byte each; row 0 is raster line 14, column 43 the display window's
    // first pixel.
    static constexpr u32 kCols = 403;
    static constexpr u32 kRows = 284;
    // What a PAL screen shows of it: the 320 x 200 display window with 32
    // columns and 36 lines of border around it.
    static constexpr int kVisibleLeft = 11;
    static constexpr int kVisibleTop = 1;
    static constexpr int kVisibleWidth = 384;
    static constexpr int kVisibleHeight = 272;
    // Text view geometry on the host framebuffer.
    static constexpr int kTextOrigin = 24;   // left and top edge of the text area
    static constexpr int kCellWidth = 12;
    static constexpr int kCellHeight = 18;
    static constexpr u8 kFrameSkip = 10;     // frame-skip setting when on
    static constexpr u32 kSyncMs = 19;       // least time between drawn frames

    // 5x7 glyphs for 0x20..0x7F, 7 rows each, bit 4 = leftmost column.
    static const u8 font5x7[96][7];
    // Text-view colours and raster colours, RGB565.
    static const u16 c64pal[16];

    IO();
    ~IO();
    IO(const IO&) = delete;
    IO& operator=(const IO&) = delete;

    void memory(Memory* m) { mem_ = m; }
    void clock(tarn::Clock* c) { clock_ = c; }
    // The volume drive 8 serves (null: no disk).
    void fat32(tarn::filesystem::Fat32* f);
    tarn::filesystem::Fat32* fat32() const { return fat32_; }

    // ---- display -----------------------------------------------------------
    void init_display(u32* fb, u32 width, u32 height, u32 pitch, u8 bpp);
    // Draws into a 16-bit picture of the screen's size in RAM and shows
    // each rectangle it drew on the screen.
    void init_display(tarn::Screen* screen);
    void init_color_palette();
    void screen_update_pixel(int x, int y, int colour);
    void screen_draw_rect(int x, int y, int n, int colour);
    void screen_draw_border(int y, int colour);
    // Draws the picture unless frame skipping passes over this call;
    // true when it drew.
    bool screen_refresh();
    // Holds drawn text-view frames kSyncMs apart.
    void sync();

    u8 frame_skip() const { return frame_skip_; }
    void frame_skip(u8 n) { frame_skip_ = n; }
    // Raster picture entry, 0xFFFF outside the picture or before init_display.
    u16 frame_pixel(int x, int y) const;
    // Row y of the raster picture for the VIC to paint; null outside it or
    // before init_display.
    u8* raster_row(int y) { return (frame_ && y >= 0 && y < (int)rows_) ? frame_ + y * cols_ : nullptr; }
    // Writes the visible area to the framebuffer at the largest integer
    // scale that fits, centred; only rows that changed since the last call
    // are written. Returns the number of picture rows written.
    int present_raster();
    // The framebuffer was drawn over (text view, monitor): the next
    // presentation writes everything.
    void invalidate_picture() { presented_valid_ = false; }
    int picture_scale() const { return scale_; }
    u16 palette(int colour) const { return palette_[colour & 15]; }
    u32 last_sync_ms() const { return last_sync_ms_; }
    void last_sync_ms(u32 ms) { last_sync_ms_ = ms; }

    // ---- drive 8 ----------------------------------------------------------------
    // Serves a serial-bus request left by the patched KERNAL in $0002 (4 a
    // byte under ATN, 5 CIOUT, 6 ACPTR, 7 the rest of a LOAD). Called at
    // once when the trap stores the request, and once per main-loop pass.
    bool emulate();
    drive::Drive& drive() { return drive_; }

private:
    void draw_text_view();
    void present_row(int v, const u8* src);
    void clear_framebuffer();
    void show(int x, int y, int w, int h);
    void fill_rect(int x, int y, int w, int h, u16 rgb);
    void put_pixel(u32 x, u32 y, u16 rgb);
    u8 load_rest();

    Memory* mem_ = nullptr;
    tarn::Clock* clock_ = nullptr;
    u32 cols_;
    u32 rows_;
    tarn::filesystem::Fat32* fat32_ = nullptr;
    drive::FatStore drive_store_{nullptr};
    drive::Drive drive_;
    // A request stored while another is served (a loaded byte landing on
    // $0002) must not start a second one.
    bool serving_ = false;
    u8* frame_ = nullptr;
    u8* presented_ = nullptr;      // the visible area as last written
    u16* row_buffer_ = nullptr;    // one scaled row in host pixels
    bool presented_valid_ = false;
    int scale_ = 1;
    int origin_x_ = 0, origin_y_ = 0;  // framebuffer position of the visible area
    u8* fb_ = nullptr;
    u32 fb_width_ = 0, fb_height_ = 0, fb_pitch_ = 0;
    tarn::Screen* screen_ = nullptr;
    u16* ram_fb_ = nullptr;
    u32 last_sync_ms_ = 0;
    volatile u8 frame_skip_;
    u16 palette_[16];
};

#endif

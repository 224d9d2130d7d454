// Host bridge: construction, the raster picture and frame pacing.
#include "c64/io.h"

#include "lib/clock.h"
#include "lib/screen.h"

IO::IO() : cols_(kCols), rows_(kRows), frame_skip_(0) { init_color_palette(); }

IO::~IO() {
    delete[] frame_;
    delete[] presented_;
    delete[] row_buffer_;
    delete[] ram_fb_;
}

void IO::init_display(tarn::Screen* screen) {
    delete[] ram_fb_;
    ram_fb_ = new u16[screen->width() * screen->height()];
    if (!ram_fb_) return;
    screen_ = screen;
    init_display(reinterpret_cast<u32*>(ram_fb_), screen->width(), screen->height(), screen->width() * 2, 16);
}

void IO::init_display(u32* fb, u32 width, u32 height, u32 pitch, u8 bpp) {
    // Only 16-bit pixels are written, whatever depth is reported.
    (void)bpp;
    delete[] frame_;
    delete[] presented_;
    delete[] row_buffer_;
    fb_ = reinterpret_cast<u8*>(fb);
    fb_width_ = width;
    fb_height_ = height;
    fb_pitch_ = pitch;
    frame_ = new u8[kCols * kRows];
    if (frame_)
        for (u32 i = 0; i < kCols * kRows; i++) frame_[i] = 0;
    // The largest whole scale that fits (2 on 800 x 600); a smaller screen
    // shows the middle of the picture at scale 1.
    int sx = static_cast<int>(width) / kVisibleWidth;
    int sy = static_cast<int>(height) / kVisibleHeight;
    scale_ = sx < sy ? sx : sy;
    if (scale_ < 1) scale_ = 1;
    origin_x_ = (static_cast<int>(width) - kVisibleWidth * scale_) / 2;
    origin_y_ = (static_cast<int>(height) - kVisibleHeight * scale_) / 2;
    presented_ = new u8[kVisibleWidth * kVisibleHeight];
    row_buffer_ = new u16[kVisibleWidth * scale_];
    presented_valid_ = false;
}

void IO::init_color_palette() {
    static const u16 kRasterPalette[16] = {
        0x0000,  // black
        0xFFFF,  // white
        0x8800,  // red
        0xAFFD,  // cyan
        0xCA39,  // purple
        0x066A,  // green
        0x0015,  // blue
        0xEF6E,  // yellow
        0xDC4A,  // orange
        0x6220,  // brown
        0xFBAE,  // light red
        0x3186,  // dark grey
        0x73AE,  // grey
        0xAFEC,  // light green
        0x045F,  // light blue
        0xBDD7,  // light grey
    };
    for (int i = 0; i < 16; i++) palette_[i] = kRasterPalette[i];
}

// The VIC keeps its coordinates inside the picture; the checks only stop a
// stray value from writing past the array.
void IO::screen_update_pixel(int x, int y, int colour) {
    if (!frame_ || x < 0 || y < 0 || x >= (int)cols_ || y >= (int)rows_) return;
    frame_[y * cols_ + x] = static_cast<u8>(colour & 15);
}

void IO::screen_draw_rect(int x, int y, int n, int colour) {
    for (int i = 1; i <= n; i++) screen_update_pixel(x + i, y, colour);
}

void IO::screen_draw_border(int y, int colour) {
    for (u32 x = 0; x < cols_; x++) screen_update_pixel(x, y, colour);
}

u16 IO::frame_pixel(int x, int y) const {
    if (!frame_ || x < 0 || y < 0 || x >= (int)cols_ || y >= (int)rows_) return 0xFFFF;
    return frame_[y * cols_ + x];
}

void IO::sync() {
    if (!clock_) return;
    u32 elapsed = clock_->milliseconds() - last_sync_ms_;
    if (elapsed < kSyncMs) clock_->wait_until(last_sync_ms_ + kSyncMs);
    last_sync_ms_ = clock_->milliseconds();
}

// Full mode's picture: what the VIC paints, a line at a time, as colour
// numbers, and its presentation on the screen at the largest whole scale
// that fits, centred, with black around it as a monitor's margin.
#ifndef TARN_C64_RASTER_PICTURE_H
#define TARN_C64_RASTER_PICTURE_H

#include "lib/types.h"

namespace tarn { class Screen; }

class RasterPicture {
public:
    // 403 x 284 colour numbers; row 0 is raster line 14, column 43 the
    // display window's first pixel.
    static constexpr int kCols = 403;
    static constexpr int kRows = 284;
    // What a PAL screen shows of it: the 320 x 200 display window with 32
    // columns and 36 lines of border around it.
    static constexpr int kVisibleLeft = 11;
    static constexpr int kVisibleTop = 1;
    static constexpr int kVisibleWidth = 384;
    static constexpr int kVisibleHeight = 272;

    RasterPicture();
    ~RasterPicture();
    RasterPicture(const RasterPicture&) = delete;
    RasterPicture& operator=(const RasterPicture&) = delete;

    // Row y for the VIC to paint; null outside the picture.
    u8* row(int y) { return (frame_ && y >= 0 && y < kRows) ? frame_ + y * kCols : nullptr; }
    // The colour number at (x, y); 0xFF outside the picture.
    u8 pixel(int x, int y) const;

    // Shows what changed since the last call (everything after invalidate())
    // on the screen, of each row the span that differs; returns the picture
    // rows written.
    int present(tarn::Screen* screen);
    // The screen was drawn over: the next present writes everything.
    void invalidate() { valid_ = false; }
    int scale() const { return scale_; }

private:
    void place(tarn::Screen* screen);
    void show_row(tarn::Screen* screen, int v, const u8* src, int first, int last);

    u8* frame_;
    u8* shown_;  // the visible area as last presented
    bool valid_ = false;
    int scale_ = 1;
    int origin_x_ = 0, origin_y_ = 0;  // screen position of the visible area
};

#endif

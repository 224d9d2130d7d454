// Full mode's picture and its presentation.
#include "c64/raster_picture.h"

#include "c64/palette.h"
#include "lib/screen.h"

namespace {

// Four picture bytes at once; rows of the picture are not word aligned.
inline u32 load4(const u8* p) {
    u32 v;
    __builtin_memcpy(&v, p, 4);
    return v;
}

// The span [*first, *last] of a row where a and b differ; false when they
// do not. The visible width is a multiple of four.
bool differ(const u8* a, const u8* b, int* first, int* last) {
    int x = 0;
    while (x < RasterPicture::kVisibleWidth && load4(a + x) == load4(b + x)) x += 4;
    if (x == RasterPicture::kVisibleWidth) return false;
    while (a[x] == b[x]) x++;
    *first = x;
    int y = RasterPicture::kVisibleWidth - 4;
    while (load4(a + y) == load4(b + y)) y -= 4;
    y += 3;
    while (a[y] == b[y]) y--;
    *last = y;
    return true;
}

}  // namespace

RasterPicture::RasterPicture()
    : frame_(new u8[kCols * kRows]), shown_(new u8[kVisibleWidth * kVisibleHeight]) {
    if (frame_)
        for (int i = 0; i < kCols * kRows; i++) frame_[i] = 0;
}

RasterPicture::~RasterPicture() {
    delete[] frame_;
    delete[] shown_;
}

u8 RasterPicture::pixel(int x, int y) const {
    if (!frame_ || x < 0 || y < 0 || x >= kCols || y >= kRows) return 0xFF;
    return frame_[y * kCols + x];
}

// The largest whole scale that fits (2 on 800 x 600), centred; a smaller
// screen shows the middle of the picture at scale 1. The margin is black.
void RasterPicture::place(tarn::Screen* screen) {
    int w = static_cast<int>(screen->width()), h = static_cast<int>(screen->height());
    int sx = w / kVisibleWidth, sy = h / kVisibleHeight;
    scale_ = sx < sy ? sx : sy;
    if (scale_ < 1) scale_ = 1;
    origin_x_ = (w - kVisibleWidth * scale_) / 2;
    origin_y_ = (h - kVisibleHeight * scale_) / 2;
    u32* pixels = screen->pixels();
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) pixels[y * screen->stride() + x] = 0;
    screen->present(0, 0, screen->width(), screen->height());
}

int RasterPicture::present(tarn::Screen* screen) {
    if (!screen || !frame_ || !shown_) return 0;
    if (!valid_) place(screen);
    int written = 0;
    for (int v = 0; v < kVisibleHeight; v++) {
        const u8* src = frame_ + (kVisibleTop + v) * kCols + kVisibleLeft;
        u8* shown = shown_ + v * kVisibleWidth;
        int first = 0, last = kVisibleWidth - 1;
        if (valid_ && !differ(src, shown, &first, &last)) continue;
        __builtin_memcpy(shown, src, kVisibleWidth);
        show_row(screen, v, src, first, last);
        written++;
    }
    valid_ = true;
    return written;
}

// Columns first..last of a picture row, widened by the scale, on scale
// screen rows; whatever lies outside the screen is cut off.
void RasterPicture::show_row(tarn::Screen* screen, int v, const u8* src, int first, int last) {
    int w = static_cast<int>(screen->width()), h = static_cast<int>(screen->height());
    int from = first * scale_, to = (last + 1) * scale_;
    if (origin_x_ + from < 0) from = -origin_x_;
    if (origin_x_ + to > w) to = w - origin_x_;
    if (to <= from) return;
    int top = origin_y_ + v * scale_;
    int rows = 0;
    const u32* copy = nullptr;
    for (int k = 0; k < scale_; k++) {
        int y = top + k;
        if (y < 0 || y >= h) continue;
        u32* out = screen->pixels() + y * screen->stride() + origin_x_;
        if (copy) {
            __builtin_memcpy(out + from, copy + from, static_cast<u32>(to - from) * 4);
        } else {
            for (int x = from; x < to; x++) out[x] = palette::rgb(src[x / scale_]);
            copy = out;
        }
        rows++;
    }
    if (rows) {
        int y0 = top < 0 ? 0 : top;
        screen->present(static_cast<u32>(origin_x_ + from), static_cast<u32>(y0), static_cast<u32>(to - from),
                        static_cast<u32>(rows));
    }
}

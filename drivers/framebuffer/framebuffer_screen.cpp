// The RAM picture and its presentation on the framebuffer.
#include "drivers/framebuffer/framebuffer_screen.h"

#include "drivers/framebuffer/video_copy.h"

namespace tarn {
namespace drivers {

bool FramebufferScreen::accepts(u32 width, u32 height, u32 pitch, const PixelFormat& format) {
    return format.usable() && width >= kMinWidth && width <= kMaxWidth && height >= kMinHeight &&
           height <= kMaxHeight && pitch >= width * format.bytes;
}

u32 FramebufferScreen::ram_bytes(u32 width, u32 height) { return width * height * 4 + width * 4; }

bool FramebufferScreen::attach(u8* video, u32 width, u32 height, u32 pitch, const PixelFormat& format, u8* ram) {
    if (!video || !ram || !accepts(width, height, pitch, format)) return false;
    video_ = video;
    width_ = width;
    height_ = height;
    pitch_ = pitch;
    format_ = format;
    picture_ = reinterpret_cast<u32*>(ram);
    line_ = ram + width * height * 4;
    for (u32 i = 0; i < width * height; i++) picture_[i] = 0;
    return true;
}

// Little-endian pixel bytes in the line buffer.
void FramebufferScreen::convert(const u32* from, u32 count) {
    u8* out = line_;
    switch (format_.bytes) {
    case 4: {
        u32* words = reinterpret_cast<u32*>(out);
        for (u32 i = 0; i < count; i++) words[i] = format_.encode(from[i]);
        break;
    }
    case 3:
        for (u32 i = 0; i < count; i++, out += 3) {
            u32 v = format_.encode(from[i]);
            out[0] = static_cast<u8>(v);
            out[1] = static_cast<u8>(v >> 8);
            out[2] = static_cast<u8>(v >> 16);
        }
        break;
    default: {
        u16* halves = reinterpret_cast<u16*>(out);
        for (u32 i = 0; i < count; i++) halves[i] = static_cast<u16>(format_.encode(from[i]));
        break;
    }
    }
}

void FramebufferScreen::present(u32 x, u32 y, u32 w, u32 h) {
    if (!picture_ || x >= width_ || y >= height_) return;
    if (w > width_ - x) w = width_ - x;
    if (h > height_ - y) h = height_ - y;
    if (w == 0) return;
    const u32 bytes = w * format_.bytes;
    const bool direct = format_.is_xrgb8888();  // the picture's own layout
    for (u32 row = y; row < y + h; row++) {
        const u32* from = picture_ + row * width_ + x;
        if (!direct) convert(from, w);
        const u8* ram = direct ? reinterpret_cast<const u8*>(from) : line_;
        video_copy(video_ + row * pitch_ + x * format_.bytes, ram, bytes);
    }
}

}  // namespace drivers
}  // namespace tarn

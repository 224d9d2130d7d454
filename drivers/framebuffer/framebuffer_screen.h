// tarn::Screen over a linear framebuffer of any size, pitch and depth: the
// picture lives in RAM as 0x00RRGGBB; present() converts each row of the
// rectangle into a line buffer and copies it to video memory in one go.
#ifndef TARN_DRIVERS_FRAMEBUFFER_FRAMEBUFFER_SCREEN_H
#define TARN_DRIVERS_FRAMEBUFFER_FRAMEBUFFER_SCREEN_H

#include "drivers/framebuffer/pixel_format.h"
#include "lib/screen.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

class FramebufferScreen final : public Screen {
public:
    // The smallest and largest screens taken.
    static const u32 kMinWidth = 320, kMinHeight = 200;
    static const u32 kMaxWidth = 3840, kMaxHeight = 2160;

    FramebufferScreen() = default;
    FramebufferScreen(const FramebufferScreen&) = delete;
    FramebufferScreen& operator=(const FramebufferScreen&) = delete;

    // Whether a framebuffer of this shape can be driven.
    static bool accepts(u32 width, u32 height, u32 pitch, const PixelFormat& format);
    // Bytes of RAM attach() needs for the picture and the line buffer.
    static u32 ram_bytes(u32 width, u32 height);

    // Takes the framebuffer at video with ram (ram_bytes() long, 4-byte
    // aligned) for the picture; false, and nothing taken, when accepts()
    // says no. The picture starts black; nothing is presented.
    bool attach(u8* video, u32 width, u32 height, u32 pitch, const PixelFormat& format, u8* ram);

    u32 width() const override { return width_; }
    u32 height() const override { return height_; }
    u32* pixels() override { return picture_; }
    u32 stride() const override { return width_; }
    void present(u32 x, u32 y, u32 w, u32 h) override;

    const PixelFormat& format() const { return format_; }

private:
    void convert(const u32* from, u32 count);

    u8* video_ = nullptr;
    u32 width_ = 0, height_ = 0, pitch_ = 0;
    PixelFormat format_;
    u32* picture_ = nullptr;
    u8* line_ = nullptr;  // one converted row, width * 4 bytes
};

}  // namespace drivers
}  // namespace tarn

#endif

// How a framebuffer lays out one pixel: its size in bytes and where each
// colour channel sits, as the boot loader describes it (or the customary
// layout for the depth when it does not).
#ifndef TARN_DRIVERS_FRAMEBUFFER_PIXEL_FORMAT_H
#define TARN_DRIVERS_FRAMEBUFFER_PIXEL_FORMAT_H

#include "lib/types.h"

namespace tarn {
namespace drivers {

struct PixelFormat {
    u8 bytes = 0;  // 2, 3 or 4
    u8 red_position = 0, red_size = 0;
    u8 green_position = 0, green_size = 0;
    u8 blue_position = 0, blue_size = 0;

    // 15 bits: x-5-5-5; 16: 5-6-5; 24 and 32: 8-8-8 with blue in the low byte.
    static PixelFormat standard(u8 bits_per_pixel);
    // The boot loader's layout where it is complete and fits the depth,
    // else the standard one; bytes 0 when the depth cannot be shown.
    static PixelFormat from_fields(u8 bits_per_pixel, u8 red_position, u8 red_size, u8 green_position,
                                   u8 green_size, u8 blue_position, u8 blue_size);

    bool usable() const { return bytes >= 2 && bytes <= 4; }
    // The pixel value of a 0x00RRGGBB colour.
    u32 encode(u32 rgb) const {
        return channel(rgb >> 16, red_position, red_size) | channel(rgb >> 8, green_position, green_size) |
               channel(rgb, blue_position, blue_size);
    }
    bool is_xrgb8888() const {
        return bytes == 4 && red_position == 16 && green_position == 8 && blue_position == 0 && red_size == 8 &&
               green_size == 8 && blue_size == 8;
    }

private:
    static u32 channel(u32 value, u8 position, u8 size) {
        return ((value & 0xFF) >> (8 - size)) << position;
    }
};

}  // namespace drivers
}  // namespace tarn

#endif

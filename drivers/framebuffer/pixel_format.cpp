// Pixel layouts: the customary one for a depth, or the boot loader's.
#include "drivers/framebuffer/pixel_format.h"

namespace tarn {
namespace drivers {

namespace {
PixelFormat layout(u8 bytes, u8 rp, u8 rs, u8 gp, u8 gs, u8 bp, u8 bs) {
    PixelFormat f;
    f.bytes = bytes;
    f.red_position = rp;
    f.red_size = rs;
    f.green_position = gp;
    f.green_size = gs;
    f.blue_position = bp;
    f.blue_size = bs;
    return f;
}

bool channel_fits(u8 position, u8 size, u8 bits) { return size >= 1 && size <= 8 && position + size <= bits; }
}  // namespace

PixelFormat PixelFormat::standard(u8 bits_per_pixel) {
    switch (bits_per_pixel) {
    case 15: return layout(2, 10, 5, 5, 5, 0, 5);
    case 16: return layout(2, 11, 5, 5, 6, 0, 5);
    case 24: return layout(3, 16, 8, 8, 8, 0, 8);
    case 32: return layout(4, 16, 8, 8, 8, 0, 8);
    default: return PixelFormat();
    }
}

PixelFormat PixelFormat::from_fields(u8 bits_per_pixel, u8 red_position, u8 red_size, u8 green_position,
                                     u8 green_size, u8 blue_position, u8 blue_size) {
    PixelFormat standard_layout = standard(bits_per_pixel);
    if (!standard_layout.usable()) return standard_layout;
    if (!channel_fits(red_position, red_size, bits_per_pixel) ||
        !channel_fits(green_position, green_size, bits_per_pixel) ||
        !channel_fits(blue_position, blue_size, bits_per_pixel))
        return standard_layout;
    return layout(standard_layout.bytes, red_position, red_size, green_position, green_size, blue_position,
                  blue_size);
}

}  // namespace drivers
}  // namespace tarn

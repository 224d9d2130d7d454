// The display as the machine and the console see it: a picture in RAM of
// 0x00RRGGBB pixels, the size of the screen the firmware gave, made visible
// rectangle by rectangle. Whoever owns the real framebuffer converts to its
// depth and pitch and writes video memory only for what is presented, so
// slow video memory is written once per changed pixel and never read.
#ifndef TARN_LIB_SCREEN_H
#define TARN_LIB_SCREEN_H

#include "lib/types.h"

namespace tarn {

class Screen {
public:
    virtual u32 width() const = 0;
    virtual u32 height() const = 0;
    // Row y starts at pixels() + y * stride().
    virtual u32* pixels() = 0;
    virtual u32 stride() const = 0;
    // Copies the rectangle (clipped to the screen) to the display.
    virtual void present(u32 x, u32 y, u32 w, u32 h) = 0;

protected:
    ~Screen() = default;
};

}  // namespace tarn

#endif

// What a processor fault nobody handles leaves on the screen before the
// processor halts: a 64 x 64 square at the top left of the framebuffer, in
// the colour of the exception. The interrupt manager calls it through its
// fatal hook.
#ifndef TARN_KERNEL_FATAL_SQUARE_H
#define TARN_KERNEL_FATAL_SQUARE_H

#include "lib/types.h"

namespace tarn {

// The square's colour for an exception, RGB 5-6-5.
u16 exception_colour(u8 exception);
// Draws the square on the framebuffer the kernel globals describe; nothing
// when they describe none.
void draw_exception_square(u8 exception);

}  // namespace tarn

#endif

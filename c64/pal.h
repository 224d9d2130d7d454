// PAL C64 timing: the system clock and the raster's cycles, lines and frame.
#ifndef TARN_C64_PAL_H
#define TARN_C64_PAL_H

#include "lib/types.h"

namespace pal {

constexpr u32 kClockHz = 985248;                    // the 6510's clock
constexpr u32 kLineCycles = 63;                     // cycles a raster line
constexpr u32 kLines = 312;                         // raster lines a frame
constexpr u32 kFrameCycles = kLineCycles * kLines;  // 19,656: 50.125 frames a second
constexpr u32 kMainsHz = 50;                        // the TOD clocks' input

}  // namespace pal

#endif

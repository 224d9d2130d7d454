// The VIC-II's sixteen colours as 0x00RRGGBB, for the raster picture and
// the text view alike.
#ifndef TARN_C64_PALETTE_H
#define TARN_C64_PALETTE_H

#include "lib/types.h"

namespace palette {

extern const u32 kColours[16];

inline u32 rgb(u8 colour) { return kColours[colour & 15]; }

}  // namespace palette

#endif

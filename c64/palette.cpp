// The VIC-II's sixteen colours.
#include "c64/palette.h"

namespace palette {

const u32 kColours[16] = {
    0x000000,  // black
    0xFFFFFF,  // white
    0x8C0000,  // red
    0xADFFEF,  // cyan
    0xCE45CE,  // purple
    0x00CF52,  // green
    0x0000AD,  // blue
    0xEFEF73,  // yellow
    0xDE8A52,  // orange
    0x634500,  // brown
    0xFF7573,  // light red
    0x313031,  // dark grey
    0x737573,  // grey
    0xADFF63,  // light green
    0x008AFF,  // light blue
    0xBDBABD,  // light grey
};

}  // namespace palette

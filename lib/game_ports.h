// The PC's mice and game pads as the C64's control ports see them: the
// joystick lines of each port and, for a mouse taken as the 1351 in its
// proportional mode, the two POT lines of port 1. The host implements it;
// the machine samples it as it runs.
#ifndef TARN_LIB_GAME_PORTS_H
#define TARN_LIB_GAME_PORTS_H

#include "lib/types.h"

namespace tarn {

struct GamePort {
    u8 joystick;     // active high: bit 0 up, 1 down, 2 left, 3 right, 4 fire
    bool pots;       // something drives the POT lines (a mouse)
    u8 pot_x, pot_y; // what the SID reads for them then
};

class GamePortSource {
public:
    // Port 1 or 2 as the devices hold it now. Sampling may move a mouse's
    // POT lines on by a step, so sample once per pass or frame.
    virtual GamePort sample(int port) = 0;

protected:
    ~GamePortSource() = default;
};

}  // namespace tarn

#endif

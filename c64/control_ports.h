// What CIA 1 reads besides itself: the keyboard matrix (eight bytes, one a
// port A line, a held key clearing its port B bit) and the two joystick
// ports (active high, ---F RLDU). Text mode's keys and full mode's key
// matrix set them, the PC's pads and mouse add their lines; CIA 1 only
// reads. Beside them the ports' paddle (POT) lines, which an analog switch
// worked by CIA 1's PA6 (port 1) and PA7 (port 2) joins to the SID.
#ifndef TARN_C64_CONTROL_PORTS_H
#define TARN_C64_CONTROL_PORTS_H

#include "lib/types.h"

class ControlPorts {
public:
    // Joystick bits, active high.
    static constexpr u8 kJoyUp = 0x01;
    static constexpr u8 kJoyDown = 0x02;
    static constexpr u8 kJoyLeft = 0x04;
    static constexpr u8 kJoyRight = 0x08;
    static constexpr u8 kJoyFire = 0x10;

    ControlPorts() { release_all(); }

    // The keys of port A line `line` (column), active low.
    u8 matrix_row(int line) const { return matrix_[line & 7]; }
    void matrix_row(int line, u8 bits) { matrix_[line & 7] = bits; }
    // One key, by matrix position: port A line times eight plus port B bit.
    void press(u8 position, bool down) {
        u8 bit = static_cast<u8>(1 << (position & 7));
        u8& row = matrix_[(position >> 3) & 7];
        row = down ? static_cast<u8>(row & ~bit) : static_cast<u8>(row | bit);
    }
    bool held(u8 position) const { return !(matrix_[(position >> 3) & 7] & (1 << (position & 7))); }

    // Port 1 or 2; other numbers read 0 and are not kept.
    u8 joystick(int port) const { return port == 1 ? joystick1_ : port == 2 ? joystick2_ : 0; }
    void joystick(int port, u8 bits) {
        if (port == 1) joystick1_ = bits;
        else if (port == 2) joystick2_ = bits;
    }

    // The lines the PC's game devices hold on port 1 or 2.
    void devices(int port, u8 bits) {
        if (port == 1) devices1_ = bits;
        else if (port == 2) devices2_ = bits;
    }
    // What the port's lines carry: the keys' joystick and the devices'.
    u8 lines(int port) const {
        return static_cast<u8>(joystick(port) | (port == 1 ? devices1_ : port == 2 ? devices2_ : 0));
    }

    // A port's POT X and Y as the SID counts them ($FF: nothing plugged in).
    void pots(int port, u8 x, u8 y) {
        if (port != 1 && port != 2) return;
        pots_[port - 1][0] = x;
        pots_[port - 1][1] = y;
    }
    // CIA 1's port A pins; bits 6 and 7 select the ports.
    void pot_switch(u8 port_a) { switch_ = static_cast<u8>(port_a >> 6); }
    // What the SID's POT X and Y lines carry through the switch: both ports
    // joined read the lower count (their resistances in parallel), neither
    // reads as nothing plugged in.
    u8 pot_x() const { return pot(0); }
    u8 pot_y() const { return pot(1); }

    void release_all() {
        for (u8& row : matrix_) row = 0xFF;
        joystick1_ = joystick2_ = 0;
    }

private:
    u8 pot(int axis) const {
        u8 v = 0xFF;
        if ((switch_ & 1) && pots_[0][axis] < v) v = pots_[0][axis];
        if ((switch_ & 2) && pots_[1][axis] < v) v = pots_[1][axis];
        return v;
    }

    u8 matrix_[8];
    u8 joystick1_ = 0, joystick2_ = 0;
    u8 devices1_ = 0, devices2_ = 0;
    u8 pots_[2][2] = {{0xFF, 0xFF}, {0xFF, 0xFF}};
    u8 switch_ = 3;  // port A's pins float high at power-on
};

#endif

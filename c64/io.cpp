// Host bridge (interface stub).
#include "c64/io.h"

IO::IO() {
    for (u8& b : keyboard_matrix_) b = 0xFF;
}

void IO::screen_update_pixel(int, int, int) {}
void IO::screen_draw_rect(int, int, int, int) {}
void IO::screen_draw_border(int, int) {}
void IO::screen_refresh() {}
void IO::OnKeyDown(u8) {}
void IO::OnKeyUp(u8) {}

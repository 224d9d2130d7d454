/* cc65's 1351 driver loaded from drive 8, as cc65's mouse demo loads it:
   the position it reads before and after a key, printed as <AT X Y>. */
#include <conio.h>
#include <mouse.h>
#include <stdio.h>

static void show(void) {
    struct mouse_info info;
    mouse_info(&info);
    printf("<AT %d %d>\n", info.pos.x, info.pos.y);
}

int main(void) {
    unsigned char err = mouse_load_driver(&mouse_def_callbacks, "c64-1351.mou");
    printf("<LOADED %u>\n", err);
    if (err != MOUSE_ERR_OK) return 0;
    show();
    cgetc();
    show();
    mouse_unload();
    return 0;
}

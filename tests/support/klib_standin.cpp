// Stand-ins for the kernel library routines the monitor calls, used by test
// programs only while the library itself is not in the tree; each group
// disappears as soon as its header exists.
#include "lib/host_names.h"
#include "lib/types.h"

#if !__has_include("lib/stdlib.h")
int htoi(char* text) {
    int value = 0;
    for (; text && *text; text++) {
        char c = *text;
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else break;
        value = value * 16 + digit;
    }
    return value;
}

int atoi(char* text) {
    int value = 0;
    for (; text && *text >= '0' && *text <= '9'; text++) value = value * 10 + (*text - '0');
    return value;
}
#endif

#if !__has_include("lib/stdio.h")
void printf(const char* format, ...);
void displayMemory(u8* buffer, u16 length) {
    for (u16 i = 0; i < length; i++) printf("%x ", (unsigned)buffer[i]);
}
#endif

#if !__has_include("lib/vga.h")
void vga_clear() {}
void vga_cursor_enable() {}
#endif

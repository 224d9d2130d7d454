// String routines of the kernel library.
#include "lib/string.h"

i32 strlen(const char* text) {
    i32 length = 0;
    while (text[length] != 0) length++;
    return length;
}

i32 strcmp(const char* left, const char* right) {
    for (i32 i = 0;; i++) {
        i8 l = static_cast<i8>(left[i]);
        i8 r = static_cast<i8>(right[i]);
        if (l < r) return -1;
        if (l > r) return 1;
        if (l == 0) return 0;  // both ended together
    }
}

char* strchr(const char* text, i32 character) {
    while (*text != 0 && static_cast<i32>(static_cast<i8>(*text)) != character) text++;
    return const_cast<char*>(text);
}

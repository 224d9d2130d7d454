// Number conversions of the kernel library.
#include "lib/stdlib.h"

namespace {

constexpr i32 kMinBase = 2;
constexpr i32 kMaxBase = 36;
// Indexed by 35 + remainder: a negative remainder picks the same digit as
// its magnitude, so no value (INT32_MIN included) is ever negated.
const char kDigits[] = "zyxwvutsrqponmlkjihgfedcba9876543210123456789abcdefghijklmnopqrstuvwxyz";
constexpr i32 kZeroDigit = 35;

void reverse(char* first, char* last) {
    while (first < last) {
        char c = *first;
        *first++ = *last;
        *last-- = c;
    }
}

}  // namespace

char* itoa(i32 value, char* buffer, i32 base) {
    char* out = buffer;
    if (base >= kMinBase && base <= kMaxBase) {
        bool negative;
        do {
            i32 quotient = value / base;  // truncates towards zero
            *out++ = kDigits[kZeroDigit + (value - quotient * base)];
            negative = value < 0;
            value = quotient;
        } while (value != 0);
        if (negative) *out++ = '-';
    }
    *out = 0;
    if (out != buffer) reverse(buffer, out - 1);
    return buffer;
}

i32 htoi(char* text) {
    while (*text == ' ' || *text == '\t') text++;
    u32 value = 0;
    for (;; text++) {
        char c = *text;
        u32 digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else break;
        value = value * 16 + digit;
    }
    return static_cast<i32>(value);
}

i32 atoi(char* text) {
    u32 value = 0;  // unsigned: overflow wraps instead of being undefined
    for (; *text != 0; text++) value = value * 10 + (static_cast<u8>(*text) - 48u);
    return static_cast<i32>(value);
}

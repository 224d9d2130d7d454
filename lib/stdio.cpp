// Formatted output: printf's conversions and the hex dump, over the console.
#include "lib/stdio.h"

#include <stdarg.h>

namespace {

const u32 kDigitsMax = 32;  // base 2 of a 32-bit value
const u32 kDumpLine = 16;   // bytes per displayMemory line

// Digits of value in base, written backwards into a buffer pre-filled with
// '0' so that a width reaches back over the zeros as its padding. The buffer
// belongs to the caller: output started in the main flow can be interrupted
// by printing from an interrupt handler, and a shared buffer would be
// overwritten between its filling and its printing.
const char* convert(char (&buffer)[kDigitsMax + 1], u32 value, u32 base, bool upper, u32 width) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (u32 i = 0; i < kDigitsMax; i++) buffer[i] = '0';
    buffer[kDigitsMax] = 0;
    char* start = buffer + kDigitsMax;
    do {
        *--start = digits[value % base];
        value /= base;
    } while (value != 0);
    u32 count = static_cast<u32>(buffer + kDigitsMax - start);
    if (width > count) start -= width - count;
    return start;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

void print_char_column(const u8* line, u32 count) {
    for (u32 i = 0; i < count; i++) {
        u8 b = line[i];
        putc(b >= 32 && b <= 126 ? b : static_cast<u8>('.'));
    }
}

}  // namespace

// '%', an optional '0' and, only after it, a one-digit width, then the
// conversion. A format that ends inside a conversion ends the output.
void printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char buffer[kDigitsMax + 1];
    for (const char* f = format; *f; f++) {
        if (*f != '%') {
            putc(static_cast<u8>(*f));
            continue;
        }
        if (!*++f) break;
        u32 width = 0;
        if (*f == '0') {
            if (!*++f) break;
            if (is_digit(*f)) {
                width = static_cast<u32>(*f - '0');
                if (!*++f) break;
            }
        }
        switch (*f) {
        case '%':
            putc('%');
            break;
        case 'c':
            putc(static_cast<u8>(va_arg(args, int)));
            break;
        case 'd': {
            i32 value = va_arg(args, i32);
            u32 magnitude = static_cast<u32>(value);
            if (value < 0) {
                putc('-');
                magnitude = 0u - magnitude;
            }
            puts(convert(buffer, magnitude, 10, false, width));
            break;
        }
        case 'u':
            puts(convert(buffer, va_arg(args, u32), 10, false, width));
            break;
        case 'o':
            puts(convert(buffer, va_arg(args, u32), 8, false, width));
            break;
        case 'x':
            puts(convert(buffer, va_arg(args, u32), 16, false, width));
            break;
        case 'X':
            puts(convert(buffer, va_arg(args, u32), 16, true, width));
            break;
        case 's': {
            const char* text = va_arg(args, const char*);
            puts(text ? text : "(null)");
            break;
        }
        default:  // unknown conversion: consumed, nothing printed
            break;
        }
    }
    va_end(args);
}

void displayMemory(u8* buffer, u16 length) {
    for (u32 i = 0; i < length; i++) {
        if (i % kDumpLine == 0) printf("\n%04X: ", i);
        printf("%02X ", static_cast<u32>(buffer[i]));
        if (i % kDumpLine == kDumpLine - 1) print_char_column(buffer + i + 1 - kDumpLine, kDumpLine);
    }
}

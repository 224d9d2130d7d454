// Number conversions of the kernel library. They differ from the C
// library's namesakes where noted, and callers depend on those differences.
#ifndef TARN_LIB_STDLIB_H
#define TARN_LIB_STDLIB_H

#include "lib/host_names.h"
#include "lib/types.h"

// Text of value in base 2..36 (lower-case digits, '-' for negatives in
// every base); an empty string for any other base. buffer must hold 33
// bytes. Returns buffer.
char* itoa(i32 value, char* buffer, i32 base);

// Hexadecimal text after leading spaces and tabs, up to the first
// non-hex character. No "0x" prefix, no sign; wraps modulo 2^32.
i32 htoi(char* text);

// Decimal digits only: every character up to the terminator adds its code
// minus '0', whatever it is (no whitespace skipping, no sign). Wraps.
i32 atoi(char* text);

#endif

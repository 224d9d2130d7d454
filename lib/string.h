// String routines of the kernel library. They differ from the C library's
// namesakes where noted, and callers depend on those differences.
#ifndef TARN_LIB_STRING_H
#define TARN_LIB_STRING_H

#include "lib/host_names.h"
#include "lib/types.h"

// Bytes before the terminating zero.
i32 strlen(const char* text);

// -1, 0 or 1. Bytes compare as signed 8-bit values, so 0x80..0xFF order
// below 0x00..0x7F (and below the terminator of a shorter string).
i32 strcmp(const char* left, const char* right);

// First position holding character (each byte sign-extended before the
// comparison); the terminator's position when it does not occur. Never null.
char* strchr(const char* text, i32 character);

#endif

// Formatted output to the framebuffer console.
#ifndef TARN_LIB_STDIO_H
#define TARN_LIB_STDIO_H

#include "lib/host_names.h"
#include "lib/types.h"

// One character at the cursor: 0x0A newline, 0x0E backspace, every other
// byte its glyph.
void putc(u8 ch);
void puts(const char* str);
// %% %c %d %u %o %x %X %s, with an optional zero-padded one-digit width
// after a '0' (%08X).
void printf(const char* format, ...);
// Hex dump: lines of 16 bytes, "\nOOOO: " then "XX " pairs, then the line's
// characters (32..126 as themselves, others as '.').
void displayMemory(u8* buffer, u16 length);

#endif

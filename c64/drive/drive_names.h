// File names as a CBM drive reads them: "@0:NAME,S,W", "$0:A*", wildcards.
#ifndef TARN_C64_DRIVE_DRIVE_NAMES_H
#define TARN_C64_DRIVE_DRIVE_NAMES_H

#include "c64/drive/drive_store.h"
#include "lib/types.h"

namespace drive {

constexpr u32 kSpecMax = 40;     // longest name part an OPEN may send
constexpr u8 kNoType = 0xFF;

struct FileSpec {
    u8 name[kSpecMax];
    u8 length;
    bool replace;     // "@:" / "@0:"
    bool directory;   // "$", "$0", "$:PATTERN"
    u8 type;          // kTypeSeq/Prg/Usr/Rel, or kNoType when not given
    u8 mode;          // 'R', 'W', 'A', 'M', or 0 when not given
    u8 recordLength;  // ",L," and one byte: a relative file's record length (0: none given)
};

// Splits what an OPEN sent into its parts; kOk or a syntax error number.
// After ",L," comes one byte of any value: the record length.
u8 ParseFileSpec(const u8* raw, u32 length, FileSpec* out);

// CBM wildcards: '?' matches any one character, '*' everything after it.
bool Matches(const u8* pattern, u32 patternLength, const u8* name, u32 nameLength);
bool HasWildcards(const u8* name, u32 length);

// A name a new file may take: 1 to 16 characters the volume can store, no
// wildcard or separator, no PETSCII graphics, not one LOAD reads as "$".
bool ValidNewName(const u8* name, u32 length);

}  // namespace drive

#endif

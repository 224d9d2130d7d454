// File names as a CBM drive reads them.
#include "c64/drive/drive_names.h"

namespace drive {

namespace {

u8 TypeLetter(u8 c) {
    switch (c) {
    case 'S': return kTypeSeq;
    case 'P': return kTypePrg;
    case 'U': return kTypeUsr;
    case 'L': return kTypeRel;
    default: return kNoType;
    }
}

bool ModeLetter(u8 c) { return c == 'R' || c == 'W' || c == 'A' || c == 'M'; }

// Characters that separate the parts of a name or are wildcards, and those
// the FAT volume cannot store in a file name.
bool Forbidden(u8 c) {
    static const char kBad[] = "\"*?,:=/\\<>|";
    if (c < 0x20 || c > 0x5F) return true;  // control codes and PETSCII graphics
    for (const char* b = kBad; *b; b++)
        if (c == (u8)*b) return true;
    return false;
}

}  // namespace

u8 ParseFileSpec(const u8* raw, u32 length, FileSpec* out) {
    out->length = 0;
    out->replace = false;
    out->directory = false;
    out->type = kNoType;
    out->mode = 0;
    out->recordLength = 0;
    u32 at = 0;
    if (length > 0 && raw[0] == '$') {
        out->directory = true;
        at = 1;
    } else if (length > 0 && raw[0] == '@') {
        out->replace = true;
        at = 1;
    }
    // An optional drive number ("0") before a colon.
    u32 colon = at;
    while (colon < length && raw[colon] != ':' && raw[colon] != ',') colon++;
    if (colon < length && raw[colon] == ':') {
        for (u32 i = at; i < colon; i++)
            if (raw[i] != '0') return kSyntaxName;
        at = colon + 1;
    } else if (out->directory) {
        // "$" or "$0" alone: every file.
        for (u32 i = at; i < length; i++)
            if (raw[i] != '0') return kSyntaxName;
        return kOk;
    } else if (out->replace) {
        return kSyntaxName;  // "@NAME" without the colon
    }
    u32 end = at;
    while (end < length && raw[end] != ',') end++;
    if (end - at > kSpecMax) return kSyntaxLong;
    for (u32 i = at; i < end; i++) out->name[out->length++] = raw[i];
    // ",S,W": the first letter of each further part is a type or a mode.
    while (end < length) {
        u32 part = end + 1;
        end = part;
        while (end < length && raw[end] != ',') end++;
        if (part == end) return kSyntaxName;
        u8 c = raw[part];
        if (c == 'L' && out->type == kNoType && end + 1 < length) {
            // The record length byte may be a comma itself: it ends the name.
            if (end + 2 != length) return kSyntaxName;
            out->type = kTypeRel;
            out->recordLength = raw[end + 1];
            end = length;
        } else if (TypeLetter(c) != kNoType && out->type == kNoType)
            out->type = TypeLetter(c);
        else if (ModeLetter(c) && out->mode == 0)
            out->mode = c;
        else
            return kSyntaxName;
    }
    return kOk;
}

bool DriveStore::NameIs(const DriveEntry& e, const u8* name, u32 length) {
    if (length != e.nameLength) return false;
    for (u32 i = 0; i < length; i++)
        if (name[i] != e.name[i]) return false;
    return true;
}

bool Matches(const u8* pattern, u32 patternLength, const u8* name, u32 nameLength) {
    for (u32 i = 0; i < patternLength; i++) {
        if (pattern[i] == '*') return true;
        if (i >= nameLength) return false;
        if (pattern[i] != '?' && pattern[i] != name[i]) return false;
    }
    return patternLength == nameLength;
}

bool HasWildcards(const u8* name, u32 length) {
    for (u32 i = 0; i < length; i++)
        if (name[i] == '*' || name[i] == '?') return true;
    return false;
}

bool ValidNewName(const u8* name, u32 length) {
    if (length == 0 || length > kNameMax) return false;
    if (name[0] == '$' || name[0] == '#' || name[0] == ' ') return false;
    // Long names on FAT lose trailing dots and spaces.
    if (name[length - 1] == ' ' || name[length - 1] == '.') return false;
    for (u32 i = 0; i < length; i++)
        if (Forbidden(name[i])) return false;
    return true;
}

}  // namespace drive

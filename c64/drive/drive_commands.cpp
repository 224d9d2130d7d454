// Drive 8: the command channel (OPEN 15,8,15,"..." and PRINT#15).
#include "c64/drive/drive.h"

namespace drive {

namespace {

constexpr u8 kReturn = 0x0D;
constexpr u32 kMostEntries = 65536;   // bounds a walk over a damaged directory

bool StartsWith(const u8* text, u32 length, const char* word) {
    u32 i = 0;
    for (; word[i]; i++)
        if (i >= length || text[i] != (u8)word[i]) return false;
    return true;
}

// The part after "X:" or "X0:"; false when there is no colon.
bool AfterColon(const u8* text, u32 length, const u8** rest, u32* restLength) {
    for (u32 i = 0; i < length; i++) {
        if (text[i] != ':') continue;
        *rest = text + i + 1;
        *restLength = length - i - 1;
        return true;
    }
    return false;
}

}  // namespace

void Drive::Execute(const u8* text, u32 length) {
    if (pendingOverflow_) return SetError(kSyntaxLong);
    // The record pointer's bytes are binary: a RETURN among them is a value.
    if (length > 0 && text[0] == 'P' && current_) return Position(text, length);
    while (length > 0 && text[length - 1] == kReturn) length--;
    if (length == 0) return;
    if (StartsWith(text, length, "UI") || StartsWith(text, length, "UJ") || StartsWith(text, length, "U:")) {
        CloseAll();
        return SetError(kDosVersion);
    }
    if (!current_) return SetError(kNotReady);
    switch (text[0]) {
    case 'I':
    case 'V':
        return SetError(kOk);
    case 'S':
        return Scratch(text, length);
    case 'C':
        if (StartsWith(text, length, "CD")) return ChangeDirectory(text + 2, length - 2);
        return Copy(text, length);
    case 'M':
        if (StartsWith(text, length, "MD")) return MakeDirectory(text, length);
        return SetError(kSyntaxCommand);
    case 'R':
        if (StartsWith(text, length, "RD")) return RemoveDirectory(text, length);
        return Rename(text, length);
    case 'N':
        // Formatting would erase the user's whole volume.
        return SetError(kWriteProtect);
    default:
        return SetError(kSyntaxCommand);
    }
}

// "S:PATTERN[,PATTERN...]": every file a pattern matches goes, one file for
// a name without wildcards; the count is reported.
void Drive::Scratch(const u8* text, u32 length) {
    const u8* rest;
    u32 restLength;
    if (!AfterColon(text, length, &rest, &restLength) || restLength == 0) return SetError(kSyntaxNoName);
    u32 scratched = 0;
    u32 start = 0;
    while (start <= restLength) {
        u32 end = start;
        while (end < restLength && rest[end] != ',') end++;
        DriveEntry e;
        bool single = !HasWildcards(rest + start, end - start);
        bool done = false;
        // Each pass starts again: the entries after a scratched one move up.
        u32 index = 0;
        for (u32 guard = 0; !done && guard < kMostEntries && current_->Entry(index, &e); guard++) {
            bool file = e.type != kTypeDir && e.type != kTypeDel;
            if (!file || !Matches(rest + start, end - start, e.name, e.nameLength)) {
                index++;
                continue;
            }
            u8 status = current_->Scratch(e);
            if (status != kOk) return SetError(status);
            scratched++;
            done = single;
        }
        start = end + 1;
    }
    SetError(kFilesScratched, (u8)(scratched > 99 ? 99 : scratched));
}

// "R:NEW=OLD".
void Drive::Rename(const u8* text, u32 length) {
    const u8* rest;
    u32 restLength;
    if (!AfterColon(text, length, &rest, &restLength)) return SetError(kSyntaxNoName);
    u32 equals = 0;
    while (equals < restLength && rest[equals] != '=') equals++;
    if (equals == restLength) return SetError(kSyntaxNoName);
    const u8* oldName = rest + equals + 1;
    u32 oldLength = restLength - equals - 1;
    if (!ValidNewName(rest, equals) || HasWildcards(oldName, oldLength)) return SetError(kSyntaxName);
    DriveEntry e;
    if (EntryNamed(rest, equals, &e)) return SetError(kFileExists);
    if (!FindFile(oldName, oldLength, kNoType, &e, false)) return SetError(kFileNotFound);
    SetError(current_->Rename(e, rest, (u8)equals));
}

// "CD:NAME" enters a subdirectory or a .D64 image, "CD:_" (the C64's
// left arrow), "CD_" or "CD:.." goes up, "CD//" back to the root.
void Drive::ChangeDirectory(const u8* arg, u32 length) {
    // Files being written belong to the directory they were opened in.
    CloseWrites();
    if (length > 0 && arg[0] == '0') arg++, length--;
    if (length > 0 && arg[0] == ':') arg++, length--;
    bool up = (length == 1 && arg[0] == '_') || (length == 2 && arg[0] == '.' && arg[1] == '.');
    if (up) {
        Up();  // at the root it stays there
        return SetError(kOk);
    }
    if (length > 0 && arg[0] == '/') {
        while (Up()) {
        }
        while (length > 0 && arg[0] == '/') arg++, length--;
        while (length > 0 && arg[length - 1] == '/') length--;
        if (length == 0) return SetError(kOk);
    }
    if (length == 0) return SetError(kSyntaxNoName);
    DriveEntry e;
    if (!FindDirectory(arg, length, &e)) return SetError(kFileNotFound);
    if (e.image) return EnterImage(e);
    SetError(current_->Enter(e));
}

// "C:NEW=OLD" copies a file, "C:NEW=A,B,..." joins files into a new one
// of the first one's type; each old name may start with its drive ("0:").
// A relative file is copied alone, never joined.
void Drive::Copy(const u8* text, u32 length) {
    const u8* rest;
    u32 restLength;
    if (!AfterColon(text, length, &rest, &restLength)) return SetError(kSyntaxCommand);
    u32 equals = 0;
    while (equals < restLength && rest[equals] != '=') equals++;
    if (equals == restLength || equals + 1 == restLength) return SetError(kSyntaxNoName);
    if (!ValidNewName(rest, equals)) return SetError(kSyntaxName);
    DriveEntry e;
    if (EntryNamed(rest, equals, &e)) return SetError(kFileExists);
    Channel joined = {};
    Channel part = {};
    u8 type = kNoType;
    u8 status = kOk;
    bool read = true;
    for (u32 start = equals + 1; start <= restLength; start++) {
        u32 end = start;
        while (end < restLength && rest[end] != ',') end++;
        const u8* name = rest + start;
        u32 nameLength = end - start;
        const u8* unit;
        u32 unitLength;
        if (AfterColon(name, nameLength, &unit, &unitLength)) name = unit, nameLength = unitLength;
        bool more = end < restLength;
        start = end;
        if (!FindFile(name, nameLength, kNoType, &e, false)) status = kFileNotFound;
        else if ((e.type == kTypeRel || type == kTypeRel) && (type != kNoType || more)) status = kFileTypeMismatch;
        else if (!ReadWhole(e, part, 0)) read = false;
        else if (!Reserve(joined, joined.length + part.length + 1)) status = kNoChannel;
        if (status != kOk || !read) break;
        for (u32 i = 0; i < part.length; i++) joined.data[joined.length++] = part.data[i];
        if (type == kNoType) type = e.type;
        Release(part);
    }
    Release(part);
    // A source that could not be read has left its error, block and all.
    if (read) {
        if (status == kOk) status = current_->Write(rest, (u8)equals, type, joined.data, joined.length, false);
        SetError(status);
    }
    Release(joined);
}

// "MD:NAME".
void Drive::MakeDirectory(const u8* text, u32 length) {
    const u8* name;
    u32 nameLength;
    if (!AfterColon(text, length, &name, &nameLength) || nameLength == 0) return SetError(kSyntaxNoName);
    if (!ValidNewName(name, nameLength)) return SetError(kSyntaxName);
    DriveEntry e;
    for (u32 i = 0; current_->Entry(i, &e); i++)
        if (e.nameLength == nameLength && Matches(name, nameLength, e.name, e.nameLength)) return SetError(kFileExists);
    SetError(current_->MakeDirectory(name, (u8)nameLength));
}

// "RD:NAME": only an empty subdirectory goes.
void Drive::RemoveDirectory(const u8* text, u32 length) {
    const u8* name;
    u32 nameLength;
    if (!AfterColon(text, length, &name, &nameLength) || nameLength == 0) return SetError(kSyntaxNoName);
    DriveEntry e;
    if (!FindDirectory(name, nameLength, &e) || e.image) return SetError(kFileNotFound);
    SetError(current_->RemoveDirectory(e));
}

}  // namespace drive

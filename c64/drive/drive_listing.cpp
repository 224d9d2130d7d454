// Drive 8: the directory as the 1541 sends it, a BASIC program for $0401
// whose line numbers are block counts.
#include "c64/drive/drive.h"

namespace drive {

namespace {

constexpr u16 kListingAddress = 0x0401;
constexpr u16 kLinkPlaceholder = 0x0101;   // BASIC relinks after LOAD
constexpr u8 kReverseOn = 0x12;
constexpr u32 kLineText = 27;              // a file line's text, padded
constexpr u16 kMostBlocks = 65535;

const char* const kTypeNames[] = {"DEL", "SEQ", "PRG", "USR", "REL", "DIR"};

}  // namespace

bool Drive::ListLine(Channel& c, u16 number, const u8* text, u32 length) {
    if (!Reserve(c, c.length + length + 5)) return false;
    c.data[c.length++] = kLinkPlaceholder & 0xFF;
    c.data[c.length++] = kLinkPlaceholder >> 8;
    c.data[c.length++] = number & 0xFF;
    c.data[c.length++] = number >> 8;
    for (u32 i = 0; i < length; i++) c.data[c.length++] = text[i];
    c.data[c.length++] = 0;
    return true;
}

bool Drive::List(Channel& c, const FileSpec& parsed) {
    if (!Reserve(c, 256)) return false;
    c.data[c.length++] = kListingAddress & 0xFF;
    c.data[c.length++] = kListingAddress >> 8;

    u8 line[40];
    u8 name[kNameMax];
    u8 id[5];
    current_->Title(name, id);
    u32 n = 0;
    line[n++] = kReverseOn;
    line[n++] = '"';
    for (u32 i = 0; i < kNameMax; i++) line[n++] = name[i];
    line[n++] = '"';
    line[n++] = ' ';
    for (u32 i = 0; i < 5; i++) line[n++] = id[i];
    if (!ListLine(c, 0, line, n)) return false;

    DriveEntry e;
    for (u32 index = 0; current_->Entry(index, &e); index++) {
        if (parsed.length > 0 && !Matches(parsed.name, parsed.length, e.name, e.nameLength)) continue;
        if (parsed.type != kNoType && e.type != parsed.type) continue;
        n = 0;
        // Names line up whatever the width of the block count.
        for (u32 width = e.blocks < 10 ? 3 : e.blocks < 100 ? 2 : e.blocks < 1000 ? 1 : 0; width > 0; width--)
            line[n++] = ' ';
        line[n++] = '"';
        for (u32 i = 0; i < e.nameLength; i++) line[n++] = e.name[i];
        line[n++] = '"';
        for (u32 i = e.nameLength; i < kNameMax; i++) line[n++] = ' ';
        line[n++] = ' ';
        const char* type = kTypeNames[e.type <= kTypeDir ? e.type : kTypePrg];
        for (u32 i = 0; i < 3; i++) line[n++] = (u8)type[i];
        while (n < kLineText) line[n++] = ' ';
        if (!ListLine(c, e.blocks, line, n)) return false;
    }

    static const char kFree[] = "BLOCKS FREE.             ";
    n = 0;
    for (const char* s = kFree; *s; s++) line[n++] = (u8)*s;
    u32 free = current_->FreeBlocks();
    if (!ListLine(c, (u16)(free > kMostBlocks ? kMostBlocks : free), line, n)) return false;
    if (!Reserve(c, c.length + 2)) return false;
    c.data[c.length++] = 0;
    c.data[c.length++] = 0;
    return true;
}

}  // namespace drive

// Drive 8: relative files, records of a fixed length reached by number.
// The channel holds the whole file (its record length, then its records)
// from OPEN to CLOSE. "P" on the command channel sets the record pointer;
// the bytes of one PRINT# (up to UNLISTEN) fill a record, the rest padded
// with zeros; a read gives a record up to its last non-zero byte, that one
// with EOI, and moves on to the next record.
#include "c64/drive/drive.h"

namespace drive {

namespace {

constexpr u8 kReturn = 0x0D;
constexpr u8 kEmptyRecord = 0xFF;      // first byte of a record never written
constexpr u32 kLongestRecord = 254;
constexpr u32 kMostRecords = 65535;    // record numbers are 16 bits
constexpr u32 kBlockBytes = 254;
constexpr u32 kSidePointers = 120;     // data blocks listed by one side sector
constexpr u32 kMostDataBlocks = 6 * kSidePointers;

u32 Records(const u8* data, u32 length) { return (length - 1) / data[0]; }

// What a relative file of so many record bytes takes on a 1541 disk: its
// data blocks and the side sectors that list them.
u32 BlocksFor(u32 bytes) {
    u32 data = bytes ? (bytes + kBlockBytes - 1) / kBlockBytes : 1;
    return data + (data + kSidePointers - 1) / kSidePointers;
}

}  // namespace

void Drive::OpenRelative(Channel& c, const FileSpec& parsed, const DriveEntry* existing) {
    if (existing && existing->type != kTypeRel) return SetError(kFileTypeMismatch);
    if (existing) {
        if (!ReadWhole(*existing, c, 0)) return Release(c);
        u8 recordLength = c.length ? c.data[0] : 0;
        u8 status = recordLength == 0 ? kFileTypeMismatch : kOk;
        // Opened again with another record length, the file is not the one asked for.
        if (parsed.recordLength && parsed.recordLength != recordLength) status = kRecordNotPresent;
        if (status != kOk) {
            Release(c);
            return SetError(status);
        }
        c.length = 1 + Records(c.data, c.length) * recordLength;
        c.overwrite = true;
        c.entry = *existing;
        c.blocksBefore = existing->blocks;
        for (u32 i = 0; i < existing->nameLength; i++) c.name[i] = existing->name[i];
        c.nameLength = existing->nameLength;
    } else {
        if (parsed.recordLength == 0) return SetError(kFileNotFound);
        if (parsed.recordLength > kLongestRecord) return SetError(kSyntaxError);
        if (!ValidNewName(parsed.name, parsed.length)) return SetError(kSyntaxName);
        if (!Reserve(c, 1)) return SetError(kNoChannel);
        c.data[0] = parsed.recordLength;
        c.length = 1;
        c.blocksBefore = 0;
        // A new file has its first block of empty records at once.
        if (!Grow(c, 1)) return Release(c);
        for (u32 i = 0; i < parsed.length; i++) c.name[i] = parsed.name[i];
        c.nameLength = parsed.length;
    }
    c.type = kTypeRel;
    c.use = Use::kRelative;
    c.record = 0;
    c.offset = 0;
    SetError(kOk);
}

// Empty records up to `records`, and on to the end of the block the last
// one ends in, as the 1541 adds them. Refused past what a 1541 disk could
// hold or the room the volume has left.
bool Drive::Grow(Channel& c, u32 records) {
    u32 length = c.data[0];
    if (records > kMostRecords || records * length > kMostDataBlocks * kBlockBytes) {
        SetError(kFileTooLarge);
        return false;
    }
    u32 blockEnd = (records * length + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
    u32 total = blockEnd / length;
    if (total > kMostRecords) total = kMostRecords;
    if ((u64)BlocksFor(total * length) > (u64)c.blocksBefore + current_->FreeBlocks()) {
        SetError(kDiskFull);
        return false;
    }
    if (!Reserve(c, 1 + total * length)) {
        SetError(kNoChannel);
        return false;
    }
    for (u32 r = Records(c.data, c.length); r < total; r++) {
        u8* record = c.data + 1 + r * length;
        record[0] = kEmptyRecord;
        for (u32 i = 1; i < length; i++) record[i] = 0;
    }
    c.length = 1 + total * length;
    c.changed = true;
    return true;
}

// "P", the channel ($60 + secondary address), the record number (low,
// high, from 1) and the byte in the record (from 1, 1 when left out).
void Drive::Position(const u8* text, u32 length) {
    if (length == 5 && text[4] == kReturn) length = 4;  // PRINT#'s RETURN, not a byte position
    if (length < 4) return SetError(kSyntaxError);
    Channel& c = channels_[text[1] & 0x0F];
    if (c.use != Use::kRelative) return SetError(kNoChannel);
    u32 record = text[2] | text[3] << 8;
    u8 byte = length > 4 ? text[4] : 1;
    c.record = record ? record - 1 : 0;
    c.offset = 0;
    c.writing = false;
    if (byte > c.data[0]) return SetError(kOverflowInRecord);
    c.offset = byte ? byte - 1 : 0;
    // A record past the end is made by the first write to it.
    SetError(c.record < Records(c.data, c.length) ? kOk : kRecordNotPresent);
}

u8 Drive::ReceiveRecord(Channel& c, u8* value) {
    if (c.record >= Records(c.data, c.length)) {
        SetError(kRecordNotPresent);
        return kStTimeoutRead | kStEoi;
    }
    const u8* record = c.data + 1 + c.record * c.data[0];
    u32 end = c.data[0];
    while (end > c.offset + 1u && record[end - 1] == 0) end--;
    *value = record[c.offset++];
    if (c.offset < end) return 0;
    c.record++;
    c.offset = 0;
    return kStEoi;
}

u8 Drive::SendRecord(Channel& c, u8 value) {
    if (!c.writing) {
        if (c.record >= Records(c.data, c.length) && !Grow(c, c.record + 1)) return kStNoDevice;
        c.writing = true;
        c.overflow = false;
    }
    if (c.offset >= c.data[0]) {
        c.overflow = true;
        return 0;
    }
    c.data[1 + c.record * c.data[0] + c.offset++] = value;
    c.changed = true;
    return 0;
}

// The end of a PRINT#: the rest of the record is cleared and the pointer
// moves to the next one.
void Drive::EndRecord(Channel& c) {
    if (!c.writing) return;
    u8* record = c.data + 1 + c.record * c.data[0];
    for (u32 i = c.offset; i < c.data[0]; i++) record[i] = 0;
    c.record++;
    c.offset = 0;
    c.writing = false;
    SetError(c.overflow ? kOverflowInRecord : kOk);
}

}  // namespace drive

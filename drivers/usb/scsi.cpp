// SCSI command blocks, bulk-only wrappers and decoded answers.
#include "drivers/usb/scsi.h"

namespace tarn {
namespace drivers {
namespace usb {
namespace scsi {

namespace {
const u8 kTestUnitReady = 0x00;
const u8 kRequestSense = 0x03;
const u8 kInquiry = 0x12;
const u8 kReadCapacity10 = 0x25;
const u8 kRead10 = 0x28;
const u8 kWrite10 = 0x2A;
const u8 kSynchronizeCache10 = 0x35;
const u8 kRead16 = 0x88;
const u8 kWrite16 = 0x8A;
const u8 kServiceActionIn16 = 0x9E;
const u8 kReadCapacity16 = 0x10;   // its service action
const u32 kCapacity16Bytes = 32;

const u32 kCbwSignature = 0x43425355;  // "USBC"
const u32 kCswSignature = 0x53425355;  // "USBS"
const u8 kCbwDataIn = 0x80;

Command make(u8 length, u32 data, bool in) {
    Command c{};
    c.cdb_length = length;
    c.data_length = data;
    c.data_in = in;
    return c;
}

void put_be32(u8* p, u32 v) {
    p[0] = static_cast<u8>(v >> 24);
    p[1] = static_cast<u8>(v >> 16);
    p[2] = static_cast<u8>(v >> 8);
    p[3] = static_cast<u8>(v);
}

void put_le32(u8* p, u32 v) {
    p[0] = static_cast<u8>(v);
    p[1] = static_cast<u8>(v >> 8);
    p[2] = static_cast<u8>(v >> 16);
    p[3] = static_cast<u8>(v >> 24);
}

u32 be32(const u8* p) { return u32(p[0]) << 24 | u32(p[1]) << 16 | u32(p[2]) << 8 | p[3]; }
u32 le32(const u8* p) { return u32(p[3]) << 24 | u32(p[2]) << 16 | u32(p[1]) << 8 | p[0]; }

// Copies a space-padded field, trimmed, anything unprintable as '?'.
void text(const u8* from, u32 n, char* to) {
    u32 end = n;
    while (end > 0 && (from[end - 1] == ' ' || from[end - 1] == 0)) end--;
    for (u32 i = 0; i < end; i++) to[i] = from[i] >= 0x20 && from[i] < 0x7F ? static_cast<char>(from[i]) : '?';
    to[end] = 0;
}

Command transfer(u8 op10, u8 op16, u64 lba, u32 count, u32 sector_size, bool in) {
    if (lba + count > 0xFFFFFFFFull || count > 0xFFFF) {
        Command c = make(16, count * sector_size, in);
        c.cdb[0] = op16;
        put_be32(c.cdb + 2, static_cast<u32>(lba >> 32));
        put_be32(c.cdb + 6, static_cast<u32>(lba));
        put_be32(c.cdb + 10, count);
        return c;
    }
    Command c = make(10, count * sector_size, in);
    c.cdb[0] = op10;
    put_be32(c.cdb + 2, static_cast<u32>(lba));
    c.cdb[7] = static_cast<u8>(count >> 8);
    c.cdb[8] = static_cast<u8>(count);
    return c;
}
}  // namespace

Command test_unit_ready() {
    Command c = make(6, 0, false);
    c.cdb[0] = kTestUnitReady;
    return c;
}

Command request_sense(u8 length) {
    Command c = make(6, length, true);
    c.cdb[0] = kRequestSense;
    c.cdb[4] = length;
    return c;
}

Command inquiry(u8 length) {
    Command c = make(6, length, true);
    c.cdb[0] = kInquiry;
    c.cdb[4] = length;
    return c;
}

Command read_capacity10() {
    Command c = make(10, 8, true);
    c.cdb[0] = kReadCapacity10;
    return c;
}

Command read_capacity16() {
    Command c = make(16, kCapacity16Bytes, true);
    c.cdb[0] = kServiceActionIn16;
    c.cdb[1] = kReadCapacity16;
    put_be32(c.cdb + 10, kCapacity16Bytes);
    return c;
}

Command read(u64 lba, u32 count, u32 sector_size) {
    return transfer(kRead10, kRead16, lba, count, sector_size, true);
}

Command write(u64 lba, u32 count, u32 sector_size) {
    return transfer(kWrite10, kWrite16, lba, count, sector_size, false);
}

Command synchronize_cache() {
    Command c = make(10, 0, false);
    c.cdb[0] = kSynchronizeCache10;
    return c;
}

void build_cbw(const Command& c, u32 tag, u8 lun, u8* out) {
    for (u32 i = 0; i < kCbwBytes; i++) out[i] = 0;
    put_le32(out, kCbwSignature);
    put_le32(out + 4, tag);
    put_le32(out + 8, c.data_length);
    out[12] = c.data_in && c.data_length ? kCbwDataIn : 0;
    out[13] = lun & 0x0F;
    out[14] = c.cdb_length;
    for (u32 i = 0; i < c.cdb_length && i < 16; i++) out[15 + i] = c.cdb[i];
}

bool parse_csw(const u8* csw, u32 length, u32 tag, u8* status, u32* residue) {
    if (length != kCswBytes || le32(csw) != kCswSignature || le32(csw + 4) != tag) return false;
    *residue = le32(csw + 8);
    *status = csw[12];
    return *status <= kCswPhaseError;
}

bool parse_inquiry(const u8* data, u32 length, Inquiry* out) {
    if (length < 36) return false;
    out->device_type = data[0] & 0x1F;
    out->removable = data[1] & 0x80;
    text(data + 8, 8, out->vendor);
    text(data + 16, 16, out->product);
    return true;
}

bool parse_capacity10(const u8* data, u32 length, Capacity* out) {
    if (length < 8 || be32(data) == 0xFFFFFFFF) return false;
    out->sectors = static_cast<u64>(be32(data)) + 1;
    out->sector_size = be32(data + 4);
    return true;
}

bool parse_capacity16(const u8* data, u32 length, Capacity* out) {
    if (length < 12) return false;
    u64 last = static_cast<u64>(be32(data)) << 32 | be32(data + 4);
    out->sectors = last + 1;
    out->sector_size = be32(data + 8);
    return true;
}

bool parse_sense(const u8* data, u32 length, Sense* out) {
    // Fixed format (0x70, 0x71) only; descriptor format keeps its codes
    // at bytes 1-3.
    if (length < 4) return false;
    u8 format = data[0] & 0x7F;
    if (format == 0x70 || format == 0x71) {
        if (length < 14) return false;
        out->key = data[2] & 0x0F;
        out->asc = data[12];
        out->ascq = data[13];
        return true;
    }
    if (format == 0x72 || format == 0x73) {
        out->key = data[1] & 0x0F;
        out->asc = data[2];
        out->ascq = data[3];
        return true;
    }
    return false;
}

bool transient(const Sense& s) {
    if (s.key == kSenseUnitAttention) return true;
    // Not ready: becoming ready (04/01), or an operation in progress (04/07).
    return s.key == kSenseNotReady && s.asc == 0x04 && (s.ascq == 0x01 || s.ascq == 0x07);
}

}  // namespace scsi
}  // namespace usb
}  // namespace drivers
}  // namespace tarn

// The SCSI commands a USB stick is driven with, the bulk-only transport's
// command and status wrappers around them, and the answers decoded.
#ifndef TARN_DRIVERS_USB_SCSI_H
#define TARN_DRIVERS_USB_SCSI_H

#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace usb {
namespace scsi {

// A command descriptor block and where its data goes.
struct Command {
    u8 cdb[16];
    u8 cdb_length;
    u32 data_length;
    bool data_in;
};

Command test_unit_ready();
Command request_sense(u8 length);
Command inquiry(u8 length);
Command read_capacity10();
Command read_capacity16();
Command read(u64 lba, u32 count, u32 sector_size);   // READ(10), READ(16) past 2^32
Command write(u64 lba, u32 count, u32 sector_size);  // WRITE(10), WRITE(16) past 2^32
Command synchronize_cache();

// Bulk-only transport wrappers.
const u32 kCbwBytes = 31;
const u32 kCswBytes = 13;
const u8 kCswPassed = 0;
const u8 kCswFailed = 1;
const u8 kCswPhaseError = 2;
void build_cbw(const Command& c, u32 tag, u8 lun, u8* out);
// The status in a CSW that belongs to tag; false when the wrapper is not
// one (wrong length, signature or tag): the transport lost step.
bool parse_csw(const u8* csw, u32 length, u32 tag, u8* status, u32* residue);

struct Inquiry {
    u8 device_type;        // 0: a disk (direct access)
    bool removable;
    char vendor[9];        // trimmed, printable
    char product[17];
};
bool parse_inquiry(const u8* data, u32 length, Inquiry* out);

struct Capacity {
    u64 sectors;
    u32 sector_size;
};
// READ CAPACITY(10): false when the device is too large for it (the last
// block reads 0xFFFFFFFF) or the answer is short.
bool parse_capacity10(const u8* data, u32 length, Capacity* out);
bool parse_capacity16(const u8* data, u32 length, Capacity* out);

struct Sense {
    u8 key;
    u8 asc;                // additional sense code
    u8 ascq;               // and its qualifier
};
bool parse_sense(const u8* data, u32 length, Sense* out);
const u8 kSenseNotReady = 0x02;
const u8 kSenseIllegalRequest = 0x05;
const u8 kSenseUnitAttention = 0x06;
const u8 kAscMediumNotPresent = 0x3A;
// Worth asking again shortly: becoming ready, or a medium change / reset
// the device reports once.
bool transient(const Sense& s);

}  // namespace scsi
}  // namespace usb
}  // namespace drivers
}  // namespace tarn

#endif

// Drive 8: the serial-bus device the KERNAL talks to. It answers LISTEN,
// TALK and their secondary addresses, takes bytes sent to it and hands out
// bytes read from it, keeps sixteen channels (0 LOAD, 1 SAVE, 2-14 data,
// 15 commands and the error channel) and serves them from a DriveStore.
#ifndef TARN_C64_DRIVE_DRIVE_H
#define TARN_C64_DRIVE_DRIVE_H

#include "c64/drive/d64_store.h"
#include "c64/drive/drive_names.h"
#include "c64/drive/drive_store.h"
#include "lib/types.h"

namespace drive {

// KERNAL status (ST) bits the bus sets.
constexpr u8 kStTimeoutRead = 0x02;
constexpr u8 kStEoi = 0x40;
constexpr u8 kStNoDevice = 0x80;

// Long enough for a long file name typed in full after "CD:".
constexpr u32 kCommandMax = 120;

class Drive {
public:
    static constexpr u8 kDevice = 8;
    static constexpr u32 kChannels = 16;
    static constexpr u8 kCommandChannel = 15;

    Drive();
    ~Drive();
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    // The volume's root (null: no disk). Closes every channel. A volume
    // that goes away while the machine runs (a USB stick pulled out) leaves
    // the drive not ready, and a file being written then is not stored:
    // closing it says so.
    void Attach(DriveStore* root);
    // Every channel closed, the error channel at the drive's identity.
    void PowerOn();

    // ---- the bus: each call returns the ST bits it sets ---------------------
    // A byte sent under ATN: LISTEN/TALK (with device), UNLISTEN, UNTALK,
    // and the secondary addresses $60 (data), $E0 (close), $F0 (open).
    u8 Attention(u8 command);
    // A byte sent to the drive while it listens.
    u8 Send(u8 value);
    // A byte read from the drive while it talks; EOI with the last one.
    u8 Receive(u8* value);

    // Where BASIC programs start, for the rule on headerless files.
    void BasicStart(u16 address) { basicStart_ = address; }

    // The error channel's current message, for the host's own display.
    u8 Error() const { return error_; }


private:
    enum class Bus : u8 { kIdle, kListening, kTalking, kAbsent };
    enum class Listen : u8 { kNone, kOpen, kData, kClose };
    // kDropped: a file being written that found no room; its bytes are refused.
    enum class Use : u8 { kFree, kRead, kWrite, kDropped, kRelative };

    struct Channel {
        Use use;
        u8* data;
        u32 length;
        u32 capacity;
        u32 position;
        u8 name[kNameMax];
        u8 nameLength;
        u8 type;
        bool replace;
        bool overwrite;     // closing writes the bytes back over `entry`
        DriveEntry entry;
        // A relative file: data[0] is its record length, its records follow.
        u32 record;         // the record pointer, from 0
        u8 offset;          // and the byte within that record
        bool writing;       // a record's bytes arrived since the last UNLISTEN
        bool overflow;      // more of them than the record holds
        bool changed;       // to be written back on close
        bool lost;          // being written when the volume went away
        u32 blocksBefore;   // what the file took on the disk when opened
    };

    // Channels.
    void Open(u8 channel);
    void OpenRead(Channel& c, const FileSpec& parsed, u8 channel);
    void OpenWrite(Channel& c, const FileSpec& parsed, u8 channel, bool append);
    u8 Close(u8 channel);
    void CloseAll();
    void Release(Channel& c);
    bool Reserve(Channel& c, u32 bytes);
    bool Append(Channel& c, u8 value);
    bool FindFile(const u8* pattern, u32 length, u8 type, DriveEntry* out, bool programsOnly);
    bool ReadWhole(const DriveEntry& e, Channel& c, u32 room);
    void MaybeAddHeader(Channel& c);
    bool EntryNamed(const u8* name, u32 length, DriveEntry* out);
    void CloseWrites();

    // Relative files.
    void OpenRelative(Channel& c, const FileSpec& parsed, const DriveEntry* existing);
    bool Grow(Channel& c, u32 records);
    void Position(const u8* text, u32 length);
    u8 ReceiveRecord(Channel& c, u8* value);
    u8 SendRecord(Channel& c, u8 value);
    void EndRecord(Channel& c);

    // The directory listing, built into a channel.
    bool List(Channel& c, const FileSpec& parsed);
    bool ListLine(Channel& c, u16 number, const u8* text, u32 length);
    // The directory as the 1541 reads it on a data channel: its raw blocks.
    bool RawDirectory(Channel& c, const FileSpec& parsed);
    bool RawBlock(Channel& c, const u8* sector);

    // The command channel.
    void Execute(const u8* text, u32 length);
    void Scratch(const u8* text, u32 length);
    void Rename(const u8* text, u32 length);
    void Copy(const u8* text, u32 length);
    void ChangeDirectory(const u8* arg, u32 length);
    void MakeDirectory(const u8* text, u32 length);
    void RemoveDirectory(const u8* text, u32 length);

    // Directories and disk images.
    bool FindDirectory(const u8* pattern, u32 length, DriveEntry* out);
    void EnterImage(const DriveEntry& e);
    bool Up();

    // The error channel.
    void SetError(u8 code, u8 track = 0, u8 sector = 0);
    u8 ReceiveError(u8* value);
    u32 ErrorText(u8* out) const;

    DriveStore* root_ = nullptr;
    DriveStore* current_ = nullptr;
    D64Store image_;
    Channel channels_[kChannels];
    Bus bus_ = Bus::kIdle;
    Listen listen_ = Listen::kNone;
    u8 channel_ = 0;
    u8 pending_[kCommandMax];   // name or command being received
    u32 pendingLength_ = 0;
    bool pendingOverflow_ = false;
    u8 error_ = kDosVersion;
    u8 errorTrack_ = 0;
    u8 errorSector_ = 0;
    u32 errorPosition_ = 0;
    u16 basicStart_ = 0x0801;
};

}  // namespace drive

#endif

// Drive 8: bus state, channels and the error channel.
#include "c64/drive/drive.h"

namespace drive {

namespace {

// Bytes under ATN: the top three bits say what, the rest which.
constexpr u8 kAtnListen = 0x20;     // 001ddddd: LISTEN device d
constexpr u8 kAtnUnlisten = 0x3F;
constexpr u8 kAtnTalk = 0x40;       // 010ddddd: TALK device d
constexpr u8 kAtnUntalk = 0x5F;
constexpr u8 kAtnData = 0x60;       // 0110cccc: data on channel c
constexpr u8 kAtnClose = 0xE0;      // 1110cccc: close channel c
constexpr u8 kAtnOpen = 0xF0;       // 1111cccc: open channel c, name follows
constexpr u8 kAtnKindMask = 0xE0;
constexpr u8 kAtnSecondaryMask = 0xF0;
constexpr u8 kDeviceMask = 0x1F;
constexpr u8 kChannelMask = 0x0F;

constexpr u8 kLoadChannel = 0;
constexpr u8 kSaveChannel = 1;
constexpr u8 kReturn = 0x0D;

constexpr u32 kLoadAddressBytes = 2;
constexpr u32 kFirstWriteBuffer = 1024;
constexpr u32 kLargestImage = 197376;   // 40 tracks with error bytes
constexpr u32 kLargestFile = 16u * 1024 * 1024;
// A BASIC line: link, line number, at least its closing zero.
constexpr u32 kShortestBasicLine = 5;

void CopyBytes(u8* to, const u8* from, u32 n) {
    for (u32 i = 0; i < n; i++) to[i] = from[i];
}

}  // namespace

Drive::Drive() {
    for (Channel& c : channels_) {
        c.data = nullptr;
        Release(c);
    }
}

Drive::~Drive() { CloseAll(); }

void Drive::Attach(DriveStore* root) {
    if (root_ && !root) {
        // The bus keeps its state: a transfer under way ends in errors.
        for (Channel& c : channels_) {
            bool writing = c.use == Use::kWrite || (c.use == Use::kRelative && c.changed);
            Release(c);
            if (!writing) continue;
            c.use = Use::kDropped;
            c.lost = true;
        }
        image_.Close();
        root_ = current_ = nullptr;
        SetError(kNotReady);
        return;
    }
    CloseAll();
    image_.Close();
    root_ = current_ = root;
    PowerOn();
}

void Drive::PowerOn() {
    CloseAll();
    bus_ = Bus::kIdle;
    listen_ = Listen::kNone;
    SetError(kDosVersion);
}

// ---- the bus --------------------------------------------------------------

u8 Drive::Attention(u8 command) {
    if (command == kAtnUnlisten) {
        u8 status = 0;
        if (bus_ == Bus::kListening) {
            if (listen_ == Listen::kOpen) Open(channel_);
            else if (listen_ == Listen::kData && channel_ == kCommandChannel) Execute(pending_, pendingLength_);
            else if (listen_ == Listen::kData && channels_[channel_].use == Use::kRelative) EndRecord(channels_[channel_]);
            else if (listen_ == Listen::kClose) status = Close(channel_);
        }
        bus_ = Bus::kIdle;
        listen_ = Listen::kNone;
        return status;
    }
    if (command == kAtnUntalk) {
        if (bus_ == Bus::kTalking) bus_ = Bus::kIdle;
        return 0;
    }
    u8 kind = command & kAtnKindMask;
    if (kind == kAtnListen || kind == kAtnTalk) {
        if ((command & kDeviceMask) != kDevice) {
            bus_ = Bus::kAbsent;
            return kStNoDevice;
        }
        bus_ = kind == kAtnListen ? Bus::kListening : Bus::kTalking;
        listen_ = Listen::kNone;
        channel_ = 0;
        return 0;
    }
    if (bus_ == Bus::kAbsent) return kStNoDevice;
    if (bus_ == Bus::kIdle) return 0;
    u8 secondary = command & kAtnSecondaryMask;
    channel_ = command & kChannelMask;
    pendingLength_ = 0;
    pendingOverflow_ = false;
    if (bus_ == Bus::kTalking) return 0;
    if (secondary == kAtnOpen) listen_ = Listen::kOpen;
    else if (secondary == kAtnClose) listen_ = Listen::kClose;
    else if (secondary == kAtnData) listen_ = Listen::kData;
    return 0;
}

u8 Drive::Send(u8 value) {
    if (bus_ != Bus::kListening) return kStNoDevice;
    bool command = listen_ == Listen::kData && channel_ == kCommandChannel;
    if (listen_ == Listen::kOpen || command) {
        if (pendingLength_ < sizeof pending_) pending_[pendingLength_++] = value;
        else pendingOverflow_ = true;
        return 0;
    }
    if (listen_ != Listen::kData) return 0;
    Channel& c = channels_[channel_];
    // The 1541 drops bytes for a channel not open for writing; without a
    // disk, or without room for the file, they are refused.
    if (c.use == Use::kDropped || !current_) return kStNoDevice;
    if (c.use == Use::kRelative) return SendRecord(c, value);
    if (c.use != Use::kWrite) return 0;
    if (Append(c, value)) return 0;
    // No room to collect the file: it is dropped whole, not stored in half.
    Release(c);
    c.use = Use::kDropped;
    SetError(kDiskFull);
    return kStNoDevice;
}

u8 Drive::Receive(u8* value) {
    *value = kReturn;
    if (bus_ != Bus::kTalking) return kStTimeoutRead | kStEoi;
    if (channel_ == kCommandChannel) return ReceiveError(value);
    Channel& c = channels_[channel_];
    if (c.use == Use::kRelative) return ReceiveRecord(c, value);
    if (c.use != Use::kRead || c.position >= c.length) return kStTimeoutRead | kStEoi;
    *value = c.data[c.position++];
    return c.position == c.length ? kStEoi : 0;
}

// ---- channels ---------------------------------------------------------------

void Drive::Release(Channel& c) {
    delete[] c.data;
    c.data = nullptr;
    c.use = Use::kFree;
    c.length = c.capacity = c.position = 0;
    c.replace = c.overwrite = c.writing = c.overflow = c.changed = c.lost = false;
    c.record = c.offset = 0;
}

void Drive::CloseAll() {
    for (Channel& c : channels_) Release(c);
}

bool Drive::Reserve(Channel& c, u32 bytes) {
    if (bytes <= c.capacity) return true;
    if (bytes > kLargestFile) return false;
    u32 capacity = c.capacity ? c.capacity : kFirstWriteBuffer;
    while (capacity < bytes) capacity *= 2;
    u8* grown = new u8[capacity];
    if (!grown) return false;
    CopyBytes(grown, c.data, c.length);
    delete[] c.data;
    c.data = grown;
    c.capacity = capacity;
    return true;
}

bool Drive::Append(Channel& c, u8 value) {
    if (!Reserve(c, c.length + 1)) return false;
    c.data[c.length++] = value;
    return true;
}


void Drive::Open(u8 channel) {
    if (channel == kCommandChannel) {
        if (pendingLength_ > 0) Execute(pending_, pendingLength_);
        return;
    }
    Channel& c = channels_[channel];
    // A file still open on the channel is closed first, stored whole as
    // CLOSE would store it; one that cannot be leaves its error standing.
    if ((c.use == Use::kWrite || c.use == Use::kRelative) && Close(channel) != 0) return;
    Release(c);
    if (pendingOverflow_) return SetError(kSyntaxLong);
    if (!current_ || !current_->Ready()) return SetError(kNotReady);
    FileSpec parsed;
    u8 status = ParseFileSpec(pending_, pendingLength_, &parsed);
    if (status != kOk) return SetError(status);
    bool write = channel == kSaveChannel || parsed.mode == 'W' || parsed.mode == 'A';
    if (channel == kLoadChannel || parsed.mode == 'R') write = false;
    if (parsed.directory) {
        // "$" is the directory: no file can be written under it. LOAD gets
        // it as a BASIC listing, a data channel as the disk's own blocks.
        if (write) return SetError(kSyntaxName);
        bool listed = channel == kLoadChannel ? List(c, parsed) : RawDirectory(c, parsed);
        if (!listed) return SetError(kNoChannel);
        c.use = Use::kRead;
        // A damaged directory lists what it can and says so.
        return SetError(current_->Status());
    }
    if (parsed.length == 0) return SetError(kSyntaxNoName);
    if (channel != kLoadChannel && channel != kSaveChannel) {
        DriveEntry e;
        bool exists = FindFile(parsed.name, parsed.length, kNoType, &e, false);
        if (parsed.type == kTypeRel || (exists && e.type == kTypeRel && !write))
            return OpenRelative(c, parsed, exists ? &e : nullptr);
    } else if (parsed.type == kTypeRel) {
        return SetError(kFileTypeMismatch);
    }
    if (write) OpenWrite(c, parsed, channel, parsed.mode == 'A');
    else OpenRead(c, parsed, channel);
}

bool Drive::FindFile(const u8* pattern, u32 length, u8 type, DriveEntry* out, bool programsOnly) {
    for (u32 i = 0; current_->Entry(i, out); i++) {
        if (out->type == kTypeDir || out->type == kTypeDel) continue;
        if (type != kNoType && out->type != type) continue;
        if (programsOnly && out->type != kTypePrg) continue;
        if (Matches(pattern, length, out->name, out->nameLength)) return true;
    }
    return false;
}

bool Drive::ReadWhole(const DriveEntry& e, Channel& c, u32 room) {
    if (e.size > kLargestFile || !Reserve(c, e.size + room + 1)) {
        SetError(kNoChannel);
        return false;
    }
    u32 length = 0;
    u8 status = current_->Read(e, c.data + room, e.size, &length);
    if (status != kOk) {
        u16 place = current_->ErrorPlace();
        SetError(status, (u8)(place >> 8), (u8)place);
        return false;
    }
    c.length = room + length;
    return true;
}

void Drive::OpenRead(Channel& c, const FileSpec& parsed, u8 channel) {
    DriveEntry e;
    // A wildcard LOAD takes the first program, as on a CBM drive.
    bool programsOnly = channel == kLoadChannel && parsed.type == kNoType && HasWildcards(parsed.name, parsed.length);
    if (!FindFile(parsed.name, parsed.length, parsed.type, &e, programsOnly))
        return SetError(current_->Ready() ? kFileNotFound : kNotReady);
    // Relative files are read record by record on a data channel only.
    if (e.type == kTypeRel) return SetError(kFileTypeMismatch);
    // Room for a load address in front of a file saved without one.
    if (!ReadWhole(e, c, kLoadAddressBytes)) return Release(c);
    c.position = kLoadAddressBytes;
    c.use = Use::kRead;
    if (channel == kLoadChannel && e.type == kTypePrg && current_->MayHoldHeaderless()) MaybeAddHeader(c);
    SetError(kOk);
}

// Tarn once saved BASIC programs without a load address. Such a file is a
// BASIC program as it lies in memory from the start of BASIC: lines whose
// links climb through the file, each line ending in a zero, the last link
// zero and the file's last two bytes. A standard file for a machine-code
// start just past BASIC's ($0810) never ends that way; only a headerless
// program gets the start of BASIC put in front.
void Drive::MaybeAddHeader(Channel& c) {
    u32 bytes = c.length - c.position;
    const u8* file = c.data + c.position;
    bool headerless = bytes < 2;
    for (u32 at = 0; !headerless && at + 2 <= bytes;) {
        u32 link = file[at] | file[at + 1] << 8;
        if (link == 0) {
            headerless = at + 2 == bytes;
            break;
        }
        u32 next = link - basicStart_;
        if (link <= basicStart_ || next < at + kShortestBasicLine || next >= bytes || file[next - 1] != 0) break;
        at = next;
    }
    if (!headerless) return;
    c.position -= kLoadAddressBytes;
    c.data[c.position] = basicStart_ & 0xFF;
    c.data[c.position + 1] = basicStart_ >> 8;
}

void Drive::OpenWrite(Channel& c, const FileSpec& parsed, u8 channel, bool append) {
    if (!ValidNewName(parsed.name, parsed.length)) return SetError(kSyntaxName);
    u8 type = parsed.type != kNoType ? parsed.type : channel == kSaveChannel ? kTypePrg : kTypeSeq;
    DriveEntry e;
    bool exists = FindFile(parsed.name, parsed.length, kNoType, &e, false);
    if (append) {
        if (!exists) return SetError(kFileNotFound);
        if (e.type == kTypeRel) return SetError(kFileTypeMismatch);
        if (!ReadWhole(e, c, 0)) {
            Release(c);
            c.use = Use::kDropped;
            return;
        }
        type = e.type;
        // Appended to where it is, under the name it has.
        c.overwrite = true;
        c.entry = e;
    } else if (exists && !parsed.replace) {
        return SetError(kFileExists);
    } else if (exists && e.type != type) {
        return SetError(kFileTypeMismatch);
    } else if (!Reserve(c, kFirstWriteBuffer)) {
        c.use = Use::kDropped;
        return SetError(kNoChannel);
    }
    CopyBytes(c.name, parsed.name, parsed.length);
    c.nameLength = parsed.length;
    c.type = type;
    c.replace = exists;
    c.use = Use::kWrite;
    SetError(kOk);
}

u8 Drive::Close(u8 channel) {
    // Closing the command channel closes every file, as on the 1541.
    if (channel == kCommandChannel) {
        u8 status = 0;
        for (u8 i = 0; i < kCommandChannel; i++) status |= Close(i);
        return status;
    }
    Channel& c = channels_[channel];
    u8 status = kOk;
    bool store = c.use == Use::kWrite || (c.use == Use::kRelative && c.changed);
    // A SAVE of nothing (a load address alone) stores no file.
    if (c.use == Use::kWrite && channel == kSaveChannel && c.length <= kLoadAddressBytes)
        status = kSyntaxError;
    else if ((store && !current_) || c.lost)
        // The volume went while the file was open (a stick pulled out):
        // nothing stored is never reported as stored.
        status = kNotReady;
    else if (store && c.overwrite)
        status = current_->Overwrite(c.entry, c.data, c.length);
    else if (store)
        status = current_->Write(c.name, c.nameLength, c.type, c.data, c.length, c.replace);
    Release(c);
    if (status == kOk) return 0;
    // A file that could not be stored also shows in ST, as device not present.
    SetError(status);
    return kStNoDevice;
}

// Any entry, folders too, of exactly this name.
bool Drive::EntryNamed(const u8* name, u32 length, DriveEntry* out) {
    for (u32 i = 0; current_->Entry(i, out); i++)
        if (out->type != kTypeDel && current_->NameIs(*out, name, length)) return true;
    return false;
}

// Every file being written is stored, as closing it would.
void Drive::CloseWrites() {
    for (u8 i = 0; i < kCommandChannel; i++)
        if (channels_[i].use == Use::kWrite || channels_[i].use == Use::kRelative) Close(i);
}

// ---- directories and images ------------------------------------------------------

namespace {

// "NAME.D64" as the PC shows an image file: the length without the extension.
bool StripImageExtension(const u8* name, u32* length) {
    if (*length < 5) return false;
    const u8* x = name + *length - 4;
    bool d = x[1] == 'D' || x[1] == 'd' || x[1] == 0xC4;  // either case, in either character set
    if (x[0] != '.' || !d || x[2] != '6' || x[3] != '4') return false;
    *length -= 4;
    return true;
}

}  // namespace

// A directory by the name the listing shows, by its whole name, or an
// image by the name of its file on the PC.
bool Drive::FindDirectory(const u8* pattern, u32 length, DriveEntry* out) {
    for (u32 i = 0; current_->Entry(i, out); i++)
        if (out->type == kTypeDir &&
            (Matches(pattern, length, out->name, out->nameLength) || current_->NameIs(*out, pattern, length)))
            return true;
    u32 stem = length;
    if (!StripImageExtension(pattern, &stem)) return false;
    for (u32 i = 0; current_->Entry(i, out); i++)
        if (out->image && (Matches(pattern, stem, out->name, out->nameLength) || current_->NameIs(*out, pattern, stem)))
            return true;
    return false;
}

// The image is read whole; changes go back to its file at once.
void Drive::EnterImage(const DriveEntry& e) {
    if (current_ != root_) return SetError(kFileTypeMismatch);  // no image inside an image
    if (e.size > kLargestImage) return SetError(kNotReady);
    u8* bytes = new u8[e.size ? e.size : 1];
    if (!bytes) return SetError(kNoChannel);
    u32 length = 0;
    u8 status = current_->Read(e, bytes, e.size, &length);
    if (status != kOk) {
        delete[] bytes;
        return SetError(status);
    }
    status = image_.Open(bytes, length, current_, e);
    if (status == kOk) current_ = &image_;
    SetError(status);
}

// One level up: out of an image, or to the parent directory; false at the root.
bool Drive::Up() {
    if (current_ == &image_) {
        image_.Close();
        current_ = root_;
        return true;
    }
    return current_ && current_->Leave();
}

// ---- the error channel --------------------------------------------------------

namespace {

struct Message {
    u8 code;
    const char* text;
};

const Message kMessages[] = {
    {kOk, " OK"},
    {kFilesScratched, " FILES SCRATCHED"},
    {kReadError, "READ ERROR"},
    {21, "READ ERROR"},
    {22, "READ ERROR"},
    {23, "READ ERROR"},
    {24, "READ ERROR"},
    {kWriteError, "WRITE ERROR"},
    {kWriteProtect, "WRITE PROTECT ON"},
    {27, "READ ERROR"},
    {28, "WRITE ERROR"},
    {kDiskIdMismatch, "DISK ID MISMATCH"},
    {kSyntaxError, "SYNTAX ERROR"},
    {kSyntaxCommand, "SYNTAX ERROR"},
    {kSyntaxLong, "SYNTAX ERROR"},
    {kSyntaxName, "SYNTAX ERROR"},
    {kSyntaxNoName, "SYNTAX ERROR"},
    {kRecordNotPresent, "RECORD NOT PRESENT"},
    {kOverflowInRecord, "OVERFLOW IN RECORD"},
    {kFileNotOpen, "FILE NOT OPEN"},
    {kFileNotFound, "FILE NOT FOUND"},
    {kFileExists, "FILE EXISTS"},
    {kFileTooLarge, "FILE TOO LARGE"},
    {kFileTypeMismatch, "FILE TYPE MISMATCH"},
    {kIllegalTrackSector, "ILLEGAL TRACK OR SECTOR"},
    {kNoChannel, "NO CHANNEL"},
    {kDirError, "DIR ERROR"},
    {kDiskFull, "DISK FULL"},
    {kDosVersion, "TARN DOS V1.0 DRIVE 8"},
    {kNotReady, "DRIVE NOT READY"},
};

u32 PutNumber(u8* out, u8 n) {
    out[0] = (u8)('0' + n / 10 % 10);
    out[1] = (u8)('0' + n % 10);
    return 2;
}

}  // namespace

void Drive::SetError(u8 code, u8 track, u8 sector) {
    error_ = code;
    errorTrack_ = track;
    errorSector_ = sector;
    errorPosition_ = 0;
}

// "NN,TEXT,TT,SS" and a RETURN.
u32 Drive::ErrorText(u8* out) const {
    const char* text = "SYNTAX ERROR";
    for (const Message& m : kMessages)
        if (m.code == error_) text = m.text;
    u32 n = PutNumber(out, error_);
    out[n++] = ',';
    while (*text) out[n++] = (u8)*text++;
    out[n++] = ',';
    n += PutNumber(out + n, errorTrack_);
    out[n++] = ',';
    n += PutNumber(out + n, errorSector_);
    out[n++] = kReturn;
    return n;
}

u8 Drive::ReceiveError(u8* value) {
    u8 text[48];
    u32 length = ErrorText(text);
    *value = text[errorPosition_ < length ? errorPosition_ : length - 1];
    if (++errorPosition_ < length) return 0;
    // Read to its end, the message gives way to "00, OK".
    SetError(kOk);
    return kStEoi;
}

}  // namespace drive

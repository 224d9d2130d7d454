// Host bridge, LOAD and SAVE side: serves the patched KERNAL's file requests
// from .PRG files in the root directory of the FAT32 volume.
#include "c64/io.h"

#include "filesystem/fat.h"
#if __has_include("c64/memory.h")
#include "c64/memory.h"
#else
// Built alongside the memory map; its processor view as the interface fixes it.
class Memory {
public:
    u8 read_byte(u16 address);
    void write_byte(u16 address, u8 value);
};
#endif

using kestrel::filesystem::Fat32;

namespace {

// KERNAL zero page, as the patched LOAD and SAVE routines leave it.
constexpr u16 kRequest = 0x0002;      // 4 = LOAD, 5 = SAVE, 0 = served
constexpr u16 kTxtTab = 0x002B;       // start of BASIC program (word)
constexpr u16 kVarTab = 0x002D;       // end of BASIC program (word)
constexpr u16 kStatus = 0x0090;       // KERNAL I/O status ST
constexpr u16 kEndAddress = 0x00AE;   // first address after loaded bytes (word)
constexpr u16 kNameLength = 0x00B7;   // file name length
constexpr u16 kSecondary = 0x00B9;    // secondary address
constexpr u16 kNameAddress = 0x00BB;  // file name pointer (word)

constexpr u8 kRequestLoad = 4;
constexpr u8 kRequestSave = 5;

// ST bits: 7 device not present, 6 end of file, 1 read timeout.
constexpr u8 kStLoaded = 0x40;
constexpr u8 kStNotFound = 0x42;
constexpr u8 kStNoDevice = 0x80;

constexpr u8 kHandle = 1;
constexpr u8 kModeRead = 1;
constexpr u8 kModeCreate = 3;
constexpr u8 kFatOk = Fat32::kOk;
constexpr u8 kFatExists = Fat32::kExists;
constexpr u8 kFatEndOfFile = Fat32::kEndOfFile;

constexpr u32 kNameChars = 12;        // "NNNNNNNN.EEE"
constexpr u32 kListingBytes = 4000;   // C64 directory listing buffer

// The directory listing is built here rather than on the heap: one machine
// exists at a time and the buffer is needed only within one request.
u8 g_listing[kListingBytes];

// A request stored while another one is being served (a loaded byte 4 or 5
// landing on $0002) must not start a second transfer on the busy handle.
bool g_serving = false;

u16 read_word(Memory* mem, u16 address) {
    return mem->read_byte(address) | mem->read_byte((u16)(address + 1)) << 8;
}

void write_word(Memory* mem, u16 address, u16 value) {
    mem->write_byte(address, value & 0xFF);
    mem->write_byte((u16)(address + 1), value >> 8);
}

// "        .PRG" with the C64 name copied over its start, at most as many
// characters as the buffer holds.
void build_name(Memory* mem, char name[kNameChars + 1]) {
    const char blank[] = "        .PRG";
    for (u32 i = 0; i <= kNameChars; i++) name[i] = blank[i];
    u32 length = mem->read_byte(kNameLength);
    if (length > kNameChars) length = kNameChars;
    u16 from = read_word(mem, kNameAddress);
    for (u32 i = 0; i < length; i++) name[i] = (char)mem->read_byte((u16)(from + i));
}

bool volume_ready(Fat32* fat) { return fat && fat->mounted(); }

}  // namespace

bool IO::emulate() {
    if (!mem_ || g_serving) return true;
    u8 request = mem_->read_byte(kRequest);
    if (request != kRequestLoad && request != kRequestSave) return true;
    g_serving = true;
    if (request == kRequestLoad) file_load();
    else file_save();
    g_serving = false;
    return true;
}

void IO::file_load() {
    mem_->write_byte(kRequest, 0);
    u8 length = mem_->read_byte(kNameLength);
    u8 secondary = mem_->read_byte(kSecondary);
    u16 address = read_word(mem_, kTxtTab);
    char name[kNameChars + 1];
    build_name(mem_, name);

    if (!volume_ready(fat32_)) {
        mem_->write_byte(kStatus, kStNotFound);
        return;
    }

    if (length == 1 && name[0] == '$') {
        u16 n = fat32_->GetCBMDir(g_listing, kListingBytes);
        if (n > kListingBytes) n = kListingBytes;
        for (u32 i = 0; i < n; i++) mem_->write_byte((u16)(address + i), g_listing[i]);
        write_word(mem_, kEndAddress, (u16)(address + n));
        return;
    }

    // Any file that cannot be opened (missing, unreadable, too big for the
    // heap) must end in an error: the trap reads ST right after this, and
    // the KERNAL cleared it before the request, which BASIC takes as a load.
    if (fat32_->OpenFile(kHandle, name, kModeRead) != kFatOk) {
        mem_->write_byte(kStatus, kStNotFound);
        return;
    }

    u8 b = 0;
    if (secondary == 1) {
        u8 low = 0, high = 0;
        if (fat32_->ReadNextFileByte(kHandle, &low) == kFatEndOfFile) low = 0;
        if (fat32_->ReadNextFileByte(kHandle, &high) == kFatEndOfFile) high = 0;
        address = low | high << 8;
    }
    u32 count = 0;
    bool fits = true;
    while (fat32_->ReadNextFileByte(kHandle, &b) != kFatEndOfFile) {
        // Memory ends at $FFFF: the rest of the file would wrap into the
        // zero page and the stack and stop the machine.
        if (address + count > 0xFFFF) {
            fits = false;
            break;
        }
        mem_->write_byte((u16)(address + count), b);
        count++;
    }
    fat32_->CloseFile(kHandle);
    if (!fits) {
        // Read error for the KERNAL; BASIC keeps its pointers.
        mem_->write_byte(kStatus, kStNotFound);
        return;
    }
    // BASIC takes its end-of-program pointer from here whatever the
    // secondary address, so it always names the end of what was loaded.
    write_word(mem_, kEndAddress, (u16)(address + count));
    mem_->write_byte(kStatus, kStLoaded);
}

void IO::file_save() {
    mem_->write_byte(kRequest, 0);
    u16 start = read_word(mem_, kTxtTab);
    u16 end = read_word(mem_, kVarTab);
    char name[kNameChars + 1];
    build_name(mem_, name);

    // Nothing to save (end at or before the start) leaves no empty file
    // that LOAD could never find.
    if (!volume_ready(fat32_) || end <= start) {
        mem_->write_byte(kStatus, kStNoDevice);
        return;
    }
    u8 status = fat32_->OpenFile(kHandle, name, kModeCreate);
    // An existing file is never replaced; that refusal stays silent.
    if (status == kFatExists) return;
    if (status != kFatOk) {
        mem_->write_byte(kStatus, kStNoDevice);
        return;
    }
    // Inclusive range; the wider counter ends the loop at $FFFF.
    for (u32 a = start; a <= end && status == kFatOk; a++)
        status = fat32_->WriteNextFileByte(kHandle, mem_->read_byte((u16)a));
    u8 closed = fat32_->CloseFile(kHandle);
    if (status == kFatOk) status = closed;
    if (status == kFatOk) return;
    // A program not stored whole is not left behind looking saved.
    fat32_->DeleteFile(name);
    mem_->write_byte(kStatus, kStNoDevice);
}

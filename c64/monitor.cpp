// Machine-language monitor: line editor and command interpreter on the console.
#include "c64/monitor.h"

#include "c64/memory.h"
#include "c64/processor.h"
#include "filesystem/fat.h"
#include "lib/stdio.h"
#include "lib/vga.h"
#include "lib/stdlib.h"

using tarn::filesystem::Fat32;

void (*Monitor::idle_hook)() = nullptr;

namespace {

constexpr u8 kKeyEnter = 10;
constexpr u8 kKeyBackspace = 14;
constexpr u8 kKeyShift = 42;       // either Shift key, as the keyboard driver reports it
constexpr u8 kKeyBackslash = 43;   // the \ | key

// US layout: the character a shifted key types, for keys whose legend
// changes; letters come upper case either way.
struct ShiftedKey {
    char plain;
    char shifted;
};
const ShiftedKey kShifted[] = {
    {'1', '!'}, {'2', '@'}, {'3', '#'}, {'4', '$'}, {'5', '%'}, {'6', '^'}, {'7', '&'},
    {'8', '*'}, {'9', '('}, {'0', ')'}, {'-', '_'}, {'=', '+'}, {'[', '{'}, {']', '}'},
    {';', ':'}, {'\'', '"'}, {'`', '~'}, {',', '<'}, {'.', '>'}, {'/', '?'},
};

// The character a key code types, 0 for keys that type none.
char typed_char(u8 key, bool shift) {
    if (key == kKeyBackslash) return shift ? '|' : '\\';
    if (key < 0x20 || key > 0x7E || key == kKeyShift) return 0;
    if (shift)
        for (const ShiftedKey& k : kShifted)
            if (k.plain == (char)key) return k.shifted;
    return (char)key;
}

constexpr u16 kVarTab = 0x002D;         // BASIC end-of-program pointer (word)
constexpr u16 kDefaultAddress = 0x0800; // L and W when no address is given
constexpr u8 kHandle = 1;               // the file handle the monitor uses
constexpr u8 kModeRead = 1;
constexpr u8 kModeCreate = 3;
constexpr u8 kStatusOk = 0;
constexpr u8 kStatusEndOfFile = 4;
constexpr int kStatusNoVolume = Fat32::kNotMounted;
constexpr int kStatusNoMemory = Fat32::kNoMemory;
constexpr int kStatusBadRange = Fat32::kNotFound;  // W with its end before its start
constexpr int kStatusPastMemory = 13;              // L: the file runs past $FFFF

constexpr u32 kSectorBytes = 512;
constexpr u32 kDefaultDumpBytes = 256;
constexpr int kRuleLength = 52;

const char kTestFileBytes[] = "SBCDEFGHIJKLMNOPQRSTUVWXYZ1234567890AAABBBCCCDD";

void rule() {
    for (int i = 0; i < kRuleLength; i++) printf("=");
    printf("\n");
}

// Copies the run of characters at *pos up to the next space (or, when
// rest is set, to the end of the line) into out; returns true when the run
// ended at a space, i.e. another argument follows.
bool take_argument(const char* line, int* pos, char* out, bool rest) {
    int n = 0;
    while (line[*pos] != 0 && (rest || line[*pos] != ' ')) out[n++] = line[(*pos)++];
    out[n] = 0;
    if (line[*pos] != ' ') return false;
    (*pos)++;
    return true;
}

u32 hex_arg(const char* s) { return (u32)htoi((char*)s); }
u32 dec_arg(const char* s) { return (u32)atoi((char*)s); }

}  // namespace

Monitor::Monitor() : lineLength(0), shiftDown(false), active(true) {
    for (u32 i = 0; i <= kLineMax; i++) line[i] = 0;
}

Monitor::~Monitor() {}

void Monitor::Start() {
    active = true;
    vga_clear();
    vga_cursor_enable();
    printf("Tarn v0.10 - Debugging:\n\n");
    rule();
    help();
    prompt();
    while (active) {
        if (idle_hook) idle_hook();
    }
}

void Monitor::help() {
    printf("Commands:\n");
    printf("M - Memory Display\n");
    printf("R - Register Display\n");
    printf("P - Partition information\n");
    printf("F - Read File (F <filename>)\n");
    printf("S - Sector Display (S sectorNumInHex #bytesInDec)\n");
    printf("D - Directory (ATA FAT32 Harddisk Master 0)\n");
    printf("E - Erase (delete) file\n");
    printf("N - ReName a file\n");
    printf("L - Load file to RAM (L FILENAME.EXT C000)\n");
    printf("W - Write RAM to file (W FILENAME.EXT C000 C1FF)\n");
    printf("ESC - Return to system\n");
    rule();
    printf("Built in ML monitor activated via SYS 36864\n");
}

void Monitor::prompt() {
    for (u32 i = 0; i <= kLineMax; i++) line[i] = 0;
    lineLength = 0;
    printf("\n>");
}

void Monitor::OnKeyDown(u8 key) {
    if (key == kKeyShift) {
        shiftDown = true;
        return;
    }
    char echo[2] = {typed_char(key, shiftDown), 0};
    if (key == kKeyEnter) {
        process_cmd();
        lineLength = 0;
        line[0] = 0;
        prompt();
    } else if (key == kKeyBackspace) {
        if (lineLength == 0) return;
        lineLength--;
        line[lineLength] = 0;
        printf("%c", (char)kKeyBackspace);
    } else {
        if (echo[0] == 0 || lineLength >= kLineMax) return;
        line[lineLength++] = echo[0];
        line[lineLength] = 0;
        printf("%s", echo);
    }
}

void Monitor::OnKeyUp(u8 key) {
    if (key == kKeyShift) shiftDown = false;
}

// Command letter, then up to three arguments each after exactly one space;
// the third runs to the end of the line.
void Monitor::process_cmd() {
    if (lineLength == 0) return;
    line[lineLength] = 0;
    char a1[kLineMax + 1] = {0}, a2[kLineMax + 1] = {0}, a3[kLineMax + 1] = {0};
    int pos = 1;
    if (line[pos] == ' ') {
        pos++;
        if (take_argument(line, &pos, a1, false) && take_argument(line, &pos, a2, false))
            take_argument(line, &pos, a3, true);
    }

    switch (line[0]) {
    case 'M': memory_display(a1, a2); break;
    case 'R': register_display(); break;
    case 'P':
        if (volume_ready()) fat_->ReadPartitions();
        break;
    case 'F': read_file(a1); break;
    case 'S': sector_display(a1, a2); break;
    case 'D':
        if (volume_ready()) fat_->ReadDirectory(hex_arg(a1));
        break;
    case 'E':
        if (volume_ready()) printf("\nstatus=%d", (int)fat_->DeleteFile(a1));
        break;
    case 'N':
        if (volume_ready()) printf("\nstatus=%d", (int)fat_->RenameFile(a1, a2));
        break;
    case 'L': load_file(a1, a2); break;
    case 'W': write_file(a1, a2, a3); break;
    case 'J': write_test_file(a1); break;
    default: printf("?"); break;
    }
}

// Without a mounted volume every disk command ends in one status line.
bool Monitor::volume_ready() {
    if (fat_ && fat_->mounted()) return true;
    printf("\nstatus=%d", kStatusNoVolume);
    // A volume refused for its layout says what was wrong with it.
    if (fat_ && fat_->MountProblem()[0]) printf(" (%s)", fat_->MountProblem());
    return false;
}

void Monitor::memory_display(const char* from, const char* to) {
    u64 start = hex_arg(from);
    u64 end = hex_arg(to);
    if (end == 0) end = start + 16;
    if (end > 0xFFFF) {
        printf("?");
        return;
    }
    if (!mem_) return;
    for (; start < end; start += 16) {
        printf("\n%04X: ", (u32)start);
        for (u32 i = 0; i < 16; i++) {
            printf("%02X", mem_->read_byte((u16)(start + i)));
            printf("%c", ' ');
        }
        for (u32 i = 0; i < 16; i++) {
            u8 b = mem_->read_byte((u16)(start + i));
            if (b >= 0x20 && b <= 0x7E) printf("%c", b);
            else printf(".");
        }
    }
}

// The running core's registers, as they stood when Esc stopped the machine.
void Monitor::register_display() {
    printf("\n PC  SR AC XR YR SP\n");
    if (!cpu_) return;
    Processor::Registers r = cpu_->registers();
    printf("%04X %02X %02X %02X %02X %02X\n", r.pc, r.flags, r.a, r.x, r.y, r.s);
}

// F: the whole file, or only a status when it could not all be read.
void Monitor::read_file(const char* name) {
    if (!volume_ready()) return;
    u8 status = fat_->OpenFile(kHandle, name, kModeRead);
    if (status != kStatusOk) {
        printf("\nstatus=%d", (int)status);
        return;
    }
    printf("\n");
    u8 b = 0;
    while (fat_->ReadNextFileByte(kHandle, &b) == kStatusOk) printf("%c", b);
    fat_->CloseFile(kHandle);
}

void Monitor::sector_display(const char* sector, const char* count) {
    u32 bytes = dec_arg(count);
    if (bytes == 0) bytes = kDefaultDumpBytes;
    if (bytes > kSectorBytes) {
        printf("?");
        return;
    }
    if (!volume_ready()) return;
    u8 buffer[kSectorBytes];
    u8 status = fat_->ReadSector(hex_arg(sector), buffer);
    if (status != kStatusOk) {
        printf("\nstatus=%d", (int)status);
        return;
    }
    displayMemory(buffer, (u16)bytes);
}

// L: every byte of the file, the first two included, from the given address
// on, stopping at $FFFF; BASIC's end-of-program pointer then points past
// the last one.
void Monitor::load_file(const char* name, const char* address) {
    if (!volume_ready()) return;
    u8 status = fat_->OpenFile(kHandle, name, kModeRead);
    if (status == kStatusOk) {
        u16 start = (u16)hex_arg(address);
        if (start == 0) start = kDefaultAddress;
        u32 count = 0;
        u8 b = 0;
        while ((status = fat_->ReadNextFileByte(kHandle, &b)) != kStatusEndOfFile) {
            if (start + count > 0xFFFF) {
                status = kStatusPastMemory;
                break;
            }
            if (mem_) mem_->write_byte((u16)(start + count), b);
            count++;
        }
        fat_->CloseFile(kHandle);
        u16 end = (u16)(start + count);
        if (mem_ && status == kStatusEndOfFile) {
            mem_->write_byte(kVarTab, end & 0xFF);
            mem_->write_byte(kVarTab + 1, end >> 8);
        }
        printf("\n%d bytes written to %04X - %04X", (int)count, start, (u32)(start + count));
    }
    printf("\nstatus=%d", (int)status);
}

// W: the inclusive range start..end (C000 C1FF is 512 bytes); without an
// end, up to BASIC's end-of-program pointer. The file layer keeps all bytes
// handed to it but the last, so one more follows the range.
void Monitor::write_file(const char* name, const char* from, const char* to) {
    u32 start = hex_arg(from);
    if (start == 0) start = kDefaultAddress;
    u32 end = hex_arg(to);
    bool endGiven = to[0] != 0;
    if (endGiven && (end > 0xFFFF || start > 0xFFFF || end < start)) {
        printf("\n%04X > %04X", start, end);
        return;
    }
    if (!volume_ready()) return;
    if (!endGiven) {
        u32 varTab = mem_ ? (mem_->read_byte(kVarTab) | mem_->read_byte(kVarTab + 1) << 8) : 0;
        if (varTab <= start) {
            printf("\nstatus=%d", kStatusBadRange);
            return;
        }
        end = varTab - 1;
    }
    u8 status = fat_->OpenFile(kHandle, name, kModeCreate);
    if (status == kStatusOk) {
        for (u32 a = start; a <= end + 1 && status == kStatusOk; a++)
            status = fat_->WriteNextFileByte(kHandle, mem_ && a <= end ? mem_->read_byte((u16)a) : 0);
        close_written(&status);
        // What was not stored whole is not left behind looking written.
        if (status != kStatusOk) fat_->DeleteFile(name);
    }
    printf("\nstatus=%d", (int)status);
}

// J: a fixed 47-byte file for checking the write path.
void Monitor::write_test_file(const char* name) {
    if (!volume_ready()) return;
    u8 status = fat_->OpenFile(kHandle, name, kModeCreate);
    if (status == kStatusOk) {
        for (u32 i = 0; kTestFileBytes[i] != 0 && status == kStatusOk; i++)
            status = fat_->WriteNextFileByte(kHandle, (u8)kTestFileBytes[i]);
        close_written(&status);
    }
    printf("\nstatus=%d", (int)status);
}

// The data reaches the disk only at close, so a close that fails (no free
// cluster, a disk error) is the status worth showing.
void Monitor::close_written(u8* status) {
    u8 closed = fat_->CloseFile(kHandle);
    if (*status == kStatusOk) *status = closed;
}

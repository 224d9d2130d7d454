// Machine-language monitor: line editor and command interpreter on the console.
#include "c64/monitor.h"

#include "c64/memory.h"
#include "c64/processor.h"
#include "lib/clock.h"
#include "lib/key_queue.h"
#include "lib/stdio.h"
#include "lib/stdlib.h"
#include "lib/us_layout.h"
#include "lib/vga.h"

namespace {

constexpr char kBackspaceEcho = 14;  // the console steps back and clears a cell

constexpr int kRuleLength = 52;

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

}  // namespace

Monitor::Monitor() : lineLength(0), shiftDown(false) {
    for (u32 i = 0; i <= kLineMax; i++) line[i] = 0;
}

Monitor::~Monitor() {}

bool Monitor::run(tarn::KeySource* keys, tarn::Clock* clock) {
    Start();
    for (;;) {
        tarn::KeyEvent event;
        if (!keys->next(&event)) {
            clock->wait_until(clock->milliseconds() + 1);
            continue;
        }
        if (event.down && event.key == tarn::Key::Escape) return false;
        if (event.down && event.key == tarn::Key::F10) return true;
        key(event);
    }
}

void Monitor::Start() {
    vga_clear();
    vga_cursor_enable();
    printf("Tarn v0.10 - Debugging:\n\n");
    rule();
    help();
    prompt();
}

void Monitor::help() {
    printf("Commands:\n");
    printf("M - Memory Display\n");
    printf("R - Register Display\n");
    printf("P - Disks and partitions\n");
    printf("F - Read File (F <filename>)\n");
    printf("S - Sector Display (S sectorNumInHex #bytesInDec)\n");
    printf("D - Directory (drive 8's FAT32 volume)\n");
    printf("E - Erase (delete) file\n");
    printf("N - ReName a file\n");
    printf("L - Load file to RAM (L FILENAME.EXT C000)\n");
    printf("W - Write RAM to file (W FILENAME.EXT C000 C1FF)\n");
    printf("Q - Sound off / on (also the Pause key)\n");
    printf("ESC - Return to system\n");
    rule();
    printf("Built in ML monitor activated via SYS 36864\n");
}

void Monitor::prompt() {
    for (u32 i = 0; i <= kLineMax; i++) line[i] = 0;
    lineLength = 0;
    printf("\n>");
}

void Monitor::key(tarn::KeyEvent event) {
    if (tarn::is_shift(event.key)) {
        shiftDown = event.down;
        return;
    }
    if (!event.down) return;
    if (event.key == tarn::Key::Enter || event.key == tarn::Key::KeypadEnter) {
        process_cmd();
        lineLength = 0;
        line[0] = 0;
        prompt();
    } else if (event.key == tarn::Key::Backspace) {
        if (lineLength == 0) return;
        lineLength--;
        line[lineLength] = 0;
        printf("%c", kBackspaceEcho);
    } else {
        // Letters come upper case either way.
        char c = tarn::us_character(event.key, shiftDown);
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c == 0 || lineLength >= kLineMax) return;
        line[lineLength++] = c;
        line[lineLength] = 0;
        printf("%c", c);
    }
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
    case 'P': partition_display(); break;
    case 'F': read_file(a1); break;
    case 'S': sector_display(a1, a2); break;
    case 'D': directory_display(a1); break;
    case 'E': erase_file(a1); break;
    case 'N': rename_file(a1, a2); break;
    case 'L': load_file(a1, a2); break;
    case 'W': write_file(a1, a2, a3); break;
    case 'J': write_test_file(a1); break;
    case 'Q':
        if (!sound_switch_) printf("?");
        else printf("\nsound %s", sound_switch_(sound_ctx_) ? "off" : "on");
        break;
    default: printf("?"); break;
    }
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

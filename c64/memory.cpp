// C64 address space: RAM, ROM images, processor-port banking and I/O dispatch.
#include "c64/memory.h"

#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/kernal.h"
#include "c64/sid.h"
#include "c64/vic.h"
#include "data/blobs.h"

namespace {
constexpr u32 kSize = 0x10000;
constexpr u16 kPortDdr = 0x0000;       // 6510 data direction register
constexpr u16 kPort = 0x0001;          // 6510 port: LORAM, HIRAM, CHAREN
// Request register of the patched serial bus routines: in I/O 2, the
// expansion port's page that a C64 without a cartridge does not decode,
// so the requests take no byte of the memory programs use.
constexpr u16 kTrapRequest = kernal::kTrapRequest;
constexpr u8 kTrapFirst = kernal::kFirstRequest;  // 4 ATN byte, 5 CIOUT, 6 ACPTR, 7 rest of a LOAD
constexpr u8 kTrapLast = kernal::kLastRequest;
constexpr u16 kPlaceTrigger = 0x0139;  // the core's store hook watches it
constexpr u16 kBasicRom = 0xA000;      // BASIC ROM, 8 KiB
constexpr u16 kCharRom = 0xD000;       // character ROM, 4 KiB
constexpr u16 kKernalRom = 0xE000;     // KERNAL ROM, 8 KiB
constexpr u32 kBasicSize = 0x2000;
constexpr u32 kCharSize = 0x1000;
constexpr u32 kKernalSize = 0x2000;
constexpr u16 kVicPage = 0xD000;       // $D000-$D3FF VIC-II
constexpr u16 kSidPage = 0xD400;       // $D400-$D7FF SID, its 32 registers repeated
constexpr u16 kColourRam = 0xD800;     // $D800-$DBFF colour RAM
constexpr u16 kCia1Page = 0xDC00;      // $DC00-$DCFF CIA 1
constexpr u16 kCia2Page = 0xDD00;      // $DD00-$DDFF CIA 2
constexpr u16 kIo2Page = 0xDF00;       // $DF00-$DFFF I/O 2 (expansion port)
constexpr u16 kBrkVector = 0x0316;     // KERNAL's RAM BRK vector
constexpr u16 kMonitorEntry = 0x9000;
constexpr u16 kVarTab = kernal::kVarTab;
constexpr u8 kPowerOnDdr = 0x2F;
constexpr u8 kPortBitLoram = 0x01;
constexpr u8 kPortBitHiram = 0x02;
constexpr u8 kPortBitCharen = 0x04;
constexpr u8 kPortBankBits = kPortBitLoram | kPortBitHiram | kPortBitCharen;
// Port lines that are inputs read what is outside: LORAM, HIRAM, CHAREN and
// the cassette sense (bit 4) have pull-ups, the cassette write and motor
// lines (bits 3 and 5) read low. Bits 6 and 7 are connected to nothing: an
// input there reads the charge the pin kept from when it was last driven,
// which leaks away in a fraction of a second (a third of one here, varying
// with the chip and its temperature on real machines).
constexpr u8 kPortPulledUp = 0x17;
constexpr u8 kPortFloating = 0xC0;
constexpr u32 kPortFadeCycles = 350000;

struct RomPatch {
    u16 address;
    u8 value;
};

// Keyboard decode table: the PC keyboard delivers these characters where the
// C64 keyboard has other symbols on the same keys.
const RomPatch kKeyboardPatches[] = {
    {0xEBAE, 0x3B}, {0xEBAF, 0x5B}, {0xEBB2, 0x5D}, {0xEBB3, 0x27}, {0xEBD5, 0x5E},
    {0xEBDA, 0x26}, {0xEBDD, 0x2A}, {0xEBE2, 0x28}, {0xEBE5, 0x29}, {0xEBEF, 0x3A},
    {0xEBF4, 0x22}, {0xEBF7, 0x2B}, {0xEBFD, 0x40},
};

// The serial bus routines become traps into the host's drive 8: each
// leaves its byte in $95 (or takes it from $A4) and stores a request code in
// $DF80, which the host serves before the next instruction. X and Y are kept,
// as the KERNAL's callers rely on them.
struct CodePatch {
    u16 address;
    u8 length;
    u8 code[24];
};
const CodePatch kBusPatches[] = {
    // $ED11, the byte under ATN for TALK/LISTEN (which keep their ORA and
    // RS-232 wait in front): STA $95; LDA #$04; STA $DF80; CLI; CLC; RTS
    {0xED11, 10, {0x85, 0x95, 0xA9, 0x04, 0x8D, 0x80, 0xDF, 0x58, 0x18, 0x60}},
    // SECOND: JMP $ED11
    {0xEDB9, 3, {0x4C, 0x11, 0xED}},
    // TKSA: JMP $ED11; its turnaround half (CHKIN without a secondary
    // address): CLI; RTS
    {0xEDC7, 3, {0x4C, 0x11, 0xED}},
    {0xEDCC, 2, {0x58, 0x60}},
    // CIOUT: STA $95; LDA #$05; STA $DF80; LDA $95; CLC; RTS
    {0xEDDD, 11, {0x85, 0x95, 0xA9, 0x05, 0x8D, 0x80, 0xDF, 0xA5, 0x95, 0x18, 0x60}},
    // UNTLK: LDA #$5F; JMP $ED11
    {0xEDEF, 5, {0xA9, 0x5F, 0x4C, 0x11, 0xED}},
    // UNLSN: LDA #$3F; JMP $ED11
    {0xEDFE, 5, {0xA9, 0x3F, 0x4C, 0x11, 0xED}},
    // ACPTR: LDA #$06; STA $DF80; LDA $A4; CLI; CLC; RTS
    {0xEE13, 10, {0xA9, 0x06, 0x8D, 0x80, 0xDF, 0xA5, 0xA4, 0x58, 0x18, 0x60}},
    // LOAD's byte loop, preceded by the rest of the file at once (in the
    // space the old bus code left): JSR $F5D2 (LOADING); LDA $93; BNE rts
    // (VERIFY: byte loop); LDA #$07; STA $DF80; BIT $90; BVC rts; PLA; PLA;
    // JMP $F528 (UNTALK, CLOSE, return); rts: RTS
    {0xEE20, 22, {0x20, 0xD2, 0xF5, 0xA5, 0x93, 0xD0, 0x0E, 0xA9, 0x07, 0x8D, 0x80, 0xDF,
                  0x24, 0x90, 0x50, 0x05, 0x68, 0x68, 0x4C, 0x28, 0xF5, 0x60}},
    // LOAD: JSR $EE20 in place of JSR $F5D2
    {0xF4F0, 3, {0x20, 0x20, 0xEE}},
};

void copy_bytes(u8* dst, const u8* src, u32 n) {
    for (u32 i = 0; i < n; i++) dst[i] = src[i];
}
}  // namespace

Memory::Memory()
    : ram(new u8[kSize]),
      rom(new u8[kSize]),
      monitor_prg_(data_monitor_prg),
      monitor_len_(data_size(data_monitor_prg, data_monitor_prg_end)),
      program_prg_(data_program_prg),
      program_len_(data_size(data_program_prg, data_program_prg_end)) {
    // Power-on pattern of the DRAM chips: even addresses $00, odd $FF.
    for (u32 i = 0; i < kSize; i++) {
        ram[i] = (i & 1) ? 0xFF : 0x00;
        rom[i] = 0;
    }
    setup_memory_banks(7);
    ram[kPortDdr] = kPowerOnDdr;
}

Memory::~Memory() {
    delete[] ram;
    delete[] rom;
}

void Memory::program_images(const u8* monitor_prg, u32 monitor_len, const u8* program_prg, u32 program_len) {
    monitor_prg_ = monitor_prg;
    monitor_len_ = monitor_prg ? monitor_len : 0;
    program_prg_ = program_prg;
    program_len_ = program_prg ? program_len : 0;
}

void Memory::setup_memory_banks(u8 value) {
    for (u8& b : banks) b = kRAM;
    copy_bytes(rom + kBasicRom, data_basic_rom, kBasicSize);
    copy_bytes(rom + kCharRom, data_char_rom, kCharSize);
    copy_bytes(rom + kKernalRom, data_kernal_rom, kKernalSize);
    patch_roms();

    bool loram = (value & kPortBitLoram) != 0;
    bool hiram = (value & kPortBitHiram) != 0;
    bool charen = (value & kPortBitCharen) != 0;
    if (hiram) banks[kBankKernal] = kROM;
    if (loram && hiram) banks[kBankBasic] = kROM;
    // With LORAM and HIRAM both low the PLA selects RAM everywhere,
    // whatever CHAREN says.
    if (!loram && !hiram)
        banks[kBankCharen] = kRAM;
    else if (charen)
        banks[kBankCharen] = kIO;
    else
        banks[kBankCharen] = kROM;
    ram[kPort] = value;
    map_pages();
}

void Memory::patch_roms() {
    for (const RomPatch& p : kKeyboardPatches)
        rom[p.address] = keyboard_patched_ ? p.value : data_kernal_rom[p.address - kKernalRom];
    for (const CodePatch& p : kBusPatches) copy_bytes(rom + p.address, p.code, p.length);
}

// Copies a program file (2-byte load address, then the bytes) into RAM,
// stopping at the image's end or at $FFFF, whichever comes first.
void Memory::copy_image(const u8* image, u32 len) {
    if (!image || len < 2) return;
    u32 load = static_cast<u32>(image[0] | (image[1] << 8));
    u32 n = len - 2;
    if (n > kSize - load) n = kSize - load;
    copy_bytes(ram + load, image + 2, n);
}

void Memory::patch_ram() {
    copy_image(monitor_prg_, monitor_len_);
    ram[kBrkVector] = static_cast<u8>(kMonitorEntry & 0xFF);
    ram[kBrkVector + 1] = static_cast<u8>(kMonitorEntry >> 8);
    copy_image(program_prg_, program_len_);
    // Start of variables: one past the program's last byte.
    if (program_prg_ && program_len_ >= 2) {
        u32 end = static_cast<u32>(program_prg_[0] | (program_prg_[1] << 8)) + program_len_ - 2;
        if (end > 0xFFFF) end = 0xFFFF;
        ram[kVarTab] = static_cast<u8>(end & 0xFF);
        ram[kVarTab + 1] = static_cast<u8>(end >> 8);
    }
}

// Every page that is plain RAM or ROM for the current banks is served
// straight from its array; only the I/O pages and the bytes with side
// effects on a store take the checks below.
void Memory::map_pages() {
    for (u32 page = 0; page < 256; page++) {
        read_pages_[page] = ram;
        write_pages_[page] = ram;
    }
    if (banks[kBankBasic] == kROM)
        for (u32 page = kBasicRom >> 8; page < (kBasicRom + kBasicSize) >> 8; page++) read_pages_[page] = rom;
    if (banks[kBankKernal] == kROM)
        for (u32 page = kKernalRom >> 8; page < (kKernalRom + kKernalSize) >> 8; page++) read_pages_[page] = rom;
    switch (banks[kBankCharen]) {
    case kIO:
        for (u32 page = kVicPage >> 8; page < kSidPage >> 8; page++) read_pages_[page] = write_pages_[page] = nullptr;
        for (u32 page = kSidPage >> 8; page < kColourRam >> 8; page++) read_pages_[page] = write_pages_[page] = nullptr;
        read_pages_[kCia1Page >> 8] = write_pages_[kCia1Page >> 8] = nullptr;
        read_pages_[kCia2Page >> 8] = write_pages_[kCia2Page >> 8] = nullptr;
        write_pages_[kIo2Page >> 8] = nullptr;  // the trap request register
        break;
    case kROM:
        for (u32 page = kCharRom >> 8; page < (kCharRom + kCharSize) >> 8; page++) read_pages_[page] = rom;
        break;
    default:
        break;
    }
    // While a port bit's charge is leaking away, reads of $01 look at the clock.
    read_pages_[kPort >> 8] = port_fading() ? nullptr : ram;
    write_pages_[kPort >> 8] = nullptr;          // the port
    write_pages_[kPlaceTrigger >> 8] = nullptr;  // program placement trigger, seen by the core's hook
}

u8 Memory::read_byte(u16 address) {
    const u8* base = read_pages_[address >> 8];
    if (base) return base[address];
    return read_io(address);
}

u8 Memory::read_io(u16 address) {
    u16 page = address & 0xFF00;
    if (page == 0) {
        fade_port();
        return ram[address];
    }
    bool io = banks[kBankCharen] == kIO;
    if (page >= kVicPage && page < kSidPage) {
        if (io && vic_) return vic_->read_register(static_cast<u8>(address & 0x7F));
        return banks[kBankCharen] == kROM ? rom[address] : ram[address];
    }
    if (page >= kSidPage && page < kColourRam && io && sid_) return sid_->read_register(static_cast<u8>(address & 0x1F));
    if (page == kCia1Page && io && cia1_) return cia1_->read_register(static_cast<u8>(address & 0x0F));
    if (page == kCia2Page && io && cia2_) return cia2_->read_register(static_cast<u8>(address & 0x0F));
    return ram[address];
}

void Memory::write_byte(u16 address, u8 value) {
    u8* base = write_pages_[address >> 8];
    if (base)
        base[address] = value;
    else
        write_special(address, value);
}

void Memory::write_special(u16 address, u8 value) {
    u16 page = address & 0xFF00;
    if (page == 0) {
        if (address == kPort || address == kPortDdr) return write_port(address, value);
        ram[address] = value;
        return;
    }
    bool io = banks[kBankCharen] == kIO;
    if (page == kIo2Page) {
        if (io && address == kTrapRequest && value >= kTrapFirst && value <= kTrapLast) {
            trap_request_ = value;
            if (trap_fn_) trap_fn_(trap_ctx_);
            return;
        }
        ram[address] = value;
        return;
    }
    if (page >= kVicPage && page < kSidPage) {
        if (io && vic_) vic_->write_register(static_cast<u8>(address & 0x7F), value);
        else if (!io) ram[address] = value;
        return;
    }
    if (page == kCia1Page) {
        if (io && cia1_) cia1_->write_register(static_cast<u8>(address & 0x0F), value);
        else if (!io) ram[address] = value;
        return;
    }
    if (page == kCia2Page) {
        if (io && cia2_) cia2_->write_register(static_cast<u8>(address & 0x0F), value);
        else if (!io) ram[address] = value;
        return;
    }
    if (page >= kSidPage && page < kColourRam) {
        if (io && sid_) sid_->write_register(static_cast<u8>(address & 0x1F), value);
        else if (!io) ram[address] = value;
        return;
    }
    ram[address] = value;
}

void Memory::write_port(u16 address, u8 value) {
    fade_port();
    u8 released = ram[kPortDdr];
    if (address == kPort) port_out_ = value;
    else ram[kPortDdr] = value;
    u8 ddr = ram[kPortDdr];
    released &= static_cast<u8>(~ddr);
    // Driven pins take the latch's level; a charged pin just released starts to leak.
    port_charge_ = static_cast<u8>(((port_charge_ & ~ddr) | (port_out_ & ddr)) & kPortFloating);
    if ((released & port_charge_) && clock_) fade_at_ = *clock_ + kPortFadeCycles;
    u8 levels = port_levels();
    // The KERNAL's interrupt rewrites the cassette bits every jiffy; the map
    // (and the ROM images, which nothing else writes) only change with the
    // three banking bits.
    if (((levels ^ ram[kPort]) & kPortBankBits) != 0) return setup_memory_banks(levels);
    ram[kPort] = levels;
    read_pages_[kPort >> 8] = port_fading() ? nullptr : ram;
}

bool Memory::port_fading() const {
    return clock_ && (port_charge_ & static_cast<u8>(~ram[kPortDdr])) != 0;
}

// Once its time has come, the charge of undriven pins is gone.
void Memory::fade_port() {
    if (!port_fading() || static_cast<i32>(*clock_ - fade_at_) < 0) return;
    port_charge_ &= ram[kPortDdr];
    ram[kPort] = port_levels();
    read_pages_[kPort >> 8] = ram;
}

// What the port's pins carry: the output latch where $00 makes a bit an
// output, the outside level where it is an input. Banking and reads of $01
// both see these levels.
u8 Memory::port_levels() const {
    u8 ddr = ram[kPortDdr];
    u8 outside = static_cast<u8>(kPortPulledUp | port_charge_);
    return static_cast<u8>((port_out_ & ddr) | (outside & static_cast<u8>(~ddr)));
}

u16 Memory::read_word(u16 address) {
    return static_cast<u16>(read_byte(address) | (read_byte(static_cast<u16>(address + 1)) << 8));
}

u8 Memory::vic_read_byte(u16 address) {
    u16 base = cia2_ ? cia2_->vic_base_address() : 0;
    u16 p = static_cast<u16>(base + (address & 0x3FFF));
    // Banks 0 and 2 see the character ROM at $1000-$1FFF of the bank.
    if ((p >= 0x1000 && p < 0x2000) || (p >= 0x9000 && p < 0xA000)) return rom[(p & 0x0FFF) | kCharRom];
    return ram[p];
}

const u8* Memory::vic_block(u16 address) {
    u16 base = cia2_ ? cia2_->vic_base_address() : 0;
    u16 p = static_cast<u16>(base + (address & 0x3000));
    if (p == 0x1000 || p == 0x9000) return rom + kCharRom;
    return ram + p;
}

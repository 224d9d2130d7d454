// C64 address space: RAM, ROM images, processor-port banking and I/O dispatch.
#ifndef TARN_C64_MEMORY_H
#define TARN_C64_MEMORY_H

#include "lib/types.h"

class Vic;
class Cia1;
class Cia2;
class Sid;

class Memory {
public:
    Memory();
    ~Memory();
    Memory(const Memory&) = delete;
    Memory& operator=(const Memory&) = delete;

    void vic(Vic* v) { vic_ = v; }
    void cia1(Cia1* c) { cia1_ = c; }
    void cia2(Cia2* c) { cia2_ = c; }
    void sid(Sid* s) { sid_ = s; }

    u8 read_byte(u16 address);
    void write_byte(u16 address, u8 value);
    u8 read_byte_no_io(u16 address) const { return ram[address]; }
    // Colour memory: 1000 nibbles at $D800, where the VIC reads them.
    static constexpr u16 kColourRam = 0xD800;
    u8 colour(int index) const { return ram[kColourRam + index] & 0x0F; }
    // The 64 KiB of RAM, for debuggers.
    const u8* ram_image() const { return ram; }
    void write_byte_no_io(u16 address, u8 value) { ram[address] = value; }
    u16 read_word(u16 address);
    u8 vic_read_byte(u16 address);
    // The VIC's view of the 4 KiB block holding address (bank offset, as
    // for vic_read_byte), indexed by (address & 0x0FFF): a whole character
    // set or half a bitmap in one look-up.
    const u8* vic_block(u16 address);

    void setup_memory_banks(u8 value);
    void patch_roms();
    // Text mode's typing patches the KERNAL's keyboard decode table to the
    // PC's legends; full mode's key matrix needs the C64's own table.
    void keyboard_table_patched(bool on) {
        keyboard_patched_ = on;
        patch_roms();
    }
    // Places the built-in program images; the core calls it when BASIC's
    // POKE statement writes $FF to $0139 (POKE 313,255).
    void patch_ram();
    // The processor's cycle counter, the time base of the port's fading
    // input bits (null: they keep their charge).
    void clock(const u32* cycles) { clock_ = cycles; }

    // Called after a processor store of 4 to 7 to $0002, the request byte
    // the patched serial bus routines leave for the host's drive 8.
    void trap_hook(void (*fn)(void* ctx), void* ctx) { trap_fn_ = fn; trap_ctx_ = ctx; }
    // The serial bus request the patched KERNAL stored last (4-7), taken
    // once; 0 when none waits.
    u8 take_trap_request() {
        u8 r = trap_request_;
        trap_request_ = 0;
        return r;
    }
    // Program images (with their 2-byte load address) placed by patch_ram.
    void program_images(const u8* monitor_prg, u32 monitor_len, const u8* program_prg, u32 program_len);

    // Bank settings of the seven regions.
    static constexpr u8 kROM = 0;
    static constexpr u8 kRAM = 1;
    static constexpr u8 kIO = 2;
    static constexpr int kBankBasic = 3;   // $A000-$BFFF
    static constexpr int kBankCharen = 5;  // $D000-$DFFF
    static constexpr int kBankKernal = 6;  // $E000-$FFFF
    u8 bank(int region) const { return banks[region]; }

    // Processor page maps (see core6502_bind_pages): entry N is the array
    // that serves page N directly (ram or rom, indexed by the full address),
    // or null when page N needs the checks of read_byte/write_byte (I/O,
    // the port bytes in page 0, the trigger byte in page 1, and
    // reads of page 0 while a port pin's charge leaks away).
    // Rebuilt on every bank change; the tables stay at the same address.
    u8* const* read_pages() const { return read_pages_; }
    u8* const* write_pages() const { return write_pages_; }

private:
    u8 port_levels() const;
    void write_port(u16 address, u8 value);
    bool port_fading() const;
    void fade_port();
    void copy_image(const u8* image, u32 len);
    void map_pages();
    u8 read_io(u16 address);
    void write_special(u16 address, u8 value);

    u8* ram;
    u8* rom;
    u8 banks[7];
    bool keyboard_patched_ = true;
    u8 port_out_ = 7;  // the 6510 port's output latch, as last written to $01
    u8 port_charge_ = 0;   // bits 6-7: the level they held when last driven
    u32 fade_at_ = 0;      // cycle at which an undriven charge has leaked away
    const u32* clock_ = nullptr;
    Vic* vic_ = nullptr;
    Cia1* cia1_ = nullptr;
    Cia2* cia2_ = nullptr;
    Sid* sid_ = nullptr;
    void (*trap_fn_)(void*) = nullptr;
    void* trap_ctx_ = nullptr;
    u8 trap_request_ = 0;
    const u8* monitor_prg_;
    u32 monitor_len_;
    const u8* program_prg_;
    u32 program_len_;
    u8* read_pages_[256];
    u8* write_pages_[256];
};

#endif

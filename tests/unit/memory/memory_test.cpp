// Memory map: power-on state, banking for every port value, I/O dispatch,
// ROM patches, program placement, the LOAD/SAVE trap hook and the VIC view.
#include <gtest/gtest.h>

#include <vector>

#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/control_ports.h"
#include "c64/memory.h"
#include "c64/sid.h"
#include "c64/vic.h"
#include "data/blobs.h"

namespace {

struct Wired {
    Memory mem;
    Vic vic;
    Sid sid;
    Cia1 cia1;
    Cia2 cia2;
    ControlPorts ports;
    Wired() {
        sid.pot_lines(&ports);
        cia1.ports(&ports);
        mem.vic(&vic);
        mem.sid(&sid);
        mem.cia1(&cia1);
        mem.cia2(&cia2);
    }
};

TEST(Memory, PowerOnStateHasPatternPortAndRoms) {
    Wired w;
    EXPECT_EQ(w.mem.read_byte(0x0000), 0x2F);
    EXPECT_EQ(w.mem.read_byte(0x0001), 0x07);
    EXPECT_EQ(w.mem.read_byte(0x0002), 0x00);
    EXPECT_EQ(w.mem.read_byte(0x0003), 0xFF);
    EXPECT_EQ(w.mem.read_byte_no_io(0x8000), 0x00);
    EXPECT_EQ(w.mem.read_byte_no_io(0x8001), 0xFF);
    EXPECT_EQ(w.mem.read_byte(0xA000), data_basic_rom[0]);
    EXPECT_EQ(w.mem.read_byte(0xE000), data_kernal_rom[0]);
    EXPECT_EQ(w.mem.read_word(0xFFFC), data_kernal_rom[0x1FFC] | data_kernal_rom[0x1FFD] << 8);
    w.vic.write_register(0x00, 0x5A);
    EXPECT_EQ(w.mem.read_byte(0xD000), 0x5A);
}

// Expected source of a read in each region, per port value.
enum Src { RAM, BASIC, KERNAL, CHAR, IO };

struct PortRow {
    u8 port;
    Src basic, d000, kernal;
};

const PortRow kMap[] = {
    {7, BASIC, IO, KERNAL}, {6, RAM, IO, KERNAL}, {5, RAM, IO, RAM},     {4, RAM, RAM, RAM},
    {3, BASIC, CHAR, KERNAL}, {2, RAM, CHAR, KERNAL}, {1, RAM, CHAR, RAM}, {0, RAM, RAM, RAM},
};

TEST(Memory, BankingMapMatchesEveryPortValue) {
    for (const PortRow& row : kMap) {
        Wired w;
        // Distinct RAM contents under every ROM and I/O page.
        for (u16 a : {0xA123, 0xD123, 0xDC01, 0xDD01, 0xE123, 0xD812, 0xD412})
            w.mem.write_byte_no_io(a, 0xC5);
        w.vic.write_register(0x23, 0x99);
        w.mem.write_byte(0x0001, static_cast<u8>(0x30 | row.port));  // upper bits do not matter
        SCOPED_TRACE(testing::Message() << "port " << int(row.port));
        EXPECT_EQ(w.mem.read_byte(0x0001), 0x30 | row.port);
        EXPECT_EQ(w.mem.read_byte(0xA123), row.basic == BASIC ? data_basic_rom[0x123] : 0xC5);
        EXPECT_EQ(w.mem.read_byte(0xE123), row.kernal == KERNAL ? data_kernal_rom[0x123] : 0xC5);
        u8 d = w.mem.read_byte(0xD123);
        if (row.d000 == IO) EXPECT_EQ(d, 0xF9);  // background colour 2: low nibble, unused bits 1
        if (row.d000 == CHAR) EXPECT_EQ(d, data_char_rom[0x123]);
        if (row.d000 == RAM) EXPECT_EQ(d, 0xC5);
        // The character ROM fills $D000-$DFFF; in I/O, colour RAM reads RAM
        // and the SID and CIA pages dispatch (a write-only SID register reads
        // what the bus last carried).
        EXPECT_EQ(w.mem.read_byte(0xD812), row.d000 == CHAR ? data_char_rom[0x812] : 0xC5);
        EXPECT_EQ(w.mem.read_byte(0xD412), row.d000 == CHAR ? data_char_rom[0x412] : row.d000 == IO ? 0x00 : 0xC5);
        u8 cia = row.d000 == IO ? 0xFF : row.d000 == CHAR ? data_char_rom[0xC01] : 0xC5;  // no key pressed
        EXPECT_EQ(w.mem.read_byte(0xDC01), cia);
        EXPECT_EQ(w.mem.read_byte(0xDD01), row.d000 == CHAR ? data_char_rom[0xD01] : row.d000 == IO ? 0xFF : 0xC5);
        EXPECT_EQ(w.mem.bank(Memory::kBankCharen), row.d000 == IO ? Memory::kIO : row.d000 == CHAR ? Memory::kROM : Memory::kRAM);
    }
}

TEST(Memory, WritesUnderRomLandInRam) {
    Wired w;
    w.mem.write_byte(0xA000, 0x12);
    w.mem.write_byte(0xE000, 0x34);
    EXPECT_EQ(w.mem.read_byte(0xA000), data_basic_rom[0]);
    w.mem.write_byte(0x0001, 0x36);
    EXPECT_EQ(w.mem.read_byte(0xA000), 0x12);
    EXPECT_EQ(w.mem.read_byte(0xE000), data_kernal_rom[0]);
    w.mem.write_byte(0x0001, 0x35);
    EXPECT_EQ(w.mem.read_byte(0xE000), 0x34);
}

TEST(Memory, IoWritesDispatchWithMasksAndLeaveRamAlone) {
    Wired w;
    u8 ram_d000 = w.mem.read_byte_no_io(0xD000);
    w.mem.write_byte(0xD080, 0x3C);  // mirror of register 0
    EXPECT_EQ(w.vic.read_register(0x00), 0x3C);
    EXPECT_EQ(w.mem.read_byte(0xD380), 0x3C);  // $D380 & $7F = register 0
    EXPECT_EQ(w.mem.read_byte_no_io(0xD000), ram_d000);
    EXPECT_EQ(w.mem.read_byte_no_io(0xD080), 0x00);

    // The SID's 32 registers repeat up to $D7FF.
    u8 ram_sid = w.mem.read_byte_no_io(0xD7F8);
    w.mem.write_byte(0xD7F8, 0x0F);  // $D7F8 & $1F = $18, the volume
    EXPECT_EQ(w.sid.volume(), 0x0F);
    EXPECT_EQ(w.mem.read_byte_no_io(0xD7F8), ram_sid);
    w.ports.pots(1, 0x12, 0x34);
    EXPECT_EQ(w.mem.read_byte(0xD519), 0x12);
    EXPECT_EQ(w.mem.read_byte(0xD63A), 0x34);

    // CIA 1 timer A latch through a mirror ($DC14 -> register 4), force-loaded.
    w.mem.write_byte(0xDC14, 0x34);
    w.mem.write_byte(0xDC05, 0x12);
    w.mem.write_byte(0xDC0E, 0x10);
    EXPECT_EQ(w.mem.read_byte(0xDC04), 0x34);
    EXPECT_EQ(w.mem.read_byte(0xDCF5), 0x12);
    EXPECT_EQ(w.mem.read_byte_no_io(0xDC14), 0x00);

    w.mem.write_byte(0xDD00, 0x94);
    EXPECT_EQ(w.mem.read_byte(0xDD10), 0xD4);  // serial bus inputs 6-7 idle high
    EXPECT_EQ(w.cia2.vic_base_address(), 0xC000);
}

TEST(Memory, IoPagesAreRamWhenBankedOut) {
    Wired w;
    w.mem.write_byte(0x0001, 0x34);
    w.mem.write_byte(0xD020, 0x01);
    w.mem.write_byte(0xDC0E, 0x10);
    w.mem.write_byte(0xDD00, 0x94);
    w.mem.write_byte(0xD418, 0x0F);
    EXPECT_EQ(w.mem.read_byte(0xD020), 0x01);
    EXPECT_EQ(w.mem.read_byte(0xDD00), 0x94);
    EXPECT_EQ(w.mem.read_byte(0xD418), 0x0F);
    EXPECT_EQ(w.cia2.vic_base_address(), 0x0000);  // CIA 2 never saw the write
    EXPECT_EQ(w.vic.read_register(0x20), 0xF0);  // the VIC never saw the write
}

TEST(Memory, ZeroPageAddressZeroIsPlainRam) {
    Wired w;
    w.mem.write_byte(0x0000, 0x00);
    EXPECT_EQ(w.mem.read_byte(0x0000), 0x00);
    EXPECT_EQ(w.mem.read_byte(0xA000), data_basic_rom[0]);  // banking untouched
}

TEST(Memory, ProcessorPortReadsOutputsWhereDirectedAndPinLevelsElsewhere) {
    Wired w;
    u32 cycles = 1000;
    w.mem.clock(&cycles);
    w.mem.write_byte(0x0000, 0x00);  // every line an input
    w.mem.write_byte(0x0001, 0xFF);
    EXPECT_EQ(w.mem.read_byte(0x0001), 0x17);  // pull-ups; 3 and 5 low; 6-7 never driven
    // Inputs pulled up: LORAM, HIRAM and CHAREN high whatever was written.
    EXPECT_EQ(w.mem.read_byte(0xA000), data_basic_rom[0]);
    EXPECT_EQ(w.mem.bank(Memory::kBankCharen), Memory::kIO);
    w.mem.write_byte(0x0000, 0x2F);  // the KERNAL's directions: now the zeros count
    w.mem.write_byte(0x0001, 0x00);
    EXPECT_EQ(w.mem.read_byte(0x0001), 0x10);
    EXPECT_EQ(w.mem.bank(Memory::kBankCharen), Memory::kRAM);
    EXPECT_EQ(w.mem.bank(Memory::kBankKernal), Memory::kRAM);
    w.mem.write_byte(0x0001, 0xF6);
    EXPECT_EQ(w.mem.read_byte(0x0001), 0x36);  // bit 4 pulled up, 6-7 undriven
    EXPECT_EQ(w.mem.bank(Memory::kBankBasic), Memory::kRAM);
    EXPECT_EQ(w.mem.bank(Memory::kBankKernal), Memory::kROM);
    // Bits 6-7 driven high, then released: they read high until the charge
    // has leaked away, a third of a second later.
    w.mem.write_byte(0x0000, 0xEF);
    EXPECT_EQ(w.mem.read_byte(0x0001), 0xF6);
    w.mem.write_byte(0x0000, 0x2F);
    cycles += 349000;
    EXPECT_EQ(w.mem.read_byte(0x0001), 0xF6);
    cycles += 2000;
    EXPECT_EQ(w.mem.read_byte(0x0001), 0x36);
    EXPECT_EQ(w.mem.read_pages()[0], w.mem.read_pages()[2]);  // page 0 mapped again
}

TEST(Memory, RomPatchesSurviveEveryBankSwitch) {
    Wired w;
    // ACPTR: LDA #$06; STA $DF80; LDA $A4; CLI; CLC; RTS
    const u8 acptr[] = {0xA9, 0x06, 0x8D, 0x80, 0xDF, 0xA5, 0xA4, 0x58, 0x18, 0x60};
    // LOAD calls the one-request loader in place of its LOADING message.
    const u8 load[] = {0x20, 0x20, 0xEE};
    for (u8 port : {0x37, 0x35, 0x36}) {
        w.mem.write_byte(0x0001, port);
        w.mem.write_byte(0x0001, 0x37);
        for (unsigned i = 0; i < sizeof acptr; i++) EXPECT_EQ(w.mem.read_byte(0xEE13 + i), acptr[i]);
        for (unsigned i = 0; i < sizeof load; i++) EXPECT_EQ(w.mem.read_byte(0xF4F0 + i), load[i]);
        EXPECT_EQ(w.mem.read_byte(0xEBAE), 0x3B);
        EXPECT_EQ(w.mem.read_byte(0xEBFD), 0x40);
        EXPECT_EQ(w.mem.read_byte(0xEBDD), 0x2A);
        EXPECT_EQ(w.mem.read_byte(0xEE12), data_kernal_rom[0x0E12]);  // neighbours untouched
        EXPECT_EQ(w.mem.read_byte(0xF4EF), data_kernal_rom[0x14EF]);
        // The old LOAD and SAVE traps are gone: the KERNAL's own code runs.
        EXPECT_EQ(w.mem.read_byte(0xF4C4), data_kernal_rom[0x14C4]);
        EXPECT_EQ(w.mem.read_byte(0xF605), data_kernal_rom[0x1605]);
    }
}

struct HookLog {
    int calls = 0;
    u8 seen = 0;
    Memory* mem = nullptr;
};

void record(void* ctx) {
    HookLog* log = static_cast<HookLog*>(ctx);
    log->calls++;
    log->seen = log->mem->take_trap_request();
}

// The request register sits in I/O 2, so requests leave every RAM byte a
// program owns alone (cc65 keeps its stack pointer in $02-$03).
TEST(Memory, TrapHookFiresOnSerialBusRequestsOnlyAndLeavesRamAlone) {
    Wired w;
    HookLog log;
    log.mem = &w.mem;
    w.mem.write_byte(0x0002, 0x42);
    w.mem.write_byte(0xDF80, 4);  // no hook yet: kept for the next take
    EXPECT_EQ(log.calls, 0);
    EXPECT_EQ(w.mem.take_trap_request(), 4);
    EXPECT_EQ(w.mem.take_trap_request(), 0);
    w.mem.trap_hook(record, &log);
    for (u8 v : {4, 5, 7}) {
        w.mem.write_byte(0xDF80, v);
        EXPECT_EQ(log.seen, v);
    }
    EXPECT_EQ(log.calls, 3);
    for (u8 v : {0, 3, 8, 0xFF}) w.mem.write_byte(0xDF80, v);
    w.mem.write_byte(0xDF81, 4);
    w.mem.write_byte(0x0002, 4);  // the old place is plain RAM
    w.mem.write_byte_no_io(0xDF80, 4);
    w.mem.write_byte(0x0001, 0x33);  // I/O banked out: RAM under it
    w.mem.write_byte(0xDF80, 4);
    w.mem.write_byte(0x0001, 0x37);
    EXPECT_EQ(log.calls, 3);
    EXPECT_EQ(w.mem.read_byte(0x0002), 4);
    w.mem.trap_hook(nullptr, nullptr);
    w.mem.write_byte(0xDF80, 5);
    EXPECT_EQ(log.calls, 3);
}

TEST(Memory, PotLinesReadThePortsCia1SelectsAndRamUnderTheChipOtherwise) {
    Wired w;
    EXPECT_EQ(w.mem.read_byte(0xD419), 0xFF);  // nothing plugged in
    w.ports.pots(1, 0x12, 0x34);
    w.ports.pots(2, 0x56, 0x08);
    // PA6 and PA7 float high at power-on: both ports joined, the lower count.
    EXPECT_EQ(w.mem.read_byte(0xD419), 0x12);
    EXPECT_EQ(w.mem.read_byte(0xD45A), 0x08);  // the registers repeat every 32 bytes
    w.mem.write_byte(0xDC00, 0x40);            // PA6 high, PA7 low: port 1 (as a 1351 driver sets it)
    EXPECT_EQ(w.mem.read_byte(0xD41A), 0x34);
    w.mem.write_byte(0xDC00, 0x80);            // port 2
    EXPECT_EQ(w.mem.read_byte(0xD419), 0x56);
    w.mem.write_byte(0xDC00, 0x3F);            // neither
    EXPECT_EQ(w.mem.read_byte(0xD419), 0xFF);
    w.mem.write_byte(0xDC02, 0x3F);            // PA6 and PA7 inputs again: both
    EXPECT_EQ(w.mem.read_byte(0xD419), 0x12);
    w.mem.write_byte(0x0001, 0x33);            // character ROM in place of I/O
    EXPECT_NE(w.mem.read_byte(0xD419), 0x12);
}

TEST(Memory, PatchRamPlacesImagesOnTriggerOnly) {
    Wired w;
    const u8 monitor[] = {0x00, 0x90, 0xA1, 0xA2, 0xA3};
    const u8 program[] = {0x01, 0x08, 0xB1, 0xB2};
    w.mem.program_images(monitor, sizeof monitor, program, sizeof program);
    // A store by the host (a LOAD, the monitor) is not a POKE: only the
    // processor's store instructions fire the trigger.
    w.mem.write_byte(0x0139, 0xFF);
    EXPECT_EQ(w.mem.read_byte(0x0139), 0xFF);
    EXPECT_EQ(w.mem.read_byte(0x9000), 0x00);
    EXPECT_EQ(w.mem.read_byte(0x0801), 0xFF);
    w.mem.patch_ram();
    EXPECT_EQ(w.mem.read_byte(0x9000), 0xA1);
    EXPECT_EQ(w.mem.read_byte(0x9002), 0xA3);
    EXPECT_EQ(w.mem.read_byte(0x9003), 0xFF);  // past the image: untouched
    EXPECT_EQ(w.mem.read_byte(0x0316), 0x00);
    EXPECT_EQ(w.mem.read_byte(0x0317), 0x90);
    EXPECT_EQ(w.mem.read_byte(0x0801), 0xB1);
    EXPECT_EQ(w.mem.read_byte(0x0802), 0xB2);
    EXPECT_EQ(w.mem.read_byte(0x0803), 0xFF);
    EXPECT_EQ(w.mem.read_word(0x002D), 0x0803);
    // Firing again re-places over changed bytes.
    w.mem.write_byte(0x0801, 0x00);
    w.mem.patch_ram();
    EXPECT_EQ(w.mem.read_byte(0x0801), 0xB1);
}

TEST(Memory, PatchRamClampsImagesAtTopOfMemoryAndIgnoresShortOnes) {
    Wired w;
    std::vector<u8> big(2 + 0x20, 0xEE);
    big[0] = 0xF0;  // load at $FFF0: 32 bytes would run past $FFFF
    big[1] = 0xFF;
    const u8 tiny[] = {0x01};
    w.mem.write_byte_no_io(0x0000, 0x2F);
    w.mem.program_images(big.data(), static_cast<u32>(big.size()), tiny, sizeof tiny);
    w.mem.patch_ram();
    w.mem.write_byte(0x0001, 0x35);
    EXPECT_EQ(w.mem.read_byte(0xFFF0), 0xEE);
    EXPECT_EQ(w.mem.read_byte(0xFFFF), 0xEE);
    EXPECT_EQ(w.mem.read_byte_no_io(0x0000), 0x2F);  // no wrap into zero page
    EXPECT_EQ(w.mem.read_byte_no_io(0x000F), 0xFF);
    EXPECT_EQ(w.mem.read_word(0x002D), 0x00FF);  // short program image: power-on bytes left alone
    w.mem.program_images(nullptr, 0, nullptr, 0);
    w.mem.patch_ram();  // nothing to place, vector still set
    EXPECT_EQ(w.mem.read_byte(0x0317), 0x90);
}

TEST(Memory, BuiltInImagesLandAtTheirLoadAddresses) {
    Wired w;
    u32 program_len = data_size(data_program_prg, data_program_prg_end);
    u32 monitor_len = data_size(data_monitor_prg, data_monitor_prg_end);
    ASSERT_GE(program_len, 3u);
    ASSERT_GE(monitor_len, 3u);
    w.mem.patch_ram();
    u16 pload = static_cast<u16>(data_program_prg[0] | data_program_prg[1] << 8);
    EXPECT_EQ(w.mem.read_byte_no_io(pload), data_program_prg[2]);
    EXPECT_EQ(w.mem.read_word(0x002D), pload + program_len - 2);
}

TEST(Memory, VicViewSeesCharacterRomInBanksZeroAndTwo) {
    Wired w;
    w.mem.write_byte_no_io(0x5800, 0x42);
    w.mem.write_byte_no_io(0x0400, 0x20);
    w.mem.write_byte_no_io(0x1800, 0x99);
    w.mem.write_byte_no_io(0xC123, 0x31);
    w.mem.write_byte_no_io(0xE000, 0x66);
    // Bank 0 (port A bits 11).
    w.mem.write_byte(0xDD00, 0x97);
    EXPECT_EQ(w.mem.vic_read_byte(0x1800), data_char_rom[0x800]);
    EXPECT_EQ(w.mem.vic_read_byte(0x0400), 0x20);
    EXPECT_EQ(w.mem.vic_read_byte(0x5800), data_char_rom[0x800]);  // address wraps at 16 KB
    // Bank 1 at $4000: RAM.
    w.mem.write_byte(0xDD00, 0x96);
    EXPECT_EQ(w.mem.vic_read_byte(0x1800), 0x42);
    // Bank 2 at $8000: character ROM at $9000.
    w.mem.write_byte(0xDD00, 0x95);
    EXPECT_EQ(w.mem.vic_read_byte(0x1000), data_char_rom[0]);
    // Bank 3 at $C000: RAM under the I/O area and KERNAL.
    w.mem.write_byte(0xDD00, 0x94);
    EXPECT_EQ(w.mem.vic_read_byte(0x0123), 0x31);
    EXPECT_EQ(w.mem.vic_read_byte(0x2000), 0x66);
}

}  // namespace

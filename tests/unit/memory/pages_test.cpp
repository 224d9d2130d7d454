// Memory page maps: they agree with read_byte/write_byte for every port
// value, and processor stores through the core still reach the port, the
// serial bus request register, the placement trigger and the chips.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "c64/cia1.h"
#include "c64/cia2.h"
#include "c64/memory.h"
#include "c64/processor.h"
#include "c64/sid.h"
#include "c64/vic.h"
#include "data/blobs.h"

namespace {

constexpr u16 kCode = 0xC000;

struct Bound {
    Memory mem;
    Processor cpu{&mem};
    core6502_context& ctx = cpu.state();
    Vic vic;
    Sid sid;
    Cia1 cia1;
    Cia2 cia2;
    int traps = 0;
    Bound() {
        mem.vic(&vic);
        mem.sid(&sid);
        mem.cia1(&cia1);
        mem.cia2(&cia2);
        mem.trap_hook([](void* self) { static_cast<Bound*>(self)->traps++; }, this);
        ctx.s = 0xFF;
    }

    // Places one instruction at kCode and runs it.
    void run(std::initializer_list<u8> code) {
        u16 at = kCode;
        for (u8 b : code) mem.write_byte_no_io(at++, b);
        ctx.pc = kCode;
        cpu.step();
    }
};

// Only the pages with side effects may leave the maps: the I/O pages while
// I/O is banked in (for stores also the serial bus request register's
// page), the port page and the trigger page.
TEST(Pages, OnlyPagesWithSideEffectsAreLeftToTheChecks) {
    for (u8 port = 0; port < 8; port++) {
        Bound b;
        b.mem.write_byte(0x0001, port);
        bool io = (port & 4) && (port & 3);
        for (int page = 0; page < 256; page++) {
            bool chip_page = (page >= 0xD0 && page <= 0xD7) || page == 0xDC || page == 0xDD;
            bool read_checked = io && chip_page;
            bool write_checked = page <= 0x01 || (io && (chip_page || page == 0xDF));
            EXPECT_EQ(b.mem.read_pages()[page] == nullptr, read_checked) << "port " << int(port) << " page " << page;
            EXPECT_EQ(b.mem.write_pages()[page] == nullptr, write_checked) << "port " << int(port) << " page " << page;
        }
    }
}

struct Store {
    std::initializer_list<u8> code;
    u8 a, x, y;
};

TEST(Pages, StoresOfLoadRequestReachTheTrapInEveryMode) {
    // Every store mode that reaches $DF80 ($20 and $24 point at it).
    const Store stores[] = {
        {{0x8D, 0x80, 0xDF}, 4, 0, 0}, {{0x9D, 0x7F, 0xDF}, 4, 1, 0}, {{0x99, 0x7E, 0xDF}, 4, 0, 2},
        {{0x81, 0x20}, 4, 0, 0},       {{0x91, 0x20}, 4, 0, 0},       {{0x8E, 0x80, 0xDF}, 0, 4, 0},
        {{0x8C, 0x80, 0xDF}, 0, 0, 4}, {{0x8F, 0x80, 0xDF}, 4, 4, 0}, {{0x83, 0x20}, 4, 4, 0},
    };
    for (const Store& s : stores) {
        Bound b;
        b.mem.write_byte_no_io(0x0020, 0x80);
        b.mem.write_byte_no_io(0x0021, 0xDF);
        b.mem.write_byte_no_io(0x0024, 0x80);
        b.mem.write_byte_no_io(0x0025, 0xDF);
        b.ctx.a = s.a;
        b.ctx.x = s.x;
        b.ctx.y = s.y;
        b.run(s.code);
        EXPECT_EQ(b.traps, 1) << "opcode $" << std::hex << int(*s.code.begin());
        EXPECT_EQ(b.mem.take_trap_request(), 4) << "opcode $" << std::hex << int(*s.code.begin());
    }
}

TEST(Pages, ReadModifyWriteReachesTheTrapWithEachStoredValue) {
    // I/O 2 reads back what was last stored there outside the request.
    Bound b;
    b.mem.write_byte(0xDF80, 3);
    b.run({0xEE, 0x80, 0xDF});  // INC $DF80: 3 -> 4
    EXPECT_EQ(b.traps, 1);
    b.mem.write_byte(0xDF80, 8);
    b.run({0xCE, 0x80, 0xDF});  // DEC $DF80: 8 -> 7
    EXPECT_EQ(b.traps, 2);
    b.mem.write_byte(0xDF80, 0x82);
    b.ctx.flags = 0;
    b.run({0x2E, 0x80, 0xDF});  // ROL $DF80: writes $82, then $04
    EXPECT_EQ(b.traps, 3);
    EXPECT_EQ(b.mem.take_trap_request(), 4);
}

// Only BASIC's POKE places the images: the same $FF reaching $0139 through
// any other store, a push, an interrupt frame or a copy of POKE's store in
// RAM leaves RAM as it was.
TEST(Pages, OnlyBasicsPokeStoreOfFFToTheTriggerPlacesImages) {
    const Store stores[] = {
        {{0x8D, 0x39, 0x01}, 0xFF, 0, 0}, {{0x9D, 0x38, 0x01}, 0xFF, 1, 0}, {{0x99, 0x29, 0x01}, 0xFF, 0, 0x10},
        {{0x81, 0x22}, 0xFF, 0, 0},       {{0x91, 0x14}, 0xFF, 0, 0},       {{0x8E, 0x39, 0x01}, 0, 0xFF, 0},
        {{0x8C, 0x39, 0x01}, 0, 0, 0xFF}, {{0x8F, 0x39, 0x01}, 0xFF, 0xFF, 0}, {{0x48}, 0xFF, 0, 0},
        {{0xCE, 0x39, 0x01}, 0, 0, 0},
    };
    for (const Store& s : stores) {
        Bound b;
        b.mem.write_byte_no_io(0x0022, 0x39);  // ($22) and ($14) -> $0139
        b.mem.write_byte_no_io(0x0023, 0x01);
        b.mem.write_byte_no_io(0x0014, 0x39);
        b.mem.write_byte_no_io(0x0015, 0x01);
        b.mem.write_byte_no_io(0x0139, 0x00);  // DEC makes $FF of it
        b.mem.write_byte_no_io(0x0317, 0x00);
        b.ctx.a = s.a;
        b.ctx.x = s.x;
        b.ctx.y = s.y;
        b.ctx.s = 0x39;  // PHA pushes to $0139
        b.run(s.code);
        EXPECT_EQ(b.mem.read_byte_no_io(0x0139), 0xFF) << "opcode $" << std::hex << int(*s.code.begin());
        EXPECT_EQ(b.mem.read_byte_no_io(0x0317), 0x00) << "opcode $" << std::hex << int(*s.code.begin());
    }
    {
        Bound b;  // an NMI right after a store: its frame puts PC low $FF at $0139
        b.mem.write_byte_no_io(0x0317, 0x00);
        b.run({0x8D, 0x00, 0xC1});  // STA $C100
        b.ctx.pc = 0xC0FF;
        b.ctx.s = 0x3A;
        b.cpu.set_nmi(Processor::kNmiRestore, true);
        b.cpu.step();
        b.cpu.set_nmi(Processor::kNmiRestore, false);
        EXPECT_EQ(b.mem.read_byte_no_io(0x0139), 0xFF);
        EXPECT_EQ(b.mem.read_byte_no_io(0x0317), 0x00);
    }
    // POKE's own STA ($14),Y at $B82A: $FF places, $FE does not, and the
    // same bytes at $B82A in the RAM under BASIC do not either.
    struct Poke {
        u8 port, value;
        bool placed;
    };
    for (const Poke& p : {Poke{0x37, 0xFF, true}, Poke{0x37, 0xFE, false}, Poke{0x36, 0xFF, false}}) {
        Bound b;
        b.mem.write_byte_no_io(0x0014, 0x39);
        b.mem.write_byte_no_io(0x0015, 0x01);
        b.mem.write_byte_no_io(0x0317, 0x00);
        b.mem.write_byte_no_io(0xB82A, 0x91);
        b.mem.write_byte_no_io(0xB82B, 0x14);
        b.mem.write_byte(0x0001, p.port);
        b.ctx.a = p.value;
        b.ctx.y = 0;
        b.ctx.pc = 0xB82A;
        b.cpu.step();
        EXPECT_EQ(b.mem.read_byte_no_io(0x0139), p.value);
        EXPECT_EQ(b.mem.read_byte_no_io(0x0317), p.placed ? 0x90 : 0x00) << "port $" << std::hex << int(p.port);
    }
}

TEST(Pages, PortStoreRebanksBeforeTheNextInstruction) {
    Bound b;
    b.mem.write_byte(0xA000, 0x5A);  // under BASIC ROM
    u8 basic0 = b.mem.read_byte(0xA000);
    ASSERT_NE(basic0, 0x5A);
    b.run({0xAD, 0x00, 0xA0});  // LDA $A000
    EXPECT_EQ(b.ctx.a, basic0);
    b.ctx.a = 0x36;
    b.run({0x85, 0x01});  // STA $01: BASIC out
    b.run({0xAD, 0x00, 0xA0});
    EXPECT_EQ(b.ctx.a, 0x5A);
    b.ctx.x = 0x37;
    b.run({0x86, 0x01});  // STX $01: BASIC back
    b.run({0xAD, 0x00, 0xA0});
    EXPECT_EQ(b.ctx.a, basic0);
}

// Code in the RAM under a ROM stores to $01, and the very next instruction
// comes from what that store mapped: the ROM's RTS, or the RAM's LDA #$EE;
// RTS. Every pair of port values, in-page (the mapped path) and with the
// next opcode on a page's last bytes (the path through the bus hooks); and
// the KERNAL's own STA $01 mapping itself out.
TEST(Pages, FetchesFollowThePortAtTheVeryNextInstruction) {
    struct Region {
        u16 base;
        const u8* rom;
        int bank;
    };
    const Region regions[] = {{0xA000, data_basic_rom, Memory::kBankBasic},
                              {0xD000, data_char_rom, Memory::kBankCharen},
                              {0xE000, data_kernal_rom, Memory::kBankKernal}};
    constexpr u8 kRts = 0x60;
    int checked[2] = {0, 0};
    for (const Region& r : regions) {
        u16 size = r.bank == Memory::kBankBasic ? 0x2000 : r.bank == Memory::kBankCharen ? 0x1000 : 0x1FF0;
        for (int hooked = 0; hooked < 2; hooked++) {
            // An RTS in the ROM with room for the store before it.
            u16 next = 0;
            for (u16 i = 2; i < size && !next; i++)
                if (r.rom[i] == kRts && ((i & 0xFF) >= 0xFE) == (hooked == 1)) next = r.base + i;
            if (!next) continue;
            for (u8 from = 0; from < 8; from++) {
                for (u8 to = 0; to < 8; to++) {
                    Bound b;
                    b.mem.write_byte(0x0001, 0x30 | from);
                    if (b.mem.bank(r.bank) != Memory::kRAM) continue;
                    b.mem.write_byte(0x0001, 0x30 | to);
                    u8 target = b.mem.bank(r.bank);
                    if (target == Memory::kIO) continue;
                    b.mem.write_byte(0x0001, 0x30 | from);
                    const u8 code[] = {0x85, 0x01, 0xA9, 0xEE, kRts};  // STA $01; LDA #$EE; RTS
                    for (u16 i = 0; i < sizeof code; i++) b.mem.write_byte_no_io(next - 2 + i, code[i]);
                    b.mem.write_byte_no_io(kCode, 0x20);  // JSR to the store
                    b.mem.write_byte_no_io(kCode + 1, (next - 2) & 0xFF);
                    b.mem.write_byte_no_io(kCode + 2, (next - 2) >> 8);
                    b.ctx.pc = kCode;
                    b.ctx.a = 0x30 | to;
                    for (int step = 0; step < 4 && b.ctx.pc != kCode + 3; step++) b.cpu.step();
                    SCOPED_TRACE(testing::Message() << std::hex << "store at $" << next - 2 << ", $01 from $"
                                                    << int(from) << " to $" << int(to));
                    EXPECT_EQ(b.ctx.pc, kCode + 3);
                    EXPECT_EQ(b.ctx.a, target == Memory::kRAM ? 0xEE : 0x30 | to);
                    checked[hooked]++;
                }
            }
        }
    }
    EXPECT_GT(checked[0], 40);
    EXPECT_GT(checked[1], 10);
    // KERNAL: $FCCE STA $01; RTS. With $35 the RTS comes from the RAM below.
    Bound b;
    const u8 ram[] = {0xA9, 0xEE, kRts};
    for (u16 i = 0; i < sizeof ram; i++) b.mem.write_byte_no_io(0xFCD0 + i, ram[i]);
    ASSERT_EQ(b.mem.read_byte(0xFCCE), 0x85);
    b.run({0x20, 0xCE, 0xFC});  // JSR $FCCE
    b.ctx.a = 0x35;
    for (int step = 0; step < 3 && b.ctx.pc != kCode + 3; step++) b.cpu.step();
    EXPECT_EQ(b.ctx.pc, kCode + 3);
    EXPECT_EQ(b.ctx.a, 0xEE);
}

TEST(Pages, ChipRegistersSeeProcessorAccessesOnlyWhenBankedIn) {
    Bound b;
    b.ctx.a = 0x0E;
    b.run({0x8D, 0x20, 0xD0});  // STA $D020
    EXPECT_EQ(b.vic.read_register(0x20) & 0x0F, 0x0E);
    EXPECT_NE(b.mem.read_byte_no_io(0xD020), 0x0E);
    b.ctx.a = 0x0F;
    b.run({0x8D, 0x18, 0xD4});  // STA $D418: the SID, not RAM
    EXPECT_NE(b.mem.read_byte_no_io(0xD418), 0x0F);
    b.run({0xAD, 0x20, 0xD0});  // LDA $D020
    EXPECT_EQ(b.ctx.a & 0x0F, 0x0E);
    b.ctx.a = 0x34;
    b.run({0x85, 0x01});  // all RAM
    b.ctx.a = 0x0B;
    b.run({0x8D, 0x20, 0xD0});
    EXPECT_EQ(b.mem.read_byte_no_io(0xD020), 0x0B);
    EXPECT_EQ(b.vic.read_register(0x20) & 0x0F, 0x0E);
}

TEST(Pages, CodeRunsFromRomAndAcrossItsPageEnds) {
    Bound b;
    // The KERNAL's reset vector points at ROM code; run the reset and a few
    // hundred instructions: pc must stay in ROM and the cycle count grow.
    b.cpu.reset();
    u16 start = b.cpu.pc();
    EXPECT_GE(start, 0xE000);
    for (int i = 0; i < 300; i++) b.cpu.step();
    EXPECT_GT(b.ctx.cycles, 600u);
    // An instruction split over a page end: LDA #$99 at $C0FF/$C100.
    b.mem.write_byte_no_io(0xC0FF, 0xA9);
    b.mem.write_byte_no_io(0xC100, 0x99);
    b.ctx.pc = 0xC0FF;
    b.cpu.step();
    EXPECT_EQ(b.ctx.a, 0x99);
    EXPECT_EQ(b.ctx.pc, 0xC101);
}

}  // namespace

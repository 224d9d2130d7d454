// Throughput of the 6502 core on a CPU-bound loop, through the full C64
// memory map (every access passes the banking logic).
//   bench_core6502 [outer]            built-in copy of bench/core6502_loop.s
//   bench_core6502 --image FILE ENTRY  a sim6502 executable made by cl65: its
//       bytes are placed at their load address and the routine at ENTRY (hex)
//       is called and run until it returns; used to compare with sim65.
//       Instructions and cycles are counted on one run, step by step; the
//       time is that of a second run through Processor::run, as full mode
//       runs the core.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "c64/memory.h"
#include "c64/processor.h"

namespace {
constexpr u16 kOrg = 0xC000;   // code
constexpr u16 kBuf = 0xC100;   // 256-byte buffer
constexpr u16 kCnt = 0xC200;   // outer counter
constexpr u16 kExit = 0xC01F;  // RTS: end of the loop

// sim6502 executable: "sim65", version, cpu, sp zero-page address,
// load address (word), run address (word), then the image.
constexpr u32 kImageHeader = 12;
constexpr u32 kImageLoadOffset = 8;
constexpr u32 kRamTop = 0xA000;       // below the BASIC ROM: plain RAM to run in
constexpr u16 kReturnTrap = 0xFFF0;   // the called routine's RTS lands here
constexpr u64 kStepLimit = 4000000000ull;
constexpr u8 kKernalOut = 0x35;       // $01: RAM under the KERNAL, so the trap can halt
constexpr u8 kHalt = 0x02;            // a halting opcode at the return address
constexpr u32 kRunChunk = 1u << 30;   // cycles a run may go before it is looked at

struct Run {
    u64 instructions;
    u64 cycles;
    double seconds;
};

Run run_until(Processor& cpu, u16 stop) {
    u64 count = 0;
    u32 cycles0 = cpu.cycles();
    auto t0 = std::chrono::steady_clock::now();
    while (cpu.pc() != stop && count < kStepLimit) {
        cpu.step();
        count++;
    }
    auto t1 = std::chrono::steady_clock::now();
    return {count, static_cast<u32>(cpu.cycles() - cycles0), std::chrono::duration<double>(t1 - t0).count()};
}

// A call of the routine at pc with the stack at s and the status flags given.
void enter(Processor& cpu, u16 pc, u8 s, u8 flags) {
    Processor::Registers r = cpu.registers();
    r.pc = pc;
    r.s = s;
    r.flags = flags;
    cpu.registers(r);
}

void report(const Run& r) {
    printf("core6502: %llu instructions, %llu cycles in %.3f s = %.1f M instructions/s\n",
           static_cast<unsigned long long>(r.instructions), static_cast<unsigned long long>(r.cycles), r.seconds,
           r.instructions / r.seconds / 1e6);
    printf("INSTRUCTIONS=%llu\nCYCLES=%llu\nSECONDS=%.6f\nIPS=%.0f\n", static_cast<unsigned long long>(r.instructions),
           static_cast<unsigned long long>(r.cycles), r.seconds, r.instructions / r.seconds);
}

int run_builtin(int outer) {
    // Same instructions as bench/core6502_loop.s, at fixed addresses.
    const u8 code[] = {
        0xA9, static_cast<u8>(outer),       // lda #OUTER
        0x8D, kCnt & 0xFF, kCnt >> 8,       // sta cnt
        0xA0, 0x00,                         // outer2: ldy #0
        0xA2, 0x00,                         // outer: ldx #0
        0xBD, kBuf & 0xFF, kBuf >> 8,       // inner: lda buf,x
        0x69, 0x01,                         // adc #1
        0x9D, kBuf & 0xFF, kBuf >> 8,       // sta buf,x
        0xCA,                               // dex
        0xD0, 0xF5,                         // bne inner
        0x88,                               // dey
        0xD0, 0xF0,                         // bne outer
        0xCE, kCnt & 0xFF, kCnt >> 8,       // dec cnt
        0xD0, 0xE9,                         // bne outer2
        0xA9, 0x00,                         // lda #0
        0xAA,                               // tax
        0x60,                               // rts
    };
    Memory mem;
    for (u32 i = 0; i < sizeof code; i++) mem.write_byte(static_cast<u16>(kOrg + i), code[i]);
    Processor cpu(&mem);
    enter(cpu, kOrg, 0xFF, cpu.registers().flags);
    report(run_until(cpu, kExit));
    return 0;
}

int run_image(const char* path, const char* entry_text) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "cannot open %s\n", path);
        return 2;
    }
    std::vector<u8> file;
    for (int c; (c = fgetc(f)) != EOF;) file.push_back(static_cast<u8>(c));
    fclose(f);
    if (file.size() < kImageHeader || memcmp(file.data(), "sim65", 5) != 0) {
        fprintf(stderr, "%s: not a sim6502 executable\n", path);
        return 2;
    }
    u32 load = file[kImageLoadOffset] | file[kImageLoadOffset + 1] << 8;
    u32 length = static_cast<u32>(file.size()) - kImageHeader;
    char* end = nullptr;
    unsigned long entry = strtoul(entry_text, &end, 16);
    if (load + length > kRamTop || !end || *end || entry < load || entry >= load + length) {
        fprintf(stderr, "%s: image $%04X+%u or entry %s outside RAM below $A000\n", path, load, length, entry_text);
        return 2;
    }
    // Two identical machines: one counts the routine's instructions step by
    // step, the other is timed running it the way full mode runs the core
    // (to the next event, here the halt at the return address).
    struct Machine {
        Memory mem;
        Processor cpu{&mem};
    };
    auto prepare = [&](Machine& m) {
        for (u32 i = 0; i < length; i++) m.mem.write_byte(static_cast<u16>(load + i), file[kImageHeader + i]);
        m.mem.write_byte(0x0001, kKernalOut);
        m.mem.write_byte(kReturnTrap, kHalt);
        // Call the routine: RTS pulls this address and continues one past it.
        m.mem.write_byte(0x01FF, static_cast<u8>((kReturnTrap - 1) >> 8));
        m.mem.write_byte(0x01FE, static_cast<u8>((kReturnTrap - 1) & 0xFF));
        enter(m.cpu, static_cast<u16>(entry), 0xFD, CORE6502_U | CORE6502_I);
    };
    Machine counted, timed;
    prepare(counted);
    Run r = run_until(counted.cpu, kReturnTrap);
    if (counted.cpu.pc() != kReturnTrap) {
        fprintf(stderr, "%s: routine did not return within %llu instructions\n", path,
                static_cast<unsigned long long>(kStepLimit));
        return 1;
    }
    prepare(timed);
    auto t0 = std::chrono::steady_clock::now();
    for (u64 n = 0; !timed.cpu.jammed() && n < kStepLimit; n += kRunChunk) timed.cpu.run(timed.cpu.cycles() + kRunChunk);
    auto t1 = std::chrono::steady_clock::now();
    if (timed.cpu.pc() != kReturnTrap) {
        fprintf(stderr, "%s: the timed run did not return\n", path);
        return 1;
    }
    r.seconds = std::chrono::duration<double>(t1 - t0).count();
    report(r);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--image") == 0) return run_image(argv[2], argv[3]);
    return run_builtin(argc > 1 ? atoi(argv[1]) : 64);
}

// Throughput of the 6502 core on a CPU-bound loop, through the full C64
// memory map (every access passes the banking logic).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "c64/core6502_bridge.h"
#include "c64/memory.h"

namespace {
constexpr u16 kOrg = 0xC000;   // code
constexpr u16 kBuf = 0xC100;   // 256-byte buffer
constexpr u16 kCnt = 0xC200;   // outer counter
constexpr u16 kExit = 0xC01F;  // RTS: end of the loop
}  // namespace

int main(int argc, char** argv) {
    int outer = argc > 1 ? atoi(argv[1]) : 64;
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
    cpu6502_bind(&mem);
    g_ctx.pc = kOrg;
    g_ctx.s = 0xFF;
    u64 count = 0;
    auto t0 = std::chrono::steady_clock::now();
    while (g_ctx.pc != kExit) {
        cpu6502_step();
        count++;
    }
    auto t1 = std::chrono::steady_clock::now();
    double secs = std::chrono::duration<double>(t1 - t0).count();
    printf("core6502: %llu instructions, %llu cycles in %.3f s = %.1f M instructions/s\n",
           static_cast<unsigned long long>(count), static_cast<unsigned long long>(g_ctx.cycles), secs,
           count / secs / 1e6);
    printf("INSTRUCTIONS=%llu\nIPS=%.0f\n", static_cast<unsigned long long>(count), count / secs);
    return 0;
}

// NMOS 6502 interpreter: one instruction per step, driven by a 256-entry table.
// Decimal mode is not modelled: D is kept in the status byte only.
#include "c64/core6502.h"

namespace {
constexpr u16 kStackPage = 0x0100;
constexpr u16 kResetVector = 0xFFFC;
constexpr u16 kIrqVector = 0xFFFE;  // IRQ and BRK share it

inline u8 rd(core6502_context* c, u16 a) { return core6502_mem_read(c, a); }
inline void wr(core6502_context* c, u16 a, u8 v) { core6502_mem_write(c, a, v); }

inline u8 fetch(core6502_context* c) { return rd(c, c->pc++); }

inline u16 fetch16(core6502_context* c) {
    u16 lo = fetch(c);
    return static_cast<u16>(lo | (fetch(c) << 8));
}

inline void set_flag(core6502_context* c, u8 bit, bool on) {
    c->flags = static_cast<u8>(on ? (c->flags | bit) : (c->flags & ~bit));
}

inline void set_zn(core6502_context* c, u16 r) {
    u8 v = static_cast<u8>(r);
    c->flags = static_cast<u8>((c->flags & ~(CORE6502_Z | CORE6502_N)) | (v ? 0 : CORE6502_Z) | (v & CORE6502_N));
}

inline bool page_crossed(u16 a, u16 b) { return (a ^ b) & 0xFF00; }

// ---- addressing modes: set ea and step pc past the operand ----

void imp(core6502_context*) {}
void acc(core6502_context*) {}
void imm(core6502_context* c) { c->ea = c->pc++; }
void zp(core6502_context* c) { c->ea = fetch(c); }
void zpx(core6502_context* c) { c->ea = static_cast<u8>(fetch(c) + c->x); }
void zpy(core6502_context* c) { c->ea = static_cast<u8>(fetch(c) + c->y); }

void rel(core6502_context* c) {
    i8 off = static_cast<i8>(fetch(c));
    c->ea = static_cast<u16>(c->pc + off);
}

void abso(core6502_context* c) { c->ea = fetch16(c); }
void absx(core6502_context* c) { c->ea = static_cast<u16>(fetch16(c) + c->x); }
void absy(core6502_context* c) { c->ea = static_cast<u16>(fetch16(c) + c->y); }

void absx_p(core6502_context* c) {
    u16 base = fetch16(c);
    c->ea = static_cast<u16>(base + c->x);
    if (page_crossed(base, c->ea)) c->cycles++;
}

void absy_p(core6502_context* c) {
    u16 base = fetch16(c);
    c->ea = static_cast<u16>(base + c->y);
    if (page_crossed(base, c->ea)) c->cycles++;
}

// The NMOS part does not carry into the pointer's high byte: JMP ($10FF)
// takes its high byte from $1000.
void ind(core6502_context* c) {
    u16 p = fetch16(c);
    u16 hi_addr = static_cast<u16>((p & 0xFF00) | ((p + 1) & 0xFF));
    c->ea = static_cast<u16>(rd(c, p) | (rd(c, hi_addr) << 8));
}

void indx(core6502_context* c) {
    u8 z = static_cast<u8>(fetch(c) + c->x);
    c->ea = static_cast<u16>(rd(c, z) | (rd(c, static_cast<u8>(z + 1)) << 8));
}

inline u16 indy_base(core6502_context* c) {
    u8 z = fetch(c);
    return static_cast<u16>(rd(c, z) | (rd(c, static_cast<u8>(z + 1)) << 8));
}

void indy(core6502_context* c) { c->ea = static_cast<u16>(indy_base(c) + c->y); }

void indy_p(core6502_context* c) {
    u16 base = indy_base(c);
    c->ea = static_cast<u16>(base + c->y);
    if (page_crossed(base, c->ea)) c->cycles++;
}

inline bool is_acc(core6502_context* c) { return core6502_opcodes[c->opcode].mode == acc; }

inline u8 get(core6502_context* c) { return is_acc(c) ? c->a : rd(c, c->ea); }

inline void put(core6502_context* c, u8 v) {
    if (is_acc(c))
        c->a = v;
    else
        wr(c, c->ea, v);
}

// ---- arithmetic helpers ----

inline void do_adc(core6502_context* c, u8 m) {
    u16 r = static_cast<u16>(c->a + m + (c->flags & CORE6502_C));
    set_flag(c, CORE6502_C, r > 0xFF);
    set_flag(c, CORE6502_V, ((r ^ c->a) & (r ^ m) & 0x80) != 0);
    set_zn(c, r);
    c->a = static_cast<u8>(r);
}

inline void do_cmp(core6502_context* c, u8 reg, u8 m) {
    set_flag(c, CORE6502_C, reg >= m);
    set_zn(c, static_cast<u16>(reg - m));
}

inline u8 do_asl(core6502_context* c, u8 v) {
    set_flag(c, CORE6502_C, v & 0x80);
    u8 r = static_cast<u8>(v << 1);
    set_zn(c, r);
    return r;
}

inline u8 do_lsr(core6502_context* c, u8 v) {
    set_flag(c, CORE6502_C, v & 0x01);
    u8 r = static_cast<u8>(v >> 1);
    set_zn(c, r);
    return r;
}

inline u8 do_rol(core6502_context* c, u8 v) {
    u8 r = static_cast<u8>((v << 1) | (c->flags & CORE6502_C));
    set_flag(c, CORE6502_C, v & 0x80);
    set_zn(c, r);
    return r;
}

inline u8 do_ror(core6502_context* c, u8 v) {
    u8 r = static_cast<u8>(((c->flags & CORE6502_C) << 7) | (v >> 1));
    set_flag(c, CORE6502_C, v & 0x01);
    set_zn(c, r);
    return r;
}

inline void branch(core6502_context* c, bool taken) {
    if (!taken) return;
    c->cycles += page_crossed(c->pc, c->ea) ? 2 : 1;
    c->pc = c->ea;
}

// ---- operations ----

void lda(core6502_context* c) { c->a = get(c); set_zn(c, c->a); }
void ldx(core6502_context* c) { c->x = get(c); set_zn(c, c->x); }
void ldy(core6502_context* c) { c->y = get(c); set_zn(c, c->y); }
void lax(core6502_context* c) { c->a = c->x = get(c); set_zn(c, c->a); }
void sta(core6502_context* c) { wr(c, c->ea, c->a); }
void stx(core6502_context* c) { wr(c, c->ea, c->x); }
void sty(core6502_context* c) { wr(c, c->ea, c->y); }
void sax(core6502_context* c) { wr(c, c->ea, static_cast<u8>(c->a & c->x)); }

void tax(core6502_context* c) { c->x = c->a; set_zn(c, c->x); }
void tay(core6502_context* c) { c->y = c->a; set_zn(c, c->y); }
void txa(core6502_context* c) { c->a = c->x; set_zn(c, c->a); }
void tya(core6502_context* c) { c->a = c->y; set_zn(c, c->a); }
void tsx(core6502_context* c) { c->x = c->s; set_zn(c, c->x); }
void txs(core6502_context* c) { c->s = c->x; }

void ora(core6502_context* c) { c->a |= get(c); set_zn(c, c->a); }
void op_and(core6502_context* c) { c->a &= get(c); set_zn(c, c->a); }
void eor(core6502_context* c) { c->a ^= get(c); set_zn(c, c->a); }
void adc(core6502_context* c) { do_adc(c, get(c)); }
void sbc(core6502_context* c) { do_adc(c, static_cast<u8>(get(c) ^ 0xFF)); }
void cmp(core6502_context* c) { do_cmp(c, c->a, get(c)); }
void cpx(core6502_context* c) { do_cmp(c, c->x, get(c)); }
void cpy(core6502_context* c) { do_cmp(c, c->y, get(c)); }

void bit(core6502_context* c) {
    u8 m = get(c);
    set_flag(c, CORE6502_Z, (c->a & m) == 0);
    c->flags = static_cast<u8>((c->flags & 0x3F) | (m & 0xC0));
}

void inc(core6502_context* c) { u8 r = static_cast<u8>(get(c) + 1); put(c, r); set_zn(c, r); }
void dec(core6502_context* c) { u8 r = static_cast<u8>(get(c) - 1); put(c, r); set_zn(c, r); }
void inx(core6502_context* c) { c->x++; set_zn(c, c->x); }
void iny(core6502_context* c) { c->y++; set_zn(c, c->y); }
void dex(core6502_context* c) { c->x--; set_zn(c, c->x); }
void dey(core6502_context* c) { c->y--; set_zn(c, c->y); }

void asl(core6502_context* c) { put(c, do_asl(c, get(c))); }
void lsr(core6502_context* c) { put(c, do_lsr(c, get(c))); }

// ROL and ROR write the unmodified value back before the result, as the NMOS
// part does on its bus; I/O registers see both writes.
void rol(core6502_context* c) {
    u8 v = get(c);
    put(c, v);
    put(c, do_rol(c, v));
}

void ror(core6502_context* c) {
    u8 v = get(c);
    put(c, v);
    put(c, do_ror(c, v));
}

void slo(core6502_context* c) { asl(c); ora(c); }
void dcp(core6502_context* c) { dec(c); cmp(c); }
void isb(core6502_context* c) { inc(c); sbc(c); }

void rla(core6502_context* c) {
    u8 v = get(c);
    u8 r = do_rol(c, v);
    put(c, v);
    put(c, r);
    c->a &= r;
    set_zn(c, c->a);
}

void sre(core6502_context* c) {
    u8 v = get(c);
    u8 r = do_lsr(c, v);
    put(c, v);
    put(c, r);
    c->a ^= r;
    set_zn(c, c->a);
}

void rra(core6502_context* c) {
    u8 v = get(c);
    u8 r = do_ror(c, v);
    put(c, v);
    put(c, r);
    do_adc(c, r);
}

void bcc(core6502_context* c) { branch(c, !(c->flags & CORE6502_C)); }
void bcs(core6502_context* c) { branch(c, c->flags & CORE6502_C); }
void bne(core6502_context* c) { branch(c, !(c->flags & CORE6502_Z)); }
void beq(core6502_context* c) { branch(c, c->flags & CORE6502_Z); }
void bpl(core6502_context* c) { branch(c, !(c->flags & CORE6502_N)); }
void bmi(core6502_context* c) { branch(c, c->flags & CORE6502_N); }
void bvc(core6502_context* c) { branch(c, !(c->flags & CORE6502_V)); }
void bvs(core6502_context* c) { branch(c, c->flags & CORE6502_V); }

void clc(core6502_context* c) { c->flags &= static_cast<u8>(~CORE6502_C); }
void sec(core6502_context* c) { c->flags |= CORE6502_C; }
void cli(core6502_context* c) { c->flags &= static_cast<u8>(~CORE6502_I); }
void sei(core6502_context* c) { c->flags |= CORE6502_I; }
void clv(core6502_context* c) { c->flags &= static_cast<u8>(~CORE6502_V); }
void cld(core6502_context* c) { c->flags &= static_cast<u8>(~CORE6502_D); }
void sed(core6502_context* c) { c->flags |= CORE6502_D; }

void jmp(core6502_context* c) { c->pc = c->ea; }

void jsr(core6502_context* c) {
    core6502_push_16(c, static_cast<u16>(c->pc - 1));
    c->pc = c->ea;
}

void rts(core6502_context* c) { c->pc = static_cast<u16>(core6502_pull_16(c) + 1); }

void brk(core6502_context* c) {
    c->pc++;  // the byte after BRK is skipped on return
    core6502_push_16(c, c->pc);
    core6502_push_8(c, static_cast<u8>(c->flags | CORE6502_B));
    c->flags |= CORE6502_I;
    c->pc = core6502_mem_read16(c, kIrqVector);
}

void rti(core6502_context* c) {
    c->flags = static_cast<u8>(core6502_pull_8(c) | CORE6502_B | CORE6502_U);
    c->pc = core6502_pull_16(c);
}

void php(core6502_context* c) { core6502_push_8(c, static_cast<u8>(c->flags | CORE6502_B)); }
void pha(core6502_context* c) { core6502_push_8(c, c->a); }
void plp(core6502_context* c) { c->flags = static_cast<u8>(core6502_pull_8(c) | CORE6502_B | CORE6502_U); }
void pla(core6502_context* c) { c->a = core6502_pull_8(c); set_zn(c, c->a); }

void nop(core6502_context*) {}

}  // namespace

const core6502_opcode core6502_opcodes[256] = {
#include "c64/core6502_table.inc"
};

u16 core6502_get_value(core6502_context* ctx) { return get(ctx); }
void core6502_put_value(core6502_context* ctx, u16 value) { put(ctx, static_cast<u8>(value)); }

void core6502_push_8(core6502_context* ctx, u8 value) {
    wr(ctx, static_cast<u16>(kStackPage + ctx->s), value);
    ctx->s--;
}

void core6502_push_16(core6502_context* ctx, u16 value) {
    core6502_push_8(ctx, static_cast<u8>(value >> 8));
    core6502_push_8(ctx, static_cast<u8>(value & 0xFF));
}

u8 core6502_pull_8(core6502_context* ctx) {
    ctx->s++;
    return rd(ctx, static_cast<u16>(kStackPage + ctx->s));
}

u16 core6502_pull_16(core6502_context* ctx) {
    u16 lo = core6502_pull_8(ctx);
    return static_cast<u16>(lo | (core6502_pull_8(ctx) << 8));
}

u16 core6502_mem_read16(core6502_context* ctx, u16 address) {
    u16 lo = rd(ctx, address);
    return static_cast<u16>(lo | (rd(ctx, static_cast<u16>(address + 1)) << 8));
}

void core6502_reset(core6502_context* ctx) {
    // The reset sequence's bus reads: three idle cycles, then three stack reads.
    rd(ctx, 0x00FF);
    rd(ctx, 0x00FF);
    rd(ctx, 0x00FF);
    rd(ctx, 0x0100);
    rd(ctx, 0x01FF);
    rd(ctx, 0x01FE);
    ctx->pc = core6502_mem_read16(ctx, kResetVector);
    ctx->s = 0xFD;
    ctx->flags |= CORE6502_I | CORE6502_U;
    ctx->cycles = 0;
}

void core6502_step(core6502_context* ctx) {
    ctx->opcode = rd(ctx, ctx->pc++);
    ctx->flags |= CORE6502_U;
    const core6502_opcode& e = core6502_opcodes[ctx->opcode];
    e.mode(ctx);
    e.op(ctx);
    ctx->cycles += static_cast<u32>(e.cycles);
}

void core6502_irq(core6502_context* ctx) {
    if (ctx->flags & CORE6502_I) return;
    core6502_push_16(ctx, ctx->pc);
    core6502_push_8(ctx, static_cast<u8>(ctx->flags & ~CORE6502_B));
    ctx->flags |= CORE6502_I;
    ctx->pc = core6502_mem_read16(ctx, kIrqVector);
}

// NMOS 6502 interpreter: one instruction per step, driven by a 256-entry table.
//
// Every addressing mode and operation is written once, against a view of
// the registers (Cpu). From those bodies come two things: the table's mode
// and operation functions, and one handler per opcode with both inlined.
// The step runs the handler when the whole instruction lies in one page that
// the page maps serve directly (the usual case); otherwise it runs the
// table's pair, every byte through the bus. Plain RAM and ROM accesses use
// the page maps; everything else goes through the bus hooks.
#include "c64/core6502.h"

namespace {
constexpr u16 kStackPage = 0x0100;
constexpr u16 kResetVector = 0xFFFC;
constexpr u16 kIrqVector = 0xFFFE;  // IRQ and BRK share it
constexpr u16 kNmiVector = 0xFFFA;
constexpr u32 kInterruptCycles = 7;

#if defined(__GNUC__)
#define CORE_INLINE inline __attribute__((always_inline))
#define CORE_LIKELY(x) __builtin_expect(!!(x), 1)
#else
#define CORE_INLINE inline
#define CORE_LIKELY(x) (x)
#endif

// All pages through the hooks.
u8* const kNoPages[256] = {};

// The registers of one context as an instruction sees them. A, X, Y, the
// status, S and the opcode are references into the context, so only the
// ones an instruction touches are loaded and stored; pc, ea and the cycles
// it adds stay in host registers until the instruction ends.
struct Cpu {
    u8& a;
    u8& x;
    u8& y;
    u8& p;
    u8& s;
    u8& opcode;
    bool acc;     // operand is the accumulator (mode acc)
    bool ea_set;  // the addressing mode produced ea
    u16 pc;
    u16 ea;
    u32 cycles;   // added to the context's total at the end
    u8 len;       // base cycles of the instruction
    u8 back;      // cycles after the coming access (read-modify-write: 2, 1)
    bool direct;  // operand bytes come straight from `code`
    bool ea_code; // ea is an operand byte (immediate) inside `code`
    const u8* code;         // array holding the instruction's page
    core6502_context* ctx;  // handed to the bus hooks only
    u8* const* rpages;
    u8* const* wpages;

    CORE_INLINE Cpu(core6502_context* c, u16 pc_now)
        : a(c->a), x(c->x), y(c->y), p(c->flags), s(c->s), opcode(c->opcode), acc(false), ea_set(false), pc(pc_now),
          ea(c->ea), cycles(0), len(1), back(0), direct(false), ea_code(false), code(nullptr), ctx(c), rpages(c->read_pages), wpages(c->write_pages) {}
    CORE_INLINE explicit Cpu(core6502_context* c) : Cpu(c, c->pc) {}

    CORE_INLINE void save(core6502_context* c) const {
        c->pc = pc;
        if (ea_set) c->ea = ea;
        c->cycles += cycles;
    }
};

u8 bus_read(Cpu& c, u16 a);
void bus_write(Cpu& c, u16 a, u8 v);

CORE_INLINE u8 rd(Cpu& c, u16 a) {
    const u8* base = c.rpages[a >> 8];
    if (CORE_LIKELY(base)) return base[a];
    return bus_read(c, a);
}

inline u8 rd_bus(core6502_context* ctx, u16 a) {
    const u8* base = ctx->read_pages[a >> 8];
    return base ? base[a] : core6502_mem_read(ctx, a);
}

CORE_INLINE void wr(Cpu& c, u16 a, u8 v) {
    u8* base = c.wpages[a >> 8];
    if (CORE_LIKELY(base))
        base[a] = v;
    else
        bus_write(c, a, v);
}

CORE_INLINE u8 fetch(Cpu& c) { return c.direct ? c.code[c.pc++] : rd(c, c.pc++); }

CORE_INLINE u16 fetch16(Cpu& c) {
    u16 lo = fetch(c);
    u16 hi = fetch(c);
    return static_cast<u16>(lo | (hi << 8));
}

CORE_INLINE u16 read16(Cpu& c, u16 lo_addr, u16 hi_addr) {
    u16 lo = rd(c, lo_addr);
    u16 hi = rd(c, hi_addr);
    return static_cast<u16>(lo | (hi << 8));
}

CORE_INLINE void push(Cpu& c, u8 v) {
    wr(c, static_cast<u16>(kStackPage + c.s), v);
    c.s--;
}

CORE_INLINE void push16(Cpu& c, u16 v) {
    push(c, static_cast<u8>(v >> 8));
    push(c, static_cast<u8>(v & 0xFF));
}

CORE_INLINE u8 pull(Cpu& c) {
    c.s++;
    return rd(c, static_cast<u16>(kStackPage + c.s));
}

CORE_INLINE u16 pull16(Cpu& c) {
    u16 lo = pull(c);
    u16 hi = pull(c);
    return static_cast<u16>(lo | (hi << 8));
}

CORE_INLINE void set_flag(Cpu& c, u8 bit, bool on) { c.p = static_cast<u8>(on ? (c.p | bit) : (c.p & ~bit)); }

CORE_INLINE void set_zn(Cpu& c, u8 v) {
    c.p = static_cast<u8>((c.p & ~(CORE6502_Z | CORE6502_N)) | (v ? 0 : CORE6502_Z) | (v & CORE6502_N));
}

CORE_INLINE bool page_crossed(u16 a, u16 b) { return (a ^ b) & 0xFF00; }

// ---- addressing modes: set ea and step pc past the operand ----

CORE_INLINE void m_imp(Cpu&) {}
CORE_INLINE void m_acc(Cpu& c) { c.acc = true; }
CORE_INLINE void m_imm(Cpu& c) {
    c.ea_set = true;
    c.ea_code = c.direct;
    c.ea = c.pc++;
}
CORE_INLINE void m_zp(Cpu& c) { c.ea_set = true; c.ea = fetch(c); }
CORE_INLINE void m_zpx(Cpu& c) { c.ea_set = true; c.ea = static_cast<u8>(fetch(c) + c.x); }
CORE_INLINE void m_zpy(Cpu& c) { c.ea_set = true; c.ea = static_cast<u8>(fetch(c) + c.y); }

CORE_INLINE void m_rel(Cpu& c) {
    c.ea_set = true;
    i8 off = static_cast<i8>(fetch(c));
    c.ea = static_cast<u16>(c.pc + off);
}

CORE_INLINE void m_abso(Cpu& c) { c.ea_set = true; c.ea = fetch16(c); }
CORE_INLINE void m_absx(Cpu& c) { c.ea_set = true; c.ea = static_cast<u16>(fetch16(c) + c.x); }
CORE_INLINE void m_absy(Cpu& c) { c.ea_set = true; c.ea = static_cast<u16>(fetch16(c) + c.y); }

CORE_INLINE void m_absx_p(Cpu& c) {
    c.ea_set = true;
    u16 base = fetch16(c);
    c.ea = static_cast<u16>(base + c.x);
    if (page_crossed(base, c.ea)) c.cycles++;
}

CORE_INLINE void m_absy_p(Cpu& c) {
    c.ea_set = true;
    u16 base = fetch16(c);
    c.ea = static_cast<u16>(base + c.y);
    if (page_crossed(base, c.ea)) c.cycles++;
}

// The NMOS part does not carry into the pointer's high byte: JMP ($10FF)
// takes its high byte from $1000.
CORE_INLINE void m_ind(Cpu& c) {
    c.ea_set = true;
    u16 ptr = fetch16(c);
    c.ea = read16(c, ptr, static_cast<u16>((ptr & 0xFF00) | ((ptr + 1) & 0xFF)));
}

CORE_INLINE void m_indx(Cpu& c) {
    c.ea_set = true;
    u8 z = static_cast<u8>(fetch(c) + c.x);
    c.ea = read16(c, z, static_cast<u8>(z + 1));
}

CORE_INLINE u16 indy_base(Cpu& c) {
    u8 z = fetch(c);
    return read16(c, z, static_cast<u8>(z + 1));
}

CORE_INLINE void m_indy(Cpu& c) { c.ea_set = true; c.ea = static_cast<u16>(indy_base(c) + c.y); }

CORE_INLINE void m_indy_p(Cpu& c) {
    c.ea_set = true;
    u16 base = indy_base(c);
    c.ea = static_cast<u16>(base + c.y);
    if (page_crossed(base, c.ea)) c.cycles++;
}

CORE_INLINE u8 get(Cpu& c) {
    if (c.acc) return c.a;
    if (c.ea_code) return c.code[c.ea];
    return rd(c, c.ea);
}

CORE_INLINE void put(Cpu& c, u8 v) {
    if (c.acc)
        c.a = v;
    else
        wr(c, c.ea, v);
}

// ---- arithmetic helpers ----

CORE_INLINE void do_adc_binary(Cpu& c, u8 m) {
    u16 r = static_cast<u16>(c.a + m + (c.p & CORE6502_C));
    u8 v = static_cast<u8>(((r ^ c.a) & (r ^ m) & 0x80) >> 1);  // lands on bit 6
    c.p = static_cast<u8>((c.p & ~(CORE6502_C | CORE6502_V)) | (r >> 8) | v);
    c.a = static_cast<u8>(r);
    set_zn(c, c.a);
}

// NMOS decimal addition: each nibble corrected past 9 as it is formed. Z
// follows the binary sum; N and V are taken from the high nibble before its
// correction, C after it.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void adc_decimal(u8& a, u8& p, u8 m) {
    u8 carry = p & CORE6502_C;
    u8 binary = static_cast<u8>(a + m + carry);
    int lo = (a & 0x0F) + (m & 0x0F) + carry;
    if (lo > 9) lo += 6;
    int hi = (a >> 4) + (m >> 4) + (lo > 0x0F ? 1 : 0);
    u8 n = (hi & 0x08) ? CORE6502_N : 0;
    u8 v = ((a ^ (hi << 4)) & ~(a ^ m) & 0x80) ? CORE6502_V : 0;
    if (hi > 9) hi += 6;
    u8 c = hi > 0x0F ? CORE6502_C : 0;
    p = static_cast<u8>((p & ~(CORE6502_N | CORE6502_V | CORE6502_Z | CORE6502_C)) | n | v | c |
                        (binary ? 0 : CORE6502_Z));
    a = static_cast<u8>((hi << 4) | (lo & 0x0F));
}

// NMOS decimal subtraction: the flags are those of the binary subtraction
// (set by the caller); only A gets the nibble corrections.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
u8 sbc_decimal_result(u8 a, u8 p, u8 m) {
    int borrow = (p & CORE6502_C) ? 0 : 1;
    int lo = (a & 0x0F) - (m & 0x0F) - borrow;
    if (lo < 0) lo -= 6;
    int hi = (a >> 4) - (m >> 4) - (lo < 0 ? 1 : 0);
    if (hi < 0) hi -= 6;
    return static_cast<u8>((hi << 4) | (lo & 0x0F));
}

CORE_INLINE void do_adc(Cpu& c, u8 m) {
    if (c.p & CORE6502_D)
        adc_decimal(c.a, c.p, m);
    else
        do_adc_binary(c, m);
}

CORE_INLINE void do_sbc(Cpu& c, u8 m) {
    if (c.p & CORE6502_D) {
        u8 a = sbc_decimal_result(c.a, c.p, m);
        do_adc_binary(c, static_cast<u8>(m ^ 0xFF));
        c.a = a;
    } else {
        do_adc_binary(c, static_cast<u8>(m ^ 0xFF));
    }
}

CORE_INLINE void do_cmp(Cpu& c, u8 reg, u8 m) {
    set_flag(c, CORE6502_C, reg >= m);
    set_zn(c, static_cast<u8>(reg - m));
}

CORE_INLINE u8 do_asl(Cpu& c, u8 v) {
    set_flag(c, CORE6502_C, v & 0x80);
    u8 r = static_cast<u8>(v << 1);
    set_zn(c, r);
    return r;
}

CORE_INLINE u8 do_lsr(Cpu& c, u8 v) {
    set_flag(c, CORE6502_C, v & 0x01);
    u8 r = static_cast<u8>(v >> 1);
    set_zn(c, r);
    return r;
}

CORE_INLINE u8 do_rol(Cpu& c, u8 v) {
    u8 r = static_cast<u8>((v << 1) | (c.p & CORE6502_C));
    set_flag(c, CORE6502_C, v & 0x80);
    set_zn(c, r);
    return r;
}

CORE_INLINE u8 do_ror(Cpu& c, u8 v) {
    u8 r = static_cast<u8>(((c.p & CORE6502_C) << 7) | (v >> 1));
    set_flag(c, CORE6502_C, v & 0x01);
    set_zn(c, r);
    return r;
}

CORE_INLINE void branch(Cpu& c, bool taken) {
    if (!taken) return;
    c.cycles += page_crossed(c.pc, c.ea) ? 2 : 1;
    c.pc = c.ea;
}

// ---- operations ----

CORE_INLINE void o_lda(Cpu& c) { c.a = get(c); set_zn(c, c.a); }
CORE_INLINE void o_ldx(Cpu& c) { c.x = get(c); set_zn(c, c.x); }
CORE_INLINE void o_ldy(Cpu& c) { c.y = get(c); set_zn(c, c.y); }
CORE_INLINE void o_lax(Cpu& c) { c.a = c.x = get(c); set_zn(c, c.a); }
CORE_INLINE void o_sta(Cpu& c) { wr(c, c.ea, c.a); }
CORE_INLINE void o_stx(Cpu& c) { wr(c, c.ea, c.x); }
CORE_INLINE void o_sty(Cpu& c) { wr(c, c.ea, c.y); }
CORE_INLINE void o_sax(Cpu& c) { wr(c, c.ea, static_cast<u8>(c.a & c.x)); }

CORE_INLINE void o_tax(Cpu& c) { c.x = c.a; set_zn(c, c.x); }
CORE_INLINE void o_tay(Cpu& c) { c.y = c.a; set_zn(c, c.y); }
CORE_INLINE void o_txa(Cpu& c) { c.a = c.x; set_zn(c, c.a); }
CORE_INLINE void o_tya(Cpu& c) { c.a = c.y; set_zn(c, c.a); }
CORE_INLINE void o_tsx(Cpu& c) { c.x = c.s; set_zn(c, c.x); }
CORE_INLINE void o_txs(Cpu& c) { c.s = c.x; }

CORE_INLINE void o_ora(Cpu& c) { c.a |= get(c); set_zn(c, c.a); }
CORE_INLINE void o_op_and(Cpu& c) { c.a &= get(c); set_zn(c, c.a); }
CORE_INLINE void o_eor(Cpu& c) { c.a ^= get(c); set_zn(c, c.a); }
CORE_INLINE void o_adc(Cpu& c) { do_adc(c, get(c)); }
CORE_INLINE void o_sbc(Cpu& c) { do_sbc(c, get(c)); }
CORE_INLINE void o_cmp(Cpu& c) { do_cmp(c, c.a, get(c)); }
CORE_INLINE void o_cpx(Cpu& c) { do_cmp(c, c.x, get(c)); }
CORE_INLINE void o_cpy(Cpu& c) { do_cmp(c, c.y, get(c)); }

CORE_INLINE void o_bit(Cpu& c) {
    u8 m = get(c);
    c.p = static_cast<u8>((c.p & 0x3D) | (m & 0xC0) | ((c.a & m) ? 0 : CORE6502_Z));
}

// Read-modify-write on memory: one read, the unmodified value written back,
// then the result, as the NMOS part drives its bus. I/O registers see both
// writes (INC $D019 acknowledges the VIC with the first). With mode acc both
// writes land in A, so the first is invisible.
CORE_INLINE u8 rmw_read(Cpu& c) {
    c.back = 2;
    u8 v = get(c);
    c.back = 1;
    put(c, v);
    c.back = 0;
    return v;
}

CORE_INLINE void o_inc(Cpu& c) { u8 r = static_cast<u8>(rmw_read(c) + 1); put(c, r); set_zn(c, r); }
CORE_INLINE void o_dec(Cpu& c) { u8 r = static_cast<u8>(rmw_read(c) - 1); put(c, r); set_zn(c, r); }
CORE_INLINE void o_inx(Cpu& c) { c.x++; set_zn(c, c.x); }
CORE_INLINE void o_iny(Cpu& c) { c.y++; set_zn(c, c.y); }
CORE_INLINE void o_dex(Cpu& c) { c.x--; set_zn(c, c.x); }
CORE_INLINE void o_dey(Cpu& c) { c.y--; set_zn(c, c.y); }

CORE_INLINE void o_asl(Cpu& c) { put(c, do_asl(c, rmw_read(c))); }
CORE_INLINE void o_lsr(Cpu& c) { put(c, do_lsr(c, rmw_read(c))); }
CORE_INLINE void o_rol(Cpu& c) { put(c, do_rol(c, rmw_read(c))); }
CORE_INLINE void o_ror(Cpu& c) { put(c, do_ror(c, rmw_read(c))); }

// The undocumented combinations: the same bus cycles, then the second
// operation on the result, without reading the target again.
CORE_INLINE void o_slo(Cpu& c) {
    u8 r = do_asl(c, rmw_read(c));
    put(c, r);
    c.a |= r;
    set_zn(c, c.a);
}

CORE_INLINE void o_rla(Cpu& c) {
    u8 r = do_rol(c, rmw_read(c));
    put(c, r);
    c.a &= r;
    set_zn(c, c.a);
}

CORE_INLINE void o_sre(Cpu& c) {
    u8 r = do_lsr(c, rmw_read(c));
    put(c, r);
    c.a ^= r;
    set_zn(c, c.a);
}

CORE_INLINE void o_rra(Cpu& c) {
    u8 r = do_ror(c, rmw_read(c));
    put(c, r);
    do_adc(c, r);
}

CORE_INLINE void o_dcp(Cpu& c) {
    u8 r = static_cast<u8>(rmw_read(c) - 1);
    put(c, r);
    do_cmp(c, c.a, r);
}

CORE_INLINE void o_isb(Cpu& c) {
    u8 r = static_cast<u8>(rmw_read(c) + 1);
    put(c, r);
    do_sbc(c, r);
}

CORE_INLINE void o_bcc(Cpu& c) { branch(c, !(c.p & CORE6502_C)); }
CORE_INLINE void o_bcs(Cpu& c) { branch(c, c.p & CORE6502_C); }
CORE_INLINE void o_bne(Cpu& c) { branch(c, !(c.p & CORE6502_Z)); }
CORE_INLINE void o_beq(Cpu& c) { branch(c, c.p & CORE6502_Z); }
CORE_INLINE void o_bpl(Cpu& c) { branch(c, !(c.p & CORE6502_N)); }
CORE_INLINE void o_bmi(Cpu& c) { branch(c, c.p & CORE6502_N); }
CORE_INLINE void o_bvc(Cpu& c) { branch(c, !(c.p & CORE6502_V)); }
CORE_INLINE void o_bvs(Cpu& c) { branch(c, c.p & CORE6502_V); }

CORE_INLINE void o_clc(Cpu& c) { c.p &= static_cast<u8>(~CORE6502_C); }
CORE_INLINE void o_sec(Cpu& c) { c.p |= CORE6502_C; }
// CLI, SEI and PLP change I after the chip has polled its IRQ input for the
// next boundary: that check still sees the I from before the instruction.
CORE_INLINE void keep_i_for_irq_check(Cpu& c) { c.ctx->i_before = c.p & CORE6502_I; }

// Clearing I with the IRQ line held: core6502_run must look at it again.
CORE_INLINE void watch_irq(Cpu& c) {
    if (c.ctx->irq_lines) c.ctx->stop = c.ctx->cycles;
}

CORE_INLINE void o_cli(Cpu& c) {
    keep_i_for_irq_check(c);
    c.p &= static_cast<u8>(~CORE6502_I);
    watch_irq(c);
}
CORE_INLINE void o_sei(Cpu& c) {
    keep_i_for_irq_check(c);
    c.p |= CORE6502_I;
}
CORE_INLINE void o_clv(Cpu& c) { c.p &= static_cast<u8>(~CORE6502_V); }
CORE_INLINE void o_cld(Cpu& c) { c.p &= static_cast<u8>(~CORE6502_D); }
CORE_INLINE void o_sed(Cpu& c) { c.p |= CORE6502_D; }

CORE_INLINE void o_jmp(Cpu& c) { c.pc = c.ea; }

// The chip reads the target's low byte, pushes the return address (the
// address of the high byte), and only then reads the high byte: a stack
// that overlaps the operand changes the target.
CORE_INLINE void o_jsr(Cpu& c) {
    u16 lo = fetch(c);
    push16(c, c.pc);
    u16 hi = fetch(c);
    c.ea_set = true;
    c.ea = static_cast<u16>(lo | (hi << 8));
    c.pc = c.ea;
}

CORE_INLINE void o_rts(Cpu& c) { c.pc = static_cast<u16>(pull16(c) + 1); }

CORE_INLINE void o_brk(Cpu& c) {
    c.pc++;  // the byte after BRK is skipped on return
    push16(c, c.pc);
    push(c, static_cast<u8>(c.p | CORE6502_B));
    c.p |= CORE6502_I;
    c.pc = read16(c, kIrqVector, kIrqVector + 1);
}

CORE_INLINE void o_rti(Cpu& c) {
    c.p = static_cast<u8>(pull(c) | CORE6502_B | CORE6502_U);
    c.pc = pull16(c);
    watch_irq(c);
}

CORE_INLINE void o_php(Cpu& c) { push(c, static_cast<u8>(c.p | CORE6502_B)); }
CORE_INLINE void o_pha(Cpu& c) { push(c, c.a); }
CORE_INLINE void o_plp(Cpu& c) {
    keep_i_for_irq_check(c);
    c.p = static_cast<u8>(pull(c) | CORE6502_B | CORE6502_U);
    watch_irq(c);
}
CORE_INLINE void o_pla(Cpu& c) { c.a = pull(c); set_zn(c, c.a); }

CORE_INLINE void o_nop(Cpu&) {}
// The undocumented NOPs with an operand read it, like a load.
CORE_INLINE void o_nop_read(Cpu& c) { (void)get(c); }

// ---- the other stable undocumented operations ----

CORE_INLINE void o_anc(Cpu& c) {  // AND, then C = N
    c.a &= get(c);
    set_zn(c, c.a);
    set_flag(c, CORE6502_C, c.a & 0x80);
}

CORE_INLINE void o_alr(Cpu& c) {  // AND, then LSR A
    c.a = do_lsr(c, static_cast<u8>(c.a & get(c)));
}

// ARR: AND, then ROR A through the adder, whose carry and overflow it
// leaves behind; with D set the adder's decimal correction shows as well.
CORE_INLINE void o_arr(Cpu& c) {
    u8 t = static_cast<u8>(c.a & get(c));
    u8 carry_in = c.p & CORE6502_C;
    u8 a = static_cast<u8>((carry_in << 7) | (t >> 1));
    if (!(c.p & CORE6502_D)) {
        set_zn(c, a);
        set_flag(c, CORE6502_C, a & 0x40);
        set_flag(c, CORE6502_V, ((a >> 6) ^ (a >> 5)) & 1);
    } else {
        set_flag(c, CORE6502_N, carry_in);
        set_flag(c, CORE6502_Z, a == 0);
        set_flag(c, CORE6502_V, (t ^ a) & 0x40);
        if ((t & 0x0F) + (t & 0x01) > 5) a = static_cast<u8>((a & 0xF0) | ((a + 6) & 0x0F));
        bool carry = (t >> 4) + ((t >> 4) & 1) > 5;
        set_flag(c, CORE6502_C, carry);
        if (carry) a = static_cast<u8>(a + 0x60);
    }
    c.a = a;
}

CORE_INLINE void o_sbx(Cpu& c) {  // X = (A AND X) - M, flags as CMP
    u8 ax = static_cast<u8>(c.a & c.x);
    u8 m = get(c);
    do_cmp(c, ax, m);
    c.x = static_cast<u8>(ax - m);
}

// ANE and LXA mix A with a chip-dependent constant; $EE is the common one.
CORE_INLINE void o_ane(Cpu& c) {
    c.a = static_cast<u8>((c.a | 0xEE) & c.x & get(c));
    set_zn(c, c.a);
}

CORE_INLINE void o_lxa(Cpu& c) {
    c.a = c.x = static_cast<u8>((c.a | 0xEE) & get(c));
    set_zn(c, c.a);
}

CORE_INLINE void o_las(Cpu& c) {
    c.a = c.x = c.s = static_cast<u8>(get(c) & c.s);
    set_zn(c, c.a);
}

// SHA, SHX, SHY, TAS: the stored value is ANDed with the high byte of the
// unindexed base + 1. When indexing crosses a page the chip also puts that
// value on the address bus as the high byte of the target.
CORE_INLINE void store_and_high(Cpu& c, u8 value, u8 index) {
    u16 base = static_cast<u16>(c.ea - index);
    u8 v = static_cast<u8>(value & ((base >> 8) + 1));
    c.ea_set = true;
    if (page_crossed(base, c.ea)) c.ea = static_cast<u16>((v << 8) | (c.ea & 0xFF));
    wr(c, c.ea, v);
}

CORE_INLINE void o_sha(Cpu& c) { store_and_high(c, static_cast<u8>(c.a & c.x), c.y); }
CORE_INLINE void o_shx(Cpu& c) { store_and_high(c, c.x, c.y); }
CORE_INLINE void o_shy(Cpu& c) { store_and_high(c, c.y, c.x); }
CORE_INLINE void o_tas(Cpu& c) {
    c.s = static_cast<u8>(c.a & c.x);
    store_and_high(c, c.s, c.y);
}

// The halting opcodes stop the chip until reset: pc stays on the opcode.
CORE_INLINE void o_jam(Cpu& c) {
    c.pc--;
    c.ctx->jammed = true;
    c.ctx->stop = c.ctx->cycles;
}

// ---- table entries: the same bodies on a context ----

void acc(core6502_context* ctx);

CORE_INLINE bool is_acc(const core6502_context* ctx) { return core6502_opcodes[ctx->opcode].mode == acc; }

#define CORE6502_MODE_FN(name)              \
    void name(core6502_context* ctx) {      \
        Cpu c(ctx);                         \
        m_##name(c);                        \
        c.save(ctx);                        \
    }
#define CORE6502_OP_FN(name)                \
    void name(core6502_context* ctx) {      \
        Cpu c(ctx);                         \
        c.len = ctx->base;                  \
        c.acc = is_acc(ctx);                \
        o_##name(c);                        \
        c.save(ctx);                        \
    }

CORE6502_MODE_FN(imp)
CORE6502_MODE_FN(acc)
CORE6502_MODE_FN(imm)
CORE6502_MODE_FN(zp)
CORE6502_MODE_FN(zpx)
CORE6502_MODE_FN(zpy)
CORE6502_MODE_FN(rel)
CORE6502_MODE_FN(abso)
CORE6502_MODE_FN(absx)
CORE6502_MODE_FN(absy)
CORE6502_MODE_FN(absx_p)
CORE6502_MODE_FN(absy_p)
CORE6502_MODE_FN(ind)
CORE6502_MODE_FN(indx)
CORE6502_MODE_FN(indy)
CORE6502_MODE_FN(indy_p)

CORE6502_OP_FN(lda)
CORE6502_OP_FN(ldx)
CORE6502_OP_FN(ldy)
CORE6502_OP_FN(lax)
CORE6502_OP_FN(sta)
CORE6502_OP_FN(stx)
CORE6502_OP_FN(sty)
CORE6502_OP_FN(sax)
CORE6502_OP_FN(tax)
CORE6502_OP_FN(tay)
CORE6502_OP_FN(txa)
CORE6502_OP_FN(tya)
CORE6502_OP_FN(tsx)
CORE6502_OP_FN(txs)
CORE6502_OP_FN(ora)
CORE6502_OP_FN(op_and)
CORE6502_OP_FN(eor)
CORE6502_OP_FN(adc)
CORE6502_OP_FN(sbc)
CORE6502_OP_FN(cmp)
CORE6502_OP_FN(cpx)
CORE6502_OP_FN(cpy)
CORE6502_OP_FN(bit)
CORE6502_OP_FN(inc)
CORE6502_OP_FN(dec)
CORE6502_OP_FN(inx)
CORE6502_OP_FN(iny)
CORE6502_OP_FN(dex)
CORE6502_OP_FN(dey)
CORE6502_OP_FN(asl)
CORE6502_OP_FN(lsr)
CORE6502_OP_FN(rol)
CORE6502_OP_FN(ror)
CORE6502_OP_FN(slo)
CORE6502_OP_FN(dcp)
CORE6502_OP_FN(isb)
CORE6502_OP_FN(rla)
CORE6502_OP_FN(sre)
CORE6502_OP_FN(rra)
CORE6502_OP_FN(bcc)
CORE6502_OP_FN(bcs)
CORE6502_OP_FN(bne)
CORE6502_OP_FN(beq)
CORE6502_OP_FN(bpl)
CORE6502_OP_FN(bmi)
CORE6502_OP_FN(bvc)
CORE6502_OP_FN(bvs)
CORE6502_OP_FN(clc)
CORE6502_OP_FN(sec)
CORE6502_OP_FN(cli)
CORE6502_OP_FN(sei)
CORE6502_OP_FN(clv)
CORE6502_OP_FN(cld)
CORE6502_OP_FN(sed)
CORE6502_OP_FN(jmp)
CORE6502_OP_FN(jsr)
CORE6502_OP_FN(rts)
CORE6502_OP_FN(brk)
CORE6502_OP_FN(rti)
CORE6502_OP_FN(php)
CORE6502_OP_FN(pha)
CORE6502_OP_FN(plp)
CORE6502_OP_FN(pla)
CORE6502_OP_FN(nop)
CORE6502_OP_FN(nop_read)
CORE6502_OP_FN(anc)
CORE6502_OP_FN(alr)
CORE6502_OP_FN(arr)
CORE6502_OP_FN(sbx)
CORE6502_OP_FN(ane)
CORE6502_OP_FN(lxa)
CORE6502_OP_FN(las)
CORE6502_OP_FN(sha)
CORE6502_OP_FN(shx)
CORE6502_OP_FN(shy)
CORE6502_OP_FN(tas)
CORE6502_OP_FN(jam)

#undef CORE6502_MODE_FN
#undef CORE6502_OP_FN

}  // namespace

const core6502_opcode core6502_opcodes[256] = {
#define CORE6502_OP(code, mode, op, cyc) {mode, op, cyc},
#include "c64/core6502_table.inc"
#undef CORE6502_OP
};

namespace {

// One function per opcode, its mode and operation inlined, for the common
// case: the whole instruction lies in one plain RAM or ROM page, so its
// operand bytes are read from that array without further checks. The step
// enters it with pc already past the opcode byte.
#if defined(__i386__)
// Arguments in registers, so that the step can jump into the handler
// instead of calling it.
#define CORE_HANDLER __attribute__((regparm(3)))
#else
#define CORE_HANDLER
#endif
typedef CORE_HANDLER void (*core6502_handler)(core6502_context* ctx, u16 pc, const u8* code);

#define CORE6502_OP(opc, mode, op, cyc)                                   \
    CORE_HANDLER void handle_##opc(core6502_context* ctx, u16 pc, const u8* bytes) { \
        Cpu c(ctx, pc);                                                   \
        c.len = cyc;                                                      \
        c.direct = true;                                                  \
        c.code = bytes;                                                   \
        m_##mode(c);                                                      \
        o_##op(c);                                                        \
        c.cycles += cyc;                                                  \
        c.save(ctx);                                                      \
    }
#include "c64/core6502_table.inc"
#undef CORE6502_OP

const core6502_handler kHandlers[256] = {
#define CORE6502_OP(opc, mode, op, cyc) handle_##opc,
#include "c64/core6502_table.inc"
#undef CORE6502_OP
};

}  // namespace

namespace {

// ---- bus cycles: which are writes, when the hooks see them, RDY ----------

constexpr bool same_name(const char* a, const char* b) {
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

constexpr bool any_of(const char* op, const char* const* names, int n) {
    for (int i = 0; i < n; i++)
        if (same_name(op, names[i])) return true;
    return false;
}

// The write cycles of an instruction, counted back from its last cycle
// (bit 0 = the last). Stores write last; read-modify-write writes its
// last two; JSR pushes in its fourth and fifth of six; BRK (and the
// interrupt entry, which runs as opcode $00) in its third to fifth of seven.
constexpr const char* kStores[] = {"sta", "stx", "sty", "sax", "sha", "shx", "shy", "tas", "pha", "php"};
constexpr const char* kReadModifyWrite[] = {"inc", "dec", "asl", "lsr", "rol", "ror",
                                            "slo", "rla", "sre", "rra", "dcp", "isb"};
constexpr u8 writes_from_end(const char* op, const char* mode) {
    if (any_of(op, kStores, 10)) return 0x01;
    if (any_of(op, kReadModifyWrite, 12)) return same_name(mode, "acc") ? 0x00 : 0x03;
    if (same_name(op, "jsr")) return 0x06;
    if (same_name(op, "brk")) return 0x1C;
    return 0x00;
}

constexpr u8 kWritesFromEnd[256] = {
#define CORE6502_OP(opc, mode, op, cyc) writes_from_end(#op, #mode),
#include "c64/core6502_table.inc"
#undef CORE6502_OP
};

CORE_INLINE bool write_cycle(u8 opcode, u32 length, u32 index) {
    u32 from_end = length - 1 - index;
    return from_end < 8 && ((kWritesFromEnd[opcode] >> from_end) & 1);
}

// The instruction that began at `start` (and has `length` cycles) has
// reached cycle `upto`: if a read cycle of it from RDY's fall up to there
// lay in the window, it waited there until the window's end, which uses
// the window up.
void rdy_wait(core6502_context* ctx, u32 start, u32 length, u32 upto) {
    u32 p = ctx->rdy_from;
    if (static_cast<i32>(p - start) < 0) p = start;
    for (; static_cast<i32>(p - upto) <= 0 && static_cast<i32>(p - ctx->rdy_until) < 0; p++) {
        if (write_cycle(ctx->opcode, length, p - start)) continue;
        ctx->cycles += ctx->rdy_until - p;
        ctx->rdy_from = ctx->rdy_until;
        return;
    }
}

// After an instruction that began before RDY fell and ended after it.
void rdy_after(core6502_context* ctx, u32 start) {
    if (ctx->rdy_from == ctx->rdy_until) return;
    u32 end = ctx->cycles;
    if (static_cast<i32>(start - ctx->rdy_from) >= 0 || static_cast<i32>(end - ctx->rdy_from) <= 0) return;
    rdy_wait(ctx, start, end - start, end - 1);
}

// A hook's access, at its own cycle: the context's counter moves there
// for the call (after any wait the RDY window imposes on the way).
#if defined(__GNUC__)
__attribute__((noinline))
#endif
u32 access_cycle(Cpu& c) {
    core6502_context* ctx = c.ctx;
    u32 offset = c.cycles + c.len - 1 - c.back;
    if (ctx->rdy_from != ctx->rdy_until && static_cast<i32>(ctx->cycles + offset - ctx->rdy_from) >= 0)
        rdy_wait(ctx, ctx->cycles, c.cycles + c.len, ctx->cycles + offset);
    return offset;
}

u8 bus_read(Cpu& c, u16 a) {
    u32 offset = access_cycle(c);
    c.ctx->cycles += offset;
    u8 v = core6502_mem_read(c.ctx, a);
    c.ctx->cycles -= offset;
    return v;
}

void bus_write(Cpu& c, u16 a, u8 v) {
    u32 offset = access_cycle(c);
    c.ctx->cycles += offset;
    core6502_mem_write(c.ctx, a, v);
    c.ctx->cycles -= offset;
}

}  // namespace

void core6502_bind_pages(core6502_context* ctx, u8* const* read_pages, u8* const* write_pages) {
    ctx->read_pages = read_pages ? read_pages : kNoPages;
    ctx->write_pages = write_pages ? write_pages : kNoPages;
}

u16 core6502_get_value(core6502_context* ctx) {
    Cpu c(ctx);
    c.acc = is_acc(ctx);
    return get(c);
}

void core6502_put_value(core6502_context* ctx, u16 value) {
    Cpu c(ctx);
    c.acc = is_acc(ctx);
    put(c, static_cast<u8>(value));
    c.save(ctx);
}

void core6502_push_8(core6502_context* ctx, u8 value) {
    Cpu c(ctx);
    push(c, value);
    c.save(ctx);
}

void core6502_push_16(core6502_context* ctx, u16 value) {
    Cpu c(ctx);
    push16(c, value);
    c.save(ctx);
}

u8 core6502_pull_8(core6502_context* ctx) {
    Cpu c(ctx);
    u8 v = pull(c);
    c.save(ctx);
    return v;
}

u16 core6502_pull_16(core6502_context* ctx) {
    Cpu c(ctx);
    u16 v = pull16(c);
    c.save(ctx);
    return v;
}

u16 core6502_mem_read16(core6502_context* ctx, u16 address) {
    Cpu c(ctx);
    return read16(c, address, static_cast<u16>(address + 1));
}

void core6502_reset(core6502_context* ctx) {
    Cpu c(ctx);
    // The reset sequence's bus reads: three idle cycles, then three stack reads.
    rd(c, 0x00FF);
    rd(c, 0x00FF);
    rd(c, 0x00FF);
    rd(c, 0x0100);
    rd(c, 0x01FF);
    rd(c, 0x01FE);
    c.pc = read16(c, kResetVector, kResetVector + 1);
    c.s = 0xFD;
    c.p |= CORE6502_I | CORE6502_U;
    c.save(ctx);
    ctx->cycles = 0;
    ctx->jammed = false;
    ctx->nmi_pending = false;
    ctx->i_before = CORE6502_I;
}

namespace {
// Code in I/O space or across a page end: mode and operation from the table,
// every byte through the bus.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void step_through_bus(core6502_context* ctx, u16 pc) {
    ctx->opcode = rd_bus(ctx, pc);
    ctx->pc = static_cast<u16>(pc + 1);
    const core6502_opcode& e = core6502_opcodes[ctx->opcode];
    ctx->base = static_cast<u8>(e.cycles);
    e.mode(ctx);
    e.op(ctx);
    ctx->cycles += static_cast<u32>(e.cycles);
}

CORE_INLINE void step_running(core6502_context* ctx) {
    u16 pc = ctx->pc;
    const u8* base = ctx->read_pages[pc >> 8];
    ctx->flags |= CORE6502_U;
    // Up to two operand bytes follow the opcode: in-page from $xxFD down.
    if (CORE_LIKELY(base && (pc & 0xFF) <= 0xFD)) {
        u8 opcode = base[pc];
        ctx->opcode = opcode;
        kHandlers[opcode](ctx, static_cast<u16>(pc + 1), base);
        return;
    }
    step_through_bus(ctx, pc);
}

constexpr u8 kCli = 0x58, kSei = 0x78, kPlp = 0x28;

// The per-instruction check for anything but a plain step is one load and
// one test: the four bytes from irq_lines (irq_lines, nmi_lines,
// nmi_pending, jammed) read as a little-endian word. The wanted IRQ sources
// are bits 0-7, nmi_lines (bits 8-15) is ignored, the NMI edge and the halt
// are bits 16-31.
static_assert(__builtin_offsetof(core6502_context, nmi_lines) == __builtin_offsetof(core6502_context, irq_lines) + 1 &&
                  __builtin_offsetof(core6502_context, nmi_pending) == __builtin_offsetof(core6502_context, irq_lines) + 2 &&
                  __builtin_offsetof(core6502_context, jammed) == __builtin_offsetof(core6502_context, irq_lines) + 3,
              "the attention word needs these four bytes in this order");

CORE_INLINE bool needs_attention(const core6502_context* ctx, u8 irq_sources) {
    u32 word;
    __builtin_memcpy(&word, &ctx->irq_lines, sizeof word);
    return (word & (0xFFFF0000u | irq_sources)) != 0;
}

// The I flag the IRQ check sees at this boundary: after CLI, SEI or PLP the
// one from before that instruction; otherwise the current one (RTI's
// restored flag counts at once).
CORE_INLINE bool irq_masked(const core6502_context* ctx) {
    u8 op = ctx->opcode;
    if (op == kCli || op == kSei || op == kPlp) return ctx->i_before != 0;
    return (ctx->flags & CORE6502_I) != 0;
}

// Interrupt entry, the chip's BRK sequence without the padding byte: the
// return address and the status (B clear) pushed, I set, the vector taken;
// seven cycles. `opcode` reads $00 meanwhile, so that a bus hook can tell
// these pushes from a program's stores.
void enter_interrupt(core6502_context* ctx, u16 vector) {
    ctx->opcode = 0x00;
    Cpu c(ctx);
    push16(c, c.pc);
    push(c, static_cast<u8>((c.p & ~CORE6502_B) | CORE6502_U));
    c.p |= CORE6502_I;
    c.pc = read16(c, vector, static_cast<u16>(vector + 1));
    c.cycles += kInterruptCycles;
    c.save(ctx);
}
}  // namespace


namespace {
// The poll of the instruction that ran from cycle `start` to now: its
// next-to-last cycle, or for a taken branch that stays in its page (three
// cycles) its first.
CORE_INLINE void note_poll(core6502_context* ctx, u32 start) {
    constexpr u8 kBranchMask = 0x1F, kBranch = 0x10;
    constexpr u32 kTakenInPage = 3;
    u32 end = ctx->cycles;
    bool quirk = (ctx->opcode & kBranchMask) == kBranch && end - start == kTakenInPage;
    ctx->poll_at = quirk ? start : end - 2;
}

CORE_INLINE bool seen_by_poll(const core6502_context* ctx, u32 since) {
    return static_cast<i32>(since - ctx->poll_at) <= 0;
}
}  // namespace

void core6502_step(core6502_context* ctx) {
    if (ctx->jammed) return;
    u32 start = ctx->cycles;
    step_running(ctx);
    note_poll(ctx, start);
}

bool core6502_take_interrupt(core6502_context* ctx, u8 irq_sources) {
    if (ctx->jammed) return false;
    if (ctx->nmi_pending) {
        ctx->nmi_pending = false;
        enter_interrupt(ctx, kNmiVector);
        return true;
    }
    if ((ctx->irq_lines & irq_sources) && !irq_masked(ctx)) {
        enter_interrupt(ctx, kIrqVector);
        return true;
    }
    return false;
}

namespace {
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void step_after_attention(core6502_context* ctx, u8 irq_sources) {
    if (ctx->jammed) return;
    core6502_take_interrupt(ctx, irq_sources);
    step_running(ctx);
}
}  // namespace

void core6502_step_with_interrupts(core6502_context* ctx, u8 irq_sources) {
    if (needs_attention(ctx, irq_sources)) {
        step_after_attention(ctx, irq_sources);
        return;
    }
    step_running(ctx);
}

void core6502_steps(core6502_context* ctx, u32 count, u8 irq_sources) {
    for (u32 i = 0; i < count; i++) {
        if (needs_attention(ctx, irq_sources)) {
            step_after_attention(ctx, irq_sources);
            continue;
        }
        step_running(ctx);
    }
}

void core6502_irq(core6502_context* ctx) {
    if (ctx->jammed || irq_masked(ctx)) return;
    enter_interrupt(ctx, kIrqVector);
}

void core6502_set_irq_at(core6502_context* ctx, u8 source, bool asserted, u32 at) {
    if (asserted) {
        if (ctx->irq_lines == 0) ctx->irq_since = at;
        ctx->irq_lines |= source;
        ctx->stop = ctx->cycles;
    } else {
        ctx->irq_lines &= static_cast<u8>(~source);
    }
}

void core6502_set_nmi_at(core6502_context* ctx, u8 source, bool asserted, u32 at) {
    if (asserted) {
        if (ctx->nmi_lines == 0) {
            ctx->nmi_pending = true;
            ctx->nmi_since = at;
            ctx->stop = ctx->cycles;
        }
        ctx->nmi_lines |= source;
    } else {
        ctx->nmi_lines &= static_cast<u8>(~source);
    }
}

void core6502_set_irq(core6502_context* ctx, u8 source, bool asserted) {
    core6502_set_irq_at(ctx, source, asserted, ctx->cycles);
}

void core6502_set_nmi(core6502_context* ctx, u8 source, bool asserted) {
    core6502_set_nmi_at(ctx, source, asserted, ctx->cycles);
}

void core6502_stop_by(core6502_context* ctx, u32 at) {
    if (static_cast<i32>(at - ctx->request) < 0) ctx->request = at;
    if (static_cast<i32>(at - ctx->stop) < 0) ctx->stop = at;
}

namespace {
// Instructions until the cycle count reaches ctx->stop (which the
// instructions and the hooks they reach may lower). The opcodes' bodies
// are those of the handlers, inlined here, and each ends in its own jump
// to the next opcode's body: one indirect jump an instruction, and one the
// host's branch predictor can learn per opcode. Returns the cycle at which
// the last instruction began.
u32 run_threaded(core6502_context* ctx) {
    static const void* const kBodies[256] = {
#define CORE6502_OP(opc, mode, op, cyc) &&body_##opc,
#include "c64/core6502_table.inc"
#undef CORE6502_OP
    };
    u32 begun;
    u16 pc;
    const u8* base;
    // Every instruction leaves U set; this is where a register write from
    // outside the core is made good.
    ctx->flags |= CORE6502_U;
#define CORE6502_NEXT                                              \
    begun = ctx->cycles;                                           \
    pc = ctx->pc;                                                  \
    base = ctx->read_pages[pc >> 8];                               \
    if (!CORE_LIKELY(base && (pc & 0xFF) <= 0xFD)) goto through_bus; \
    ctx->opcode = base[pc];                                        \
    goto* kBodies[ctx->opcode]

    CORE6502_NEXT;

#define CORE6502_OP(opc, mode, op, cyc)                                  \
    body_##opc : {                                                       \
        Cpu c(ctx, static_cast<u16>(pc + 1));                            \
        c.len = cyc;                                                     \
        c.direct = true;                                                 \
        c.code = base;                                                   \
        m_##mode(c);                                                     \
        o_##op(c);                                                       \
        c.cycles += cyc;                                                 \
        c.save(ctx);                                                     \
    }                                                                    \
    if (static_cast<i32>(ctx->cycles - ctx->stop) >= 0) return begun;   \
    CORE6502_NEXT;
#include "c64/core6502_table.inc"
#undef CORE6502_OP

through_bus:
    step_through_bus(ctx, pc);
    if (static_cast<i32>(ctx->cycles - ctx->stop) >= 0) return begun;
    CORE6502_NEXT;
#undef CORE6502_NEXT
}

// An interrupt the core must look at: an NMI edge, or the IRQ line held
// while I is clear, or was when the last instruction (SEI, PLP) sampled it.
CORE_INLINE bool interrupt_wanted(const core6502_context* ctx) {
    return ctx->nmi_pending || (ctx->irq_lines && (!(ctx->flags & CORE6502_I) || !irq_masked(ctx)));
}

// Enters an interrupt the last instruction's poll saw.
bool enter_if_seen(core6502_context* ctx) {
    if (ctx->nmi_pending && seen_by_poll(ctx, ctx->nmi_since)) {
        ctx->nmi_pending = false;
    } else if (!(ctx->irq_lines && !irq_masked(ctx) && seen_by_poll(ctx, ctx->irq_since))) {
        return false;
    } else {
        enter_interrupt(ctx, kIrqVector);
        return true;
    }
    enter_interrupt(ctx, kNmiVector);
    return true;
}

// RDY low at an instruction's first cycle: its opcode fetch waits.
CORE_INLINE void wait_at_fetch(core6502_context* ctx) {
    if (ctx->rdy_from == ctx->rdy_until) return;
    u32 t = ctx->cycles;
    if (static_cast<i32>(t - ctx->rdy_from) >= 0 && static_cast<i32>(t - ctx->rdy_until) < 0) {
        ctx->cycles = ctx->rdy_until;
        ctx->rdy_from = ctx->rdy_until;
    }
}

// One instruction (or interrupt entry) with its waits and its poll.
void run_one(core6502_context* ctx) {
    wait_at_fetch(ctx);
    u32 start = ctx->cycles;
    if (enter_if_seen(ctx)) {
        rdy_after(ctx, start);
        // The handler's first instruction runs before anything else is taken.
        ctx->poll_at = start - 1;
        return;
    }
    step_running(ctx);
    rdy_after(ctx, start);
    note_poll(ctx, start);
}
}  // namespace

u32 core6502_run(core6502_context* ctx, u32 until) {
    u32 start = ctx->cycles;
    ctx->request = until;
    core6502_run_segment(ctx, until);
    return ctx->cycles - start;
}

void core6502_run_segment(core6502_context* ctx, u32 to) {
    if (static_cast<i32>(ctx->request - to) < 0) to = ctx->request;
    while (static_cast<i32>(ctx->cycles - to) < 0) {
        if (ctx->jammed) {
            ctx->cycles = to;  // halted: time passes for the chips
            break;
        }
        if (interrupt_wanted(ctx)) {
            run_one(ctx);
            continue;
        }
        wait_at_fetch(ctx);
        ctx->stop = to;
        if (ctx->rdy_from != ctx->rdy_until && static_cast<i32>(ctx->rdy_from - to) < 0) ctx->stop = ctx->rdy_from;
        u32 begun = run_threaded(ctx);
        rdy_after(ctx, begun);
        note_poll(ctx, begun);
        if (static_cast<i32>(ctx->request - to) < 0) to = ctx->request;  // a chip asked in between
    }
}

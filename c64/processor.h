// The machine's 6510: the 6502 core's context with the small interface the
// chips, the main loop and the monitor use. The chips ask it for the time
// and set its interrupt lines by source; nothing else touches the core.
#ifndef TARN_C64_PROCESSOR_H
#define TARN_C64_PROCESSOR_H

#include "c64/core6502.h"
#include "lib/types.h"

class Memory;

class Processor {
public:
    // Sources on the IRQ line and on the NMI line.
    static constexpr u8 kIrqVic = CORE6502_IRQ_VIC;
    static constexpr u8 kIrqCia1 = CORE6502_IRQ_CIA1;
    static constexpr u8 kIrqTick = CORE6502_IRQ_TICK;  // text mode's jiffy
    static constexpr u8 kNmiCia2 = CORE6502_NMI_CIA2;
    static constexpr u8 kNmiRestore = CORE6502_NMI_RESTORE;

    struct Registers {
        u16 pc;
        u8 a, x, y;
        u8 flags;  // N V 1 B D I Z C
        u8 s;
    };

    explicit Processor(Memory* memory);
    Processor(const Processor&) = delete;
    Processor& operator=(const Processor&) = delete;

    // The reset sequence: the vector at $FFFC, I set, the cycle count from 0.
    void reset();

    // Text mode: one instruction, after taking at its boundary an NMI edge
    // or the jiffy tick (the chips' IRQ sources are not served there).
    void step() { core6502_step_with_interrupts(&ctx_, kIrqTick); }
    // `count` of those steps.
    void steps(u32 count) { core6502_steps(&ctx_, count, kIrqTick); }
    // Text mode's jiffy: a pulse on the IRQ line, taken now unless I masks
    // it, and gone either way.
    void tick();
    // Full mode: whole instructions, every interrupt source served at the
    // cycle it is sampled, until the cycle count reaches `until` (the last
    // instruction may end past it). Read cycles inside a bus window wait
    // for its end. Returns the cycles run.
    u32 run(u32 until);
    // The VIC holds the bus: the processor stands still for `cycles`.
    void stall(u32 cycles) { ctx_.cycles += cycles; }
    // The VIC's bus windows ahead (BA low: RDY for the processor), in
    // cycle order, [from, until) each; the array stays the caller's until
    // replaced. None by default.
    struct BusWindow {
        u32 from, until;
    };
    void bus_windows(const BusWindow* windows, int count) {
        windows_ = windows;
        window_count_ = count;
    }
    // A chip needs the running core back at its checks by cycle `at`.
    void stop_by(u32 at) { core6502_stop_by(&ctx_, at); }

    // Cycles since reset (wraps); the chips' time base in both modes.
    u32 cycles() const { return ctx_.cycles; }
    // Interrupt lines by source, changed now or from cycle `at`.
    void set_irq(u8 source, bool asserted) { core6502_set_irq(&ctx_, source, asserted); }
    void set_nmi(u8 source, bool asserted) { core6502_set_nmi(&ctx_, source, asserted); }
    void set_irq(u8 source, bool asserted, u32 at) { core6502_set_irq_at(&ctx_, source, asserted, at); }
    void set_nmi(u8 source, bool asserted, u32 at) { core6502_set_nmi_at(&ctx_, source, asserted, at); }
    u8 irq_lines() const { return ctx_.irq_lines; }
    u8 nmi_lines() const { return ctx_.nmi_lines; }
    // A halting opcode ran: nothing runs until reset.
    bool jammed() const { return ctx_.jammed; }

    Registers registers() const { return {ctx_.pc, ctx_.a, ctx_.x, ctx_.y, ctx_.flags, ctx_.s}; }
    void registers(const Registers& r);
    u16 pc() const { return ctx_.pc; }
    // The instruction that ran last: its opcode and effective address.
    u8 opcode() const { return ctx_.opcode; }
    u16 effective_address() const { return ctx_.ea; }

    // The core's own state, for tests that set up or inspect registers
    // and lines directly.
    core6502_context& state() { return ctx_; }

    // The memory map changed its pages (bank switching keeps the tables
    // where they are, so this is needed only when the map is replaced).
    void bind_pages();

private:
    core6502_context ctx_ = {};
    Memory* memory_;
    const BusWindow* windows_ = nullptr;
    int window_count_ = 0;
};

#endif

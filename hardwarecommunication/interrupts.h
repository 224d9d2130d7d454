// 8259 PIC pair and the interrupt descriptor table: interrupt dispatch.
#ifndef TARN_HARDWARECOMMUNICATION_INTERRUPTS_H
#define TARN_HARDWARECOMMUNICATION_INTERRUPTS_H

#include "hardwarecommunication/port.h"
#include "lib/types.h"

namespace tarn {
namespace hardwarecommunication {

// Register frame left on the stack by the entry path, lowest address first.
// eax..ebp are pushed by int_bottom, error by the stub or the processor,
// eip/cs/eflags by the processor; esp/ss only on a privilege change.
struct CPUState {
    u32 eax;
    u32 ebx;
    u32 ecx;
    u32 edx;
    u32 esi;
    u32 edi;
    u32 ebp;
    u32 error;
    u32 eip;
    u32 cs;
    u32 eflags;
    u32 esp;
    u32 ss;
} __attribute__((packed));

class InterruptManager;

// Takes the timer interrupt's register frame and returns the frame to
// resume: another task's for a task switch (the kernel's task manager).
class FrameScheduler {
public:
    virtual CPUState* Schedule(CPUState* frame) = 0;

protected:
    ~FrameScheduler() = default;
};

// Base of every interrupt-driven object: registers itself in the manager's
// table for one interrupt number.
class InterruptHandler {
public:
    virtual u32 HandleInterrupt(u32 esp);

    u8 InterruptNumber() const { return number; }

protected:
    InterruptHandler(InterruptManager* manager, u8 interruptNumber);
    ~InterruptHandler();

    u8 number;
    InterruptManager* manager;
};

class InterruptManager {
    friend class InterruptHandler;

public:
    // One IDT entry in the processor's format (x86 interrupt gate):
    //   bytes 0-1 handler 0..15   bytes 2-3 code selector   byte 4 zero
    //   byte 5 access: P DPL(2) 0 type(4)   bytes 6-7 handler 16..31
    struct GateDescriptor {
        u16 handlerAddressLowBits;
        u16 gdt_codeSegmentSelector;
        u8 reserved;
        u8 access;
        u16 handlerAddressHighBits;
    } __attribute__((packed));

    struct InterruptDescriptorTablePointer {
        u16 size;
        uintptr_t base;
    } __attribute__((packed));

    // Gates on the given code segment; the timer's frames go through the
    // scheduler (null: none).
    InterruptManager(u16 hardwareInterruptOffset, u16 codeSegmentSelector, FrameScheduler* scheduler);
    ~InterruptManager();

    u16 HardwareInterruptOffset() const { return irqBase; }

    // Makes this manager the one the entry path reaches, then enables interrupts.
    void Activate();
    // Disables interrupts if this manager is the active one.
    void Deactivate();

    // Called by the entry path with the reported number and the frame address;
    // returns the frame to resume.
    static u32 HandleInterrupt(u8 interrupt, u32 esp);

    static InterruptManager* Active() { return ActiveInterruptManager; }
    // Called with the number of a processor fault nobody handles, before
    // the processor halts for good (the kernel marks it on the screen).
    static void FatalHook(void (*hook)(u8 exception)) { fatalHook = hook; }
    static const GateDescriptor* DescriptorTable() { return interruptDescriptorTable; }
    static const InterruptDescriptorTablePointer& DescriptorTablePointer() { return idtPointer; }
    InterruptHandler* HandlerAt(u8 interrupt) const { return handlerTable[interrupt]; }

protected:
    static InterruptManager* ActiveInterruptManager;
    static GateDescriptor interruptDescriptorTable[256];
    static InterruptDescriptorTablePointer idtPointer;
    static void (*fatalHook)(u8 exception);

    InterruptHandler* handlerTable[256];
    FrameScheduler* scheduler;
    u16 irqBase;
    Port8BitSlow masterCommandPort;
    Port8BitSlow masterDataPort;
    Port8BitSlow slaveCommandPort;
    Port8BitSlow slaveDataPort;

    static void SetInterruptDescriptorTableEntry(u8 interrupt, u16 codeSegmentSelectorOffset,
                                                 void (*handler)(), u8 descriptorPrivilegeLevel,
                                                 u8 descriptorType);
    void InitializeControllers();
    u32 DoHandleInterrupt(u8 interrupt, u32 esp);
};

}  // namespace hardwarecommunication
}  // namespace tarn

// Entry stubs (interruptstubs.s in the kernel; stand-ins on the host).
extern "C" {
extern u8 interruptnumber;
void InterruptIgnore();
void HandleException0x00();
void HandleException0x01();
void HandleException0x02();
void HandleException0x03();
void HandleException0x04();
void HandleException0x05();
void HandleException0x06();
void HandleException0x07();
void HandleException0x08();
void HandleException0x09();
void HandleException0x0A();
void HandleException0x0B();
void HandleException0x0C();
void HandleException0x0D();
void HandleException0x0E();
void HandleException0x0F();
void HandleException0x10();
void HandleException0x11();
void HandleException0x12();
void HandleException0x13();
void HandleInterruptRequest0x00();
void HandleInterruptRequest0x01();
void HandleInterruptRequest0x02();
void HandleInterruptRequest0x03();
void HandleInterruptRequest0x04();
void HandleInterruptRequest0x05();
void HandleInterruptRequest0x06();
void HandleInterruptRequest0x07();
void HandleInterruptRequest0x08();
void HandleInterruptRequest0x09();
void HandleInterruptRequest0x0A();
void HandleInterruptRequest0x0B();
void HandleInterruptRequest0x0C();
void HandleInterruptRequest0x0D();
void HandleInterruptRequest0x0E();
void HandleInterruptRequest0x0F();
void HandleSyscall0x80();
}

#endif

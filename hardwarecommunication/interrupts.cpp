// 8259 PIC pair and interrupt dispatch: IDT set-up, remapping, handler table.
#include "hardwarecommunication/interrupts.h"

#include "hardwarecommunication/cpu_control.h"

namespace tarn {
namespace hardwarecommunication {

namespace {
const u16 kPicMasterCommand = 0x20;  // ICW1, OCW2
const u16 kPicMasterData = 0x21;     // ICW2-4, mask
const u16 kPicSlaveCommand = 0xA0;
const u16 kPicSlaveData = 0xA1;
const u16 kPostPort = 0x80;          // POST diagnostic display

// ICW1: 0001LA0I  L=level  I=ICW4 follows
const u8 kIcw1Init = 0x11;
const u8 kIcw3MasterSlaveOnIr2 = 0x04;  // bit mask: slave on line 2
const u8 kIcw3SlaveIdentity = 0x02;     // cascade identity
const u8 kIcw4Mode8086 = 0x01;
const u8 kMaskNone = 0x00;
const u8 kOcw2EndOfInterrupt = 0x20;

const u8 kGatePresent = 0x80;
const u8 kGateInterrupt32 = 0xE;
const u16 kIdtLimit = 256 * 8 - 1;   // 0x7FF
const u8 kSyscallVector = 0x80;
const u8 kExceptionCount = 0x20;     // vectors below the remapped IRQs

void (*const kExceptionStubs[])() = {
    HandleException0x00, HandleException0x01, HandleException0x02, HandleException0x03,
    HandleException0x04, HandleException0x05, HandleException0x06, HandleException0x07,
    HandleException0x08, HandleException0x09, HandleException0x0A, HandleException0x0B,
    HandleException0x0C, HandleException0x0D, HandleException0x0E, HandleException0x0F,
    HandleException0x10, HandleException0x11, HandleException0x12, HandleException0x13,
};

void (*const kRequestStubs[])() = {
    HandleInterruptRequest0x00, HandleInterruptRequest0x01, HandleInterruptRequest0x02,
    HandleInterruptRequest0x03, HandleInterruptRequest0x04, HandleInterruptRequest0x05,
    HandleInterruptRequest0x06, HandleInterruptRequest0x07, HandleInterruptRequest0x08,
    HandleInterruptRequest0x09, HandleInterruptRequest0x0A, HandleInterruptRequest0x0B,
    HandleInterruptRequest0x0C, HandleInterruptRequest0x0D, HandleInterruptRequest0x0E,
    HandleInterruptRequest0x0F,
};
}  // namespace

InterruptManager* InterruptManager::ActiveInterruptManager = nullptr;
InterruptManager::GateDescriptor InterruptManager::interruptDescriptorTable[256];
InterruptManager::InterruptDescriptorTablePointer InterruptManager::idtPointer;
void (*InterruptManager::fatalHook)(u8) = nullptr;

// ---- handler base ---------------------------------------------------------------

InterruptHandler::InterruptHandler(InterruptManager* manager, u8 interruptNumber)
    : number(interruptNumber), manager(manager) {
    if (manager) manager->handlerTable[interruptNumber] = this;
}

InterruptHandler::~InterruptHandler() {
    if (manager && manager->handlerTable[number] == this) manager->handlerTable[number] = nullptr;
}

u32 InterruptHandler::HandleInterrupt(u32 esp) { return esp; }

// ---- IDT and PICs -----------------------------------------------------------------

void InterruptManager::SetInterruptDescriptorTableEntry(u8 interrupt, u16 codeSegmentSelectorOffset,
                                                        void (*handler)(),
                                                        u8 descriptorPrivilegeLevel,
                                                        u8 descriptorType) {
    u32 address = static_cast<u32>(reinterpret_cast<uintptr_t>(handler));
    GateDescriptor& gate = interruptDescriptorTable[interrupt];
    gate.handlerAddressLowBits = static_cast<u16>(address & 0xFFFF);
    gate.handlerAddressHighBits = static_cast<u16>((address >> 16) & 0xFFFF);
    gate.gdt_codeSegmentSelector = codeSegmentSelectorOffset;
    gate.reserved = 0;
    gate.access = static_cast<u8>(kGatePresent | ((descriptorPrivilegeLevel & 3) << 5) |
                                  descriptorType);
}

InterruptManager::InterruptManager(u16 hardwareInterruptOffset, u16 codeSegment, FrameScheduler* scheduler)
    : scheduler(scheduler),
      irqBase(hardwareInterruptOffset),
      masterCommandPort(kPicMasterCommand),
      masterDataPort(kPicMasterData),
      slaveCommandPort(kPicSlaveCommand),
      slaveDataPort(kPicSlaveData) {
    for (int i = 255; i >= 0; --i) {
        SetInterruptDescriptorTableEntry(static_cast<u8>(i), codeSegment, InterruptIgnore, 0,
                                         kGateInterrupt32);
        handlerTable[i] = nullptr;
    }
    for (u8 i = 0; i < 0x14; ++i)
        SetInterruptDescriptorTableEntry(i, codeSegment, kExceptionStubs[i], 0, kGateInterrupt32);
    for (u8 i = 0; i < 16; ++i)
        SetInterruptDescriptorTableEntry(static_cast<u8>(irqBase + i), codeSegment,
                                         kRequestStubs[i], 0, kGateInterrupt32);
    SetInterruptDescriptorTableEntry(kSyscallVector, codeSegment, HandleSyscall0x80, 0,
                                     kGateInterrupt32);

    InitializeControllers();

    idtPointer.size = kIdtLimit;
    idtPointer.base = reinterpret_cast<uintptr_t>(interruptDescriptorTable);
    cpu_load_idt(&idtPointer);
}

void InterruptManager::InitializeControllers() {
    masterCommandPort.Write(kIcw1Init);
    slaveCommandPort.Write(kIcw1Init);
    // ICW2: vector base of each controller's eight lines.
    masterDataPort.Write(static_cast<u8>(irqBase));
    slaveDataPort.Write(static_cast<u8>(irqBase + 8));
    masterDataPort.Write(kIcw3MasterSlaveOnIr2);
    slaveDataPort.Write(kIcw3SlaveIdentity);
    masterDataPort.Write(kIcw4Mode8086);
    slaveDataPort.Write(kIcw4Mode8086);
    masterDataPort.Write(kMaskNone);
    slaveDataPort.Write(kMaskNone);
}

InterruptManager::~InterruptManager() { Deactivate(); }

void InterruptManager::Activate() {
    if (ActiveInterruptManager != nullptr && ActiveInterruptManager != this)
        ActiveInterruptManager->Deactivate();
    ActiveInterruptManager = this;
    cpu_enable_interrupts();
}

void InterruptManager::Deactivate() {
    if (ActiveInterruptManager == this) {
        ActiveInterruptManager = nullptr;
        cpu_disable_interrupts();
    }
}

// ---- dispatch ---------------------------------------------------------------------

u32 InterruptManager::HandleInterrupt(u8 interrupt, u32 esp) {
    if (ActiveInterruptManager != nullptr)
        return ActiveInterruptManager->DoHandleInterrupt(interrupt, esp);
    return esp;
}

u32 InterruptManager::DoHandleInterrupt(u8 interrupt, u32 esp) {
    if (interrupt < kExceptionCount && handlerTable[interrupt] == nullptr) {
        // A processor fault nobody claimed: stop with a mark on screen and
        // the number on the diagnostic port.
        cpu_disable_interrupts();
        Port8Bit::Write8(kPostPort, interrupt);
        if (fatalHook) fatalHook(interrupt);
        cpu_halt_forever();
        return esp;  // reached only on the simulated bus
    }

    if (handlerTable[interrupt] != nullptr) esp = handlerTable[interrupt]->HandleInterrupt(esp);

    if (interrupt == irqBase && scheduler != nullptr) {
        CPUState* frame = reinterpret_cast<CPUState*>(static_cast<uintptr_t>(esp));
        esp = static_cast<u32>(reinterpret_cast<uintptr_t>(scheduler->Schedule(frame)));
    }

    if (interrupt >= irqBase && interrupt < irqBase + 16) {
        masterCommandPort.Write(kOcw2EndOfInterrupt);
        if (interrupt >= irqBase + 8) slaveCommandPort.Write(kOcw2EndOfInterrupt);
    }
    return esp;
}

}  // namespace hardwarecommunication
}  // namespace tarn

// System calls through software interrupt 0x80 (reported as 0x80 + irqBase).
#ifndef TARN_KERNEL_SYSCALLS_H
#define TARN_KERNEL_SYSCALLS_H

#include "hardwarecommunication/interrupts.h"
#include "lib/types.h"

namespace tarn {

class SyscallHandler : public hardwarecommunication::InterruptHandler {
public:
    static const u32 kSyscallPrint = 4;  // eax 4: print the string at ebx

    SyscallHandler(hardwarecommunication::InterruptManager* interruptManager, u8 interruptNumber);
    ~SyscallHandler();

    u32 HandleInterrupt(u32 esp) override;
};

}  // namespace tarn

#endif

// System calls through software interrupt 0x80: the register frame carries
// the call number in eax and its argument in ebx.
#include "kernel/syscalls.h"

#include "lib/stdio.h"

namespace tarn {

using hardwarecommunication::CPUState;
using hardwarecommunication::InterruptHandler;
using hardwarecommunication::InterruptManager;

SyscallHandler::SyscallHandler(InterruptManager* interruptManager, u8 interruptNumber)
    : InterruptHandler(interruptManager,
                       static_cast<u8>(interruptNumber + interruptManager->HardwareInterruptOffset())) {}

SyscallHandler::~SyscallHandler() {}

u32 SyscallHandler::HandleInterrupt(u32 esp) {
    CPUState* cpu = reinterpret_cast<CPUState*>(static_cast<uintptr_t>(esp));
    if (cpu->eax == kSyscallPrint && cpu->ebx != 0)
        printf(reinterpret_cast<const char*>(static_cast<uintptr_t>(cpu->ebx)));
    return esp;
}

}  // namespace tarn

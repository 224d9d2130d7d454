// Task switching: round-robin over saved register frames.
#include "kernel/multitasking.h"

#include "kernel/gdt.h"

namespace tarn {

using hardwarecommunication::CPUState;

namespace {
const u32 kEflagsInterruptsOn = 0x202;  // IF plus the always-one bit 1
}

Task::Task(GlobalDescriptorTable* gdt, void (*entrypoint)()) {
    // The first frame sits at the top of the task's stack, as if the task had
    // been interrupted just before its first instruction.
    cpustate = reinterpret_cast<CPUState*>(stack + kStackSize - sizeof(CPUState));
    cpustate->eax = 0;
    cpustate->ebx = 0;
    cpustate->ecx = 0;
    cpustate->edx = 0;
    cpustate->esi = 0;
    cpustate->edi = 0;
    cpustate->ebp = 0;
    cpustate->error = 0;
    cpustate->eip = static_cast<u32>(reinterpret_cast<uintptr_t>(entrypoint));
    cpustate->cs = gdt->CodeSegmentSelector();
    cpustate->eflags = kEflagsInterruptsOn;
    cpustate->esp = 0;
    cpustate->ss = 0;
}

Task::~Task() {}

TaskManager::TaskManager() : numTasks(0), currentTask(-1) {
    for (i32 i = 0; i < kMaxTasks; ++i) tasks[i] = nullptr;
}

TaskManager::~TaskManager() {}

bool TaskManager::AddTask(Task* task) {
    if (task == nullptr || numTasks >= kMaxTasks) return false;
    tasks[numTasks++] = task;
    return true;
}

CPUState* TaskManager::Schedule(CPUState* cpustate) {
    if (numTasks <= 0) return cpustate;
    if (currentTask >= 0) tasks[currentTask]->cpustate = cpustate;
    if (++currentTask >= numTasks) currentTask = 0;
    return tasks[currentTask]->cpustate;
}

}  // namespace tarn

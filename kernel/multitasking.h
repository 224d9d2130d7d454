// Task switching on the timer interrupt: saved register frames per task.
#ifndef TARN_KERNEL_MULTITASKING_H
#define TARN_KERNEL_MULTITASKING_H

#include "hardwarecommunication/interrupts.h"
#include "lib/types.h"

namespace tarn {

class GlobalDescriptorTable;

// A flow of control with its own stack; its first frame resumes at entry.
class Task {
    friend class TaskManager;

public:
    static const u32 kStackSize = 4096;

    Task(GlobalDescriptorTable* gdt, void (*entrypoint)());
    ~Task();

    const hardwarecommunication::CPUState* State() const { return cpustate; }

private:
    u8 stack[kStackSize];
    hardwarecommunication::CPUState* cpustate;
};

class TaskManager : public hardwarecommunication::FrameScheduler {
public:
    static const i32 kMaxTasks = 256;

    TaskManager();
    ~TaskManager();

    // Adds a task; false when the table is full.
    bool AddTask(Task* task);
    // Saves the interrupted frame in the current task and returns the frame
    // of the next one; with no task the interrupted frame itself.
    hardwarecommunication::CPUState* Schedule(hardwarecommunication::CPUState* cpustate) override;

    i32 TaskCount() const { return numTasks; }
    i32 CurrentTask() const { return currentTask; }

private:
    Task* tasks[kMaxTasks];
    i32 numTasks;
    i32 currentTask;
};

}  // namespace tarn

#endif

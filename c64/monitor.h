// Machine-language monitor on the kernel console.
// (Interface stub: the contract operations other components call.)
#ifndef TARN_C64_MONITOR_H
#define TARN_C64_MONITOR_H

#include "lib/types.h"

class Cpu;
class IO;
class Memory;
namespace kestrel { namespace filesystem { class Fat32; } }

class Monitor {
public:
    void cpu(Cpu* c) { cpu_ = c; }
    void io(IO* i) { io_ = i; }
    void mem(Memory* m) { mem_ = m; }
    void fat32(kestrel::filesystem::Fat32* f) { fat_ = f; }

    void Start();
    void Stop() { active = false; }
    void OnKeyDown(u8 key);
    void OnKeyUp(u8 key);

    // Called on every pass of Start()'s wait loop. The kernel leaves it null
    // (keys arrive by interrupt); the headless test machine sets it to
    // deliver queued key events, as the keyboard interrupt would.
    static void (*idle_hook)();

private:
    Cpu* cpu_ = nullptr;
    IO* io_ = nullptr;
    Memory* mem_ = nullptr;
    kestrel::filesystem::Fat32* fat_ = nullptr;
    volatile bool active = true;
};

#endif

// Machine-language monitor: a command line on the kernel console over the
// frozen machine's memory and registers and the FAT32 disk.
#ifndef TARN_C64_MONITOR_H
#define TARN_C64_MONITOR_H

#include "lib/key_event.h"
#include "lib/types.h"

class Processor;
class Memory;
namespace tarn {
class Clock;
class KeySource;
namespace filesystem { class DiskRegistry; class Fat32; }
}

class Monitor {
public:
    static const u8 kLineMax = 80;  // characters a command line holds

    Monitor();
    ~Monitor();

    void cpu(Processor* c) { cpu_ = c; }
    void mem(Memory* m) { mem_ = m; }
    void fat32(tarn::filesystem::Fat32* f) { fat_ = f; }
    // The disks found, for P; drive 8's volume is the one given to fat32.
    void disks(const tarn::filesystem::DiskRegistry* d) { disks_ = d; }
    // Q switches the sound off and on: fn toggles it and returns whether
    // it is now off.
    typedef bool (*SoundSwitch)(void* ctx);
    void sound_switch(SoundSwitch fn, void* ctx) {
        sound_switch_ = fn;
        sound_ctx_ = ctx;
    }

    // Takes the console, shows the banner and works on the keys from
    // `keys` until Esc (false) or F10 (true: the machine is to be reset).
    // Waits for keys on `clock`.
    bool run(tarn::KeySource* keys, tarn::Clock* clock);
    // The console with the banner, the help and a prompt.
    void Start();
    // One key for the command line.
    void key(tarn::KeyEvent event);

    void help();
    void prompt();
    void process_cmd();

private:
    void memory_display(const char* from, const char* to);
    void register_display();

    // Disk commands (monitor_disk.cpp), on drive 8's volume.
    void partition_display();
    void directory_display(const char* cluster);
    void read_file(const char* name);
    void sector_display(const char* sector, const char* count);
    void erase_file(const char* name);
    void rename_file(const char* from, const char* to);
    void load_file(const char* name, const char* address);
    void write_file(const char* name, const char* from, const char* to);
    void write_test_file(const char* name);
    bool volume_ready();
    // The whole file into a new heap buffer (delete[] it); a status.
    u8 read_whole(const char* name, u8** data, u32* length);

    Processor* cpu_ = nullptr;
    Memory* mem_ = nullptr;
    char line[kLineMax + 1];
    u8 lineLength;
    bool shiftDown;
    tarn::filesystem::Fat32* fat_ = nullptr;
    const tarn::filesystem::DiskRegistry* disks_ = nullptr;
    SoundSwitch sound_switch_ = nullptr;
    void* sound_ctx_ = nullptr;
};

#endif

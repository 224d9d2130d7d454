// The machine on the PC: one C64 after another (a reset builds a fresh one
// in the same storage), wired to the parts of the PC the host picked.
#ifndef TARN_HOST_MACHINE_LOOP_H
#define TARN_HOST_MACHINE_LOOP_H

#include "lib/types.h"

namespace tarn {
class AudioSink;
class Clock;
class GamePortSource;
class KeySource;
class Screen;
namespace filesystem { class DiskRegistry; class Fat32; }

namespace host {

struct MachineParts {
    KeySource* keys;
    Clock* clock;
    GamePortSource* game_ports;  // USB mice and pads; null: none
    AudioSink* audio;
    filesystem::Fat32* volume;  // drive 8's volume; null without one
    const filesystem::DiskRegistry* disks;  // every disk found, for the monitor
    Screen* screen;             // null: no display to draw on
    bool full_mode;             // the first machine starts in full C64 mode
    void (*built)(int step);    // start-up progress: 3 display set up, 4 about to start
};

// Never returns.
void run_machines(const MachineParts& parts);

// Drive 8's volume from now on (null: none), for the running machine and
// every later one: a USB stick pulled out or plugged in. Called between two
// steps of the machine, never from inside one of its disk operations.
void change_volume(filesystem::Fat32* volume);

// The running machine's 64 KiB of RAM (null between machines), for
// debuggers and the system tests, which read it through QEMU.
extern const u8* volatile g_machine_ram;

}  // namespace host
}  // namespace tarn

#endif

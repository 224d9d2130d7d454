// The machine on the PC: one C64 after another.
#include "host/machine_loop.h"

#include <new>

#include "c64/c64.h"
#include "c64/memory.h"
#include "c64/monitor.h"
#include "c64/serial_bus.h"
#include "c64/sid.h"

namespace tarn {
namespace host {

const u8* volatile g_machine_ram = nullptr;

namespace {
C64* g_running = nullptr;
filesystem::Fat32* g_volume = nullptr;
}  // namespace

void change_volume(filesystem::Fat32* volume) {
    g_volume = volume;
    if (!g_running) return;
    g_running->serial_bus()->fat32(volume);
    g_running->monitor()->fat32(volume);
}

void run_machines(const MachineParts& parts) {
    // The drivers, the volume, the heap and the console outlive every machine.
    alignas(C64) static u8 storage[sizeof(C64)];
    bool full_mode = parts.full_mode;
    g_volume = parts.volume;
    for (;;) {
        C64* machine = new (storage) C64(C64::Host{parts.keys, parts.clock, parts.screen, parts.game_ports});
        // The first machine takes the boot option; later ones keep the mode
        // the last one ended in (F10 does not leave full mode).
        if (full_mode) machine->full_mode(true);
        full_mode = false;
        machine->sid()->sink(parts.audio);
        if (parts.built) parts.built(3);
        machine->serial_bus()->fat32(g_volume);
        machine->monitor()->fat32(g_volume);
        machine->monitor()->disks(parts.disks);
        g_machine_ram = machine->mem()->ram_image();
        g_running = machine;
        if (parts.built) parts.built(4);
        machine->start();
        g_running = nullptr;
        g_machine_ram = nullptr;
        machine->~C64();
    }
}

}  // namespace host
}  // namespace tarn

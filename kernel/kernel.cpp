// Kernel entry: brings up every service in a fixed order, then runs the C64
// for ever, building a fresh machine after each reset.
#include "drivers/driver.h"
#include "drivers/framebuffer/framebuffer_screen.h"
#include "drivers/framebuffer/video_copy.h"
#include "drivers/keyboard.h"
#include "drivers/pit.h"
#include "drivers/rtc.h"
#include "drivers/serial.h"
#include "hardwarecommunication/interrupts.h"
#include "hardwarecommunication/pci.h"
#include "host/disks.h"
#include "host/machine_loop.h"
#include "host/pc_clock.h"
#include "host/pc_keys.h"
#include "host/sound.h"
#include "host/usb_host.h"
#include "kernel/cpu_setup.h"
#include "kernel/fatal_square.h"
#include "kernel/gdt.h"
#include "kernel/globals.h"
#include "kernel/memorymanagement.h"
#include "kernel/multiboot.h"
#include "kernel/multitasking.h"
#include "kernel/startup.h"
#include "kernel/syscalls.h"
#include "lib/key_queue.h"
#include "lib/stdio.h"
#include "lib/types.h"
#include "lib/vga.h"

using namespace tarn;
using namespace tarn::drivers;
using namespace tarn::filesystem;
using namespace tarn::hardwarecommunication;

namespace {
const u16 kIrqBase = 0x20;         // IRQ 0..15 become vectors 0x20..0x2F
const u8 kSyscallVector = 0x80;
}  // namespace

// Static constructors, listed by the linker between these two symbols.
typedef void (*constructor)();
extern "C" constructor start_ctors;
extern "C" constructor end_ctors;

extern "C" void callConstructors() {
    for (constructor* c = &start_ctors; c != &end_ctors; c++) (*c)();
}

// Where the image ends (the linker script's symbol): the heap starts above.
extern "C" u8 kernel_end[];

namespace {

BootInfo g_boot_info;
drivers::FramebufferScreen g_screen;

// The RAM picture comes from the heap; without room for it, or without a
// framebuffer, the console keeps its text and draws nothing.
bool attach_screen(const startup::Display& display) {
    if (!display.video) return false;
    u8* ram = new u8[drivers::FramebufferScreen::ram_bytes(display.width, display.height)];
    if (!ram) return false;
    return g_screen.attach(display.video, display.width, display.height, display.pitch, display.format, ram);
}

// Write-combining needs the whole framebuffer below 4 GiB (it is, or the
// display was not taken) and the processor's PAT.
bool map_framebuffer(const startup::Display& display) {
    if (!display.video) return false;
    return cpu_map_write_combining(static_cast<u32>(reinterpret_cast<uintptr_t>(display.video)),
                                   display.pitch * display.height);
}

void report_memory(const startup::HeapRegion& heap) {
    printf("\nMemory: %d MB usable, heap %d MB @ 0x%08X", static_cast<u32>(startup::usable_memory(g_boot_info) >> 20),
           heap.size >> 20, heap.start);
}

void report_display(const startup::Display& display, bool shown, bool sse2, bool write_combining) {
    printf("\nObtaining video mode.............");
    if (!display.video) {
        printf("none: no framebuffer from the boot loader or the adapter");
        return;
    }
    printf(shown ? "[OK]" : "not used (no memory for its picture)");
    printf(" Screen %d X %d X %d - Pitch %d (%s)", display.width, display.height, display.bpp, display.pitch,
           display.from_loader ? "boot loader" : "adapter");
    printf("\n                                 VGA Memory @ $%08X %s, %s stores, text x%d",
           static_cast<u32>(reinterpret_cast<uintptr_t>(display.video)),
           write_combining ? "write-combining" : "uncached", sse2 ? "16-byte" : "32-bit", vga_scale());
}

}  // namespace

// The end of the highest usable RAM below 4 GiB.
static u32 ram_top(const BootInfo& info) {
    u64 top = 0;
    for (u32 i = 0; i < info.usable_count; i++) {
        u64 end = info.usable[i].base + info.usable[i].length;
        if (end > top) top = end;
    }
    return top > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<u32>(top);
}

extern "C" void kernelMain(const void* multiboot_structure, u32 /*magic*/) {
    // Everything the boot loader left is copied first: the heap may reuse it.
    read_boot_info(multiboot_structure, &g_boot_info);
    startup::text_banner(reinterpret_cast<volatile u16*>(startup::kVgaTextBuffer));
    GlobalDescriptorTable gdt;

    startup::Display display = startup::choose_framebuffer(g_boot_info);
    startup::progress_square(1);
    startup::HeapRegion heap =
        startup::choose_heap(g_boot_info, static_cast<u32>(reinterpret_cast<uintptr_t>(kernel_end)));
    MemoryManager memoryManager(heap.start, heap.size);
    startup::progress_square(2);

    bool sse2 = cpu_enable_sse2();
    drivers::video_copy_use_sse2(sse2);
    bool write_combining = map_framebuffer(display);
    bool shown = attach_screen(display);
    vga_init(shown ? &g_screen : nullptr);
    if (shown) startup::squares_on(&g_screen);
    vga_clear();
    printf("Tarn Operating System Starting...\n");
    report_memory(heap);
    printf("\n\n");

    TaskManager taskManager;
    InterruptManager interrupts(kIrqBase, gdt.CodeSegmentSelector(), &taskManager);
    InterruptManager::FatalHook(draw_exception_square);
    SyscallHandler syscalls(&interrupts, kSyscallVector);

    DriverManager driverManager;
    // Every keyboard, PS/2 or USB, pushes its key events here.
    static KeyQueue keys;
    KeyboardDriver keyboard(&interrupts, &keys);
    driverManager.AddDriver(&keyboard);
    SerialEventHandler serialHandler;
    SerialDriver serial(&interrupts, &serialHandler);
    driverManager.AddDriver(&serial);
    static host::PcClock clock;
    PITDriver timer(&interrupts, &clock);
    driverManager.AddDriver(&timer);

    PeripheralComponentInterconnectController pci;
    pci.Enumerate(nullptr, 0);
    driverManager.ActivateAll();

    printf("Initializing interrupts..........[OK]\n");
    interrupts.Activate();
    clock.start(&timer);
    printf("Clock: %s\n", clock.source_name());

    // USB first: its disks go into the registry ahead of every other one.
    host::Disks disks;
    static host::UsbHost usb;
    usb.game_ports()->mouse_enabled(!host::PcGamePorts::MouseOff(g_boot_info.cmdline));
    usb.Start(&pci, [] { return clock.milliseconds(); }, &keys, &disks, ram_top(g_boot_info));
    // A USB stick pulled out or plugged in moves drive 8's volume.
    usb.OnVolumeChange(host::change_volume);
    // The machine reads its keys here; when none waits, the polled devices
    // are asked.
    static host::PcKeys machineKeys(&keys, &keyboard);
    machineKeys.poll_devices([] { usb.Poll(); });

    disks.Find([] { return clock.milliseconds(); });

    disks.ChooseVolume(g_boot_info.cmdline);
    printf("\n\nInitializing filesystem driver...[OK]");
    disks.ReportVolume();

    report_display(display, shown, sse2, write_combining);

    host::Sound* sound = new host::Sound();
    if (sound) sound->Start(&pci, &interrupts, [] { return clock.milliseconds(); });
    RTCDriver rtc;
    datetime now;
    rtc.GetRTC(&now);
    printf("\n\nGetting date: %d/%d/%d", now.month, now.day, now.year);
    printf("\nGetting time: %d:%d:%d", now.hour, now.minute, now.second);

    host::MachineParts parts = {};
    parts.keys = &machineKeys;
    parts.clock = &clock;
    parts.game_ports = usb.game_ports();
    parts.audio = sound ? sound->sink() : nullptr;
    parts.screen = shown ? &g_screen : nullptr;
    parts.volume = disks.volume();
    parts.disks = disks.registry();
    parts.full_mode = startup::cmdline_requests_full_mode(g_boot_info.cmdline);
    parts.built = startup::progress_square;
    host::run_machines(parts);
}

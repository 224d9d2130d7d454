// Kernel entry: brings up every service in a fixed order, then runs the C64
// for ever, building a fresh machine after each reset.
#include "c64/c64.h"
#include "c64/io.h"
#include "c64/monitor.h"
#include "c64/sid.h"
#include "drivers/driver.h"
#include "drivers/keyboard.h"
#include "drivers/pit.h"
#include "drivers/rtc.h"
#include "drivers/serial.h"
#include "drivers/speaker.h"
#include "host/speaker_tone.h"
#include "hardwarecommunication/interrupts.h"
#include "hardwarecommunication/pci.h"
#include "host/disks.h"
#include "host/usb_host.h"
#include "kernel/gdt.h"
#include "kernel/globals.h"
#include "kernel/memorymanagement.h"
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

static void report_video_mode(const void* mbi) {
    printf("\nObtaining video mode.............[OK]");
    printf(" Screen %d X %d X %d - Pitch %d", startup::mbi_u32(mbi, startup::kMbiFbWidth),
           startup::mbi_u32(mbi, startup::kMbiFbHeight),
           static_cast<const u8*>(mbi)[startup::kMbiFbBpp],
           startup::mbi_u32(mbi, startup::kMbiFbPitch));
    printf("\n                                      VGA Memory @ $%08X",
           startup::mbi_u32(mbi, startup::kMbiFbAddr));
}

extern "C" void kernelMain(const void* multiboot_structure, u32 /*magic*/) {
    mboot_hdr = const_cast<void*>(multiboot_structure);
    startup::choose_framebuffer(multiboot_structure);

    vga_init(g_fb_addr, g_fb_width, g_fb_height, g_fb_pitch, g_fb_bpp);
    vga_clear();
    printf("Tarn Operating System Starting...\n");

    GlobalDescriptorTable gdt;
    startup::text_banner(reinterpret_cast<volatile u16*>(startup::kVgaTextBuffer));
    startup::progress_square(1);

    u32 heap_size = startup::heap_size(startup::mbi_u32(multiboot_structure, startup::kMbiMemUpper));
    MemoryManager memoryManager(startup::kHeapStart, heap_size);
    startup::progress_square(2);
    printf("\n%d Byte Heap @ 0x%08X", heap_size, startup::kHeapStart);
    printf("\n\n");

    TaskManager taskManager;
    InterruptManager interrupts(kIrqBase, &gdt, &taskManager);
    SyscallHandler syscalls(&interrupts, kSyscallVector);

    DriverManager driverManager;
    // Every keyboard, PS/2 or USB, pushes its key events here.
    static KeyQueue keys;
    IOKeyboardEventHandler keyboardHandler;
    KeyboardDriver keyboard(&interrupts, &keyboardHandler, &keys);
    driverManager.AddDriver(&keyboard);
    SerialEventHandler serialHandler;
    SerialDriver serial(&interrupts, &serialHandler);
    driverManager.AddDriver(&serial);
    IOPITEventHandler tickHandler;
    PITDriver timer(&interrupts, &tickHandler);
    driverManager.AddDriver(&timer);

    PeripheralComponentInterconnectController pci;
    pci.SelectDrivers(&driverManager, &interrupts);
    driverManager.ActivateAll();

    printf("Initializing interrupts..........[OK]\n");
    interrupts.Activate();

    static host::UsbHost usb;
    usb.Start(&pci, [] { return static_cast<u32>(current_milli); }, &keys);
    C64::host_poll = [] { usb.Poll(); };

    host::Disks disks;
    disks.Find([] { return static_cast<u32>(current_milli); });

    disks.ChooseVolume(startup::mbi_cmdline(multiboot_structure));
    printf("\n\nInitializing filesystem driver...[OK]");
    disks.ReportVolume();

    report_video_mode(multiboot_structure);

    SpeakerDriver speaker;
    host::SpeakerTone speakerTone(&speaker);
    RTCDriver rtc;
    datetime now;
    rtc.GetRTC(&now);
    printf("\n\nGetting date: %d/%d/%d", now.month, now.day, now.year);
    printf("\nGetting time: %d:%d:%d", now.hour, now.minute, now.second);

    // The machine is rebuilt in the same storage after every reset; all
    // drivers, the volume, the heap and the console outlive it.
    alignas(C64) u8 machineStorage[sizeof(C64)];
    bool full_mode = startup::cmdline_requests_full_mode(startup::mbi_cmdline(multiboot_structure));
    for (;;) {
        C64* machine = new (machineStorage) C64();
        // The first machine takes the boot option; later ones keep the mode
        // the last one ended in (F10 does not leave full mode).
        if (full_mode) machine->full_mode(true);
        full_mode = false;
        machine->sid()->sink(&speakerTone);
        machine->io()->init_display(g_fb_addr, g_fb_width, g_fb_height, g_fb_pitch, g_fb_bpp);
        startup::progress_square(3);
        machine->io()->fat32(disks.volume());
        machine->io()->serial(&serial);
        machine->io()->rtc(&rtc);
        machine->monitor()->fat32(disks.volume());
        machine->monitor()->disks(disks.registry());
        startup::publish_machine(machine);
        startup::progress_square(4);
        machine->start();
        startup::withdraw_machine();
        machine->~C64();
    }
}

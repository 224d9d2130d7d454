// The machine's sound output: the sound device chosen at start-up.
#include "host/sound.h"

#include "drivers/audio/ac97.h"
#include "drivers/audio/hda.h"
#include "drivers/audio/sb16.h"
#include "hardwarecommunication/pci.h"
#include "lib/stdio.h"

namespace tarn {
namespace host {

using hardwarecommunication::InterruptManager;
using hardwarecommunication::PeripheralComponentInterconnectController;
using hardwarecommunication::PeripheralComponentInterconnectDeviceDescriptor;

namespace {
const u8 kClassMultimedia = 0x04;
const u8 kSubclassAudio = 0x01;  // AC'97 and other audio controllers
const u8 kSubclassHda = 0x03;
const u16 kOffsetCommand = 0x04;
const u32 kCommandIoSpace = 0x01;
const u32 kCommandBusMaster = 0x04;
const u8 kNoLine = 0xFF;

u8 irq_line(const PeripheralComponentInterconnectDeviceDescriptor& d) {
    u8 line = static_cast<u8>(d.interruptWord & 0xFF);
    return line < drivers::audio::DeviceInterrupt::kLines ? line : kNoLine;
}
}  // namespace

void Sound::Start(PeripheralComponentInterconnectController* pci, InterruptManager* interrupts,
                  drivers::MillisecondClock clock) {
    printf("\nSound: ");
    if (StartHda(pci, interrupts, clock) || StartAc97(pci, interrupts, clock) || StartSb16(interrupts, clock)) return;
    sink_ = &tone_;
    printf("PC speaker (no sound card answered): one voice's pitch");
}

bool Sound::StartHda(PeripheralComponentInterconnectController* pci, InterruptManager* interrupts,
                     drivers::MillisecondClock clock) {
    PeripheralComponentInterconnectDeviceDescriptor d;
    if (pci->FindByClass(kClassMultimedia, kSubclassHda, 0, &d, 1) < 1) return false;
    u64 bar = pci->MemoryBarAddress(d.bus, d.device, d.function, 0);
    if (bar == 0 || bar >> 32) return false;
    pci->EnableMemoryAndBusMaster(d.bus, d.device, d.function);
    // A driver that starts lives for the whole run.
    auto* hda = new drivers::audio::Hda();
    if (!hda || !hda->Start(hardwarecommunication::MmioRegion(static_cast<uintptr_t>(bar)), clock)) {
        printf("Intel HDA %04X:%04X found, no output started; ", d.vendorId, d.deviceId);
        return false;
    }
    u8 line = irq_line(d);
    if (line != kNoLine) hda->Listen(interrupts, line);
    const drivers::audio::Hda::Path& p = hda->path();
    printf("Intel HDA %04X:%04X, codec %d (%08X) DAC %d to pin %d, %d Hz", d.vendorId, d.deviceId, p.codec, p.vendor,
           p.dac, p.pin, drivers::audio::Hda::kRate);
    sink_ = hda;
    return true;
}

bool Sound::StartAc97(PeripheralComponentInterconnectController* pci, InterruptManager* interrupts,
                      drivers::MillisecondClock clock) {
    PeripheralComponentInterconnectDeviceDescriptor d;
    if (pci->FindByClass(kClassMultimedia, kSubclassAudio, 0, &d, 1) < 1) return false;
    auto nam = pci->GetBaseAddressRegister(d.bus, d.device, d.function, 0);
    auto nabm = pci->GetBaseAddressRegister(d.bus, d.device, d.function, 1);
    if (nam.type != hardwarecommunication::InputOutput || nabm.type != hardwarecommunication::InputOutput ||
        !nam.address || !nabm.address)
        return false;
    u32 command = pci->Read(d.bus, d.device, d.function, kOffsetCommand) & 0xFFFF;
    pci->Write(d.bus, d.device, d.function, kOffsetCommand, command | kCommandIoSpace | kCommandBusMaster);
    auto* ac97 = new drivers::audio::Ac97();
    u16 nam_port = static_cast<u16>(reinterpret_cast<uintptr_t>(nam.address));
    u16 nabm_port = static_cast<u16>(reinterpret_cast<uintptr_t>(nabm.address));
    if (!ac97 || !ac97->Start(nam_port, nabm_port, clock)) {
        printf("AC'97 %04X:%04X found, its codec did not answer; ", d.vendorId, d.deviceId);
        return false;
    }
    u8 line = irq_line(d);
    if (line != kNoLine) ac97->Listen(interrupts, line);
    printf("AC'97 %04X:%04X at ports %X/%X, %d Hz", d.vendorId, d.deviceId, nam_port, nabm_port,
           drivers::audio::Ac97::kRate);
    sink_ = ac97;
    return true;
}

bool Sound::StartSb16(InterruptManager* interrupts, drivers::MillisecondClock clock) {
    auto* sb = new drivers::audio::Sb16();
    if (!sb || !sb->Start(clock)) return false;
    sb->Listen(interrupts);
    printf("Sound Blaster 16 (DSP %d) at port %X, IRQ %d, DMA %d, %d Hz", sb->version(), drivers::audio::Sb16::kBase,
           sb->irq(), sb->dma(), drivers::audio::Sb16::kRate);
    sink_ = sb;
    return true;
}

}  // namespace host
}  // namespace tarn

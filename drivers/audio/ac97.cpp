// Intel AC'97 audio controller: codec reset and mixer, PCM-out DMA engine.
#include "drivers/audio/ac97.h"

#include "drivers/dma_memory.h"
#include "hardwarecommunication/port.h"

namespace tarn {
namespace drivers {
namespace audio {

using hardwarecommunication::Port16Bit;
using hardwarecommunication::Port32Bit;
using hardwarecommunication::Port8Bit;

namespace {
// Native audio mixer (the codec's registers), 16 bits each.
const u16 kNamReset = 0x00;
const u16 kNamMasterVolume = 0x02;   // mute(1) left attenuation(6) right(6): 0 is 0 dB
const u16 kNamPcmOutVolume = 0x18;   // mute(1) left gain(5) right(5): 0x0808 is 0 dB
const u16 kNamPowerdown = 0x26;      // bits 0-3: ADC, DAC, analog and reference ready

const u16 kFullVolume = 0x0000;
const u16 kPcmZeroDb = 0x0808;
const u16 kCodecSectionsReady = 0x000F;

// Native audio bus master: the PCM-out box, then the global registers.
const u16 kPoBdbar = 0x10;           // 32: the descriptor list
const u16 kPoCiv = 0x14;             // 8: the entry being played
const u16 kPoLvi = 0x15;             // 8: the last valid entry
const u16 kPoSr = 0x16;              // 16: status
const u16 kPoPicb = 0x18;            // 16: samples left in the entry being played
const u16 kPoCr = 0x1B;              // 8: control
const u16 kGlobControl = 0x2C;       // 32
const u16 kGlobStatus = 0x30;        // 32

const u16 kSrHalted = 0x01;
const u16 kSrLastValid = 0x04;       // write 1 to clear
const u16 kSrCompletion = 0x08;      // write 1 to clear
const u16 kSrFifoError = 0x10;       // write 1 to clear
const u16 kSrClearBits = kSrLastValid | kSrCompletion | kSrFifoError;
const u8 kCrRun = 0x01;
const u8 kCrResetRegisters = 0x02;
const u8 kCrInterruptOnCompletion = 0x10;
const u32 kGlobColdResetOff = 0x02;  // 1: the link out of cold reset
const u32 kGlobCodecReady = 0x100;   // primary codec ready

const u16 kBdlIoc = 0x8000;          // interrupt when the entry is played
const u32 kBdlEntryBytes = 8;        // address (32), samples (16), flags (16)
const u32 kFrameBytes = 4;
const u32 kResetMs = 20;
const u32 kReadyMs = 600;
}  // namespace

bool Ac97::Start(u16 nam, u16 nabm, MillisecondClock clock) {
    nam_ = nam;
    nabm_ = nabm;
    clock_ = clock;
    if (!ResetCodec()) return false;
    Port16Bit::Write16(nam_ + kNamMasterVolume, kFullVolume);
    Port16Bit::Write16(nam_ + kNamPcmOutVolume, kPcmZeroDb);

    u32 bytes = kEntries * kEntryFrames * kFrameBytes;
    ring_ = reinterpret_cast<i16*>(DmaAllocate(bytes, kFrameBytes * kEntryFrames));
    u32* bdl = reinterpret_cast<u32*>(DmaAllocate(kEntries * kBdlEntryBytes, kBdlEntryBytes));
    if (!ring_ || !bdl) return false;
    for (u32 i = 0; i < kEntries; i++) {
        bdl[2 * i] = static_cast<u32>(DeviceAddress(ring_)) + i * kEntryFrames * kFrameBytes;
        bdl[2 * i + 1] = static_cast<u32>(kBdlIoc) << 16 | kEntryFrames * 2;  // samples, not frames
    }
    Port8Bit::Write8(nabm_ + kPoCr, kCrResetRegisters);
    Deadline reset(clock_, kResetMs);
    while (Port8Bit::Read8(nabm_ + kPoCr) & kCrResetRegisters)
        if (reset.Passed()) return false;
    Port32Bit::Write32(nabm_ + kPoBdbar, static_cast<u32>(DeviceAddress(bdl)));
    Port8Bit::Write8(nabm_ + kPoLvi, kEntries - 1);
    Attach(ring_, kEntries * kEntryFrames, kRate, clock_);
    Port8Bit::Write8(nabm_ + kPoCr, kCrRun | kCrInterruptOnCompletion);
    return true;
}

// A cold reset of the link when it is held in one, then the codec's own
// reset; each wait is bounded.
bool Ac97::ResetCodec() {
    u32 control = Port32Bit::Read32(nabm_ + kGlobControl);
    if (control == 0xFFFFFFFF) return false;
    if (!(control & kGlobColdResetOff)) Port32Bit::Write32(nabm_ + kGlobControl, control | kGlobColdResetOff);
    Deadline ready(clock_, kReadyMs);
    while (!(Port32Bit::Read32(nabm_ + kGlobStatus) & kGlobCodecReady))
        if (ready.Passed()) return false;
    Port16Bit::Write16(nam_ + kNamReset, 0);
    Deadline sections(clock_, kReadyMs);
    while ((Port16Bit::Read16(nam_ + kNamPowerdown) & kCodecSectionsReady) != kCodecSectionsReady)
        if (sections.Passed()) return false;
    return true;
}

void Ac97::Listen(hardwarecommunication::InterruptManager* manager, u8 line) {
    if (line >= DeviceInterrupt::kLines) return;
    interrupt_ = new DeviceInterrupt(manager, line, Interrupt, this);
}

void Ac97::Interrupt(void* device) {
    Ac97* ac97 = static_cast<Ac97*>(device);
    u16 status = Port16Bit::Read16(ac97->nabm_ + kPoSr);
    if (!(status & kSrClearBits)) return;
    Port16Bit::Write16(ac97->nabm_ + kPoSr, kSrClearBits);
    ac97->Service();
}

// The engine stops after the last valid entry: that entry is kept just
// behind the one playing, so it never gets there.
u32 Ac97::Position() {
    u8 civ = Port8Bit::Read8(nabm_ + kPoCiv);
    u16 left = Port16Bit::Read16(nabm_ + kPoPicb);
    if (civ >= kEntries || left > kEntryFrames * 2) return kLost;
    Port8Bit::Write8(nabm_ + kPoLvi, static_cast<u8>((civ + kEntries - 1) % kEntries));
    if (Port16Bit::Read16(nabm_ + kPoSr) & kSrHalted)
        Port8Bit::Write8(nabm_ + kPoCr, kCrRun | kCrInterruptOnCompletion);
    return (civ * kEntryFrames + kEntryFrames - left / 2) % (kEntries * kEntryFrames);
}

void Ac97::Halt() { Port8Bit::Write8(nabm_ + kPoCr, 0); }

}  // namespace audio
}  // namespace drivers
}  // namespace tarn

// Creative Sound Blaster 16: DSP, mixer, and the 8237 DMA channel it reads.
#include "drivers/audio/sb16.h"

#include "drivers/dma_memory.h"
#include "hardwarecommunication/port.h"

namespace tarn {
namespace drivers {
namespace audio {

using hardwarecommunication::Port8Bit;

namespace {
// Card ports, from the base.
const u16 kMixerAddress = 0x04;
const u16 kMixerData = 0x05;
const u16 kDspReset = 0x06;
const u16 kDspRead = 0x0A;
const u16 kDspWrite = 0x0C;          // reads bit 7 set while the DSP is busy
const u16 kDspReadStatus = 0x0E;     // bit 7: a byte to read; reading acknowledges 8-bit interrupts
const u16 kDspAck16 = 0x0F;          // reading acknowledges 16-bit interrupts

const u8 kDspReady = 0xAA;           // the byte a reset DSP gives
const u8 kDspStatusBit = 0x80;

// DSP commands.
const u8 kCmdOutputRate = 0x41;      // rate high, rate low
const u8 kCmdSpeakerOn = 0xD1;
const u8 kCmdVersion = 0xE1;         // major, minor
const u8 kCmd16BitAutoOutput = 0xB6; // 16-bit samples, output, auto-initialised, FIFO on
                                     // (over whichever DMA channel the card uses)
const u8 kCmdPause16 = 0xD5;
const u8 kModeStereoSigned = 0x30;

// Mixer registers.
const u8 kMixMasterLeft = 0x30;
const u8 kMixMasterRight = 0x31;
const u8 kMixVoiceLeft = 0x32;
const u8 kMixVoiceRight = 0x33;
const u8 kMixIrq = 0x80;             // bits 0-3: IRQ 2, 5, 7, 10
const u8 kMixDma = 0x81;             // bits 0, 1, 3: DMA 0, 1, 3; bits 5-7: DMA 5, 6, 7
const u8 kFullVolume = 0xF8;         // five bits of level, top of the byte
const u8 kVolumes[4] = {kMixMasterLeft, kMixMasterRight, kMixVoiceLeft, kMixVoiceRight};

const u8 kIrqLines[4] = {2, 5, 7, 10};
const u32 kResetMs = 20;
const u32 kCommandMs = 20;
const u32 kSixteenMiB = 0x1000000;
}  // namespace

// The 8237's registers for one channel: the second controller (channels
// 5-7) counts 16-bit words, the first (0-3) bytes.
struct IsaDmaChannel {
    u8 number;
    u16 mask;       // single mask: bit 2 masks, bits 0-1 the channel
    u16 mode;       // mode: 01 single, 0 up, 1 auto-init, 10 memory to device, channel
    u16 flip_flop;  // any write: the next byte of a 16-bit register is the low one
    u16 address;
    u16 count;
    u16 page;
    bool words;
};

namespace {
const IsaDmaChannel kChannels[2] = {
    {1, 0x0A, 0x0B, 0x0C, 0x02, 0x03, 0x83, false},
    {5, 0xD4, 0xD6, 0xD8, 0xC4, 0xC6, 0x8B, true},
};
const u8 kDmaModeAutoRead = 0x58;  // 01 0 1 10 00: the channel's bits added
const u8 kDmaMaskOn = 0x04;

// The ring: below 16 MiB and inside one 64 KiB page, as the 8237 needs.
alignas(65536) i16 g_ring[2 * Sb16::kFrames];

const IsaDmaChannel* channel_for(u8 dma) {
    for (const IsaDmaChannel& c : kChannels)
        if (c.number == dma) return &c;
    return nullptr;
}
}  // namespace

bool Sb16::Start(MillisecondClock clock) {
    clock_ = clock;
    if (!ResetDsp()) return false;
    u8 major = 0, minor = 0;
    if (!Write(kCmdVersion) || !Read(&major) || !Read(&minor) || major < 4) return false;
    version_ = major;

    Port8Bit::Write8(kBase + kMixerAddress, kMixIrq);
    u8 irqs = Port8Bit::Read8(kBase + kMixerData);
    Port8Bit::Write8(kBase + kMixerAddress, kMixDma);
    u8 dmas = Port8Bit::Read8(kBase + kMixerData);
    for (int i = 0; i < 4; i++)
        if (irqs & (1 << i)) irq_ = kIrqLines[i];
    dma_ = (dmas & 0x20) ? 5 : (dmas & 0x02) ? 1 : 0;
    channel_ = channel_for(dma_);
    if (!channel_ || DeviceAddress(g_ring) + sizeof(g_ring) > kSixteenMiB) return false;

    for (u8 r : kVolumes) {
        Port8Bit::Write8(kBase + kMixerAddress, r);
        Port8Bit::Write8(kBase + kMixerData, kFullVolume);
    }
    Attach(g_ring, kFrames, kRate, clock_);
    ProgramDma();
    u32 block = kBlockFrames * 2 - 1;  // samples (both channels), less one
    bool ok = Write(kCmdSpeakerOn) && Write(kCmdOutputRate) && Write(kRate >> 8) && Write(kRate & 0xFF) &&
              Write(kCmd16BitAutoOutput) && Write(kModeStereoSigned) &&
              Write(block & 0xFF) && Write(block >> 8);
    return ok;
}

bool Sb16::ResetDsp() {
    Port8Bit::Write8(kBase + kDspReset, 1);
    // At least 3 microseconds: each port read takes about one.
    for (int i = 0; i < 8; i++) Port8Bit::Read8(kBase + kDspReadStatus);
    Port8Bit::Write8(kBase + kDspReset, 0);
    u8 answer = 0;
    return Read(&answer) && answer == kDspReady;
}

bool Sb16::Write(u8 value) {
    Deadline ready(clock_, kCommandMs);
    while (Port8Bit::Read8(kBase + kDspWrite) & kDspStatusBit)
        if (ready.Passed()) return false;
    Port8Bit::Write8(kBase + kDspWrite, value);
    return true;
}

bool Sb16::Read(u8* value) {
    Deadline ready(clock_, kResetMs);
    while (!(Port8Bit::Read8(kBase + kDspReadStatus) & kDspStatusBit))
        if (ready.Passed()) return false;
    *value = Port8Bit::Read8(kBase + kDspRead);
    return true;
}

// The channel reads the ring round and round: address and count in words
// on the 16-bit controller, in bytes on the 8-bit one.
void Sb16::ProgramDma() {
    u32 address = static_cast<u32>(DeviceAddress(g_ring));
    u32 units = channel_->words ? sizeof(g_ring) / 2 : sizeof(g_ring);
    u32 start = channel_->words ? (address >> 1) & 0xFFFF : address & 0xFFFF;
    u8 low_bits = channel_->number & 3;
    Port8Bit::Write8(channel_->mask, kDmaMaskOn | low_bits);
    Port8Bit::Write8(channel_->flip_flop, 0);
    Port8Bit::Write8(channel_->mode, kDmaModeAutoRead | low_bits);
    Port8Bit::Write8(channel_->address, start & 0xFF);
    Port8Bit::Write8(channel_->address, start >> 8);
    Port8Bit::Write8(channel_->count, (units - 1) & 0xFF);
    Port8Bit::Write8(channel_->count, (units - 1) >> 8);
    Port8Bit::Write8(channel_->page, (address >> 16) & 0xFF);
    Port8Bit::Write8(channel_->mask, low_bits);
}

void Sb16::Listen(hardwarecommunication::InterruptManager* manager) {
    if (irq_ == 0 || irq_ >= DeviceInterrupt::kLines) return;
    interrupt_ = new DeviceInterrupt(manager, irq_, Interrupt, this);
}

void Sb16::Interrupt(void* device) {
    Sb16* sb = static_cast<Sb16*>(device);
    Port8Bit::Read8(kBase + (sb->channel_->words ? kDspAck16 : kDspReadStatus));
    sb->Service();
}

// Where the channel reads now, from its current address (read twice, since
// the low byte may carry into the high between the two reads).
u32 Sb16::Position() {
    u32 base = static_cast<u32>(DeviceAddress(g_ring));
    u32 start = channel_->words ? (base >> 1) & 0xFFFF : base & 0xFFFF;
    u32 now = 0;
    for (int attempt = 0; attempt < 2; attempt++) {
        Port8Bit::Write8(channel_->flip_flop, 0);
        u32 low = Port8Bit::Read8(channel_->address);
        u32 high = Port8Bit::Read8(channel_->address);
        now = high << 8 | low;
        if (low < 0xF0) break;
    }
    u32 units = (now - start) & 0xFFFF;
    u32 frame = channel_->words ? units / 2 : units / 4;
    return frame < kFrames ? frame : kLost;
}

void Sb16::Halt() {
    Write(kCmdPause16);
    Port8Bit::Write8(channel_->mask, kDmaMaskOn | (channel_->number & 3));
}

}  // namespace audio
}  // namespace drivers
}  // namespace tarn

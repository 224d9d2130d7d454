// Intel High Definition Audio controller: reset, command rings, output stream.
#include "drivers/audio/hda.h"

#include "drivers/dma_memory.h"

namespace tarn {
namespace drivers {
namespace audio {

using hardwarecommunication::dma_barrier;
using hardwarecommunication::MmioRegion;

namespace {
// Controller registers.
const u32 kGcap = 0x00;       // 16: OSS(4) ISS(4) BSS(5) NSDO(2) 64OK
const u32 kGctl = 0x08;       // 32: bit 0 CRST (0 holds the link in reset)
const u32 kStatests = 0x0E;   // 16: a bit for every codec that answered the reset
const u32 kIntctl = 0x20;     // 32: bit 31 GIE, bit 30 CIE, bits 0-29 a stream each
const u32 kIntsts = 0x24;     // 32
const u32 kCorbLo = 0x40;
const u32 kCorbHi = 0x44;
const u32 kCorbWp = 0x48;     // 16
const u32 kCorbRp = 0x4A;     // 16: bit 15 resets the read pointer
const u32 kCorbCtl = 0x4C;    // 8: bit 1 run
const u32 kCorbSize = 0x4E;   // 8: bits 7-4 sizes offered, 1-0 size used
const u32 kRirbLo = 0x50;
const u32 kRirbHi = 0x54;
const u32 kRirbWp = 0x58;     // 16: bit 15 resets the write pointer
const u32 kRintCnt = 0x5A;    // 16
const u32 kRirbCtl = 0x5C;    // 8: bit 0 response interrupt flag on, bit 1 DMA run
const u32 kRirbSts = 0x5D;    // 8: bit 0 response interrupt, bit 2 overrun (write 1 to clear)
const u32 kRirbSize = 0x5E;   // 8: as CORBSIZE
const u32 kStreams = 0x80;    // stream descriptors, 0x20 each: inputs first, then outputs
const u32 kStreamSpan = 0x20;

const u32 kGctlReset = 0x01;
const u32 kIntctlGlobal = 0x80000000;
const u16 kCorbRpReset = 0x8000;
const u16 kRirbWpReset = 0x8000;
const u8 kRingRun = 0x02;
const u8 kRirbResponseFlag = 0x01;
const u8 kSize256 = 0x02;     // size field: 256 entries
const u8 kCan256 = 0x40;      // capability: 256 entries offered
const u8 kSize16 = 0x01;
const u8 kCan16 = 0x20;
const u8 kRirbStatusBits = 0x05;

// Stream descriptor registers.
const u32 kSdCtl = 0x00;      // 24: bit 0 SRST, 1 RUN, 2 IOCE; bits 20-23 stream number
const u32 kSdCtlTag = 0x02;   // the byte holding the stream number
const u32 kSdSts = 0x03;      // 8: bit 2 BCIS, 3 FIFOE, 4 DESE (write 1 to clear)
const u32 kSdLpib = 0x04;     // link position in the ring, bytes
const u32 kSdCbl = 0x08;      // ring length, bytes
const u32 kSdLvi = 0x0C;      // 16: last valid descriptor
const u32 kSdFmt = 0x12;      // 16
const u32 kSdBdlLo = 0x18;
const u32 kSdBdlHi = 0x1C;
const u8 kSdReset = 0x01;
const u8 kSdRun = 0x02;
const u8 kSdInterruptOnCompletion = 0x04;
const u8 kSdStatusBits = 0x1C;

const u32 kFrameBytes = 4;
const u32 kBdlEntryBytes = 16;   // address (64), length (32), IOC (bit 0)
const u32 kBdlAlign = 128;
const u32 kResetMs = 100;
const u32 kCodecWakeMs = 100;
const u32 kCommandMs = 50;
const u32 kPointerResetMs = 2;
}  // namespace

bool Hda::Start(MmioRegion regs, MillisecondClock clock) {
    regs_ = regs;
    clock_ = clock;
    u16 gcap = regs_.read16(kGcap);
    u32 inputs = (gcap >> 8) & 0xF, outputs = (gcap >> 12) & 0xF;
    if (gcap == 0xFFFF || outputs == 0) return false;
    stream_index_ = static_cast<u8>(inputs);
    stream_ = regs_.at(kStreams + inputs * kStreamSpan);
    if (!ResetController() || !StartCommandRings()) return false;
    u16 codecs = regs_.read16(kStatests);
    for (u8 c = 0; c < 15; c++) {
        if (!(codecs & (1 << c)) || !FindPath(c)) continue;
        OpenPath(c);
        return StartStream();
    }
    return false;
}

// The link goes into reset and out again; the codecs then announce
// themselves in STATESTS.
bool Hda::ResetController() {
    regs_.write8(kCorbCtl, 0);
    regs_.write8(kRirbCtl, 0);
    stream_.write8(kSdCtl, 0);
    regs_.write32(kGctl, regs_.read32(kGctl) & ~kGctlReset);
    Deadline enter(clock_, kResetMs);
    while (regs_.read32(kGctl) & kGctlReset)
        if (enter.Passed()) return false;
    regs_.write32(kGctl, regs_.read32(kGctl) | kGctlReset);
    Deadline leave(clock_, kResetMs);
    while (!(regs_.read32(kGctl) & kGctlReset))
        if (leave.Passed()) return false;
    Deadline wake(clock_, kCodecWakeMs);
    while (regs_.read16(kStatests) == 0)
        if (wake.Passed()) return false;
    return true;
}

static u8 RingSize(u8 size_register, u16* entries) {
    if (size_register & kCan256) {
        *entries = 256;
        return kSize256;
    }
    if (size_register & kCan16) {
        *entries = 16;
        return kSize16;
    }
    *entries = 2;
    return 0;
}

bool Hda::StartCommandRings() {
    u8* corb = DmaAllocate(256 * 4, kBdlAlign);
    u8* rirb = DmaAllocate(256 * 8, kBdlAlign);
    if (!corb || !rirb) return false;
    corb_ = reinterpret_cast<u32*>(corb);
    rirb_ = reinterpret_cast<u32*>(rirb);
    regs_.write8(kCorbSize, RingSize(regs_.read8(kCorbSize), &corb_entries_));
    regs_.write8(kRirbSize, RingSize(regs_.read8(kRirbSize), &rirb_entries_));
    regs_.write32(kCorbLo, static_cast<u32>(DeviceAddress(corb)));
    regs_.write32(kCorbHi, static_cast<u32>(DeviceAddress(corb) >> 32));
    regs_.write32(kRirbLo, static_cast<u32>(DeviceAddress(rirb)));
    regs_.write32(kRirbHi, static_cast<u32>(DeviceAddress(rirb) >> 32));
    // The read pointer's reset: the bit reads back set once it is done
    // (some controllers reset at once and never show it).
    regs_.write16(kCorbRp, kCorbRpReset);
    Deadline reset(clock_, kPointerResetMs);
    while (!(regs_.read16(kCorbRp) & kCorbRpReset) && !reset.Passed()) {
    }
    regs_.write16(kCorbRp, 0);
    regs_.write16(kCorbWp, 0);
    regs_.write16(kRirbWp, kRirbWpReset);
    regs_.write16(kRintCnt, 1);
    rirb_read_ = 0;
    regs_.write8(kCorbCtl, kRingRun);
    // The flag is raised after RINTCNT responses and cleared after each
    // one is read; a controller may hold back further responses until it
    // is (the controller's own interrupt stays off: CIE is never set).
    regs_.write8(kRirbCtl, kRingRun | kRirbResponseFlag);
    return true;
}

u32 Hda::Command(u8 codec, u8 node, u32 verb) {
    u16 wp = static_cast<u16>((regs_.read16(kCorbWp) + 1) % corb_entries_);
    corb_[wp] = static_cast<u32>(codec) << 28 | static_cast<u32>(node) << 20 | (verb & 0xFFFFF);
    dma_barrier();
    regs_.write16(kCorbWp, wp);
    Deadline answer(clock_, kCommandMs);
    while ((regs_.read16(kRirbWp) & 0xFF) % rirb_entries_ == rirb_read_)
        if (answer.Passed()) return kNoResponse;
    rirb_read_ = static_cast<u16>((rirb_read_ + 1) % rirb_entries_);
    regs_.write8(kRirbSts, kRirbStatusBits);
    return rirb_[2 * rirb_read_];
}

u32 Hda::Parameter(u8 codec, u8 node, u8 parameter) { return Command(codec, node, 0xF0000 | parameter); }

// One output stream over a ring of kPeriods buffers, each ending in an
// interrupt, the whole ring in one allocation.
bool Hda::StartStream() {
    u32 bytes = kPeriods * kPeriodFrames * kFrameBytes;
    ring_ = reinterpret_cast<i16*>(DmaAllocate(bytes, kBdlAlign));
    bdl_ = reinterpret_cast<u64*>(DmaAllocate(kPeriods * kBdlEntryBytes, kBdlAlign));
    if (!ring_ || !bdl_) return false;
    for (u32 i = 0; i < kPeriods; i++) {
        bdl_[2 * i] = DeviceAddress(ring_) + i * kPeriodFrames * kFrameBytes;
        bdl_[2 * i + 1] = static_cast<u64>(1) << 32 | kPeriodFrames * kFrameBytes;  // IOC, length
    }
    stream_.write8(kSdCtl, kSdReset);
    Deadline enter(clock_, kResetMs);
    while (!(stream_.read8(kSdCtl) & kSdReset))
        if (enter.Passed()) return false;
    stream_.write8(kSdCtl, 0);
    Deadline leave(clock_, kResetMs);
    while (stream_.read8(kSdCtl) & kSdReset)
        if (leave.Passed()) return false;
    stream_.write32(kSdCbl, bytes);
    stream_.write16(kSdLvi, kPeriods - 1);
    stream_.write16(kSdFmt, kFormat);
    stream_.write32(kSdBdlLo, static_cast<u32>(DeviceAddress(bdl_)));
    stream_.write32(kSdBdlHi, static_cast<u32>(DeviceAddress(bdl_) >> 32));
    stream_.write8(kSdCtlTag, static_cast<u8>(kStreamNumber << 4));
    stream_.write8(kSdSts, kSdStatusBits);
    Attach(ring_, kPeriods * kPeriodFrames, kRate, clock_);
    dma_barrier();
    stream_.write8(kSdCtl, kSdRun | kSdInterruptOnCompletion);
    return true;
}

void Hda::Listen(hardwarecommunication::InterruptManager* manager, u8 line) {
    if (line >= DeviceInterrupt::kLines) return;
    interrupt_ = new DeviceInterrupt(manager, line, Interrupt, this);
    if (!interrupt_) return;
    regs_.write32(kIntctl, kIntctlGlobal | 1u << stream_index_);
}

// A buffer played: acknowledge, and clear what was played.
void Hda::Interrupt(void* device) {
    Hda* hda = static_cast<Hda*>(device);
    if (!(hda->regs_.read32(kIntsts) & (1u << hda->stream_index_))) return;
    hda->stream_.write8(kSdSts, kSdStatusBits);
    hda->Service();
}

u32 Hda::Position() {
    u32 lpib = stream_.read32(kSdLpib);
    if (lpib >= kPeriods * kPeriodFrames * kFrameBytes) return kLost;
    return lpib / kFrameBytes;
}

void Hda::Halt() {
    stream_.write8(kSdCtl, 0);
    regs_.write32(kIntctl, 0);
}

}  // namespace audio
}  // namespace drivers
}  // namespace tarn

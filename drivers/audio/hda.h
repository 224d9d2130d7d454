// Intel High Definition Audio controller: reset, the command rings (CORB
// and RIRB) to the codecs, a walk of a codec's widgets from an output pin to
// the converter (DAC) feeding it, and one output stream playing a ring of
// 48 kHz 16-bit stereo frames through a buffer descriptor list.
#ifndef TARN_DRIVERS_AUDIO_HDA_H
#define TARN_DRIVERS_AUDIO_HDA_H

#include "drivers/audio/device_interrupt.h"
#include "drivers/audio/pcm_ring.h"
#include "drivers/deadline.h"
#include "hardwarecommunication/mmio.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace audio {

class Hda : public PcmRing {
public:
    static constexpr u32 kRate = 48000;
    static constexpr u32 kPeriodFrames = 1024;  // one buffer descriptor, an interrupt each
    static constexpr u32 kPeriods = 16;         // 341 ms of ring

    // What the codec walk settled on.
    struct Path {
        u8 codec = 0;
        u8 pin = 0;
        u8 dac = 0;
        u32 vendor = 0;  // the codec's vendor and device id
    };

    // regs: the controller's registers (BAR 0). False, and the controller
    // left quiet, when any step fails or times out.
    bool Start(hardwarecommunication::MmioRegion regs, MillisecondClock clock);
    // Takes the controller's interrupts on `line` (0-15).
    void Listen(hardwarecommunication::InterruptManager* manager, u8 line);
    const Path& path() const { return path_; }
    const char* Name() const override { return "Intel HDA"; }

    // Codec verbs (the response, or kNoResponse after a bounded wait).
    static constexpr u32 kNoResponse = 0xFFFFFFFF;
    u32 Command(u8 codec, u8 node, u32 verb);
    u32 Parameter(u8 codec, u8 node, u8 parameter);

protected:
    u32 Position() override;
    void Halt() override;

private:
    // The stream's number on the link, and its format: BASE(1) MULT(3)
    // DIV(3) 0 BITS(3) CHAN(4) = 48 kHz, 16 bits, 2 channels.
    static constexpr u8 kStreamNumber = 1;
    static constexpr u16 kFormat = 0x0011;

    bool ResetController();
    bool StartCommandRings();
    bool StartStream();
    // hda_codec.cpp: the widget walk and the settings along the path.
    bool FindPath(u8 codec);
    bool PathFrom(u8 codec, u8 node, int depth);
    void OpenPath(u8 codec);
    void Unmute(u8 codec, u8 node, bool output, u8 index);
    static void Interrupt(void* device);

    hardwarecommunication::MmioRegion regs_;
    hardwarecommunication::MmioRegion stream_;  // the output stream's descriptor
    MillisecondClock clock_ = nullptr;
    u32* corb_ = nullptr;
    u32* rirb_ = nullptr;  // pairs: response, codec and flags
    u16 corb_entries_ = 0;
    u16 rirb_entries_ = 0;
    u16 rirb_read_ = 0;
    u8 stream_index_ = 0;
    u64* bdl_ = nullptr;
    i16* ring_ = nullptr;
    Path path_;
    u8 afg_ = 0;  // the audio function group
    bool headphone_ = false;
    u8 route_[8] = {};      // the nodes from the pin to the DAC
    u8 route_index_[8] = {};  // the connection each takes to the next
    int route_len_ = 0;
    DeviceInterrupt* interrupt_ = nullptr;
};

}  // namespace audio
}  // namespace drivers
}  // namespace tarn

#endif

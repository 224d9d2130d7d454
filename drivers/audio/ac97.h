// Intel AC'97 audio controller (ICH and compatibles): the codec's mixer
// (native audio mixer, NAM) set to full volume, and the PCM-out DMA engine of
// the bus master (NABM) playing a ring of 48 kHz 16-bit stereo frames
// through its 32-entry buffer descriptor list.
#ifndef TARN_DRIVERS_AUDIO_AC97_H
#define TARN_DRIVERS_AUDIO_AC97_H

#include "drivers/audio/device_interrupt.h"
#include "drivers/audio/pcm_ring.h"
#include "drivers/deadline.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace audio {

class Ac97 : public PcmRing {
public:
    static constexpr u32 kRate = 48000;  // the codec's rate without variable-rate audio
    static constexpr u32 kEntries = 32;
    static constexpr u32 kEntryFrames = 512;

    // nam, nabm: the two I/O port ranges (BAR 0 and BAR 1). False when the
    // codec never gets ready or the engine does not reset.
    bool Start(u16 nam, u16 nabm, MillisecondClock clock);
    void Listen(hardwarecommunication::InterruptManager* manager, u8 line);
    const char* Name() const override { return "AC'97"; }

protected:
    u32 Position() override;
    void Halt() override;

private:
    bool ResetCodec();
    static void Interrupt(void* device);

    u16 nam_ = 0;
    u16 nabm_ = 0;
    MillisecondClock clock_ = nullptr;
    i16* ring_ = nullptr;
    DeviceInterrupt* interrupt_ = nullptr;
};

}  // namespace audio
}  // namespace drivers
}  // namespace tarn

#endif

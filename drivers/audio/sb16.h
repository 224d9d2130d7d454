// Creative Sound Blaster 16 at I/O 0x220: the DSP reset and version, the
// mixer's interrupt and DMA settings, the 8237 DMA controller's channel
// running auto-initialised over a ring, and the DSP's 16-bit stereo output
// at 44.1 kHz, interrupting after each block.
#ifndef TARN_DRIVERS_AUDIO_SB16_H
#define TARN_DRIVERS_AUDIO_SB16_H

#include "drivers/audio/device_interrupt.h"
#include "drivers/audio/pcm_ring.h"
#include "drivers/deadline.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {
namespace audio {

struct IsaDmaChannel;

class Sb16 : public PcmRing {
public:
    static constexpr u16 kBase = 0x220;
    static constexpr u32 kRate = 44100;
    static constexpr u32 kFrames = 8192;       // 186 ms of ring
    static constexpr u32 kBlockFrames = 1024;  // an interrupt each

    // False when no DSP answers at kBase, or it is older than the SB16's.
    bool Start(MillisecondClock clock);
    // The card's own interrupt line (from its mixer).
    void Listen(hardwarecommunication::InterruptManager* manager);
    const char* Name() const override { return "Sound Blaster 16"; }
    u8 irq() const { return irq_; }
    u8 dma() const { return dma_; }
    u8 version() const { return version_; }

protected:
    u32 Position() override;
    void Halt() override;

private:
    bool ResetDsp();
    bool Write(u8 value);
    bool Read(u8* value);
    void ProgramDma();
    static void Interrupt(void* device);

    MillisecondClock clock_ = nullptr;
    const IsaDmaChannel* channel_ = nullptr;
    u8 irq_ = 0;
    u8 dma_ = 0;
    u8 version_ = 0;
    DeviceInterrupt* interrupt_ = nullptr;
};

}  // namespace audio
}  // namespace drivers
}  // namespace tarn

#endif

// MOS 6581 SID sound chip, reduced to one tone on the PC speaker.
// (Interface stub: the contract operations other components call.)
#ifndef TARN_C64_SID_H
#define TARN_C64_SID_H

#include "lib/types.h"

namespace kestrel { namespace drivers { class SpeakerDriver; } }

class Sid {
public:
    void speaker(kestrel::drivers::SpeakerDriver* s) { speaker_ = s; }
    void write_register(u8 r, u8 v);

private:
    kestrel::drivers::SpeakerDriver* speaker_ = nullptr;
};

#endif

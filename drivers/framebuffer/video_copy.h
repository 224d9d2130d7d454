// The only road into video memory: copies from RAM with the widest stores
// the processor offers, aligned on the video side, and never reads video
// memory back (it is slow, or uncached, or a trap a store in some virtual
// machines). The kernel build implements it in video_copy_x86.cpp; the host
// build's double (tests/support) counts what was written.
#ifndef TARN_DRIVERS_FRAMEBUFFER_VIDEO_COPY_H
#define TARN_DRIVERS_FRAMEBUFFER_VIDEO_COPY_H

#include "lib/types.h"

namespace tarn {
namespace drivers {

void video_copy(u8* video, const u8* ram, u32 bytes);

// Set once the processor's SSE state is enabled: 16-byte stores from then
// on. Only the copy uses the SSE registers, and it never runs in an
// interrupt handler, so no handler needs to save them.
void video_copy_use_sse2(bool on);

}  // namespace drivers
}  // namespace tarn

#endif

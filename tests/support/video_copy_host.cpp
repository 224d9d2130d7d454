// Host double of the video-memory copy: a plain copy that counts.
#include <cstring>

#include "drivers/framebuffer/video_copy.h"
#include "tests/support/video_writes.h"

namespace videowrites {
Count& count() {
    static Count c;
    return c;
}
void reset() { count() = Count(); }
}  // namespace videowrites

namespace tarn {
namespace drivers {

void video_copy(u8* video, const u8* ram, u32 bytes) {
    std::memcpy(video, ram, bytes);
    videowrites::count().bytes += bytes;
    videowrites::count().copies++;
}

void video_copy_use_sse2(bool) {}

}  // namespace drivers
}  // namespace tarn

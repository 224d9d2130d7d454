// The host build's video_copy counts what it writes, so tests and
// benchmarks can hold the display path to how much video memory it touches.
#ifndef TARN_TESTS_SUPPORT_VIDEO_WRITES_H
#define TARN_TESTS_SUPPORT_VIDEO_WRITES_H

#include <cstdint>

namespace videowrites {

struct Count {
    uint64_t bytes = 0;   // bytes stored into video memory
    uint64_t copies = 0;  // video_copy calls (spans)
};

// Since the last reset().
Count& count();
void reset();

}  // namespace videowrites

#endif

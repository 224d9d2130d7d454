// The RAM picture presented on framebuffers of every depth and pitch: each
// presented pixel converted and written once, nothing outside the rectangle
// or past a line's pixels touched.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "drivers/framebuffer/framebuffer_screen.h"
#include "tests/support/video_writes.h"

namespace {

using tarn::drivers::FramebufferScreen;
using tarn::drivers::PixelFormat;

constexpr uint32_t kWidth = 640, kHeight = 480;
constexpr uint8_t kUntouched = 0xEE;

struct Surface {
    Surface(PixelFormat format, uint32_t pitch)
        : pitch(pitch), video(pitch * kHeight, kUntouched), ram(FramebufferScreen::ram_bytes(kWidth, kHeight) / 4) {
        attached = screen.attach(video.data(), kWidth, kHeight, pitch, format, reinterpret_cast<u8*>(ram.data()));
    }
    const uint8_t* at(uint32_t x, uint32_t y, uint32_t bytes) const { return &video[y * pitch + x * bytes]; }
    uint32_t pitch;
    std::vector<uint8_t> video;
    std::vector<uint32_t> ram;
    FramebufferScreen screen;
    bool attached = false;
};

TEST(FramebufferScreen, EachDepthGetsItsOwnPixelsAndOnlyThePresentedRectangleIsWritten) {
    struct Case {
        PixelFormat format;
        uint32_t bytes;
        uint32_t orange;   // 0xFF8040 as the framebuffer stores it
    } cases[] = {
        {PixelFormat::standard(15), 2, (0x1F << 10) | (0x10 << 5) | 0x08},
        {PixelFormat::standard(16), 2, (0x1F << 11) | (0x20 << 5) | 0x08},
        {PixelFormat::standard(24), 3, 0xFF8040},
        {PixelFormat::standard(32), 4, 0xFF8040},
        {PixelFormat::from_fields(32, 0, 8, 8, 8, 16, 8), 4, 0x4080FF},   // red in the low byte
    };
    for (const Case& c : cases) {
        Surface s(c.format, kWidth * c.bytes + 24);   // padded lines
        ASSERT_TRUE(s.attached);
        uint32_t* p = s.screen.pixels();
        for (uint32_t i = 0; i < kWidth * kHeight; i++) p[i] = 0xFF8040;
        videowrites::reset();
        s.screen.present(10, 20, 30, 40);
        EXPECT_EQ(videowrites::count().bytes, 30u * 40 * c.bytes);
        for (uint32_t y = 0; y < kHeight; y++) {
            for (uint32_t x = 0; x < kWidth; x++) {
                const uint8_t* px = s.at(x, y, c.bytes);
                bool inside = x >= 10 && x < 40 && y >= 20 && y < 60;
                for (uint32_t b = 0; b < c.bytes; b++)
                    ASSERT_EQ(px[b], inside ? uint8_t(c.orange >> (8 * b)) : kUntouched)
                        << c.bytes << " bytes, " << x << "," << y << " byte " << b;
            }
            for (uint32_t i = kWidth * c.bytes; i < s.pitch; i++) ASSERT_EQ(s.video[y * s.pitch + i], kUntouched);
        }
    }
}

TEST(FramebufferScreen, RectanglesAreClippedToTheScreen) {
    Surface s(PixelFormat::standard(32), kWidth * 4);
    ASSERT_TRUE(s.attached);
    s.screen.pixels()[(kHeight - 1) * kWidth + kWidth - 1] = 0x123456;
    videowrites::reset();
    s.screen.present(kWidth - 1, kHeight - 1, 100, 100);
    EXPECT_EQ(videowrites::count().bytes, 4u);
    EXPECT_EQ(s.at(kWidth - 1, kHeight - 1, 4)[0], 0x56);
    s.screen.present(kWidth, 0, 10, 10);
    s.screen.present(0, kHeight, 10, 10);
    s.screen.present(5, 5, 0, 10);
    EXPECT_EQ(videowrites::count().bytes, 4u);
}

TEST(FramebufferScreen, ShapesItCannotDriveAreRefused) {
    std::vector<uint8_t> video(16), ram(16);
    FramebufferScreen screen;
    PixelFormat rgb32 = PixelFormat::standard(32);
    EXPECT_FALSE(screen.attach(video.data(), 319, 480, 4096, rgb32, ram.data()));
    EXPECT_FALSE(screen.attach(video.data(), 3841, 2160, 20000, rgb32, ram.data()));
    EXPECT_FALSE(screen.attach(video.data(), 640, 480, 640 * 4 - 1, rgb32, ram.data()));
    EXPECT_FALSE(screen.attach(video.data(), 640, 480, 640, PixelFormat::standard(8), ram.data()));
    EXPECT_FALSE(screen.attach(nullptr, 640, 480, 2560, rgb32, ram.data()));
    EXPECT_EQ(screen.pixels(), nullptr);
    screen.present(0, 0, 640, 480);   // nothing attached: nothing happens
    // A layout whose channels do not fit the depth falls back to the standard one.
    PixelFormat odd = PixelFormat::from_fields(16, 12, 8, 5, 6, 0, 5);
    EXPECT_EQ(odd.red_position, 11);
    EXPECT_EQ(odd.red_size, 5);
}

}  // namespace

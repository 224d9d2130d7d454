// PS/2 bytes become key events named by their USB usage; the queue every key
// source shares keeps their order; the US legends of the keys.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "drivers/keyboard_decoder.h"
#include "lib/key_queue.h"
#include "lib/us_layout.h"

using tarn::Key;
using tarn::KeyEvent;
using tarn::KeyQueue;
using tarn::drivers::ScanSet1Decoder;

namespace {

std::vector<KeyEvent> decode(const std::vector<uint8_t>& bytes) {
    ScanSet1Decoder decoder;
    std::vector<KeyEvent> out;
    KeyEvent e;
    for (uint8_t b : bytes)
        if (decoder.take(b, &e)) out.push_back(e);
    return out;
}

std::vector<KeyEvent> drain(KeyQueue& q) {
    std::vector<KeyEvent> out;
    KeyEvent e;
    while (q.next(&e)) out.push_back(e);
    return out;
}

}  // namespace

namespace tarn {
bool operator==(const KeyEvent& a, const KeyEvent& b) { return a.key == b.key && a.down == b.down; }
void PrintTo(const KeyEvent& e, std::ostream* os) { *os << "0x" << std::hex << int(e.key) << (e.down ? " down" : " up"); }
}  // namespace tarn

TEST(KeyDecoder, PlainAndExtendedKeysByUsage) {
    EXPECT_EQ(decode({0x1E, 0x9E, 0x2A, 0x27, 0xA7, 0xAA}),
              (std::vector<KeyEvent>{{Key::A, true}, {Key::A, false}, {Key::LeftShift, true},
                                     {Key::Semicolon, true}, {Key::Semicolon, false}, {Key::LeftShift, false}}));
    // The keypad's 8 and the grey Up arrow are two keys; E0 names the second.
    EXPECT_EQ(decode({0x48, 0xE0, 0x48, 0xE0, 0xC8, 0xE0, 0x1C, 0xE0, 0x1D, 0x56}),
              (std::vector<KeyEvent>{{Key::Keypad8, true}, {Key::Up, true}, {Key::Up, false},
                                     {Key::KeypadEnter, true}, {Key::RightControl, true},
                                     {Key::NonUsBackslash, true}}));
}

TEST(KeyDecoder, FakeShiftsRepliesAndPauseSequences) {
    // Num Lock on: the grey arrows come wrapped in E0 2A / E0 AA, which are no
    // key; FA (acknowledge) names nothing; Pause is E1 1D 45 then E1 9D C5.
    EXPECT_EQ(decode({0xE0, 0x2A, 0xE0, 0x4B, 0xE0, 0xCB, 0xE0, 0xAA, 0xFA, 0xE1, 0x1D, 0x45, 0xE1, 0x9D, 0xC5, 0x10}),
              (std::vector<KeyEvent>{{Key::Left, true}, {Key::Left, false}, {Key::Pause, true},
                                     {Key::Pause, false}, {Key::Q, true}}));
    for (int make = 0x3B; make <= 0x44; make++)
        EXPECT_EQ(ScanSet1Decoder::key_for(static_cast<uint8_t>(make)), static_cast<Key>(0x3A + make - 0x3B));
    EXPECT_EQ(ScanSet1Decoder::key_for(0x57), Key::F11);
    EXPECT_EQ(ScanSet1Decoder::key_for(0x58), Key::F12);
}

TEST(KeyQueueOrder, KeepsOrderAcrossTheWrapAndRefusesWhenFull) {
    KeyQueue q;
    for (int round = 0; round < 3; round++) {
        for (u32 i = 0; i < KeyQueue::kCapacity; i++)
            ASSERT_TRUE(q.push({static_cast<Key>(i & 0x7F), (i & 1) != 0}));
        EXPECT_FALSE(q.push({Key::Z, true}));
        std::vector<KeyEvent> out = drain(q);
        ASSERT_EQ(out.size(), KeyQueue::kCapacity);
        for (u32 i = 0; i < out.size(); i++) ASSERT_EQ(out[i], (KeyEvent{static_cast<Key>(i & 0x7F), (i & 1) != 0}));
    }
    EXPECT_EQ(q.dropped(), 3u);
}

TEST(UsLayout, KeysTypeTheirLegendsWithAndWithoutShift) {
    const char* plain = "abcdefghijklmnopqrstuvwxyz1234567890";
    for (int i = 0; plain[i]; i++) {
        Key key = i < 26 ? static_cast<Key>(0x04 + i) : static_cast<Key>(0x1E + i - 26);
        EXPECT_EQ(tarn::us_character(key, false), plain[i]);
    }
    EXPECT_EQ(tarn::us_character(Key::A, true), 'A');
    EXPECT_EQ(tarn::us_character(Key::Digit2, true), '@');
    EXPECT_EQ(tarn::us_character(Key::Semicolon, true), ':');
    EXPECT_EQ(tarn::us_character(Key::Apostrophe, true), '"');
    EXPECT_EQ(tarn::us_character(Key::Backslash, false), '\\');
    EXPECT_EQ(tarn::us_character(Key::Slash, true), '?');
    EXPECT_EQ(tarn::us_character(Key::Space, true), ' ');
    for (Key none : {Key::Enter, Key::Escape, Key::Backspace, Key::Tab, Key::NonUsHash, Key::F1, Key::Keypad1,
                     Key::LeftShift, Key::Up})
        EXPECT_EQ(tarn::us_character(none, false), 0) << int(none);
}

// The characters on a US PC keyboard's keys.
#include "lib/us_layout.h"

namespace tarn {

namespace {
// Usages 0x1E..0x38: digits, then Enter..Slash (0 where no character).
const char kPlain[] = "1234567890\0\0\0\0 -=[]\\\0;'`,./";
const char kShifted[] = "!@#$%^&*()\0\0\0\0 _+{}|\0:\"~<>?";
const u8 kFirstTable = static_cast<u8>(Key::Digit1);
const u8 kLastTable = static_cast<u8>(Key::Slash);
}  // namespace

char us_character(Key key, bool shift) {
    u8 usage = static_cast<u8>(key);
    if (key >= Key::A && key <= Key::Z) return static_cast<char>((shift ? 'A' : 'a') + usage - static_cast<u8>(Key::A));
    if (usage >= kFirstTable && usage <= kLastTable) return (shift ? kShifted : kPlain)[usage - kFirstTable];
    return 0;
}

}  // namespace tarn

// Printed-text recorder: a stand-in for the console's formatted output.
#include "tests/support/console_capture.h"

#include <cstdarg>
#include <cstdint>

namespace {
std::string& Recorded() {
    static std::string text;
    return text;
}

// Digits of value in base, zero-padded to width (a width never truncates).
std::string Digits(uint32_t value, unsigned base, bool upper, int width) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string d;
    do {
        d.insert(d.begin(), set[value % base]);
        value /= base;
    } while (value);
    while (static_cast<int>(d.size()) < width) d.insert(d.begin(), '0');
    return d;
}
}  // namespace

// '%', an optional '0', an optional one-digit width, then the conversion.
__attribute__((weak)) void tarn_printf(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::string& out = Recorded();
    for (const char* f = format; *f; f++) {
        if (*f != '%') {
            out += *f;
            continue;
        }
        if (!*++f) break;
        if (*f == '0' && !*++f) break;
        int width = 0;
        if (*f >= '0' && *f <= '9') {
            width = *f - '0';
            if (!*++f) break;
        }
        switch (*f) {
        case '%': out += '%'; break;
        case 'c': out += static_cast<char>(va_arg(ap, int)); break;
        case 'd': {
            int32_t v = va_arg(ap, int32_t);
            if (v < 0) out += '-';
            out += Digits(v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v), 10, false, width);
            break;
        }
        case 'u': out += Digits(va_arg(ap, uint32_t), 10, false, width); break;
        case 'o': out += Digits(va_arg(ap, uint32_t), 8, false, width); break;
        case 'x': out += Digits(va_arg(ap, uint32_t), 16, false, width); break;
        case 'X': out += Digits(va_arg(ap, uint32_t), 16, true, width); break;
        case 's': out += va_arg(ap, const char*); break;
        default: break;
        }
    }
    va_end(ap);
}

namespace consolecapture {
void Capture::Start() { Recorded().clear(); }
std::string Capture::Text() const { return Recorded(); }
}  // namespace consolecapture

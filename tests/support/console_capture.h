// Printed text, read back from the real console for tests that check exact
// output. Start() points the console at a private framebuffer, clears it and
// then paints every pixel in a colour the console never uses, so a cell the
// console drew (even a printed space) can be told from one it never touched.
// Text() rebuilds what was printed since Start(): the drawn cells of each
// row, a '\n' after every row that did not wrap at column 100, up to the
// cursor.
//
// The rebuild needs all output on one screen and the cursor off: if the
// console has scrolled since Start(), or the cursor is on (the monitor turns
// it on for the rest of the process), Text() records a test failure.
#ifndef TARN_TESTS_SUPPORT_CONSOLE_CAPTURE_H
#define TARN_TESTS_SUPPORT_CONSOLE_CAPTURE_H

#include <string>

namespace consolecapture {

class Capture {
public:
    // Forgets what was printed so far.
    void Start();
    // Everything printed since Start().
    std::string Text() const;
    // Whether the console scrolled since Start() (Text() is then incomplete).
    bool Scrolled() const;
};

}  // namespace consolecapture

#endif

// Printed text, recorded for tests that check exact console output.
// The recorder stands in for the console's printf (a weak definition of its
// host link name) in test programs that use it and do not link the console
// itself; it follows the same conversion rules.
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
};

}  // namespace consolecapture

#endif

// Shared fixture: the console on an 800 x 600 x 16 memory framebuffer.
#ifndef TARN_TESTS_UNIT_CONSOLE_FIXTURE_H
#define TARN_TESTS_UNIT_CONSOLE_FIXTURE_H

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "lib/stdio.h"
#include "lib/vga.h"
#include "tests/support/console_capture.h"
#include "tests/support/console_reader.h"

// Runs body in a child process and expects it to pass there. The cursor,
// once enabled, stays on for the life of the process, so tests that enable
// it run apart from the others.
template <class Body>
void InChildProcess(Body body) {
    std::fflush(stdout);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        body();
        std::fflush(stdout);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "checks in the child process failed (above)";
}

class ConsoleTest : public ::testing::Test {
protected:
    static constexpr uint32_t kWidth = 800;
    static constexpr uint32_t kHeight = 600;
    static constexpr uint32_t kPitch = kWidth * 2;

    void SetUp() override {
        consolereader::AttachConsole(fb.data(), kWidth, kHeight, kPitch);
        vga_clear();
    }
    void TearDown() override { consolereader::DetachConsole(); }

    consolereader::ConsoleReader screen() const {
        return consolereader::ConsoleReader(fb.data(), kWidth, kHeight, kPitch);
    }
    std::string row(int r) const { return screen().row(r); }
    uint16_t pixel(uint32_t x, uint32_t y) const { return fb[y * kWidth + x]; }
    void expect_cursor(int col, int row) const {
        EXPECT_EQ(vga_cursor_col(), col);
        EXPECT_EQ(vga_cursor_row(), row);
    }

    std::vector<uint16_t> fb = std::vector<uint16_t>(kWidth * kHeight, 0x1234);
};

#endif

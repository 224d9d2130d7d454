// IO keyboard side: PC key codes to the C64 keyboard matrix and joystick 2,
// as CIA 1 reads them.
#include <gtest/gtest.h>

#include "c64/c64.h"
#include "c64/cia1.h"
#include "c64/io.h"
#include "c64/memory.h"
#include "c64/processor.h"

namespace {

constexpr u8 kUp = 0xFD, kDown = 0xFE, kLeft = 0xFA, kRight = 0xFB;
constexpr u8 kShift = 0x2A, kF2 = 0xF2, kF4 = 0xF4, kF6 = 0xF6, kF8 = 0xF8, kF9 = 0x02;
constexpr u8 kPageUp = 0xF9, kTab = 0x0F;

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        g_face_active = 1;
        cpu.reset();
        io.cpu(&cpu);
        cia1.io(&io);
        cia1.cpu(&cpu);
    }
    void TearDown() override { g_face_active = 0; }

    // Is the key at matrix (byte, bit) held?
    bool held(int byte, int bit) { return !((io.keyboard_matrix_row(byte) >> bit) & 1); }
    bool all_released() {
        for (int i = 0; i < 8; i++)
            if (io.keyboard_matrix_row(i) != 0xFF) return false;
        return true;
    }

    Memory mem;
    Processor cpu{&mem};
    IO io;
    Cia1 cia1;
};

TEST_F(Keyboard, StartsReleasedAndCentred) {
    EXPECT_TRUE(all_released());
    EXPECT_EQ(io.getJoystick(1), 0);
    EXPECT_EQ(io.getJoystick(2), 0);
    EXPECT_EQ(io.getJoystick(0), 0);
    EXPECT_EQ(io.getJoystick(3), 0);
}

TEST_F(Keyboard, CursorUpIsCursorDownWithShiftAndJoystickUp) {
    io.OnKeyDown(kUp);
    EXPECT_TRUE(held(0, 7));
    EXPECT_TRUE(held(1, 7));
    EXPECT_EQ(io.getJoystick(2), 0x01);
    io.OnKeyUp(kUp);
    EXPECT_TRUE(all_released());
    EXPECT_EQ(io.getJoystick(2), 0);
}

TEST_F(Keyboard, ShiftedFunctionKeyReleaseAlsoReleasesShift) {
    io.OnKeyDown(kShift);
    io.OnKeyDown(kF2);
    EXPECT_TRUE(held(0, 4));
    EXPECT_TRUE(held(1, 7));
    io.OnKeyUp(kF2);
    EXPECT_FALSE(held(0, 4));
    EXPECT_FALSE(held(1, 7));  // although PC Shift is still down
    const struct { u8 code; int bit; } keys[] = {{kF4, 5}, {kF6, 6}, {kF8, 3}};
    for (auto k : keys) {
        io.OnKeyDown(k.code);
        EXPECT_TRUE(held(0, k.bit));
        EXPECT_TRUE(held(1, 7));
        io.OnKeyUp(k.code);
        EXPECT_TRUE(all_released());
    }
}

TEST_F(Keyboard, AnyReleaseCentresTheJoystick) {
    io.OnKeyDown(kRight);
    io.OnKeyDown(kDown);
    io.OnKeyDown(kShift);
    EXPECT_EQ(io.getJoystick(2), 0x08 | 0x02 | 0x10);
    io.OnKeyUp('A');
    EXPECT_EQ(io.getJoystick(2), 0);
}

TEST_F(Keyboard, FaceActiveLeavesOrdinaryKeysToTheFace) {
    io.OnKeyDown('A');
    EXPECT_TRUE(all_released());
    io.OnKeyUp('A');
    EXPECT_TRUE(all_released());
    io.OnKeyDown(kRight);  // joystick only
    EXPECT_EQ(io.getJoystick(2), 0x08);
    EXPECT_FALSE(held(0, 2));
    io.OnKeyDown(kLeft);   // CRSR right and left SHIFT, always
    EXPECT_EQ(io.getJoystick(2), 0x08 | 0x04);
    EXPECT_TRUE(held(0, 2));
    EXPECT_TRUE(held(1, 7));
    io.OnKeyUp(kLeft);
    EXPECT_TRUE(all_released());
}

TEST_F(Keyboard, WithoutTheFaceEveryMatchingPositionIsPressed) {
    g_face_active = 0;
    io.OnKeyDown('A');
    EXPECT_TRUE(held(1, 2));
    io.OnKeyDown(kShift);  // both SHIFT keys
    EXPECT_TRUE(held(1, 7));
    EXPECT_TRUE(held(6, 4));
    io.OnKeyDown(0x2B);    // PC backslash: + and up-arrow
    EXPECT_TRUE(held(5, 0));
    EXPECT_TRUE(held(6, 6));
    io.OnKeyDown(kRight);
    EXPECT_TRUE(held(0, 2));
    io.OnKeyUp(kShift);
    EXPECT_FALSE(held(1, 7));
    EXPECT_FALSE(held(6, 4));
    EXPECT_TRUE(held(1, 2));
    io.OnKeyUp('A');
    io.OnKeyUp(0x2B);
    io.OnKeyUp(kRight);
    EXPECT_TRUE(all_released());
}

TEST_F(Keyboard, TableCoversTheWholeMatrix) {
    g_face_active = 0;
    for (int i = 0; i < 8; i++)
        for (int j = 0; j < 8; j++) {
            u8 code = IO::kbd[i][j];
            io.OnKeyDown(code);
            EXPECT_TRUE(held(i, j)) << i << "," << j;
            io.OnKeyUp(code);
        }
    EXPECT_EQ(IO::kbd[7][7], 0x0F);  // Tab is RUN/STOP
    EXPECT_EQ(IO::kbd[0][1], 0x0A);  // Enter is RETURN
    EXPECT_EQ(IO::kbd[7][4], ' ');
}

TEST_F(Keyboard, ScrollLockIsConsumed) {
    g_face_active = 0;
    io.OnKeyDown(0x90);
    EXPECT_TRUE(all_released());
    EXPECT_EQ(io.getJoystick(2), 0);
}

TEST_F(Keyboard, RestoreKeysHoldTheCoresNmiLineAndTabHoldsRunStop) {
    core6502_context& g_ctx = cpu.state();
    u16 pc = cpu.pc();
    for (u8 key : {kF9, kPageUp}) {
        io.OnKeyDown(key);
        EXPECT_TRUE(g_ctx.nmi_pending) << int(key);
        EXPECT_EQ(g_ctx.nmi_lines, CORE6502_NMI_RESTORE);
        g_ctx.nmi_pending = false;  // as the core takes it
        io.OnKeyUp(key);
        EXPECT_EQ(g_ctx.nmi_lines, 0);
        EXPECT_FALSE(g_ctx.nmi_pending);
        EXPECT_EQ(cpu.pc(), pc);  // only the line moves
    }
    EXPECT_TRUE(all_released());
    // The face is active, yet Tab reaches the matrix as RUN/STOP.
    io.OnKeyDown(kTab);
    EXPECT_TRUE(held(7, 7));
    io.OnKeyUp(kTab);
    io.text_pass_ran();
    EXPECT_TRUE(held(7, 7));  // a tap outlasts the next jiffy
    io.text_pass_ran();
    EXPECT_TRUE(all_released());
}

TEST_F(Keyboard, CiaSeesTheMatrixAndJoystick) {
    g_face_active = 0;
    io.OnKeyDown('A');  // byte 1, bit 2
    cia1.write_register(0x02, 0xFF);  // port A output
    cia1.write_register(0x03, 0x00);  // port B input
    cia1.write_register(0x00, static_cast<u8>(~0x02));  // select line 1
    EXPECT_EQ(cia1.read_register(0x01), static_cast<u8>(~0x04));
    cia1.write_register(0x00, static_cast<u8>(~0x04));  // line 2: nothing
    EXPECT_EQ(cia1.read_register(0x01), 0xFF);
    io.OnKeyUp('A');
    io.OnKeyDown(kUp);
    cia1.write_register(0x00, 0xFF);
    EXPECT_EQ(cia1.read_register(0x00), 0xFF - 0x01);  // joystick up pulls bit 0
}

}  // namespace

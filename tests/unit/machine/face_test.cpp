// Face nodes: the generic operations and the C64 face's callbacks on a bare
// memory map.
#include <gtest/gtest.h>

#include <vector>

#include "c64/face_node.h"
#include "c64/memory.h"
#include "c64/processor.h"

namespace {

FaceNode blank_node() {
    FaceNode node{};
    return node;
}

int init_calls = 0;
void count_init(void*) { init_calls++; }

TEST(Face, NameHashMatchesKnownValues) {
    EXPECT_EQ(face_phi_hash(""), 0u);
    EXPECT_EQ(face_phi_hash(nullptr), 0u);
    EXPECT_EQ(face_phi_hash("a"), 0xF3051F493B3903F6ull);
    EXPECT_EQ(face_phi_hash("c64"), 0x331CBB6E5CC6A198ull);
}

TEST(Face, RealizeFillsDefaultsClearsTextAndCallsInitOnce) {
    FaceNode node = blank_node();
    node.name = "c64";
    node.init = count_init;
    for (u8& c : node.text) c = 'X';
    init_calls = 0;
    face_realize(&node);
    EXPECT_EQ(node.width, 40);
    EXPECT_EQ(node.height, 25);
    EXPECT_EQ(node.state, 3);
    EXPECT_EQ(node.active, 1);
    EXPECT_EQ(node.hash, 0x331CBB6E5CC6A198ull);
    EXPECT_EQ(init_calls, 1);
    for (u8 c : node.text) ASSERT_EQ(c, 0x20);

    FaceNode wide = blank_node();
    wide.width = 80;
    wide.height = 25;
    face_realize(&wide);
    EXPECT_EQ(wide.width, 80);
    EXPECT_EQ(wide.height, 25);
    face_realize(nullptr);  // nothing happens
}

TEST(Face, InactiveOrNullNodesAndCallbacksAreSkipped) {
    FaceNode node = blank_node();
    face_tick_steps(&node, 10);  // inactive: state untouched
    EXPECT_EQ(node.state, 0);
    face_tick_steps(nullptr, 10);
    face_tick_observe(nullptr);
    face_key(nullptr, 'A');
    face_realize(&node);  // all callbacks null
    face_tick_steps(&node, 10);
    EXPECT_EQ(node.state, 4);
    face_tick_observe(&node);
    face_key(&node, 'A');
}

// A bare memory map with the 6502 running a tiny program from RAM.
class C64Face : public ::testing::Test {
protected:
    void SetUp() override {
        mem.write_byte(0x0001, 0x35);  // KERNAL and BASIC out, I/O in (nothing wired)
        node = blank_node();
        face_bind_c64(&node, &cpu, &mem);
    }

    void program(u16 at, std::vector<u8> bytes) {
        for (size_t i = 0; i < bytes.size(); i++) mem.write_byte(static_cast<u16>(at + i), bytes[i]);
    }
    void vectors(u16 reset, u16 irq) {
        program(0xFFFC, {static_cast<u8>(reset), static_cast<u8>(reset >> 8), static_cast<u8>(irq),
                         static_cast<u8>(irq >> 8)});
    }

    Memory mem;
    Processor cpu{&mem};
    FaceNode node;
};

TEST_F(C64Face, BindFillsTheC64Callbacks) {
    EXPECT_STREQ(node.name, "c64");
    EXPECT_EQ(node.user, &g_c64_self);
    EXPECT_EQ(g_c64_self.mem, &mem);
    EXPECT_EQ(node.width, 40);
    EXPECT_EQ(node.height, 25);
    EXPECT_EQ(node.step, &c64_step);
    EXPECT_EQ(node.coord, &c64_coord);
}

TEST_F(C64Face, IrqComesEvery16667InstructionsAcrossBatches) {
    // $1000: CLI; JMP $1001.  IRQ handler $2000: INC $10; JMP $2002 (stays, I set).
    program(0x1000, {0x58, 0x4C, 0x01, 0x10});
    program(0x2000, {0xE6, 0x10, 0x4C, 0x02, 0x20});
    vectors(0x1000, 0x2000);
    mem.write_byte(0x10, 0);
    face_realize(&node);
    EXPECT_EQ(node.coord(node.user), 0x1000u);
    face_tick_steps(&node, 10000);
    face_tick_steps(&node, 6666);  // 16,666 so far: no interrupt yet
    EXPECT_LT(cpu.pc(), 0x2000);
    face_tick_steps(&node, 1);     // the 16,667th is followed by the request
    EXPECT_EQ(cpu.pc(), 0x2000);
    EXPECT_EQ(g_c64_self.steps, 16667u);
}

TEST_F(C64Face, RequestWhileInterruptsMaskedIsLost) {
    // $1000: SEI; JMP $1001.  Handler $2000: JMP $2000.
    program(0x1000, {0x78, 0x4C, 0x01, 0x10});
    program(0x2000, {0x4C, 0x00, 0x20});
    vectors(0x1000, 0x2000);
    face_realize(&node);
    face_tick_steps(&node, 16667);
    EXPECT_LT(cpu.pc(), 0x2000);
    cpu.state().flags &= static_cast<u8>(~CORE6502_I);  // unmask: the old request is gone
    face_tick_steps(&node, 100);
    EXPECT_LT(cpu.pc(), 0x2000);
    face_tick_steps(&node, 16667 - 100);
    EXPECT_EQ(cpu.pc(), 0x2000);
}

TEST_F(C64Face, RealizeResetsTheStepCount) {
    program(0x1000, {0x4C, 0x00, 0x10});
    vectors(0x1000, 0x2000);
    face_realize(&node);
    face_tick_steps(&node, 500);
    EXPECT_EQ(g_c64_self.steps, 500u);
    face_realize(&node);
    EXPECT_EQ(g_c64_self.steps, 0u);
}

TEST_F(C64Face, ScreenCodesTranslateToCharacters) {
    struct Case { u8 code, ch; };
    const Case cases[] = {{0x00, '@'}, {0x01, 'A'}, {0x1A, 'Z'}, {0x1B, 0x1B}, {0x1E, 0x1E}, {0x20, ' '},
                          {0x30, '0'}, {0x3F, '?'}, {0x40, '-'}, {0x41, 0x41}, {0x4D, '/'}, {0x4E, '\\'},
                          {0x51, 'O'}, {0x5A, 0x5A}, {0x5B, ' '}, {0x5C, '|'}, {0x5D, ' '}, {0x65, ' '},
                          {0x66, '#'}, {0x67, ' '}, {0x80, '@'}, {0x81, 'A'}, {0xA0, ' '}, {0xB1, '1'},
                          {0xE0, ' '}};
    for (const Case& c : cases) EXPECT_EQ(face_screen_code_char(c.code), c.ch) << "code " << int(c.code);
}

TEST_F(C64Face, ObserveTranslatesScreenAndReadsColours) {
    face_realize(&node);
    for (int i = 0; i < 1000; i++) {
        mem.write_byte_no_io(static_cast<u16>(0x0400 + i), 0x20);
        mem.write_byte_no_io(static_cast<u16>(0xD800 + i), 0xF3);
    }
    mem.write_byte_no_io(0x0400, 0x08);   // H
    mem.write_byte_no_io(0x0401, 0x09);   // I
    mem.write_byte_no_io(0x07E7, 0x31);   // '1' in the last cell
    mem.write_byte_no_io(0xD800, 0x1E);
    mem.write_byte_no_io(0xD020, 0x25);   // nothing wired at $D000: RAM answers
    mem.write_byte_no_io(0xD021, 0x3B);
    face_tick_observe(&node);
    EXPECT_EQ(node.text[0], 'H');
    EXPECT_EQ(node.text[1], 'I');
    EXPECT_EQ(node.text[999], '1');
    EXPECT_EQ(g_face_color[0], 0x0E);
    EXPECT_EQ(g_face_color[5], 0x03);
    EXPECT_EQ(g_vic_border, 5);
    EXPECT_EQ(g_vic_backgnd, 11);
}

TEST_F(C64Face, ObserveNeverWritesMoreThanAThousandCells) {
    face_realize(&node);
    std::vector<u8> text(2000, 0xAA);
    c64_observe(&g_c64_self, text.data(), 80, 25);
    for (int i = 1000; i < 2000; i++) ASSERT_EQ(text[i], 0xAA) << i;
}

TEST_F(C64Face, TypedCharactersFillTheKeyboardBufferUpToTen) {
    mem.write_byte(0xC6, 0);
    face_realize(&node);
    face_key(&node, 'q');
    face_key(&node, 'Q');
    EXPECT_EQ(mem.read_byte(0xC6), 2);
    EXPECT_EQ(mem.read_byte(0x0277), 0x51);
    EXPECT_EQ(mem.read_byte(0x0278), 0x51);

    mem.write_byte(0xC6, 10);
    mem.write_byte(0xCB, 0);
    mem.write_byte(0xC5, 0);
    mem.write_byte(0x028A, 0);
    u8 after = mem.read_byte(0x0277 + 10);
    face_key(&node, 'Z');
    EXPECT_EQ(mem.read_byte(0xC6), 10);          // dropped
    EXPECT_EQ(mem.read_byte(0x0277 + 10), after);  // nothing written past the buffer
    EXPECT_EQ(mem.read_byte(0xCB), 0x40);
    EXPECT_EQ(mem.read_byte(0xC5), 0x40);
    EXPECT_EQ(mem.read_byte(0x028A), 0x40);
}

}  // namespace

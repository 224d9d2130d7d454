// Face nodes and the C64 face: the processor's pace and its text picture.
#include "c64/face_node.h"

#include "c64/memory.h"
#include "c64/processor.h"

namespace {

constexpr u64 kPhi = 0x9E3779B97F4A7C15ull;  // 2^64 / golden ratio
constexpr i32 kStateRealized = 3;
constexpr i32 kStateStepped = 4;
constexpr i32 kDefaultWidth = 40;
constexpr i32 kDefaultHeight = 25;
constexpr u32 kStepsPerIrq = 16667;  // the KERNAL's 60 Hz tick, in instructions

constexpr u16 kScreenRam = 0x0400;   // default video matrix
constexpr u16 kColorRam = 0xD800;
constexpr u16 kBorderColor = 0xD020;
constexpr u16 kBackgroundColor = 0xD021;
constexpr u16 kKeyCount = 0x00C6;    // NDX: characters in the keyboard buffer
constexpr u16 kKeyBuffer = 0x0277;   // KEYD: 10-character keyboard buffer
constexpr u8 kKeyBufferSize = 10;
constexpr u16 kLastKey = 0x00C5;     // LSTX: matrix code of the last key
constexpr u16 kCurrentKey = 0x00CB;  // SFDX: matrix code of the key held
constexpr u16 kRepeatFlag = 0x028A;  // RPTFLG
constexpr u8 kNoKey = 0x40;
constexpr u8 kReverseBit = 0x80;     // screen code bit 7: the cell in reverse video

}  // namespace

C64FaceSelf g_c64_self = {nullptr, nullptr, 0};
u8 g_face_color[kFaceCells];
u8 g_face_reverse[kFaceCells];
volatile u8 g_vic_border = 6;
volatile u8 g_vic_backgnd = 6;

u64 face_phi_hash(const char* s) {
    if (!s) return 0;
    u64 h = 0;
    for (; *s; s++) {
        h ^= static_cast<u8>(*s);
        h = h * kPhi + 1;
    }
    return h;
}

void face_realize(FaceNode* node) {
    if (!node) return;
    node->hash = face_phi_hash(node->name);
    if (node->width == 0) node->width = kDefaultWidth;
    if (node->height == 0) node->height = kDefaultHeight;
    for (u8& c : node->text) c = 0x20;
    if (node->init) node->init(node->user);
    node->state = kStateRealized;
    node->active = 1;
}

void face_tick_steps(FaceNode* node, u32 count) {
    if (!node || !node->active) return;
    if (node->step) node->step(node->user, count);
    if (node->state <= kStateRealized) node->state = kStateStepped;
}

void face_tick_observe(FaceNode* node) {
    if (node && node->active && node->observe) node->observe(node->user, node->text, node->width, node->height);
}

void face_key(FaceNode* node, u8 character) {
    if (node && node->active && node->input) node->input(node->user, character);
}

void face_bind_c64(FaceNode* node, Processor* cpu, Memory* mem) {
    g_c64_self.mem = mem;
    g_c64_self.cpu = cpu;
    g_c64_self.steps = 0;
    if (!node) return;
    node->name = "c64";
    node->user = &g_c64_self;
    node->width = kDefaultWidth;
    node->height = kDefaultHeight;
    node->init = c64_init;
    node->step = c64_step;
    node->observe = c64_observe;
    node->input = c64_input;
    node->coord = c64_coord;
}

// ---- the C64 face ---------------------------------------------------------------

void c64_init(void* user) {
    C64FaceSelf* self = static_cast<C64FaceSelf*>(user);
    if (self->cpu) self->cpu->reset();
    self->steps = 0;
}

i32 c64_step(void* user, u32 count) {
    C64FaceSelf* self = static_cast<C64FaceSelf*>(user);
    Processor* cpu = self->cpu;
    if (!cpu) return 0;
    for (u32 i = 0; i < count; i++) {
        cpu->step();
        self->steps++;
        // The core drops the request while its I flag is set.
        if (self->steps % kStepsPerIrq == 0) cpu->tick();
    }
    return 0;
}

u8 face_screen_code_char(u8 code) {
    code &= static_cast<u8>(~kReverseBit);
    if (code == 0x00) return 0x40;
    if (code <= 0x1A) return static_cast<u8>(code + 0x40);
    if (code <= 0x3F) return code;
    switch (code) {
    case 0x4D: return 0x2F;  // slash
    case 0x4E: return 0x5C;  // backslash
    case 0x5C: return 0x7C;  // vertical bar
    case 0x40: return 0x2D;  // horizontal line as minus
    case 0x66: return 0x23;  // chequer as hash
    case 0x51: return 0x4F;  // ball as O
    default: break;
    }
    if (code >= 0x41 && code <= 0x5A) return code;
    return 0x20;
}

void c64_observe(void* user, u8* text, i32 width, i32 height) {
    Memory* mem = static_cast<C64FaceSelf*>(user)->mem;
    if (!mem) return;
    i32 cells = width * height;
    for (i32 i = 0; i < cells && i < kFaceCells; i++) {
        u8 code = mem->read_byte(static_cast<u16>(kScreenRam + i));
        text[i] = face_screen_code_char(code);
        g_face_reverse[i] = (code & kReverseBit) ? 1 : 0;
        g_face_color[i] = mem->read_byte(static_cast<u16>(kColorRam + i)) & 0x0F;
    }
    g_vic_border = mem->read_byte(kBorderColor) & 0x0F;
    g_vic_backgnd = mem->read_byte(kBackgroundColor) & 0x0F;
}

void c64_input(void* user, u8 ch) {
    Memory* mem = static_cast<C64FaceSelf*>(user)->mem;
    if (!mem) return;
    if (ch >= 'a' && ch <= 'z') ch = static_cast<u8>(ch - 0x20);
    u8 n = mem->read_byte(kKeyCount);
    if (n < kKeyBufferSize) {
        mem->write_byte(static_cast<u16>(kKeyBuffer + n), ch);
        mem->write_byte(kKeyCount, static_cast<u8>(n + 1));
    }
    // No matrix key is held: the KERNAL's scan must not repeat or re-decode.
    mem->write_byte(kCurrentKey, kNoKey);
    mem->write_byte(kLastKey, kNoKey);
    mem->write_byte(kRepeatFlag, kNoKey);
}

u32 c64_coord(void* user) {
    Processor* cpu = static_cast<C64FaceSelf*>(user)->cpu;
    return cpu ? cpu->pc() : 0;
}

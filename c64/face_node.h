// Face nodes: a small adapter that steps a machine, observes it as a 40 x 25
// text picture and feeds it typed characters; the C64 face drives the 6502.
#ifndef TARN_C64_FACE_NODE_H
#define TARN_C64_FACE_NODE_H

#include "lib/types.h"

class Memory;
class Processor;

static constexpr int kFaceCells = 1000;  // 40 x 25 text cells

struct FaceNode {
    const char* name;
    u64 hash;
    i32 state;  // 3 realised, 4 stepped
    void (*init)(void* user);
    i32 (*step)(void* user, u32 count);
    void (*observe)(void* user, u8* text, i32 width, i32 height);
    void (*input)(void* user, u8 character);
    u32 (*coord)(void* user);
    void* user;
    i32 width;   // 0 means 40
    i32 height;  // 0 means 25
    u8 text[kFaceCells];
    i32 active;
};

// The C64 face's callback record.
struct C64FaceSelf {
    Memory* mem;     // not owned
    Processor* cpu;  // not owned
    u32 steps;    // instructions since the last init
};

extern C64FaceSelf g_c64_self;

// Colours and reverse flags (1 for a screen code of $80 and above) observed
// with the text picture, read by the display.
extern u8 g_face_color[kFaceCells];
extern u8 g_face_reverse[kFaceCells];
extern volatile u8 g_vic_border;
extern volatile u8 g_vic_backgnd;

u64 face_phi_hash(const char* s);
void face_realize(FaceNode* node);
void face_tick_steps(FaceNode* node, u32 count);
void face_tick_observe(FaceNode* node);
void face_key(FaceNode* node, u8 character);
void face_bind_c64(FaceNode* node, Processor* cpu, Memory* mem);

void c64_init(void* user);
i32 c64_step(void* user, u32 count);
void c64_observe(void* user, u8* text, i32 width, i32 height);
void c64_input(void* user, u8 ch);
u32 c64_coord(void* user);

// Screen code (as stored in screen RAM) to the character the text view
// shows; bit 7 (reverse video) is left to g_face_reverse.
u8 face_screen_code_char(u8 code);

#endif

; Built-in program (placeholder until the real program lands): an empty BASIC program.
        .segment "LOADADDR"
        .word   $0801
        .segment "CODE"
        .word   0

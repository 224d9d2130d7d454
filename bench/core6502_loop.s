; CPU-bound loop for the 6502 core benchmark (sim6502 target build).
        .export _main
        .ifndef OUTER
OUTER = 64
        .endif

        .bss
buf:    .res 256
cnt:    .res 1

        .code
_main:  lda #OUTER
        sta cnt
outer2: ldy #0
outer:  ldx #0
inner:  lda buf,x
        adc #1
        sta buf,x
        dex
        bne inner
        dey
        bne outer
        dec cnt
        bne outer2
        lda #0
        tax
        rts

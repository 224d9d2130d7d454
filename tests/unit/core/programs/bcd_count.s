; Counts 12345 times in decimal mode: three BCD bytes (low first) up from
; 000000 at $10, down from 100000 at $13, each step a carry chained through
; ADC #0 or SBC #0. The loop count is binary, kept with DEC (D-proof).
        .setcpu "6502"
        .segment "CODE"
        jmp main
done:   jmp done            ; $0203
main:   ldx #5
        lda #0
clear:  sta $10,x
        dex
        bpl clear
        lda #$10
        sta $15
        lda #<12345
        sta $16
        lda #>12345
        sta $17
        sed
loop:   sec                 ; carry in: +1
        ldx #$FD            ; $13+X wraps to $10..$12
up:     lda $13,x
        adc #0
        sta $13,x
        inx
        bne up
        clc                 ; borrow in: -1
        ldx #$FD
down:   lda $16,x
        sbc #0
        sta $16,x
        inx
        bne down
        lda $16
        bne low
        dec $17
low:    dec $16
        lda $16
        ora $17
        bne loop
        cld
        jmp done

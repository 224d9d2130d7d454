; Counts 12345 times in decimal mode: `up` from 000000 with ADC, `down`
; from 100000 with SBC, both three BCD bytes, low byte first. The loop count
; is binary and kept with DEC, which D does not affect.
        .setcpu "6502"
up      = $10
down    = $13
count   = $16

        .segment "CODE"
start:  jmp main
done:   jmp done            ; the test waits for pc here ($0203)

main:   lda #0
        sta up
        sta up+1
        sta up+2
        sta down
        sta down+1
        lda #$10
        sta down+2
        lda #<12345
        sta count
        lda #>12345
        sta count+1
        sed
loop:   clc
        lda up
        adc #1
        sta up
        lda up+1
        adc #0
        sta up+1
        lda up+2
        adc #0
        sta up+2
        sec
        lda down
        sbc #1
        sta down
        lda down+1
        sbc #0
        sta down+1
        lda down+2
        sbc #0
        sta down+2
        lda count
        bne low
        dec count+1
low:    dec count
        lda count
        ora count+1
        bne loop
        cld
        jmp done

; Raster interrupt on line 100 with CIA 1's interrupts off. The handler
; counts its calls and keeps the raster line read on entry for the first
; sixteen; it acknowledges with INC $D019 unless NOACK is non-zero.
COUNT   = $C200         ; 16-bit count of interrupts taken
NOACK   = $C202
LINES   = $C210         ; $D012 on entry, first 16 interrupts

        .segment "CODE"
        sei
        lda #$7F
        sta $DC0D
        lda $DC0D
        lda #<irq
        sta $0314
        lda #>irq
        sta $0315
        lda #100
        sta $D012
        lda $D011
        and #$7F
        sta $D011
        lda #$01
        sta $D019
        sta $D01A
        cli
idle:   jmp idle

irq:    lda $D012
        ldx COUNT+1
        bne count
        ldx COUNT
        cpx #16
        bcs count
        sta LINES,x
count:  inc COUNT
        bne ack
        inc COUNT+1
ack:    lda NOACK
        bne done
        inc $D019
done:   jmp $EA81       ; KERNAL: restore Y, X, A and return

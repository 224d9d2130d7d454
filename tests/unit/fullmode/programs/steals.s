; Cycles the VIC leaves the processor. A loop of DEX / BNE (read cycles
; only) runs a fixed amount of work while CIA 2's timer A measures it, from
; raster line 80 until well past line 122, so the lines in between are
; covered whole. Eight sprites at Y = 100 (DMA on lines 100-121) with the
; screen blanked: one measurement each for sprites 0..N-1, N = 0..8. Then
; the screen on without sprites, from line 84 to about 136 (the badlines
; 91 to 131, YSCROLL 3).
RESULTS = $C200         ; 9 words (sprites), 1 word (badlines, screen on)
DONE    = RESULTS+$3F

        .segment "CODE"
        sei
        lda #$7F
        sta $DC0D
        sta $DD0D
        lda #$0B                ; screen off
        sta $D011
        jsr new_frame
        ldx #15
place:  lda #100                ; Y = 100 for all, X spread out
        sta $D000,x
        txa
        asl
        asl
        asl
        asl
        dex
        sta $D000,x
        dex
        bpl place
        lda #0
        sta $D010
        sta $D017
        sta $D01D

        ldx #0
sprites:
        lda enable,x
        sta $D015
        jsr new_frame
        lda #80
        jsr measure
        inx
        cpx #9
        bne sprites

        lda #0
        sta $D015
        lda #$1B                ; screen on, YSCROLL 3
        sta $D011
        jsr new_frame
        lda #84
        jsr measure

        lda #$81
        sta $DC0D
        lda #1
        sta DONE
        cli
idle:   jmp idle

; Waits for line 0 or 256 twice, so a frame with this $D011 has begun.
new_frame:
        ldy #2
nf1:    lda $D012
        bne nf1
nf2:    lda $D012
        beq nf2
        dey
        bne nf1
        rts

; Waits for raster line A, then times the work; the elapsed count goes to
; result X.
measure:
sync:   cmp $D012
        bne sync
        .include "stopwatch.inc"

enable: .byte $00, $01, $03, $07, $0F, $1F, $3F, $7F, $FF

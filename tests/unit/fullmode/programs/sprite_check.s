; The VIC decides in cycle 55 of a line which sprites fetch on the next.
; Sprite 0 at Y = 100 is enabled by a write in line 100, early in the line
; or just after cycle 55, and a loop of DEX / BNE (read cycles only) runs a
; fixed amount of work from that write while CIA 2's timer A measures it,
; to well past line 122. Screen blanked: no badlines.
RESULTS = $C200         ; 2 words: enabled early, enabled late
DONE    = RESULTS+$3F
LINE    = 100

        .segment "CODE"
        sei
        lda #$7F
        sta $DC0D
        sta $DD0D
        lda #$0B                ; screen off
        sta $D011
        lda #0
        sta $D015
        sta $D010
        sta $D017
        sta $D01D
        lda #LINE
        sta $D001
        lda #100
        sta $D000

        ldx #0
        jsr new_frame
        lda #LINE
sync0:  cmp $D012               ; the read that sees LINE in cycle k = 1..7
        bne sync0
        lda #$01                ; from k + 3
        sta $D015               ; written in k + 8 = 9..15
        jsr measure

        lda #0
        sta $D015
        ldx #1
        jsr new_frame
        lda #LINE
sync1:  cmp $D012
        bne sync1
        .repeat 22              ; 47 cycles from k + 3
        nop
        .endrepeat
        bit $FB
        lda #$01
        sta $D015               ; written in k + 55 = 56..62
        jsr measure

        lda #0
        sta $D015
        lda #$1B
        sta $D011
        lda #$81
        sta $DC0D
        lda #1
        sta DONE
        cli
idle:   jmp idle

; Waits for line 0 or 256 twice, so a frame has begun.
new_frame:
        ldy #2
nf1:    lda $D012
        bne nf1
nf2:    lda $D012
        beq nf2
        dey
        bne nf1
        rts

; Times the work from here; the elapsed count goes to result X.
measure:
        .include "stopwatch.inc"

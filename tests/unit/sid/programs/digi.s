; Plays 4-bit samples through the master volume: the levels at $C100 (their
; number at $C0FF) go to $D418 one every 253 cycles (about 3.9 kHz), with
; the voices silent and the screen blanked, so that no badline holds the
; processor. Sets DONE when the last has been written.
LEVELS  = $C100
COUNT   = $C0FF
DONE    = $C200

        .segment "CODE"
        sei
        lda $D011
        and #$EF
        sta $D011
wait:   lda $D012       ; blanked from the next frame on
        bne wait
        ldx #0
next:   lda LEVELS,x    ; 4
        sta $D418       ; 4
        ldy #47         ; 2
delay:  dey             ; 47 x 5 - 1
        bne delay
        inx             ; 2
        cpx COUNT       ; 4
        bne next        ; 3
        lda $D011
        ora #$10
        sta $D011
        cli
        lda #1
        sta DONE
        rts

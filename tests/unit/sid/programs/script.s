; Plays a script of SID writes: at $C100, triples of register, value and
; the frames to wait after the write; register $FF ends it. Frames are
; counted at raster line 0, so waits are whole frames of 19,656 cycles.
; Sets DONE when the script has run.
SCRIPT  = $C100
DONE    = $C200
SID     = $D400

        .segment "CODE"
        ldx #0
next:   lda SCRIPT,x
        cmp #$FF
        beq done
        tay
        lda SCRIPT+1,x
        sta SID,y
        lda SCRIPT+2,x
        beq skip
        sta count
wait:   jsr frame
        dec count
        bne wait
skip:   inx
        inx
        inx
        bne next
done:   lda #1
        sta DONE
        rts

; Returns at the start of raster line 0.
frame:  lda $D012
        beq frame       ; on line 0 (or 256) now: wait for it to pass
line0:  lda $D012
        bne line0
        lda $D011
        bmi line0       ; line 256
        rts

count:  .byte 0

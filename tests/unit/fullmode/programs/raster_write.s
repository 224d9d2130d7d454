; A raster compare value written mid-line to equal the current line. CIA 1
; timer B runs free from $FFFF as a stopwatch, started six cycles before the
; write to $D012; the KERNAL is banked out so the IRQ vector leads straight
; to the handler, whose first instruction reads the stopwatch. The handler
; counts its entries; the main code then lets the raster pass line LINE once
; more with the compare unchanged, which must bring one more entry.
RESULTS = $C200         ; stopwatch word, entries after the write, entries after a frame
DONE    = RESULTS+$3F
LINE    = 100

        .segment "CODE"
        sei
        lda #$0B                ; screen off: no badlines; compare bit 8 clear
        sta $D011
        lda #$7F                ; CIA 1's interrupts off
        sta $DC0D
        lda $DC0D
        lda #$35                ; KERNAL out, I/O in
        sta $01
        lda #<handler
        sta $FFFE
        lda #>handler
        sta $FFFF
        lda #LINE+50            ; the compare elsewhere for now
        sta $D012
        lda #$0F
        sta $D019
        lda #$01                ; raster interrupt on
        sta $D01A
        lda #0                  ; stopwatch stopped, latch $FFFF
        sta $DC0F
        lda #$FF
        sta $DC06
        sta $DC07
        cli
wait:   lda $D012               ; early in line LINE
        cmp #LINE
        bne wait
        lda #$11                ; B: continuous, force load, start
        sta $DC0F               ; W_B
        lda #LINE
        sta $D012               ; W = W_B + 6
        .repeat 20
        nop
        .endrepeat
        lda RESULTS+2
        sta RESULTS+3
frame:  lda $D012               ; on to line 200, then to line 110 of the
        cmp #200                ; next frame: one line LINE between
        bne frame
later:  lda $D012
        cmp #LINE+10
        bne later
        lda RESULTS+2
        sta RESULTS+4

        sei
        lda #0
        sta $D01A
        lda #$0F
        sta $D019
        lda #$37
        sta $01
        lda #$81                ; the KERNAL's timer A interrupt again
        sta $DC0D
        lda #$1B
        sta $D011
        lda #1
        sta DONE
        cli
idle:   jmp idle

handler:
        ldy $DC06               ; the stopwatch, in the handler's first instruction
        pha                     ; (the main code keeps A and X)
        lda RESULTS+2           ; the first entry keeps its reading
        bne counted
        sty RESULTS
        lda $DC07
        sta RESULTS+1
counted:
        inc RESULTS+2
        lda #$01
        sta $D019               ; acknowledge
        pla
        rti

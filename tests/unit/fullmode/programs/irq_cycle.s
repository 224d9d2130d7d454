; The cycle at which a timer interrupt's handler starts. CIA 1 timer B runs
; free from $FFFF as a stopwatch; timer A, one-shot with its interrupt
; enabled, is started twelve cycles after it, and the main code runs NOPs or a
; taken branch until the interrupt comes. The KERNAL is banked out so the
; IRQ vector at $FFFE leads straight to the handler, whose first
; instruction reads the stopwatch. One result per latch of timer A, first
; with NOPs, then with the branch.
RESULTS = $C200         ; 3 words (NOPs), then 3 words (branch)
DONE    = RESULTS+$3F
INDEX   = $FB           ; which result the handler fills

        .segment "CODE"
        sei
        lda #$0B                ; screen off: no badlines
        sta $D011
        ldx #2
frame:  lda $D012
        bne frame
wait:   lda $D012
        beq wait
        dex
        bne frame
        lda #0                  ; the KERNAL's timer A stopped
        sta $DC0E
        sta INDEX
        lda #$7F
        sta $DC0D
        lda $DC0D
        lda #$35                ; KERNAL out, I/O in
        sta $01
        lda #<handler
        sta $FFFE
        lda #>handler
        sta $FFFF
        lda #$81                ; timer A's interrupt
        sta $DC0D
        cli

        ldx #0
nops:   stx INDEX
        jsr arm
        sta $DC0E               ; A started, W_A = W_B + 12
        .repeat 24
        nop
        .endrepeat
        ldx INDEX
        inx
        cpx #3
        bne nops

brs:    stx INDEX
        jsr arm
        sta $DC0E               ; W_A
loop:   bne loop                ; Z is clear from LDA #$19
back:   ldx INDEX
        inx
        cpx #6
        bne brs

        sei
        lda #$37
        sta $01
        lda #$7F
        sta $DC0D
        lda $DC0D
        lda #$FF                ; the KERNAL's timer A again
        sta $DC06
        sta $DC07
        lda #$81
        sta $DC0D
        lda #$11
        sta $DC0E
        lda #$1B
        sta $D011
        lda #1
        sta DONE
        cli
idle:   jmp idle

; Loads timer A's latch for this result, starts the stopwatch (W_B) and
; leaves A = $19 for the caller's STA $DC0E (its write 12 cycles after W_B).
arm:    lda #0                  ; both stopped, continuous (one-shot would start
        sta $DC0E               ; them at the latch's high byte)
        sta $DC0F
        lda latch,x
        sta $DC04
        lda #0
        sta $DC05
        lda #$FF
        sta $DC06
        sta $DC07
        lda #$11                ; B: continuous, force load, start
        sta $DC0F               ; W_B
        lda #$19                ; A: one-shot, force load, start
        rts

handler:
        lda $DC06               ; the stopwatch, in the handler's first instruction
        sta $FC
        lda $DC07
        ldx INDEX
        pha
        txa
        asl
        tax
        pla
        sta RESULTS+1,x
        lda $FC
        sta RESULTS,x
        lda $DC0D               ; acknowledge
        ldx INDEX
        cpx #3
        bcc nop_done
        pla                     ; the branch loop: leave it
        pla
        pla
        cli
        jmp back
nop_done:
        rti

latch:  .byte 20, 21, 22, 20, 21, 22

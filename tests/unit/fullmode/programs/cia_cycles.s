; CIA timers read cycle by cycle. Each experiment triggers a timer with a
; store (its write cycle W) and probes a register a fixed number of cycles
; later, once for each of several latch values: a latch one higher moves
; the underflow one cycle later against the probe. A timer is stopped in
; continuous mode before its latch is written: in one-shot mode the high
; byte would start it. Interrupts are off and
; the screen is blanked, so no IRQ and no badline disturbs the counts.
RESULTS = $C200
ICR1    = RESULTS       ; 5 first and 5 second ICR reads per latch
ICR2    = RESULTS+5
PULSE   = RESULTS+$10   ; PB6, pulse mode, 3 latches
TOGGLE  = RESULTS+$13   ; PB7, toggle mode, 3 latches
CHAIN   = RESULTS+$18   ; ICR with timer B counting A, 4 latches
ONESHOT = RESULTS+$20   ; CRA after one-shot written near the underflow, 4 latches
DONE    = RESULTS+$3F

        .segment "CODE"
        sei
        lda #$0B                ; screen off: no badlines from the next frame
        sta $D011
        ldx #2
frame:  lda $D012
        bne frame
wait:   lda $D012
        beq wait
        dex
        bne frame
        lda #$7F                ; no CIA interrupts
        sta $DC0D
        sta $DD0D
        lda #$00
        sta $DC0E
        sta $DC0F
        sta $DD0E
        sta $DD0F

; ---- ICR around timer B's underflow (CIA 1, source enabled, I set) ----
        lda #$82
        sta $DC0D
        ldx #0
icr:    lda #0                  ; stopped, continuous: the latch write only loads
        sta $DC0F
        lda latch_icr,x
        sta $DC06
        lda #0
        sta $DC07
        lda $DC0D               ; clear
        lda #$19                ; one-shot, force load, start
        sta $DC0F               ; W
        nop
        nop
        nop
        nop
        nop
        lda $DC0D               ; W + 14
        sta ICR1,x
        lda $DC0D               ; W + 23
        sta ICR2,x
        inx
        cpx #5
        bne icr
        lda #$02
        sta $DC0D               ; source disabled again
        lda $DC0D

; ---- PB6 pulse (CIA 2 timer A) ----
        ldx #0
pulse:  lda latch_pb,x
        sta $DD04
        lda #0
        sta $DD05
        lda #$13                ; PB6 on, pulse, force load, start, continuous
        sta $DD0E               ; W
        nop
        nop
        nop
        nop
        nop
        lda $DD01               ; W + 14
        and #$40
        sta PULSE,x
        lda #0
        sta $DD0E
        inx
        cpx #3
        bne pulse

; ---- PB7 toggle (CIA 2 timer B) ----
        ldx #0
toggle: lda latch_pb,x
        sta $DD06
        lda #0
        sta $DD07
        lda #$17                ; PB7 on, toggle, force load, start, continuous
        sta $DD0F               ; W
        nop
        nop
        nop
        nop
        nop
        lda $DD01               ; W + 14
        and #$80
        sta TOGGLE,x
        lda #0
        sta $DD0F
        inx
        cpx #3
        bne toggle

; ---- timer B counting timer A's underflows (CIA 2) ----
        ldx #0
chain:  lda #0
        sta $DD06
        sta $DD07
        lda #$51                ; B: count A, force load, start
        sta $DD0F
        lda #0
        sta $DD0E
        lda latch_chain,x
        sta $DD04
        lda #0
        sta $DD05
        lda $DD0D               ; clear
        lda #$19                ; A: one-shot, force load, start
        sta $DD0E               ; W
        nop
        nop
        nop
        nop
        nop
        lda $DD0D               ; W + 14
        sta CHAIN,x
        lda #0
        sta $DD0F
        inx
        cpx #4
        bne chain

; ---- one-shot written around the underflow (CIA 2 timer A) ----
        ldx #0
shot:   lda latch_shot,x
        sta $DD04
        lda #0
        sta $DD05
        lda #$11                ; continuous, force load, start
        sta $DD0E               ; W0
        nop
        nop
        nop
        nop
        lda #$09                ; one-shot, start
        sta $DD0E               ; W1 = W0 + 14
        lda $DD0E               ; W1 + 4
        sta ONESHOT,x
        lda #0
        sta $DD0E
        inx
        cpx #4
        bne shot

        lda #$81                ; the KERNAL's timer interrupt back
        sta $DC0D
        lda #$1B
        sta $D011
        lda #1
        sta DONE
        cli
idle:   jmp idle

latch_icr:   .byte 10, 11, 12, 13, 14
latch_pb:    .byte 10, 11, 12
latch_chain: .byte 9, 10, 11, 12
latch_shot:  .byte 11, 12, 13, 14

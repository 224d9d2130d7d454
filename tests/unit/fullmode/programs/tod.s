; CIA 1's time-of-day clock on the 50 Hz input: alarm at 1:00:01.5 AM,
; clock set to 1:00:00.0 AM. Interrupts are off; the program polls the
; interrupt register and, on the alarm, keeps the time it reads then.
ALARMS  = $C200         ; alarms seen
SEEN    = $C201         ; hours, minutes, seconds, tenths read at the alarm

        .segment "CODE"
        sei
        lda #$7F
        sta $DC0D
        lda $DC0D
        lda $DC0E
        ora #$80        ; 50 Hz input
        sta $DC0E
        lda #$80        ; writes set the alarm
        sta $DC0F
        lda #$01
        sta $DC0B
        lda #$00
        sta $DC0A
        lda #$01
        sta $DC09
        lda #$05
        sta $DC08
        lda #$00        ; writes set the time
        sta $DC0F
        lda #$01        ; hours first: the clock stops ...
        sta $DC0B
        lda #$00
        sta $DC0A
        sta $DC09
        sta $DC08       ; ... until the tenths are written
poll:   lda $DC0D
        and #$04
        beq poll
        lda $DC0B       ; latches the time until the tenths are read
        sta SEEN
        lda $DC0A
        sta SEEN+1
        lda $DC09
        sta SEEN+2
        lda $DC08
        sta SEEN+3
        inc ALARMS
        jmp poll

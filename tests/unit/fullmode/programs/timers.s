; CIA 1 timer A runs continuously with a period of 1000 cycles and
; interrupts on every underflow; timer B counts timer A's underflows down
; from $FFFF. The handler counts the interrupts.
COUNT   = $C200         ; 24-bit count of timer A interrupts

        .segment "CODE"
        sei
        lda #$7F
        sta $DC0D
        lda $DC0D
        lda #<irq
        sta $0314
        lda #>irq
        sta $0315
        lda #<999
        sta $DC04
        lda #>999
        sta $DC05
        lda #$FF
        sta $DC06
        sta $DC07
        lda #$51        ; B: count A underflows, force load, start
        sta $DC0F
        lda #$81        ; A's interrupt enabled
        sta $DC0D
        lda #$11        ; A: continuous, force load, start
        sta $DC0E
        cli
idle:   jmp idle

irq:    lda $DC0D       ; acknowledges
        inc COUNT
        bne done
        inc COUNT+1
        bne done
        inc COUNT+2
done:   jmp $EA81

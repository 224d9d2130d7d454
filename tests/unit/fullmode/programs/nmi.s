; CIA 2 timer A interrupts through NMI every 10000 cycles. The handler
; tells the timer's NMI (flag in $DD0D) from RESTORE's and counts each.
TIMER   = $C200         ; 16-bit count of timer NMIs
RESTORE = $C202         ; 16-bit count of RESTORE NMIs

        .segment "CODE"
        sei
        lda #$7F
        sta $DD0D
        lda $DD0D
        lda #<nmi
        sta $0318
        lda #>nmi
        sta $0319
        lda #<9999
        sta $DD04
        lda #>9999
        sta $DD05
        lda #$81
        sta $DD0D
        lda #$11
        sta $DD0E
        cli
idle:   jmp idle

nmi:    pha
        lda $DD0D       ; acknowledges; bit 7 set when the CIA asked
        bmi timer
        inc RESTORE
        bne done
        inc RESTORE+1
        jmp done
timer:  inc TIMER
        bne done
        inc TIMER+1
done:   pla
        rti

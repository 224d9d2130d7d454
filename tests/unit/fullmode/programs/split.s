; Border colour split: red from raster line 150, light blue from line 200,
; by polling $D012 with interrupts off.
        .segment "CODE"
        sei
loop:   lda #150
wait1:  cmp $D012
        bne wait1
        lda #2
        sta $D020
        lda #200
wait2:  cmp $D012
        bne wait2
        lda #14
        sta $D020
        jmp loop

; Resident monitor (placeholder until the real monitor lands): returns at once.
        .segment "LOADADDR"
        .word   $9000
        .segment "CODE"
        rts

; Resident machine-language monitor for the C64, living at $9000-$A07E.
; Entered by SYS 36864 or by BRK (the BRK vector at $0316 points here).
; Talks to the user only through the KERNAL screen editor, so lines shown
; by M (":"), R (";") can be edited in place and re-entered with RETURN.

CHROUT  = $FFD2                 ; KERNAL: print character in A
CHRIN   = $FFCF                 ; KERNAL: next character of the input line
STOP    = $FFE1                 ; KERNAL: Z set while RUN/STOP is held
CLRCHN  = $FFCC                 ; KERNAL: default input/output channels
WARMVEC = $A002                 ; BASIC warm-start vector (prints READY.)

KEYBUF  = $0277                 ; KERNAL keyboard buffer (10 bytes)
PNT     = $D1                   ; $D1/$D2 start of the cursor's screen line
LNMX    = $D5                   ; its length less one: 39, or 79 when linked
NDX     = $C6                   ; number of keys in it
ptr     = $FB                   ; $FB/$FC current address (free zero page)
ptr2    = $FD                   ; $FD/$FE end address
ptr3    = $22                   ; $22/$23 BASIC scratch, destination of T

CR      = $0D
LINEMAX = 88                    ; two screen lines of input

        .segment "LOADADDR"
        .word   $9000

        .segment "CODE"

; ---------------------------------------------------------------- entry
; From BRK the KERNAL's interrupt entry has pushed Y, X, A over the
; processor's status (B set) and PC+2, and PC+2-2 holds the BRK itself.
; Anything else is a call (SYS, or JSR from a program): the stack is left
; alone, so G to code that ends in RTS returns to the caller.
entry:  sta     reg_a
        stx     reg_x
        sty     reg_y
        php
        pla
        sta     reg_p
        cld
        tsx
        lda     $0104,x         ; the status the break pushed
        and     #$10
        beq     called
        lda     $0105,x         ; its PC+2, less two
        sec
        sbc     #2
        sta     ptr
        lda     $0106,x
        sbc     #0
        sta     ptr+1
        ldy     #0
        lda     (ptr),y
        beq     frombrk         ; a BRK opcode there: a break
called: stx     reg_s
        lda     #<entry
        sta     reg_pc
        lda     #>entry
        sta     reg_pc+1
        lda     #<txt_banner
        ldy     #>txt_banner
        jmp     started

frombrk: pla
        sta     reg_y
        pla
        sta     reg_x
        pla
        sta     reg_a
        pla
        sta     reg_p
        pla                     ; BRK leaves PC+2: show the BRK itself
        sec
        sbc     #2
        sta     reg_pc
        pla
        sbc     #0
        sta     reg_pc+1
        tsx
        stx     reg_s
        lda     #<txt_brk
        ldy     #>txt_brk

started:
        jsr     prstr
        jsr     CLRCHN
        cli                     ; BRK masked interrupts; the keyboard needs them
        jsr     showregs

; ------------------------------------------------------------ main loop
main:   ldx     reg_s           ; our stack lives below the program's
        txs
        cld
        jsr     newline
        lda     #'.'
        jsr     CHROUT
        lda     nexta           ; after A, offer the next address
        beq     @read
        jsr     offer_a
@read:
        jsr     readline        ; output lines start with CR themselves
@skip:  jsr     skipsp
        beq     main
        cmp     #'.'
        bne     @cmd
        inc     bp
        bne     @skip
@cmd:   inc     bp
        ldx     #ncmds-1
@find:  cmp     cmdchars,x
        beq     @go
        dex
        bpl     @find
        jmp     error
@go:    lda     cmdhi,x
        pha
        lda     cmdlo,x
        pha
        rts

error:  lda     #<txt_error
        ldy     #>txt_error
        jsr     prstr
        jmp     main

cmdchars:
        .byte   "MDR;:GFTHX?,A"
ncmds   = * - cmdchars
cmdlo:  .lobytes cmd_m-1, cmd_d-1, cmd_r-1, cmd_semi-1, cmd_colon-1, cmd_g-1
        .lobytes cmd_f-1, cmd_t-1, cmd_h-1, cmd_x-1, cmd_help-1, main-1, cmd_a-1
cmdhi:  .hibytes cmd_m-1, cmd_d-1, cmd_r-1, cmd_semi-1, cmd_colon-1, cmd_g-1
        .hibytes cmd_f-1, cmd_t-1, cmd_h-1, cmd_x-1, cmd_help-1, main-1, cmd_a-1

; ------------------------------------------------------------ input line
readline:
        ldx     #0
@next:  stx     bp
        jsr     CHRIN
        ldx     bp
        cmp     #CR
        beq     @end
        cpx     #LINEMAX
        bcs     @next
        sta     buf,x
        inx
        bne     @next
@end:   lda     #0
        sta     buf,x
        sta     bp
        rts

; skipsp: next non-blank character in A (not consumed); Z set at line end.
skipsp: ldx     bp
@l:     lda     buf,x
        cmp     #' '
        beq     @sk
        cmp     #','
        bne     @d
@sk:    inx
        bne     @l
@d:     stx     bp
        cmp     #0
        rts

; hexval: A = value of hex digit in A, carry clear; carry set if none.
hexval: cmp     #'0'
        bcc     @no
        cmp     #'9'+1
        bcc     @dig
        cmp     #'A'
        bcc     @no
        cmp     #'F'+1
        bcs     @no
        sbc     #'A'-11         ; carry is clear here: subtracts 'A'-10
        clc
        rts
@dig:   sbc     #'0'-1          ; carry clear: subtracts '0'
        clc
        rts
@no:    sec
        rts

; gethex: up to four hex digits (optional $) into val; carry set if none.
gethex: lda     #0
        sta     val
        sta     val+1
        sta     ndig
        jsr     skipsp
        cmp     #'$'
        bne     @l
        inc     bp
@l:     ldx     bp
        lda     buf,x
        jsr     hexval
        bcs     @end
        inc     bp
        ldx     #4
@sh:    asl     val
        rol     val+1
        dex
        bne     @sh
        ora     val
        sta     val
        inc     ndig
        lda     ndig
        cmp     #4
        bcc     @l
@end:   lda     ndig
        beq     @none
        clc
        rts
@none:  sec
        rts

; getaddr: required address into ptr, else error.
getaddr:
        jsr     gethex
        bcs     @bad
        lda     val
        sta     ptr
        lda     val+1
        sta     ptr+1
        rts
@bad:   pla
        pla
        jmp     error

; getend: required address into ptr2, else error.
getend: jsr     gethex
        bcs     @bad
        lda     val
        sta     ptr2
        lda     val+1
        sta     ptr2+1
        rts
@bad:   pla
        pla
        jmp     error

; getbyte: required byte into A, else error.
getbyte:
        jsr     gethex
        bcs     @bad
        lda     val+1
        bne     @bad
        lda     val
        rts
@bad:   pla
        pla
        jmp     error

; -------------------------------------------------------------- output
prstr:  sta     @ld+1
        sty     @ld+2
@ld:    lda     $FFFF
        beq     @done
        jsr     CHROUT
        inc     @ld+1
        bne     @ld
        inc     @ld+2
        bne     @ld
@done:  rts

space:  lda     #' '
        jmp     CHROUT

; prhex: A as two hex digits.
prhex:  pha
        lsr
        lsr
        lsr
        lsr
        jsr     @nib
        pla
        and     #$0F
@nib:   cmp     #10
        bcc     @d
        adc     #'A'-'0'-10-1   ; carry set here
@d:     adc     #'0'
        jmp     CHROUT

prptr:  lda     ptr+1
        jsr     prhex
        lda     ptr
        jmp     prhex

; start a listing line: CR, '.', then the line's command character in A.
linehead:
        pha
        jsr     newline
        lda     #'.'
        jsr     CHROUT
        pla
        jmp     CHROUT

; newline: CR, then blank the line the cursor went to. After a shown line
; was edited further up the screen, the next line still holds old text,
; and RETURN would read that text as part of the new command.
newline:
        lda     #CR
        jsr     CHROUT
        ldy     LNMX
        cpy     #39
        beq     @clr
        cpy     #79
        bne     @r
@clr:   lda     #' '
@b:     sta     (PNT),y
        dey
        bpl     @b
@r:     rts

; -------------------------------------------------------- address range
; addptr: ptr += A; carry set when it ran past $FFFF.
addptr: clc
        adc     ptr
        sta     ptr
        bcc     @r
        inc     ptr+1
        bne     @ok
        sec
        rts
@ok:    clc
@r:     rts

; inrange: carry set while ptr <= ptr2.
inrange:
        lda     ptr2
        cmp     ptr
        lda     ptr2+1
        sbc     ptr+1
        rts

; atend: Z set when ptr = ptr2.
atend:  lda     ptr
        cmp     ptr2
        bne     @r
        lda     ptr+1
        cmp     ptr2+1
@r:     rts

incptr: inc     ptr
        bne     @r
        inc     ptr+1
@r:     rts

; optional end address: given -> ptr2; else ptr2 = ptr + A (default span)
optend: pha
        jsr     gethex
        pla
        bcc     @given
        clc
        adc     ptr
        sta     ptr2
        lda     #0
        adc     ptr+1
        sta     ptr2+1
        bcc     @r
        lda     #$FF            ; default span stops at the top of memory
        sta     ptr2
        sta     ptr2+1
@r:     rts
@given: lda     val
        sta     ptr2
        lda     val+1
        sta     ptr2+1
        rts

; -------------------------------------------------------- M: memory dump
cmd_m:  jsr     gethex
        bcs     @cont
        lda     val
        sta     ptr
        lda     val+1
        sta     ptr+1
@cont:  lda     #$3F            ; eight lines unless an end is given
        jsr     optend
@line:  jsr     memline
        bcs     @done
        jsr     STOP
        beq     @done
        jsr     inrange
        bcs     @line
@done:  jmp     main

; memline: ".:AAAA" eight bytes and their characters; ptr += 8.
memline:
        lda     #':'
        jsr     linehead
        jsr     prptr
        ldy     #0
@b:     jsr     space
        lda     (ptr),y
        jsr     prhex
        iny
        cpy     #8
        bne     @b
        jsr     space
        ldy     #0
@c:     lda     (ptr),y
        cmp     #$20
        bcc     @dot
        cmp     #$60
        bcs     @dot
        cmp     #$22            ; a quote would put the editor in quote mode
        bne     @put
@dot:   lda     #'.'
@put:   jsr     CHROUT
        iny
        cpy     #8
        bne     @c
        lda     #8
        jmp     addptr

; ------------------------------------------------- ':' change memory
cmd_colon:
        jsr     getaddr
        ldy     #0
@b:     sty     cnt
        jsr     gethex
        bcs     @done
        ldy     cnt
        lda     val
        sta     (ptr),y
        iny
        cpy     #8
        bne     @b
@done:  jmp     main

; ---------------------------------------------------- D: disassemble
cmd_d:  jsr     gethex
        bcs     @cont
        lda     val
        sta     ptr
        lda     val+1
        sta     ptr+1
        jsr     gethex
        bcs     @cont
        lda     val
        sta     ptr2
        lda     val+1
        sta     ptr2+1
        lda     #$FF            ; explicit end: no line limit
        bne     @set
@cont:  lda     #$FF            ; no end: sixteen instructions
        sta     ptr2
        sta     ptr2+1
        lda     #16
@set:   sta     lines
@line:  jsr     disline
        bcs     @done
        jsr     STOP
        beq     @done
        dec     lines
        beq     @done
        jsr     inrange
        bcs     @line
@done:  jmp     main

; disline: ".,AAAA BB BB BB MNE OPERAND"; ptr moves past the instruction.
disline:
        lda     #','
        jsr     linehead
        jsr     space
        jsr     prptr
        jsr     space
        ldy     #0
        lda     (ptr),y
        tax
        lda     opmode,x
        sta     mode
        tay
        lda     modelen,y
        sta     len
        lda     opmnem,x
        sta     t
        asl
        adc     t
        sta     t               ; mnemonic number * 3
        ldy     #0
@b:     cpy     len
        bcs     @pad
        lda     (ptr),y
        jsr     prhex
        jsr     space
        iny
        bne     @b
@pad:   cpy     #3
        bcs     @mn
        jsr     space
        jsr     space
        jsr     space
        iny
        bne     @pad
@mn:    jsr     space
        ldx     t
        lda     mnemonics,x
        jsr     CHROUT
        lda     mnemonics+1,x
        jsr     CHROUT
        lda     mnemonics+2,x
        jsr     CHROUT
        jsr     operand
        lda     len
        jmp     addptr

; operand: the addressing-mode text for the instruction at ptr.
operand:
        ldx     mode
        cpx     #2
        bcs     @has
        rts                     ; implied or accumulator: nothing
@has:   jsr     space
        lda     mode
        cmp     #2
        bne     @nimm
        lda     #'#'
        jsr     CHROUT
@nimm:  cmp     #9
        bcc     @nopar
        cmp     #12
        bcs     @nopar
        lda     #'('
        jsr     CHROUT
@nopar: lda     #'$'
        jsr     CHROUT
        lda     mode
        cmp     #12
        beq     @rel
        ldx     len
        cpx     #3
        bne     @one
        ldy     #2
        lda     (ptr),y
        jsr     prhex
@one:   ldy     #1
        lda     (ptr),y
        jsr     prhex
        ldx     mode
        lda     suffix1,x
        beq     @r
        jsr     CHROUT
        lda     suffix2,x
        beq     @r
        jsr     CHROUT
        lda     suffix3,x
        beq     @r
        jmp     CHROUT
@r:     rts
@rel:   ldy     #1              ; target = address + 2 + signed offset
        lda     (ptr),y
        ldx     #0
        ora     #0
        bpl     @pos
        dex
@pos:   sec
        adc     ptr
        sta     t
        txa
        adc     ptr+1
        tax
        lda     t
        clc
        adc     #1
        sta     t
        bcc     @nc
        inx
@nc:    txa
        jsr     prhex
        lda     t
        jmp     prhex

; modes: 0 implied, 1 accumulator, 2 #imm, 3 zp, 4 zp,X, 5 zp,Y, 6 abs,
; 7 abs,X, 8 abs,Y, 9 (abs), 10 (zp,X), 11 (zp),Y, 12 relative
modelen: .byte  1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 2, 2, 2
suffix1: .byte  0, 0, 0, 0, ',', ',', 0, ',', ',', ')', ',', ')', 0
suffix2: .byte  0, 0, 0, 0, 'X', 'Y', 0, 'X', 'Y', 0, 'X', ',', 0
suffix3: .byte  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, ')', 'Y', 0

; ----------------------------------------------------- R and ';'
cmd_r:  jsr     showregs
        jmp     main

showregs:
        jsr     newline
        lda     #<txt_regs
        ldy     #>txt_regs
        jsr     prstr
        lda     #';'
        jsr     linehead
        lda     reg_pc+1
        jsr     prhex
        lda     reg_pc
        jsr     prhex
        ldx     #0
@r:     stx     cnt
        jsr     space
        ldx     cnt
        lda     reg_p,x
        jsr     prhex
        ldx     cnt
        inx
        cpx     #5
        bne     @r
        rts

; ";PPPP SR AC XR YR SP": each value optional from the left.
cmd_semi:
        jsr     gethex
        bcs     @done
        lda     val
        sta     reg_pc
        lda     val+1
        sta     reg_pc+1
        ldx     #0
@r:     stx     cnt
        jsr     gethex
        bcs     @done
        ldx     cnt
        lda     val
        sta     reg_p,x
        inx
        cpx     #5
        bne     @r
@done:  jmp     main

; ------------------------------------------------------------ G: go
cmd_g:  jsr     gethex
        bcs     @run
        lda     val
        sta     reg_pc
        lda     val+1
        sta     reg_pc+1
@run:   ldx     reg_s
        txs
        lda     reg_pc+1
        pha
        lda     reg_pc
        pha
        lda     reg_p
        pha
        lda     reg_a
        ldx     reg_x
        ldy     reg_y
        rti

; ------------------------------------------------ F: fill range
cmd_f:  jsr     getaddr
        jsr     getend
        jsr     getbyte
        sta     t
        jsr     inrange
        bcc     @bad
        ldy     #0
@l:     lda     t
        sta     (ptr),y
        jsr     atend
        beq     @done
        jsr     incptr
        jmp     @l
@done:  jmp     main
@bad:   jmp     error

; ---------------------------------------- T: transfer (overlap-safe)
cmd_t:  jsr     getaddr
        jsr     getend
        jsr     gethex
        bcs     @bad
        jsr     inrange
        bcs     @ok
@bad:   jmp     error
@ok:
        lda     val
        sta     ptr3
        lda     val+1
        sta     ptr3+1
        ldy     #0
        lda     ptr3            ; destination above source: copy downwards
        cmp     ptr
        lda     ptr3+1
        sbc     ptr+1
        bcs     @back
@fwd:   lda     (ptr),y
        sta     (ptr3),y
        jsr     atend
        beq     @done
        jsr     incptr
        inc     ptr3
        bne     @fwd
        inc     ptr3+1
        jmp     @fwd
@back:  lda     ptr             ; save start, then walk from the end
        sta     t
        lda     ptr+1
        sta     t2
        sec                     ; ptr3 += end - start
        lda     ptr2
        sbc     ptr
        pha
        lda     ptr2+1
        sbc     ptr+1
        tax
        pla
        clc
        adc     ptr3
        sta     ptr3
        txa
        adc     ptr3+1
        sta     ptr3+1
        lda     ptr2            ; ptr2 := start, ptr := end
        ldx     t
        sta     ptr
        stx     ptr2
        lda     ptr2+1
        ldx     t2
        sta     ptr+1
        stx     ptr2+1
@bl:    lda     (ptr),y
        sta     (ptr3),y
        jsr     atend
        beq     @done
        lda     ptr
        bne     @d1
        dec     ptr+1
@d1:    dec     ptr
        lda     ptr3
        bne     @d2
        dec     ptr3+1
@d2:    dec     ptr3
        jmp     @bl
@done:  jmp     main

; ------------------------------------ H: hunt for bytes or "text
cmd_h:  jsr     getaddr
        jsr     getend
        ldy     #0
        jsr     skipsp
        cmp     #'"'
        bne     @hex
        inc     bp
        ldx     bp
@txt:   lda     buf,x
        beq     @got
        cmp     #'"'
        beq     @got
        sta     pat,y
        inx
        iny
        cpy     #PATMAX
        bne     @txt
        beq     @got
@hex:   sty     cnt
        jsr     gethex
        ldy     cnt
        bcs     @got
        lda     val
        sta     pat,y
        iny
        cpy     #PATMAX
        bne     @hex
@got:   sty     plen
        tya
        beq     @bad
        lda     #0
        sta     cnt             ; addresses on the current line
@scan:  jsr     inrange
        bcc     @done
        ldy     #0
@cmp:   lda     (ptr),y
        cmp     pat,y
        bne     @next
        iny
        cpy     plen
        bne     @cmp
        lda     cnt
        bne     @same
        jsr     newline
@same:  jsr     prptr
        jsr     space
        inc     cnt
        lda     cnt
        cmp     #7
        bne     @next
        lda     #0
        sta     cnt
@next:  lda     ptr
        bne     @inc
        jsr     STOP            ; once a page, so RUN/STOP ends a long hunt
        beq     @done
@inc:   lda     #1
        jsr     addptr
        bcc     @scan
@done:  jmp     main
@bad:   jmp     error

; ------------------------------------- A: assemble one instruction
; "A ADDR MNE OPERAND"; operands as D shows them. A zero-page form is
; chosen when the value fits and the instruction has one.
cmd_a:  jsr     getaddr
        jsr     skipsp
        bne     @mne
        jmp     main            ; no instruction: assembly ends
@mne:   ldx     bp
        ldy     #1              ; mnemonic number, 0 is "???"
@mf:    sty     mnum
        tya
        asl
        adc     mnum
        tay                     ; offset of its three letters
        lda     mnemonics,y
        cmp     buf,x
        bne     @mn
        lda     mnemonics+1,y
        cmp     buf+1,x
        bne     @mn
        lda     mnemonics+2,y
        cmp     buf+2,x
        beq     @mfound
@mn:    ldy     mnum
        iny
        cpy     #NMNEM
        bne     @mf
@bad:   jmp     error
@mfound:
        inx
        inx
        inx
        stx     bp
        lda     buf,x           ; letters must end the word
        beq     @word
        cmp     #' '
        bne     @bad
@word:  jsr     skipsp
        bne     @arg
        lda     #0              ; implied, else accumulator
        jsr     findop
        bcs     :+
        jmp     @emit
:
        lda     #1
        jmp     @try
@arg:   cmp     #'#'
        bne     @nimm
        inc     bp
        jsr     gethex
        bcs     @bad
        lda     #2
        jmp     @try
@nimm:  cmp     #'('
        bne     @nind
        inc     bp
        jsr     gethex
        bcs     @bad
        ldx     bp
        lda     buf,x
        cmp     #','
        bne     @npx
        lda     buf+1,x
        cmp     #'X'
        bne     @bad
        lda     buf+2,x
        cmp     #')'
        bne     @bad
        lda     #10             ; (zp,X)
        bne     @try
@npx:   cmp     #')'
        bne     @bad
        lda     buf+1,x
        cmp     #','
        bne     @jind
        lda     buf+2,x
        cmp     #'Y'
        bne     @bad
        lda     #11             ; (zp),Y
        bne     @try
@jind:  lda     #9              ; (abs)
        bne     @try
@nind:  cmp     #'A'            ; a lone A: accumulator
        bne     @addr
        ldx     bp
        lda     buf+1,x
        beq     @acc
        cmp     #' '
        bne     @addr
@acc:   lda     #1
        bne     @try
@addr:  jsr     gethex
        bcc     :+
        jmp     error
:
        ldx     bp
        ldy     #0              ; index: 0 none, 1 X, 2 Y
        lda     buf,x
        cmp     #','
        bne     @idx
        iny
        lda     buf+1,x
        cmp     #'X'
        beq     @idx
        iny
        cmp     #'Y'
        beq     :+
        jmp     error
:
@idx:   sty     t2
        tya
        bne     @nrel
        lda     #12             ; a branch takes the value as its target
        jsr     findop
        bcs     @nrel
        jmp     @branch
@nrel:  lda     val+1
        bne     @abs
        lda     t2
        clc
        adc     #3              ; zp, zp,X, zp,Y
        jsr     findop
        bcc     @emit
@abs:   lda     t2
        clc
        adc     #6              ; abs, abs,X, abs,Y
@try:   jsr     findop
        bcc     @emit
        jmp     error

; opcode in A, mode set: store the instruction and show it
@emit:  ldy     #0
        sta     (ptr),y
        ldx     mode
        lda     modelen,x
        cmp     #2
        bcc     @show
        pha
        lda     val
        iny
        sta     (ptr),y
        pla
        cmp     #3
        bcc     @show
        lda     val+1
        iny
        sta     (ptr),y
@show:  jsr     disline
        lda     #1
        sta     nexta
        jmp     main

@branch:                        ; offset = target - (address + 2)
        pha
        lda     ptr
        clc
        adc     #2
        sta     t
        lda     ptr+1
        adc     #0
        sta     t2
        lda     val
        sec
        sbc     t
        sta     val
        lda     val+1
        sbc     t2
        tax                     ; high byte: $00 forwards, $FF backwards
        beq     @fwd
        inx
        bne     @far
        lda     val
        bmi     @near
@far:   pla
        jmp     error
@fwd:   lda     val
        bmi     @far
@near:  pla
        jmp     @emit

; offer_a: type "A ADDR " into the keyboard buffer for the next line. The
; screen editor echoes it, and it becomes part of the line CHRIN returns
; (text printed on the input row before input starts would not).
offer_a:
        lda     #0
        sta     nexta
        lda     #'A'
        sta     KEYBUF
        lda     #' '
        sta     KEYBUF+1
        sta     KEYBUF+6
        lda     ptr+1
        ldx     #2
        jsr     @hex
        lda     ptr
        ldx     #4
        jsr     @hex
        lda     #7
        sta     NDX
        rts
@hex:   pha
        lsr
        lsr
        lsr
        lsr
        jsr     nibchar
        sta     KEYBUF,x
        pla
        and     #$0F
        jsr     nibchar
        sta     KEYBUF+1,x
        rts

; nibchar: A (0-15) as a hex digit character.
nibchar:
        cmp     #10
        bcc     @d
        adc     #'A'-'0'-10-1   ; carry set here
@d:     adc     #'0'
        rts

; findop: opcode with mnemonic mnum and addressing mode A; carry set if none.
findop: sta     mode
        ldx     #0
@l:     lda     opmode,x
        cmp     mode
        bne     @n
        lda     opmnem,x
        cmp     mnum
        beq     @f
@n:     inx
        bne     @l
        sec
        rts
@f:     txa
        clc
        rts

; ------------------------------------------------- X and ?
cmd_x:  jmp     (WARMVEC)

cmd_help:
        lda     #<txt_help
        ldy     #>txt_help
        jsr     prstr
        jmp     main

; ---------------------------------------------------------------- text
txt_banner:
        .byte   CR, "TARN MONITOR  ? FOR HELP", 0
txt_brk:
        .byte   CR, "B*", 0
txt_regs:
        .byte   "   PC  SR AC XR YR SP", 0
txt_error:
        .byte   " ?", 0
; The text view shows PETSCII brackets as blanks: optional parts are
; written in parentheses.
txt_help:
        .byte   CR, "M ADDR (END)      MEMORY"
        .byte   CR, ":ADDR BB BB ..    CHANGE MEMORY"
        .byte   CR, "D ADDR (END)      DISASSEMBLE"
        .byte   CR, "A ADDR LDA #$00   ASSEMBLE"
        .byte   CR, "R                 REGISTERS"
        .byte   CR, ";PC SR AC XR YR SP  SET THEM"
        .byte   CR, "G (ADDR)          GO"
        .byte   CR, "F FROM TO BYTE    FILL"
        .byte   CR, "T FROM TO DEST    TRANSFER"
        .byte   CR, "H FROM TO BB ..|", '"', "TEXT  HUNT"
        .byte   CR, "X                 EXIT TO BASIC", 0

        .include "opcodes.inc"

; ---------------------------------------------------------- variables
PATMAX  = 32
reg_pc: .word   0
reg_p:  .byte   0               ; reg_p..reg_s in display order
reg_a:  .byte   0
reg_x:  .byte   0
reg_y:  .byte   0
reg_s:  .byte   0
bp:     .byte   0               ; parse position in buf
val:    .word   0
ndig:   .byte   0
cnt:    .byte   0
lines:  .byte   0
mode:   .byte   0
len:    .byte   0
t:      .byte   0
t2:     .byte   0
plen:   .byte   0
mnum:   .byte   0
nexta:  .byte   0               ; non-zero: prompt with the next A address
pat:    .res    PATMAX
buf:    .res    LINEMAX+1

; Built-in program: the welcome menu in BASIC (menu.bas, tokenized at build
; time), its machine code at $8C00, and the resident monitor at $9000.

SETLFS  = $FFBA                 ; KERNAL: logical file, device, secondary
SETNAM  = $FFBD                 ; KERNAL: file name length and address
LOAD    = $FFD5                 ; KERNAL: load (A = 0) to X/Y
CHROUT  = $FFD2                 ; KERNAL: print character in A
LINPRT  = $BDCD                 ; BASIC: print unsigned integer A (high), X (low)

request = $02                   ; LOAD/SAVE request byte the host clears
status  = $90                   ; KERNAL I/O status ST, cleared by LOAD
ST_FAIL = $82                   ; device not present, file not found
txttab  = $2B                   ; $2B/$2C start of BASIC text: LOAD target
endptr  = $AE                   ; $AE/$AF end of the loaded bytes
ptr     = $FB                   ; $FB/$FC walk through the listing
RVSON   = $12                   ; PETSCII reverse on
YELLOW  = $9E                   ; PETSCII colour codes
WHITE   = $05
LISTING = $C000                 ; directory listing lands here (< $D000)
LISTMAX = 4000                  ; the host's listing never exceeds this

        .segment "LOADADDR"
        .word   $0801

        .segment "CODE"
        .include "menu.inc"

; ---------------------------------------------------------------------
; SYS 35840: load the disk directory ("$") to $C000 and print it.
        .segment "MCODE"
dir:    lda     txttab          ; LOAD "$" lands at the start of BASIC text,
        pha                     ; so point that at the listing area meanwhile
        lda     txttab+1
        pha
        lda     #<LISTING
        sta     txttab
        sta     endptr
        lda     #>LISTING
        sta     txttab+1
        sta     endptr+1
        lda     #0
        sta     LISTING
        sta     LISTING+1
        lda     #1
        ldx     #<dollar
        ldy     #>dollar
        jsr     SETNAM
        lda     #1
        ldx     #8
        ldy     #0
        jsr     SETLFS
        lda     #0
        ldx     #<LISTING
        ldy     #>LISTING
        jsr     LOAD
        ; The host serves the request between batches of instructions and
        ; clears the request byte when it does: wait for that, not forever.
        lda     #8
        sta     tries
        ldx     #0
        ldy     #0
@wait:  lda     request
        beq     @served
        dex
        bne     @wait
        dey
        bne     @wait
        dec     tries
        bne     @wait
        pla
        sta     txttab+1
        pla
        sta     txttab
        lda     #<txt_noanswer
        ldy     #>txt_noanswer
        jmp     prstr
@served:
        pla
        sta     txttab+1
        pla
        sta     txttab
        lda     status          ; no volume behind device 8: say so
        and     #ST_FAIL
        beq     @listed
        lda     #<txt_nodisk
        ldy     #>txt_nodisk
        jmp     prstr
@listed:
        lda     #YELLOW         ; the disk's header line stands out
        sta     linecol
        lda     #<LISTING
        sta     ptr
        lda     #>LISTING
        sta     ptr+1
; Each listing line is a BASIC line: link, block count as the line
; number, then text up to a zero byte. Links point where BASIC would have
; put the listing, so walk the bytes instead of following them.
@line:  ldy     #1
        lda     (ptr),y
        beq     @done           ; link high byte 0: end of the listing
        jsr     inlisting
        bcs     @done
        lda     #13             ; a new line also ends quote mode, so
        jsr     CHROUT          ; the colour code acts instead of showing
        lda     linecol
        jsr     CHROUT
        lda     #WHITE          ; entries after the header in white
        sta     linecol
        ldy     #3
        lda     (ptr),y
        pha
        dey
        lda     (ptr),y
        tax
        pla
        jsr     LINPRT
        lda     #' '
        jsr     CHROUT
        lda     #4
        jsr     advance
@text:  ldy     #0
        lda     (ptr),y
        beq     @eol
        jsr     putname
        lda     #1
        jsr     advance
        jsr     inlisting
        bcc     @text
        bcs     @done
@eol:   lda     #1
        jsr     advance
        jmp     @line
@done:  lda     #13
        jmp     CHROUT

; putname: print a listing byte. The header's reverse-on is dropped (the
; text view shows reversed letters as blanks); other control codes would
; clear the screen or move the cursor, so they show as '?'.
putname:
        cmp     #RVSON
        beq     @r
        cmp     #$20
        bcc     @ctl
        cmp     #$80
        bcc     @put
        cmp     #$A0
        bcs     @put
@ctl:   lda     #'?'
@put:   jmp     CHROUT
@r:     rts

; advance: ptr += A.
advance:
        clc
        adc     ptr
        sta     ptr
        bcc     @r
        inc     ptr+1
@r:     rts

; inlisting: carry clear while ptr lies inside the loaded listing.
inlisting:
        lda     ptr
        cmp     endptr
        lda     ptr+1
        sbc     endptr+1
        bcs     @r
        lda     ptr             ; and never past the largest listing
        cmp     #<(LISTING+LISTMAX)
        lda     ptr+1
        sbc     #>(LISTING+LISTMAX)
@r:     rts

prstr:  sta     @ld+1
        sty     @ld+2
@ld:    lda     $FFFF
        beq     @r
        jsr     CHROUT
        inc     @ld+1
        bne     @ld
        inc     @ld+2
        bne     @ld
@r:     rts

dollar: .byte   "$"
txt_nodisk:
        .byte   13, " NO DISK IN DRIVE 8.", 13, 0
txt_noanswer:
        .byte   13, " NO ANSWER FROM THE DISK.", 13, 0
tries:  .byte   0
linecol: .byte  0

; ---------------------------------------------------------------------
; The resident monitor, byte for byte as the separate monitor image.
        .segment "MONITOR"
        .incbin "monitor.prg", 2

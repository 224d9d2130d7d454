# x86 interrupt entry: one stub per vector, all meeting in int_bottom.
# Each stub leaves the number it reports in interruptnumber and makes sure
# the error-code slot of the frame is filled, so every frame has the same
# shape (see CPUState): eax ebx ecx edx esi edi ebp error eip cs eflags.

.set IRQ_BASE, 0x20

.section .text

.extern _ZN4tarn21hardwarecommunication16InterruptManager15HandleInterruptEhj

# Exceptions where the processor pushes no error code: push a 0 in its place.
.macro HandleExceptionNoCode num
.global HandleException\num
HandleException\num:
    pushl $0
    movb $\num, (interruptnumber)
    jmp int_bottom
.endm

# Exceptions where the processor pushes the error code itself.
.macro HandleExceptionWithCode num
.global HandleException\num
HandleException\num:
    movb $\num, (interruptnumber)
    jmp int_bottom
.endm

.macro HandleInterruptRequest num
.global HandleInterruptRequest\num
HandleInterruptRequest\num:
    pushl $0
    movb $\num + IRQ_BASE, (interruptnumber)
    jmp int_bottom
.endm

HandleExceptionNoCode 0x00      # divide error
HandleExceptionNoCode 0x01      # debug
HandleExceptionNoCode 0x02      # non-maskable interrupt
HandleExceptionNoCode 0x03      # breakpoint
HandleExceptionNoCode 0x04      # overflow
HandleExceptionNoCode 0x05      # bound range
HandleExceptionNoCode 0x06      # invalid opcode
HandleExceptionNoCode 0x07      # device not available
HandleExceptionWithCode 0x08    # double fault
HandleExceptionNoCode 0x09      # coprocessor segment overrun
HandleExceptionWithCode 0x0A    # invalid TSS
HandleExceptionWithCode 0x0B    # segment not present
HandleExceptionWithCode 0x0C    # stack fault
HandleExceptionWithCode 0x0D    # general protection
HandleExceptionWithCode 0x0E    # page fault
HandleExceptionNoCode 0x0F      # reserved
HandleExceptionNoCode 0x10      # x87 floating point
HandleExceptionWithCode 0x11    # alignment check
HandleExceptionNoCode 0x12      # machine check
HandleExceptionNoCode 0x13      # SIMD floating point

HandleInterruptRequest 0x00
HandleInterruptRequest 0x01
HandleInterruptRequest 0x02
HandleInterruptRequest 0x03
HandleInterruptRequest 0x04
HandleInterruptRequest 0x05
HandleInterruptRequest 0x06
HandleInterruptRequest 0x07
HandleInterruptRequest 0x08
HandleInterruptRequest 0x09
HandleInterruptRequest 0x0A
HandleInterruptRequest 0x0B
HandleInterruptRequest 0x0C
HandleInterruptRequest 0x0D
HandleInterruptRequest 0x0E
HandleInterruptRequest 0x0F

# System call gate 0x80, reported as 0x80 + IRQ_BASE.
.global HandleSyscall0x80
HandleSyscall0x80:
    pushl $0
    movb $0x80 + IRQ_BASE, (interruptnumber)
    jmp int_bottom

int_bottom:
    pushl %ebp
    pushl %edi
    pushl %esi
    pushl %edx
    pushl %ecx
    pushl %ebx
    pushl %eax                  # frame complete: esp -> CPUState

    cld
    pushl %esp                  # HandleInterrupt(interruptnumber, frame)
    movzbl (interruptnumber), %eax
    pushl %eax
    call _ZN4tarn21hardwarecommunication16InterruptManager15HandleInterruptEhj
    movl %eax, %esp             # resume the frame it chose (maybe another task)

    popl %eax
    popl %ebx
    popl %ecx
    popl %edx
    popl %esi
    popl %edi
    popl %ebp
    addl $4, %esp               # error-code slot
    iret

# Vectors nobody serves: return at once.
.global InterruptIgnore
InterruptIgnore:
    iret

.section .data
.global interruptnumber
interruptnumber: .byte 0

.section .note.GNU-stack,"",@progbits

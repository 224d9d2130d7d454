# Multiboot entry: the header a boot loader looks for, and `loader`, which
# gives the kernel a stack and hands the boot information to kernelMain.

.set MB_MAGIC,    0x1BADB002
# flags: bit 0 align modules on 4 KiB, bit 1 memory info, bit 2 video mode
.set MB_FLAGS,    (1 << 0) | (1 << 1) | (1 << 2)
.set MB_CHECKSUM, -(MB_MAGIC + MB_FLAGS)

.set VIDEO_LINEAR, 0        # mode_type 0: linear graphics
.set VIDEO_WIDTH,  800
.set VIDEO_HEIGHT, 600
.set VIDEO_DEPTH,  16       # bits per pixel

.set STACK_SIZE, 0x200000   # 2 MiB

.section .multiboot
.align 4
    .long MB_MAGIC
    .long MB_FLAGS
    .long MB_CHECKSUM
    # header_addr .. entry_addr: unused, the ELF headers give the layout
    .long 0, 0, 0, 0, 0
    .long VIDEO_LINEAR
    .long VIDEO_WIDTH
    .long VIDEO_HEIGHT
    .long VIDEO_DEPTH

.section .text
.extern kernelMain
.extern callConstructors
.global loader

# The boot loader leaves the Multiboot information address in ebx and the
# boot magic in eax; both go to kernelMain (which does not check the magic).
loader:
    mov $kernel_stack, %esp
    push %eax
    push %ebx
    call callConstructors
    call kernelMain

# kernelMain never returns; should it, stop here for good.
_stop:
    cli
    hlt
    jmp _stop

# The stack opens the zero-initialised data (the linker script puts this
# section first); kernel_stack is its top, where it starts growing down.
.section .bss.kernel_stack, "aw", @nobits
.align 16
kernel_stack_bottom:
.space STACK_SIZE
kernel_stack:

.section .note.GNU-stack,"",@progbits

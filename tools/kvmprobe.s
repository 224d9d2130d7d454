# A tiny Multiboot kernel that tells whether a QEMU accelerator is worth
# using for Tarn: it turns paging on (identity, 4 MiB pages), runs a loop of
# register arithmetic, stores to RAM, then fills an 800 x 600 x 32 picture in
# the standard VGA adapter's framebuffer one 32-bit store at a time, and ends
# QEMU through the isa-debug-exit port with code 0x31 (QEMU's status 99).
# tools/tarnvm.py times it under KVM and under the translator; a KVM that
# traps framebuffer stores, emulates every instruction or cannot page loses.

.set MB_MAGIC, 0x1BADB002
.set MB_FLAGS, 0
.set LOOP_COUNT, 20000000
.set RAM_WORDS, 1048576         # 4 MiB of stores at 8 MiB
.set RAM_AT, 0x800000
.set FB_WORDS, 480000           # 800 x 600 pixels
.set EXIT_PORT, 0xF4
.set EXIT_CODE, 0x31
.set PCI_ADDRESS, 0xCF8
.set PCI_DATA, 0xCFC
.set VGA_ID, 0x11111234         # device 1111, vendor 1234: the standard VGA

.section .text
.align 4
    .long MB_MAGIC, MB_FLAGS, -(MB_MAGIC + MB_FLAGS)

.global start
start:
    cli
    # Paging: 1024 directory entries of 4 MiB, present and writable.
    mov $page_directory, %edi
    xor %ecx, %ecx
1:  mov %ecx, %eax
    shl $22, %eax
    or $0x83, %eax
    mov %eax, (%edi,%ecx,4)
    inc %ecx
    cmp $1024, %ecx
    jne 1b
    mov %cr4, %eax
    or $0x10, %eax              # PSE
    mov %eax, %cr4
    mov $page_directory, %eax
    mov %eax, %cr3
    mov %cr0, %eax
    or $0x80000000, %eax        # PG
    mov %eax, %cr0

    # Register arithmetic.
    mov $LOOP_COUNT, %ecx
    mov $1, %eax
2:  lea 7(%eax,%eax,2), %eax
    xor %ecx, %eax
    dec %ecx
    jnz 2b

    # RAM stores.
    mov $RAM_AT, %edi
    mov $RAM_WORDS, %ecx
3:  mov %ecx, (%edi)
    add $4, %edi
    dec %ecx
    jnz 3b

    # The framebuffer: BAR 0 of the adapter on bus 0, if there is one.
    xor %ebx, %ebx
4:  mov %ebx, %eax
    shl $11, %eax
    or $0x80000000, %eax
    mov $PCI_ADDRESS, %dx
    out %eax, %dx
    mov $PCI_DATA, %dx
    in %dx, %eax
    cmp $VGA_ID, %eax
    je 5f
    inc %ebx
    cmp $32, %ebx
    jne 4b
    jmp 7f
5:  mov %ebx, %eax
    shl $11, %eax
    or $0x80000010, %eax
    mov $PCI_ADDRESS, %dx
    out %eax, %dx
    mov $PCI_DATA, %dx
    in %dx, %eax
    and $0xFFFFFFF0, %eax
    mov %eax, %edi
    mov $FB_WORDS, %ecx
6:  mov %ecx, (%edi)
    add $4, %edi
    dec %ecx
    jnz 6b

7:  mov $EXIT_PORT, %dx
    mov $EXIT_CODE, %al
    out %al, %dx
8:  hlt
    jmp 8b

.section .bss
.align 4096
page_directory:
    .space 4096

.section .note.GNU-stack,"",@progbits

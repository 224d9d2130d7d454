/* Binary data linked into both builds: the C64 ROM images and the two C64
   program images assembled from programs/, and the console font. */
    .section .rodata
    .balign 16

    .global data_basic_rom, data_basic_rom_end
data_basic_rom:
    .incbin "basic.bin"
data_basic_rom_end:

    .global data_kernal_rom, data_kernal_rom_end
data_kernal_rom:
    .incbin "kernal.bin"
data_kernal_rom_end:

    .global data_char_rom, data_char_rom_end
data_char_rom:
    .incbin "chargen.bin"
data_char_rom_end:

    .global data_monitor_prg, data_monitor_prg_end
data_monitor_prg:
    .incbin "monitor.prg"
data_monitor_prg_end:

    .global data_program_prg, data_program_prg_end
data_program_prg:
    .incbin "program.prg"
data_program_prg_end:

    /* The console's 8x16 font: 256 glyphs x 16 rows (see README). */
    .global g_8x16_font, g_8x16_font_end
g_8x16_font:
    .incbin "font8x16.bin"
g_8x16_font_end:

    .section .note.GNU-stack,"",@progbits

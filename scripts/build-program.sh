#!/bin/sh
# Assembles one C64 program image from programs/NAME.s with ca65/ld65.
# The built-in program carries the monitor inside it and its BASIC text is
# tokenized from programs/menu.bas; both are made first, in a directory of
# its own so that a parallel build of monitor.prg is not disturbed.
# usage: build-program.sh SOURCE_DIR NAME OUTPUT_DIR
set -e
src="$1"; name="$2"; out="$3"
mkdir -p "$out"
assemble() {   # NAME DIR
    ca65 -I "$src/programs" -I "$2" --bin-include-dir "$2" \
        -o "$2/$1.o" "$src/programs/$1.s"
    ld65 -C "$src/programs/$1.cfg" -m "$2/$1.map" -o "$2/$1.prg" "$2/$1.o"
}
if [ "$name" = program ]; then
    parts="$out/program.parts"
    mkdir -p "$parts"
    assemble monitor "$parts"
    python3 "$src/tools/bas2prg.py" --ca65 "$src/programs/menu.bas" "$parts/menu.inc"
    assemble program "$parts"
    cp "$parts/program.prg" "$out/program.prg.tmp"
    mv "$out/program.prg.tmp" "$out/program.prg"
else
    assemble "$name" "$out"
fi

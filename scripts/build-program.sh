#!/bin/sh
# Assembles one C64 program image from programs/NAME.s with ca65/ld65.
# usage: build-program.sh SOURCE_DIR NAME OUTPUT_DIR
set -e
src="$1"; name="$2"; out="$3"
mkdir -p "$out"
ca65 -I "$src/programs" -o "$out/$name.o" "$src/programs/$name.s"
ld65 -C "$src/programs/$name.cfg" -o "$out/$name.prg" "$out/$name.o"

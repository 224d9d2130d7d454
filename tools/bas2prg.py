#!/usr/bin/env python3
"""Tokenizes a C64 BASIC V2 listing into a .PRG file.

usage: bas2prg.py LISTING.bas OUT.PRG [--start ADDR] [--no-header]

The listing is plain text, one numbered line per line, as you would type it
on the C64.  Letters may be written in either case; they become the C64's
capitals.  Inside strings {NAME} stands for a PETSCII control code such as
{CLR}, {HOME}, {DOWN}, {RVSON} or a colour ({WHT}, {YEL}, ...).

The output starts with the two-byte load address ($0801 unless --start says
otherwise), as .PRG files usually do; --no-header leaves it out, which is the
form Tarn's SAVE writes and `LOAD "NAME",8` expects.
"""
import argparse
import importlib.util
import os
import re
import sys

_HERE = os.path.dirname(os.path.abspath(__file__))

# The keyword table and line cruncher are shared with the build of the
# built-in program.
_spec = importlib.util.spec_from_file_location(
    "tarn_basic", os.path.join(_HERE, "..", "programs", "basic.py"))
_basic = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_basic)

BASIC_START = 0x0801
MAX_LINE_NUMBER = 63999
MAX_LINE_BYTES = 250   # what the C64's 80-column input line can hold, tokenized


class ListingError(ValueError):
    pass


def _normalise(text):
    """Upper-cases letters outside {...} control names, spells out "?" as
    PRINT where the C64 would, and rejects what its keyboard cannot type."""
    out = []
    brace = quote = data = rem = False
    for ch in text:
        if not (" " <= ch <= "~"):
            raise ListingError("character %r cannot be typed on the C64" % ch)
        if ch == "{":
            brace = True
        elif ch == "}":
            brace = False
        elif ch == '"':
            quote = not quote
        elif ch == ":" and not quote:
            data = False
        if not brace:
            ch = ch.upper()
        if ch == "?" and not (brace or quote or data or rem):
            ch = "PRINT"
        out.append(ch)
        tail = "".join(out)
        if not (brace or quote):
            rem = rem or tail.endswith("REM")
            data = data or tail.endswith("DATA")
    return "".join(out)


def parse_listing(source):
    """[(line number, text)] from listing text, checked for rising numbers."""
    lines = []
    last = -1
    for lineno, raw in enumerate(source.splitlines(), 1):
        if not raw.strip():
            continue
        m = re.match(r"\s*(\d+)\s?(.*)$", raw)
        if not m:
            raise ListingError("line %d: no line number: %s" % (lineno, raw))
        number = int(m.group(1))
        if number > MAX_LINE_NUMBER:
            raise ListingError("line %d: line number %d above %d" % (lineno, number, MAX_LINE_NUMBER))
        if number <= last:
            raise ListingError("line %d: line number %d does not rise" % (lineno, number))
        last = number
        lines.append((number, _normalise(m.group(2))))
    return lines


def tokenize(source, start=BASIC_START):
    """The program image (link pointers, line numbers, tokens, end marker)
    for a program placed at `start`."""
    image = bytearray()
    addr = start
    for number, text in parse_listing(source):
        try:
            body = _basic.tokenize_line(text)
        except (SystemExit, ValueError) as e:
            raise ListingError("line %d: %s" % (number, e))
        if len(body) > MAX_LINE_BYTES:
            raise ListingError("line %d: too long (%d bytes)" % (number, len(body)))
        link = addr + 4 + len(body) + 1
        image += bytes([link & 0xFF, link >> 8, number & 0xFF, number >> 8]) + body + b"\0"
        addr = link
    image += b"\0\0"
    if start + len(image) > 0x10000:
        raise ListingError("program does not fit in memory")
    return bytes(image)


def to_prg(source, start=BASIC_START, header=True):
    image = tokenize(source, start)
    return (bytes([start & 0xFF, start >> 8]) if header else b"") + image


def main(argv=None):
    ap = argparse.ArgumentParser(description="Tokenize C64 BASIC text into a .PRG file.")
    ap.add_argument("listing")
    ap.add_argument("output")
    ap.add_argument("--start", type=lambda s: int(s, 0), default=BASIC_START,
                    help="address the program is built for (default 0x0801)")
    ap.add_argument("--no-header", action="store_true",
                    help="leave out the two-byte load address")
    args = ap.parse_args(argv)
    try:
        with open(args.listing, encoding="ascii", errors="strict") as f:
            prg = to_prg(f.read(), args.start, not args.no_header)
    except (ListingError, UnicodeDecodeError) as e:
        print("%s: %s" % (args.listing, e), file=sys.stderr)
        return 1
    with open(args.output, "wb") as f:
        f.write(prg)
    return 0


if __name__ == "__main__":
    sys.exit(main())

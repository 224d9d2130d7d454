#!/usr/bin/env python3
"""Tokenizes a C64 BASIC V2 listing into a .PRG file.

usage: bas2prg.py LISTING.bas OUT.PRG [--start ADDR] [--no-header] [--ca65]

The listing is plain text, one numbered line per line, as you would type it
on the C64.  Letters may be written in either case; they become the C64's
capitals.  Inside strings {name} stands for a PETSCII control code, in
either case, as printed listings write them:
  {clr} {home} {del} {inst}   {down} {up} {left} {right} (or {rght})
  {rvs on} {rvs off} (or {rvson} {rvsoff}, {rvon} {rvof})
  {blk} {wht} {red} {cyn} {pur} {grn} {blu} {yel}
  {orng} {brn} {lred} {gry1} {gry2} {lgrn} {lblu} {gry3}
  {f1} ... {f8}   {space} {shift space}   {swlc} {swuc} (character sets)
  {$a0}           any byte, in hex
A count repeats a code: {3 down}, {down*3}, {5 spaces}.

The output starts with the two-byte load address ($0801 unless --start says
otherwise), as .PRG files do; --no-header leaves it out, the form Tarn's SAVE
wrote before it wrote headers.  --ca65 writes the
image as ca65 .byte lines instead (the kernel's built-in program is built so);
there {VARS_LO} and {VARS_HI} outside strings stand for the two bytes of the
address just past the program, where its variables start.
"""
import argparse
import re
import sys

BASIC_START = 0x0801
MAX_LINE_NUMBER = 63999
MAX_LINE_BYTES = 250   # what the C64's 80-column input line can hold, tokenized

# BASIC V2 keywords in token order: token = 0x80 + index.  The C64 matches
# them in this order, so INPUT# is found before INPUT and PRINT# before PRINT.
TOKENS = ["END", "FOR", "NEXT", "DATA", "INPUT#", "INPUT", "DIM", "READ",
          "LET", "GOTO", "RUN", "IF", "RESTORE", "GOSUB", "RETURN", "REM",
          "STOP", "ON", "WAIT", "LOAD", "SAVE", "VERIFY", "DEF", "POKE",
          "PRINT#", "PRINT", "CONT", "LIST", "CLR", "CMD", "SYS", "OPEN",
          "CLOSE", "GET", "NEW", "TAB(", "TO", "FN", "SPC(", "THEN", "NOT",
          "STEP", "+", "-", "*", "/", "^", "AND", "OR", ">", "=", "<", "SGN",
          "INT", "ABS", "USR", "FRE", "POS", "SQR", "RND", "LOG", "EXP", "COS",
          "SIN", "TAN", "ATN", "PEEK", "LEN", "STR$", "VAL", "ASC", "CHR$",
          "LEFT$", "RIGHT$", "MID$", "GO"]

# PETSCII control codes written {name} inside strings, by their name
# lower-cased with spaces and hyphens left out.
CODES = {"clr": 147, "home": 19, "del": 20, "inst": 148,
         "down": 17, "up": 145, "left": 157, "right": 29, "rght": 29,
         "rvson": 18, "rvsoff": 146, "rvon": 18, "rvof": 146,
         "blk": 144, "wht": 5, "red": 28, "cyn": 159, "pur": 156, "grn": 30,
         "blu": 31, "yel": 158, "orng": 129, "org": 129, "brn": 149,
         "lred": 150, "gry1": 151, "gry2": 152, "lgrn": 153, "lblu": 154, "gry3": 155,
         "f1": 133, "f3": 134, "f5": 135, "f7": 136, "f2": 137, "f4": 138, "f6": 139, "f8": 140,
         "space": 32, "shiftspace": 160, "swlc": 14, "swuc": 142}

# Placeholders for the address just past the program (the start of BASIC
# variables), for a program that sets its own pointers: resolved by
# iterating until the line lengths settle.
VARS_LO, VARS_HI = "{VARS_LO}", "{VARS_HI}"


class ListingError(ValueError):
    pass


def control_code(name):
    """The bytes {name} stands for: a code from CODES or {$hh}, repeated by
    a count in front ({3 down}) or behind ({down*3})."""
    count = 1
    m = re.match(r"^\s*(\d+)\s+(.+)$", name) or re.match(r"^(.+?)\s*\*\s*(\d+)\s*$", name)
    if m:
        first, second = m.groups()
        count, name = (int(first), second) if first.isdigit() else (int(second), first)
    key = re.sub(r"[\s\-]", "", name.lower())
    if re.match(r"^\$[0-9a-f]{2}$", key):
        code = int(key[1:], 16)
    elif key in CODES:
        code = CODES[key]
    elif key.endswith("s") and key[:-1] in CODES:
        code = CODES[key[:-1]]
    else:
        raise ListingError("unknown control code {%s}" % name)
    if not 1 <= count <= 255:
        raise ListingError("count out of range in {%s}" % name)
    return bytes([code]) * count


def tokenize_line(text):
    """Crunches one line's text (without its number) as the C64's editor
    does: keywords outside strings become tokens, REM keeps the rest of the
    line as text, DATA keeps text up to the next colon."""
    out = bytearray()
    i = 0
    quote = data = False
    while i < len(text):
        c = text[i]
        if c == "{":
            end = text.find("}", i)
            if end < 0:
                raise ListingError("unclosed control code {%s" % text[i + 1:])
            out += control_code(text[i + 1:end])
            i = end + 1
            continue
        if c == '"':
            quote = not quote
        if quote or data:
            if c == ":" and data and not quote:
                data = False
            out.append(ord(c))
            i += 1
            continue
        for n, word in enumerate(TOKENS):
            if text.startswith(word, i):
                out.append(0x80 + n)
                i += len(word)
                if word == "REM":
                    out.extend(text[i:].encode("ascii"))
                    i = len(text)
                elif word == "DATA":
                    data = True
                break
        else:
            out.append(ord(c))
            i += 1
    return bytes(out)


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


def _build(lines, start, vars_addr):
    image = bytearray()
    addr = start
    for number, text in lines:
        text = text.replace(VARS_LO, str(vars_addr & 0xFF)).replace(VARS_HI, str(vars_addr >> 8))
        try:
            body = tokenize_line(text)
        except ListingError as e:
            raise ListingError("line %d: %s" % (number, e))
        if len(body) > MAX_LINE_BYTES:
            raise ListingError("line %d: too long (%d bytes)" % (number, len(body)))
        link = addr + 4 + len(body) + 1
        image += bytes([link & 0xFF, link >> 8, number & 0xFF, number >> 8]) + body + b"\0"
        addr = link
    image += b"\0\0"
    return image


def tokenize(source, start=BASIC_START):
    """The program image (link pointers, line numbers, tokens, end marker)
    for a program placed at `start`."""
    lines = parse_listing(source)
    vars_addr = start
    for _ in range(10):
        image = _build(lines, start, vars_addr)
        if start + len(image) == vars_addr or not any(VARS_LO in t or VARS_HI in t for _, t in lines):
            break
        vars_addr = start + len(image)
    else:
        raise ListingError("program length does not settle")
    if start + len(image) > 0x10000:
        raise ListingError("program does not fit in memory")
    return bytes(image)


def to_ca65(source, start=BASIC_START, name="listing"):
    """ca65 source of the image, for programs assembled into the kernel."""
    image = tokenize(source, start)
    out = ["; Tokenized from %s; do not edit." % name]
    for i in range(0, len(image), 16):
        out.append("        .byte   " + ", ".join("$%02X" % b for b in image[i:i + 16]))
    return "\n".join(out) + "\n"


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
    ap.add_argument("--ca65", action="store_true",
                    help="write ca65 .byte lines of the image instead of a .PRG")
    args = ap.parse_args(argv)
    try:
        with open(args.listing, encoding="ascii", errors="strict") as f:
            text = f.read()
        if args.ca65:
            out = to_ca65(text, args.start, args.listing.split("/")[-1]).encode("ascii")
        else:
            out = to_prg(text, args.start, not args.no_header)
    except (ListingError, UnicodeDecodeError) as e:
        print("%s: %s" % (args.listing, e), file=sys.stderr)
        return 1
    with open(args.output, "wb") as f:
        f.write(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Tokenizes a C64 BASIC V2 listing into ca65 source for the built-in program.

usage: basic.py LISTING START > out.inc

Inside strings {NAME} stands for a PETSCII control code. Outside strings
{VARS_LO} and {VARS_HI} stand for the address just past the program's
end-of-text marker (the start of BASIC variables), found by iterating
until the line lengths settle.
"""
import re
import sys

TOKENS = ["END", "FOR", "NEXT", "DATA", "INPUT#", "INPUT", "DIM", "READ",
          "LET", "GOTO", "RUN", "IF", "RESTORE", "GOSUB", "RETURN", "REM",
          "STOP", "ON", "WAIT", "LOAD", "SAVE", "VERIFY", "DEF", "POKE",
          "PRINT#", "PRINT", "CONT", "LIST", "CLR", "CMD", "SYS", "OPEN",
          "CLOSE", "GET", "NEW", "TAB(", "TO", "FN", "SPC(", "THEN", "NOT",
          "STEP", "+", "-", "*", "/", "^", "AND", "OR", ">", "=", "<", "SGN",
          "INT", "ABS", "USR", "FRE", "POS", "SQR", "RND", "LOG", "EXP", "COS",
          "SIN", "TAN", "ATN", "PEEK", "LEN", "STR$", "VAL", "ASC", "CHR$",
          "LEFT$", "RIGHT$", "MID$", "GO"]

CODES = {"CLR": 147, "HOME": 19, "DOWN": 17, "UP": 145, "RVSON": 18,
         "RVSOFF": 146, "BLK": 144, "WHT": 5, "RED": 28, "CYN": 159,
         "PUR": 156, "GRN": 30, "BLU": 31, "YEL": 158, "ORG": 129,
         "BRN": 149, "LRED": 150, "GRY1": 151, "GRY2": 152, "LGRN": 153,
         "LBLU": 154, "GRY3": 155}


def tokenize_line(text):
    out = bytearray()
    i = 0
    quote = False
    data = False
    while i < len(text):
        c = text[i]
        if c == '{':
            end = text.index('}', i)
            name = text[i + 1:end]
            if name not in CODES:
                raise SystemExit("unknown control code {%s}" % name)
            out.append(CODES[name])
            i = end + 1
            continue
        if c == '"':
            quote = not quote
        if quote or data:
            if c == ':' and data and not quote:
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
    return out


def build(lines, start, vars_addr):
    image = bytearray()
    addr = start
    for number, text in lines:
        text = text.replace("{VARS_LO}", str(vars_addr & 0xFF))
        text = text.replace("{VARS_HI}", str(vars_addr >> 8))
        body = tokenize_line(text)
        link = addr + 4 + len(body) + 1
        image += bytes([link & 0xFF, link >> 8, number & 0xFF, number >> 8])
        image += body + b"\0"
        addr = link
    image += b"\0\0"
    return image


def main():
    path, start = sys.argv[1], int(sys.argv[2], 0)
    lines = []
    last = -1
    for raw in open(path, encoding="ascii"):
        raw = raw.rstrip("\n")
        if not raw.strip():
            continue
        m = re.match(r"\s*(\d+)\s?(.*)$", raw)
        if not m:
            raise SystemExit("line without a number: " + raw)
        number = int(m.group(1))
        if number <= last or number > 63999:
            raise SystemExit("line numbers must rise: %d" % number)
        last = number
        lines.append((number, m.group(2)))
    vars_addr = start
    for _ in range(10):
        image = build(lines, start, vars_addr)
        if start + len(image) == vars_addr:
            break
        vars_addr = start + len(image)
    else:
        raise SystemExit("program length does not settle")
    print("; Tokenized from %s; do not edit." % path.split("/")[-1])
    for i in range(0, len(image), 16):
        print("        .byte   " + ", ".join("$%02X" % b for b in image[i:i + 16]))


if __name__ == "__main__":
    main()

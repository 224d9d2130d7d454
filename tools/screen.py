"""Reads a Tarn screendump back as text, by exact glyph matching.

Two pictures can be on screen:
  - the C64 text view: 40 x 25 cells of 12 x 18 dots, each a 5 x 7 glyph
    drawn at double size in its top-left 10 x 14 dots, the whole text area
    at the largest whole scale that fits the screen, centred;
  - the framebuffer console: cells of 8 x 16 glyph dots from (0, 0), each
    dot a square of the console's scale (100 x 37 cells at 800 x 600).
The glyphs and the text-view colours come from the font dump the host build
writes (build/host/tools/fonts.json, made by tools/fontdump.cpp from the
product's own tables), so reader and kernel cannot disagree.
"""

import json
import os

_HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_FONTS = os.path.join(_HERE, "..", "build", "host", "tools", "fonts.json")

TEXT_CELL_W, TEXT_CELL_H = 12, 18
TEXT_COLS, TEXT_ROWS = 40, 25
CONSOLE_CELL_W, CONSOLE_CELL_H = 8, 16
CONSOLE_MAX_COLS, CONSOLE_MAX_ROWS = 240, 68   # the console's kVgaMaxCols, kVgaMaxRows
UNKNOWN = "?"   # a cell that holds no glyph of the font

C64_COLOUR_NAMES = ["black", "white", "red", "cyan", "purple", "green", "blue", "yellow",
                    "orange", "brown", "light red", "dark grey", "grey", "light green",
                    "light blue", "light grey"]


class Fonts:
    def __init__(self, path=None):
        path = path or os.environ.get("TARN_FONTS") or DEFAULT_FONTS
        with open(path) as f:
            data = json.load(f)
        first = data["font5x7_first"]
        # bitmap (7 rows) -> character; the first glyph of a shape wins
        self.small = {}
        for i, rows in enumerate(data["font5x7"]):
            self.small.setdefault(tuple(rows), chr(first + i))
        self.c64pal = [((v >> 16) & 255, (v >> 8) & 255, v & 255) for v in data["palette"]]
        self.console = {}
        for code, rows in enumerate(data.get("font8x16", [])):
            key = bytes(rows)
            ch = chr(code)
            # prefer printable ASCII where two codes share a shape
            if key not in self.console or (not _printable(self.console[key]) and _printable(ch)):
                self.console[key] = ch
        self.has_console_font = bool(self.console)


def _printable(ch):
    return " " <= ch <= "~"


_fonts = None


def fonts():
    global _fonts
    if _fonts is None:
        _fonts = Fonts()
    return _fonts


def nearest_colour(rgb, palette):
    best, dist = 0, None
    for i, p in enumerate(palette):
        d = (rgb[0] - p[0]) ** 2 + (rgb[1] - p[1]) ** 2 + (rgb[2] - p[2]) ** 2
        if dist is None or d < dist:
            best, dist = i, d
    return best


class TextView:
    """The decoded C64 text view: rows of 40 characters and their colours."""

    def __init__(self, rows, colours, border, background):
        self.rows, self.colours = rows, colours
        self.border, self.background = border, background

    def text(self):
        return "\n".join(self.rows)

    def __contains__(self, s):
        return any(s in row for row in self.rows)

    def find(self, s):
        """(row, column) of the first occurrence of s, or None."""
        for r, row in enumerate(self.rows):
            c = row.find(s)
            if c >= 0:
                return r, c
        return None


def text_geometry(width, height):
    """(left, top, scale) of the text area on a screen of this size: the
    largest whole scale that fits, centred."""
    scale = max(1, min(width // (TEXT_COLS * TEXT_CELL_W), height // (TEXT_ROWS * TEXT_CELL_H)))
    return ((width - TEXT_COLS * TEXT_CELL_W * scale) // 2,
            (height - TEXT_ROWS * TEXT_CELL_H * scale) // 2, scale)


def text_cell_origin(img, col, row):
    """Screen position of a text cell's top-left dot."""
    left, top, s = text_geometry(img.width, img.height)
    return left + col * TEXT_CELL_W * s, top + row * TEXT_CELL_H * s


def read_text_view(img, f=None):
    """Decodes the C64 text view of a screendump (tarnvm.Image)."""
    f = f or fonts()
    pal = f.c64pal
    left, top, s = text_geometry(img.width, img.height)
    if left < 0 or top < 0:
        return TextView([""] * TEXT_ROWS, [[0] * TEXT_COLS] * TEXT_ROWS, None, None)
    px = img.pixel
    rows, colours = [], []
    for r in range(TEXT_ROWS):
        line, cols = [], []
        y0 = top + r * TEXT_CELL_H * s
        for c in range(TEXT_COLS):
            x0 = left + c * TEXT_CELL_W * s
            bg = px(x0 + TEXT_CELL_W * s - 1, y0 + TEXT_CELL_H * s - 1)  # never part of a glyph
            bits = []
            fg = None
            for k in range(7):
                b = 0
                for l in range(5):
                    p = px(x0 + 2 * s * l, y0 + 2 * s * k)
                    if p != bg:
                        b |= 0x10 >> l
                        fg = fg or p
                bits.append(b)
            ch = f.small.get(tuple(bits), UNKNOWN) if fg else " "
            line.append(ch)
            cols.append(nearest_colour(fg, pal) if fg else None)
        rows.append("".join(line))
        colours.append(cols)
    border = nearest_colour(px(0, 0), pal)
    background = nearest_colour(px(left + TEXT_CELL_W * s - 1, top + TEXT_CELL_H * s - 1), pal)
    return TextView(rows, colours, border, background)


def console_scale(width, height):
    """The console's cell scale on a screen of this size: the largest whole
    factor that leaves the grid at least 640 x 480 glyph pixels."""
    return max(1, min(width // 640, height // 480))


def console_grid(width, height):
    """(columns, rows, scale) of the console on a screen of this size."""
    scale = console_scale(width, height)
    return (min(CONSOLE_MAX_COLS, width // (CONSOLE_CELL_W * scale)),
            min(CONSOLE_MAX_ROWS, height // (CONSOLE_CELL_H * scale)), scale)


def read_console(img, f=None):
    """Decodes the console grid (8 x 16 glyphs, each dot a square of the
    console's scale); returns the list of row strings, trailing spaces
    removed."""
    f = f or fonts()
    if not f.has_console_font:
        raise RuntimeError("the font dump holds no console font")
    w = img.width
    rgb = img.rgb
    cols, nrows, s = console_grid(img.width, img.height)
    rows = []
    for r in range(nrows):
        line = []
        y0 = r * CONSOLE_CELL_H * s
        for c in range(cols):
            x0 = c * CONSOLE_CELL_W * s
            # one sample a dot: the top-left pixel of its square, 24 bytes a row
            lines = [b"".join(rgb[((y0 + k * s) * w + x0 + d * s) * 3:((y0 + k * s) * w + x0 + d * s) * 3 + 3]
                              for d in range(8)) for k in range(16)]
            line.append(_console_cell(lines, f))
        rows.append("".join(line).rstrip())
    return rows


def _console_cell(lines, f):
    first = lines[0][0:3]
    if all(ln == first * 8 for ln in lines):
        return " "
    # The two colours of the cell; the commoner one is taken as background.
    counts = {}
    for ln in lines:
        for i in range(0, 24, 3):
            p = ln[i:i + 3]
            counts[p] = counts.get(p, 0) + 1
    if len(counts) != 2:
        return UNKNOWN
    (a, na), (b, nb) = counts.items()
    for bg in ((a, b) if na >= nb else (b, a)):
        key = bytes(sum(0x80 >> (i // 3) for i in range(0, 24, 3) if ln[i:i + 3] != bg)
                    for ln in lines)
        ch = f.console.get(key)
        if ch is not None:
            return ch
    return UNKNOWN

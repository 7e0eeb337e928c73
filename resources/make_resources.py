#!/usr/bin/env python3
"""Draws the program's pictures from this source, byte for byte the same on
every run:

  header.bmp  bitmap 1000: 2000 x 66, 8 bits per pixel, 256-colour palette,
              uncompressed; the artwork behind the buttons at the top of the
              main window
  app.ico     icon group 100: one 32 x 32 image in 16 colours

usage: make_resources.py OUTPUT_DIR VERSION

VERSION, e.g. 1.1, is shown on the artwork's label.
"""

import math
import os
import struct
import sys

WIDTH, HEIGHT = 2000, 66
# The buttons sit on the artwork here (x, y, width, height); the list view
# covers everything from y = 65 down.
BUTTONS = [(3, 35, 100, 25), (105, 35, 100, 25), (210, 35, 100, 25), (315, 35, 100, 25)]
LIST_TOP = 65

# ---- fonts -----------------------------------------------------------------

# The display's character set: 5 x 8 cells, the bottom row for descenders.
DISPLAY_FONT = {
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#", "....."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#....", "....."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####", "....."],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###.", "....."],
    "g": [".....", ".....", ".####", "#...#", "#...#", ".####", "....#", ".###."],
    "i": ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###.", "....."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#", "....."],
    "s": [".....", ".....", ".####", "#....", ".###.", "....#", "####.", "....."],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#", "....."],
    "-": [".....", ".....", ".....", ".....", ".###.", ".....", ".....", "....."],
    " ": ["....."] * 8,
}

# Small capitals for the labels, 5 x 7.
LABEL_FONT = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "X": ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
    "0": [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    "3": ["####.", "....#", "....#", ".###.", "....#", "....#", "####."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "6": [".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."],
    "7": ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."],
    "8": [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
    "9": [".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."],
    "-": [".....", ".....", ".....", ".###.", ".....", ".....", "....."],
    ".": [".....", ".....", ".....", ".....", ".....", ".##..", ".##.."],
    "/": ["....#", "....#", "...#.", "..#..", ".#...", "#....", "#...."],
    " ": ["....."] * 7,
}

# ---- a floating-point RGB canvas --------------------------------------------


class Canvas:
    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.px = [[(0.0, 0.0, 0.0)] * width for _ in range(height)]

    def get(self, x, y):
        return self.px[y][x]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y][x] = colour

    def blend(self, x, y, colour, alpha):
        if 0 <= x < self.width and 0 <= y < self.height and alpha > 0:
            r, g, b = self.px[y][x]
            a = min(alpha, 1.0)
            self.px[y][x] = (r + (colour[0] - r) * a, g + (colour[1] - g) * a,
                             b + (colour[2] - b) * a)

    def fill(self, x0, y0, x1, y1, colour, alpha=1.0):
        for y in range(max(y0, 0), min(y1, self.height)):
            for x in range(max(x0, 0), min(x1, self.width)):
                self.blend(x, y, colour, alpha)


def hexrgb(text):
    return tuple(int(text[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def noise(x, y, seed):
    """Deterministic hash noise in [0, 1)."""
    n = (x * 374761393 + y * 668265263 + seed * 2147483647) & 0xFFFFFFFF
    n = ((n ^ (n >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((n ^ (n >> 16)) & 0xFFFF) / 65536.0


# ---- the header artwork -------------------------------------------------------

STEEL_TOP = hexrgb("3a4049")
STEEL_BOTTOM = hexrgb("1c2026")
PANEL = hexrgb("0c0d0b")
DOT_OFF = hexrgb("2a2212")
DOT_ON = hexrgb("ffb23c")
GLOW = hexrgb("ff9a1a")
LABEL = hexrgb("c9ced6")
LABEL_DIM = hexrgb("7d8590")
ACCENT = hexrgb("ff9a1a")
TRACE = hexrgb("49c6cf")

DOT_PITCH = 3  # pixels from one display dot to the next
DISPLAY = (3, 4, 413, 28)  # x, y, width, height of the display window
DISPLAY_CELLS = 22
TITLE = "Manage Plug-ins"


def draw_background(c):
    for y in range(HEIGHT):
        base = mix(STEEL_TOP, STEEL_BOTTOM, y / (HEIGHT - 1))
        row_shade = (noise(0, y, 7) - 0.5) * 0.018
        for x in range(WIDTH):
            # Brushed metal: fine horizontal streaks.
            streak = (noise(x // 9, y, 3) - 0.5) * 0.012 + row_shade
            c.set(x, y, tuple(min(max(v + streak, 0.0), 1.0) for v in base))
    # A lit top edge and a dark seam where the list begins.
    for x in range(WIDTH):
        c.blend(x, 0, hexrgb("6c7480"), 0.8)
        c.blend(x, 1, hexrgb("565d68"), 0.35)
        c.blend(x, LIST_TOP - 2, ACCENT, 0.55 * max(0.0, 1.0 - x / 900.0))
        c.blend(x, LIST_TOP - 1, hexrgb("0a0b0d"), 0.9)
        c.blend(x, LIST_TOP, hexrgb("0a0b0d"), 0.9)


def draw_recess(c, x, y, w, h, fill):
    """A window sunk into the panel: dark inside, shadow above, light below."""
    c.fill(x, y, x + w, y + h, fill)
    c.fill(x, y, x + w, y + 1, hexrgb("050506"), 0.9)
    c.fill(x, y, x + 1, y + h, hexrgb("050506"), 0.7)
    c.fill(x, y + h - 1, x + w, y + h, hexrgb("7a828e"), 0.55)
    c.fill(x + w - 1, y, x + w, y + h, hexrgb("7a828e"), 0.35)
    # A faint reflection over the upper half of the glass.
    for yy in range(y + 1, y + h // 2):
        c.fill(x + 1, yy, x + w - 1, yy + 1, hexrgb("ffffff"), 0.025)


def draw_display_text(c, text, x0, y0, cells):
    lit = []
    for cell in range(cells):
        ch = text[cell] if cell < len(text) else " "
        glyph = DISPLAY_FONT[ch]
        for row in range(8):
            for col in range(5):
                on = glyph[row][col] == "#"
                dx = x0 + (cell * 6 + col) * DOT_PITCH
                dy = y0 + row * DOT_PITCH
                colour = DOT_ON if on else DOT_OFF
                c.fill(dx, dy, dx + 2, dy + 2, colour)
                if on:
                    lit.append((dx, dy))
    # The glow of the lit dots on the glass around them.
    glow = {}
    for dx, dy in lit:
        for yy in range(dy - 2, dy + 4):
            for xx in range(dx - 2, dx + 4):
                d = max(abs(xx - (dx + 0.5)), abs(yy - (dy + 0.5)))
                glow[(xx, yy)] = glow.get((xx, yy), 0.0) + max(0.0, 2.6 - d) * 0.045
    for (xx, yy), a in sorted(glow.items()):
        if c.get(xx, yy) != DOT_ON:
            c.blend(xx, yy, GLOW, min(a, 0.35))
    text_width = (len(text) * 6 - 1) * DOT_PITCH - 1
    return (x0, y0, text_width, 8 * DOT_PITCH - 1)


def draw_label(c, text, x, y, colour):
    for i, ch in enumerate(text):
        glyph = LABEL_FONT[ch]
        for row in range(7):
            for col in range(5):
                if glyph[row][col] == "#":
                    c.set(x + i * 6 + col, y + row, colour)
    return (x, y, len(text) * 6 - 1, 7)


def draw_meters(c, x0, y0):
    """A stereo level meter: two rows of LED segments, green to red."""
    segments = 30
    levels = (23, 19)
    for ch, level in enumerate(levels):
        draw_label(c, "LR"[ch], x0, y0 + ch * 11, LABEL_DIM)
        for s in range(segments):
            if s < 20:
                on, off = hexrgb("5fe05a"), hexrgb("183a1a")
            elif s < 26:
                on, off = hexrgb("f2d43a"), hexrgb("3d3614")
            else:
                on, off = hexrgb("ff4b3a"), hexrgb("401816")
            sx = x0 + 9 + s * 5
            sy = y0 + ch * 11
            c.fill(sx, sy, sx + 4, sy + 7, on if s < level else off)
            if s < level:
                c.fill(sx, sy, sx + 4, sy + 1, hexrgb("ffffff"), 0.25)
    # The peak-hold dots.
    for ch, peak in enumerate((26, 24)):
        sx = x0 + 9 + peak * 5
        c.fill(sx, y0 + ch * 11, sx + 4, y0 + ch * 11 + 7,
               hexrgb("ff4b3a") if peak >= 26 else hexrgb("f2d43a"))


def draw_scope(c, x0, x1):
    """An oscilloscope trace over a faint grid, fading out to the right."""
    mid = 33
    for x in range(x0, x1):
        fade = max(0.0, 1.0 - (x - x0) / (x1 - x0))
        if (x - x0) % 24 == 0:
            for y in range(6, 60):
                c.blend(x, y, hexrgb("8a94a2"), 0.10 * fade)
    for y in range(6, 60, 9):
        for x in range(x0, x1):
            fade = max(0.0, 1.0 - (x - x0) / (x1 - x0))
            c.blend(x, y, hexrgb("8a94a2"), 0.07 * fade)
    prev = None
    for x in range(x0, x1):
        t = (x - x0) / 60.0
        env = 0.55 + 0.45 * math.sin(t * 0.37)
        v = env * (math.sin(t * 2.1) * 0.6 + math.sin(t * 5.3 + 1.0) * 0.3 +
                   math.sin(t * 11.7 + 2.0) * 0.1)
        y = mid + v * 22
        fade = 0.85 * max(0.0, 1.0 - (x - x0) / (x1 - x0)) + 0.1
        lo, hi = (y, y) if prev is None else (min(prev, y), max(prev, y))
        for yy in range(int(math.floor(lo)) - 1, int(math.ceil(hi)) + 2):
            d = 0.0 if lo <= yy <= hi else min(abs(yy - lo), abs(yy - hi))
            c.blend(x, yy, TRACE, fade * max(0.0, 1.0 - d / 1.6))
        prev = y


def overlaps(a, b):
    ax, ay, aw, ah = a
    bx, by, bw, bh = b
    return ax < bx + bw and bx < ax + aw and ay < by + bh and by < ay + ah


def draw_header(version):
    c = Canvas(WIDTH, HEIGHT)
    draw_background(c)

    x, y, w, h = DISPLAY
    draw_recess(c, x, y, w, h, PANEL)
    cells_width = (DISPLAY_CELLS * 6 - 1) * DOT_PITCH - 1
    text_x = x + (w - cells_width) // 2
    text_y = y + (h - (8 * DOT_PITCH - 1)) // 2
    title_box = draw_display_text(c, TITLE, text_x, text_y, DISPLAY_CELLS)

    # Beside the display: the meters; beside the buttons: what the tool is.
    draw_recess(c, 421, 4, 176, 28, PANEL)
    draw_meters(c, 428, 8)
    label1 = draw_label(c, "AUDIO PLUG-IN MANAGER", 424, 38, LABEL)
    label2 = draw_label(c, "DIRECTX / VS3   V" + version, 424, 50, LABEL_DIM)

    draw_scope(c, 604, WIDTH)

    # The name and the labels must stay clear of the buttons and the list.
    for box in (title_box, label1, label2):
        for button in BUTTONS:
            assert not overlaps(box, button), (box, button)
        assert box[1] + box[3] <= LIST_TOP, box
    return c


# ---- palette reduction ------------------------------------------------------


def quantize(c, colours=256):
    """Median cut over the picture's colours: a palette of at most `colours`
    entries and every pixel's index in it."""
    hist = {}
    rows = []
    for y in range(c.height):
        row = []
        for x in range(c.width):
            r, g, b = c.get(x, y)
            key = (int(round(r * 255)), int(round(g * 255)), int(round(b * 255)))
            hist[key] = hist.get(key, 0) + 1
            row.append(key)
        rows.append(row)

    boxes = [sorted(hist.items())]

    def spread(box):
        ranges = []
        for ch in range(3):
            vals = [col[ch] for col, _ in box]
            ranges.append(max(vals) - min(vals))
        return ranges

    while len(boxes) < colours:
        best, best_score = None, -1
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            score = max(spread(box)) * math.sqrt(sum(n for _, n in box))
            if score > best_score:
                best, best_score = i, score
        if best is None:
            break
        box = boxes.pop(best)
        ranges = spread(box)
        ch = ranges.index(max(ranges))
        box.sort(key=lambda item: (item[0][ch], item[0]))
        total = sum(n for _, n in box)
        acc, cut = 0, 1
        for i, (_, n) in enumerate(box):
            acc += n
            if acc * 2 >= total:
                cut = min(max(i + 1, 1), len(box) - 1)
                break
        boxes.insert(best, box[cut:])
        boxes.insert(best, box[:cut])

    palette, index_of = [], {}
    for i, box in enumerate(boxes):
        total = sum(n for _, n in box)
        palette.append(tuple(int(round(sum(col[ch] * n for col, n in box) / total))
                             for ch in range(3)))
        for col, _ in box:
            index_of[col] = i
    while len(palette) < colours:
        palette.append((0, 0, 0))
    return palette, [[index_of[key] for key in row] for row in rows]


def write_bmp8(path, palette, pixels):
    height, width = len(pixels), len(pixels[0])
    stride = (width + 3) & ~3
    image = bytearray()
    for row in reversed(pixels):  # bottom-up
        image += bytes(row) + bytes(stride - width)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(image), 2835, 2835,
                       256, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + len(info) + len(pal)
    head = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + info + pal + image)


# ---- the icon -------------------------------------------------------------------

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, GRAY, SILVER, RED, LIME, YELLOW, WHITE = 0, 1, 2, 3, 8, 7, 9, 10, \
    11, 15


def draw_icon():
    """A dark rounded tile holding a four-band level meter."""
    size = 32
    colour = [[BLACK] * size for _ in range(size)]
    opaque = [[False] * size for _ in range(size)]
    radius = 5
    for y in range(size):
        for x in range(size):
            cx = min(max(x, radius), size - 1 - radius)
            cy = min(max(y, radius), size - 1 - radius)
            d = math.hypot(x - cx, y - cy)
            if d <= radius:
                opaque[y][x] = True
                edge = d > radius - 1.2 or x in (0, size - 1) or y in (0, size - 1)
                colour[y][x] = (SILVER if y < size // 2 else GRAY) if edge else BLACK
    heights = (5, 8, 4, 6)  # lit segments of eight, one band each
    for band, lit in enumerate(heights):
        x0 = 5 + band * 6
        for s in range(8):
            y0 = 26 - s * 3
            if s < 5:
                on, off = LIME, GREEN
            elif s < 7:
                on, off = YELLOW, OLIVE
            else:
                on, off = RED, MAROON
            for y in range(y0, y0 + 2):
                for x in range(x0, x0 + 4):
                    colour[y][x] = on if s < lit else off
    for x in range(4, 28):
        if colour[3][x] == BLACK:
            colour[3][x] = GRAY
    return colour, opaque


def write_ico4(path, colour, opaque):
    size = len(colour)
    xor = bytearray()
    for y in reversed(range(size)):
        for x in range(0, size, 2):
            a = colour[y][x] if opaque[y][x] else 0
            b = colour[y][x + 1] if opaque[y][x + 1] else 0
            xor.append((a << 4) | b)
    mask = bytearray()
    for y in reversed(range(size)):
        bits = 0
        for x in range(size):
            bits = (bits << 1) | (0 if opaque[y][x] else 1)
        mask += struct.pack(">I", bits)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0,
                       16, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA)
    image = info + pal + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    out, version = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    palette, pixels = quantize(draw_header(version))
    write_bmp8(os.path.join(out, "header.bmp"), palette, pixels)
    write_ico4(os.path.join(out, "app.ico"), *draw_icon())


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Draws the interface artwork: every picture the controls name as the artwork base 16909 plus an
offset, written as src/Resources/artwork/<id>.png, and the resource part src/Resources/Artwork.rc
that lists them as type "PNG".

The pictures are drawn four times too large and reduced by averaging, so that straight edges on
the pixel grid stay crisp and round ones get soft alpha edges. Run it with Debian's Python and
Pillow (python3-pil) after changing a picture, and commit what it writes: the build never runs it.
"""
import os
import sys

from PIL import Image, ImageDraw, ImageFont

BASE = 16909
ICON_ID = 17000
SUPER = 4  # drawing scale before the reduction
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "src", "Resources", "artwork")
RC = os.path.join(ROOT, "src", "Resources", "Artwork.rc")

# The greys of the dark interface.
WINDOW = (0x2F, 0x2F, 0x2F)
PANEL = (0x3F, 0x3F, 0x3F)
OPTION = (0x57, 0x57, 0x57)
RULE = (0x8E, 0x8E, 0x8E)
TEXT = (0xBA, 0xBA, 0xBA)
LIGHT = (0xE6, 0xE6, 0xE6)
DIM = (0x6A, 0x6A, 0x6A)
ACCENT = (0xE8, 0xA3, 0x2C)  # stars, favourites and the default button


def font(size):
    for path in ("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",):
        if os.path.exists(path):
            return ImageFont.truetype(path, size * SUPER)
    return ImageFont.load_default()


class Canvas:
    """A picture drawn at SUPER times its size in picture coordinates."""

    def __init__(self, w, h, background=None):
        self.w, self.h = w, h
        self.opaque = background is not None
        fill = background + (255,) if self.opaque else (0, 0, 0, 0)
        self.image = Image.new("RGBA", (w * SUPER, h * SUPER), fill)
        self.draw = ImageDraw.Draw(self.image)

    @staticmethod
    def s(values):
        return [v * SUPER for v in values]

    def rect(self, box, fill=None, outline=None, width=1, radius=0):
        x0, y0, x1, y1 = self.s(box)
        self.draw.rounded_rectangle((x0, y0, x1 - 1, y1 - 1), radius * SUPER, fill=_c(fill), outline=_c(outline),
                                    width=width * SUPER)

    def ellipse(self, box, fill=None, outline=None, width=1):
        x0, y0, x1, y1 = self.s(box)
        self.draw.ellipse((x0, y0, x1 - 1, y1 - 1), fill=_c(fill), outline=_c(outline), width=width * SUPER)

    def polygon(self, points, fill):
        self.draw.polygon([(x * SUPER, y * SUPER) for x, y in points], fill=_c(fill))

    def line(self, points, fill, width=1):
        self.draw.line([(x * SUPER, y * SUPER) for x, y in points], fill=_c(fill), width=int(width * SUPER),
                       joint="curve")

    def text(self, label, fill, size=9):
        f = font(size)
        x0, y0, x1, y1 = self.draw.textbbox((0, 0), label, font=f)
        x = (self.w * SUPER - (x1 - x0)) / 2 - x0
        y = (self.h * SUPER - (y1 - y0)) / 2 - y0
        self.draw.text((x, y), label, font=f, fill=_c(fill))

    def save(self, path):
        small = self.image.resize((self.w, self.h), Image.BOX)
        if self.opaque:
            small = small.convert("RGB")
        small.save(path, optimize=True)


def _c(colour):
    if colour is None:
        return None
    return colour + (255,) if len(colour) == 3 else colour


def shade(colour, amount):
    return tuple(max(0, min(255, c + amount)) for c in colour)


# ---- The kinds of picture. Each takes the state: 0 normal, 1 pressed, 2 disabled.

def state_colours(state, face=OPTION):
    if state == 1:
        return shade(face, -16), LIGHT
    if state == 2:
        return shade(face, -12), DIM
    return face, LIGHT


def text_button(label, w, h, state, face=OPTION):
    fill, ink = state_colours(state, face)
    c = Canvas(w, h)
    c.rect((0, 0, w, h), fill=fill, outline=RULE if state != 2 else DIM, radius=3)
    c.text(label, ink)
    return c


def icon_button(glyph, state, size=24, toggled=False):
    fill, ink = state_colours(state)
    c = Canvas(size, size)
    c.rect((0, 0, size, size), fill=fill, outline=RULE if state != 2 else DIM, radius=3)
    if toggled and state == 1:
        c.rect((2, 2, size - 2, size - 2), outline=ACCENT, radius=2)
    glyph(c, ink, size)
    return c


def glyph_magnifier(c, ink, n):
    c.ellipse((5, 5, 16, 16), outline=ink, width=2)
    c.line([(14.5, 14.5), (19.5, 19.5)], ink, 2.5)


def glyph_hand(c, ink, n):
    c.rect((7, 10, 17, 19), fill=ink, radius=3)
    for x in (7, 9.5, 12, 14.5):
        c.rect((x, 5, x + 2, 12), fill=ink, radius=1)
    c.rect((4, 11, 6.5, 16), fill=ink, radius=1)


def glyph_move(c, ink, n):
    m = n / 2
    c.line([(m, 5), (m, n - 5)], ink, 1.5)
    c.line([(5, m), (n - 5, m)], ink, 1.5)
    for a, b, d in (((m, 4), (m - 3, 8), (m + 3, 8)), ((m, n - 4), (m - 3, n - 8), (m + 3, n - 8)),
                    ((4, m), (8, m - 3), (8, m + 3)), ((n - 4, m), (n - 8, m - 3), (n - 8, m + 3))):
        c.polygon([a, b, d], ink)


def glyph_eyedropper(c, ink, n):
    c.line([(6, 18), (15, 9)], ink, 2.5)
    c.rect((14, 5, 19, 10), fill=ink, radius=2)


def glyph_flip(horizontal):
    def draw(c, ink, n):
        m = n / 2
        if horizontal:
            c.polygon([(m - 2, 5), (m - 2, 19), (5, 19)], ink)
            c.polygon([(m + 2, 5), (m + 2, 19), (19, 19)], RULE)
            c.line([(m, 3), (m, 21)], ink, 1)
        else:
            c.polygon([(5, m - 2), (19, m - 2), (19, 5)], ink)
            c.polygon([(5, m + 2), (19, m + 2), (19, 19)], RULE)
            c.line([(3, m), (21, m)], ink, 1)
    return draw


def glyph_rotate(clockwise):
    def draw(c, ink, n):
        box = (6, 6, 18, 18)
        x0, y0, x1, y1 = Canvas.s(box)
        start, end = (200, 90) if clockwise else (90, 340)
        c.draw.arc((x0, y0, x1, y1), start, end, fill=_c(ink), width=2 * SUPER)
        if clockwise:
            c.polygon([(9, 3), (14, 6), (9, 9)], ink)
        else:
            c.polygon([(15, 3), (10, 6), (15, 9)], ink)
    return draw


def glyph_reset(c, ink, n):
    c.draw.arc(Canvas.s((4, 4, n - 4, n - 4)), 300, 230, fill=_c(ink), width=int(1.5 * SUPER))
    c.polygon([(4, 5), (9, 5), (4, 10)], ink)


def glyph_plus(c, ink, n):
    m = n / 2
    c.rect((m - 1, 4, m + 1, n - 4), fill=ink)
    c.rect((4, m - 1, n - 4, m + 1), fill=ink)


def glyph_minus(c, ink, n):
    m = n / 2
    c.rect((4, m - 1, n - 4, m + 1), fill=ink)


def glyph_library(c, ink, n):
    for x in (5, 9, 13):
        c.rect((x, 5, x + 3, 19), fill=ink)
    c.polygon([(16, 6), (19, 5), (21, 18), (18, 19)], ink)


def glyph_cross(c, ink, n):
    c.line([(5, 5), (n - 5, n - 5)], ink, 2)
    c.line([(n - 5, 5), (5, n - 5)], ink, 2)


def check_box(state, mark=False):
    c = Canvas(13, 13)
    if mark:
        c.line([(3, 6.5), (5.5, 9.5), (10, 3.5)], LIGHT, 1.8)
        return c
    fill = {0: PANEL, 1: shade(PANEL, -16), 2: WINDOW}[state]
    c.rect((0, 0, 13, 13), fill=fill, outline=RULE if state != 2 else DIM, radius=2)
    return c


def radio_button(state, mark=False):
    c = Canvas(13, 13)
    if mark:
        c.ellipse((4, 4, 9, 9), fill=LIGHT)
        return c
    fill = {0: PANEL, 1: shade(PANEL, -16), 2: WINDOW}[state]
    c.ellipse((0, 0, 13, 13), fill=fill, outline=RULE if state != 2 else DIM)
    return c


def slider_cap(vertical, end):
    c = Canvas(6, 5) if vertical else Canvas(5, 6)
    if vertical:
        c.rect((0, -5 if end else 0, 6, 5 if end else 10), fill=RULE, radius=3)
    else:
        c.rect((-5 if end else 0, 0, 5 if end else 10, 6), fill=RULE, radius=3)
    return c


def slider_thumb(vertical):
    c = Canvas(13, 11) if vertical else Canvas(11, 13)
    if vertical:
        c.polygon([(0, 0), (8, 0), (13, 5.5), (8, 11), (0, 11)], LIGHT)
    else:
        c.polygon([(0, 0), (11, 0), (11, 8), (5.5, 13), (0, 8)], LIGHT)
    return c


def tree_glyph(expanded):
    c = Canvas(9, 9)
    if expanded:
        c.polygon([(1, 2.5), (8, 2.5), (4.5, 7)], TEXT)
    else:
        c.polygon([(2.5, 1), (7, 4.5), (2.5, 8)], TEXT)
    return c


def combo_arrow(pressed):
    # The same 9 x 9 triangle as the expanded tree glyph, lit while the menu is down.
    c = Canvas(9, 9)
    c.polygon([(1, 2.5), (8, 2.5), (4.5, 7)], LIGHT if pressed else TEXT)
    return c


def star(on):
    c = Canvas(13, 13)
    import math
    points = []
    for i in range(10):
        r = 6 if i % 2 == 0 else 2.6
        a = -math.pi / 2 + i * math.pi / 5
        points.append((6.5 + r * math.cos(a), 6.8 + r * math.sin(a)))
    c.polygon(points, ACCENT if on else DIM)
    return c


def favourite(on):
    c = Canvas(13, 13)
    c.ellipse((1, 2, 7, 8), fill=ACCENT if on else DIM)
    c.ellipse((6, 2, 12, 8), fill=ACCENT if on else DIM)
    c.polygon([(1.4, 6), (11.6, 6), (6.5, 11.5)], ACCENT if on else DIM)
    return c


def hide_icon():
    c = Canvas(13, 13)
    c.ellipse((1, 3.5, 12, 9.5), outline=TEXT)
    c.ellipse((4.5, 4.5, 8.5, 8.5), fill=TEXT)
    c.line([(2, 11), (11, 2)], TEXT, 1.2)
    return c


def size_grip():
    c = Canvas(12, 12)
    for i in range(3):
        for j in range(i + 1):
            x, y = 9 - 3 * j, 9 - 3 * (i - j)
            c.rect((x, y, x + 2, y + 2), fill=RULE)
    return c


# ---- The frame stack's list: 16 x 16 icons (ICON resources, greyed by the system while the list is
# disabled): a row shown (16030) or hidden (16031), and the link between two layers (16032).

FRAME_STACK_ICONS = {16030: "shown", 16031: "hidden", 16032: "link"}


def frame_stack_icon(kind):
    c = Canvas(16, 16)
    if kind == "shown":
        c.polygon([(1, 8), (4, 4.5), (8, 3.5), (12, 4.5), (15, 8), (12, 11.5), (8, 12.5), (4, 11.5)], fill=TEXT)
        c.polygon([(3, 8), (5.5, 5.8), (8, 5.2), (10.5, 5.8), (13, 8), (10.5, 10.2), (8, 10.8), (5.5, 10.2)], fill=WINDOW)
        c.ellipse((5.5, 5.5, 10.5, 10.5), fill=LIGHT)
        c.ellipse((7, 7, 9, 9), fill=WINDOW)
    elif kind == "hidden":
        # The eye closed: its lower lid and lashes, dim.
        c.line([(2, 7), (5, 9.5), (8, 10.3), (11, 9.5), (14, 7)], DIM, 1.5)
        for x0, x1 in ((4.5, 3.5), (8, 8), (11.5, 12.5)):
            c.line([(x0, 10), (x1, 12.5)], DIM, 1.2)
    else:
        # Two chain links across the boundary between two rows.
        c.rect((4, 1, 10, 9), outline=ACCENT, width=1, radius=2.5)
        c.rect((6, 7, 12, 15), outline=ACCENT, width=1, radius=2.5)
    return c.image.resize((16, 16), Image.BOX)


def logo(w, h):
    c = Canvas(w, h, background=WINDOW)
    c.text("QUORVEL", TEXT, size=max(7, h // 2))
    return c


def dialog_icon(size):
    """The dialogs' icon: a photo in a wide frame, at one of the icon sizes."""
    c = Canvas(size, size)
    u = size / 16.0
    c.rect((0, 2 * u, size, size - 2 * u), fill=ACCENT, radius=u)
    c.rect((2 * u, 4 * u, size - 2 * u, size - 4 * u), fill=WINDOW)
    c.polygon([(3 * u, size - 5 * u), (7 * u, 7 * u), (10 * u, 10 * u), (11.5 * u, 8.5 * u), (size - 3 * u, size - 5 * u)],
              fill=TEXT)
    c.ellipse((10 * u, 5 * u, 12 * u, 7 * u), fill=LIGHT)
    return c.image.resize((size, size), Image.BOX)


def separator():
    c = Canvas(2, 28, background=OPTION)
    c.rect((0, 0, 1, 28), fill=PANEL)
    c.rect((1, 0, 2, 28), fill=RULE)
    return c


def search_cap():
    c = Canvas(10, 20, background=PANEL)
    c.rect((0, 0, 20, 20), fill=LIGHT, radius=9)
    c.ellipse((3, 5, 9, 11), outline=DIM)
    c.line([(8, 10), (9.8, 12.5)], DIM, 1.3)
    return c


def search_reset(pressed):
    c = Canvas(18, 20, background=PANEL)
    c.rect((-10, 0, 18, 20), fill=LIGHT, radius=9)
    c.ellipse((3, 4, 15, 16), fill=shade(DIM, -20) if pressed else DIM)
    c.line([(6.5, 7.5), (11.5, 12.5)], LIGHT, 1.4)
    c.line([(11.5, 7.5), (6.5, 12.5)], LIGHT, 1.4)
    return c


def photo_reset(pressed):
    return icon_button(glyph_reset, 1 if pressed else 0, 18)


# ---- Every picture by offset over the base: what draws it and what it shows.

# ---- The layers palette: 16 x 16 icons (ICON resources, drawn greyed by the system when a row is
# locked): the state column's eye and the link mark of an icon column.

PALETTE_ICONS = {17040: "eye", 17041: "link"}


def palette_icon(kind):
    c = Canvas(16, 16)
    if kind == "eye":
        c.polygon([(1, 8), (4, 4.5), (8, 3.5), (12, 4.5), (15, 8), (12, 11.5), (8, 12.5), (4, 11.5)], fill=TEXT)
        c.polygon([(3, 8), (5.5, 5.8), (8, 5.2), (10.5, 5.8), (13, 8), (10.5, 10.2), (8, 10.8), (5.5, 10.2)], fill=WINDOW)
        c.ellipse((5.5, 5.5, 10.5, 10.5), fill=LIGHT)
        c.ellipse((7, 7, 9, 9), fill=WINDOW)
    else:
        c.rect((2, 4, 9, 9), outline=LIGHT, width=1, radius=2.5)
        c.rect((7, 7, 14, 12), outline=LIGHT, width=1, radius=2.5)
    return c.image.resize((16, 16), Image.BOX)


# ---- The colour well's buttons and picker face, and the bevel's light-direction globe.

def colour_wheel(size):
    """The host picker's face: a wheel of hues around a grey hub."""
    import colorsys
    c = Canvas(size, size)
    box = [v * SUPER for v in (2, 2, size - 2, size - 2)]
    for step in range(36):
        r, g, b = colorsys.hsv_to_rgb(step / 36.0, 0.85, 0.95)
        c.draw.pieslice(box, step * 10 - 90, step * 10 - 80, fill=(int(r * 255), int(g * 255), int(b * 255), 255))
    m = size / 2
    c.ellipse((m - 4, m - 4, m + 4, m + 4), fill=PANEL, outline=RULE)
    c.ellipse((2, 2, size - 2, size - 2), outline=WINDOW, width=1)
    return c


def light_globe(size):
    """A shaded sphere lit from the upper left, with its lines of latitude and longitude."""
    c = Canvas(size, size)
    steps = 24
    for i in range(steps):
        t = i / float(steps)
        inset = t * size * 0.42
        dx = -t * size * 0.14
        grey = int(0x34 + (0x9A - 0x34) * t)
        c.ellipse((1 + inset + dx, 1 + inset + dx, size - 1 - inset * 1.0 + dx, size - 1 - inset + dx),
                  fill=(grey, grey, grey))
    m = size / 2.0
    for k in (0.35, 0.7):
        c.ellipse((1, m - (m - 1) * k, size - 1, m + (m - 1) * k), outline=(0x6A, 0x6A, 0x6A, 160))
        c.ellipse((m - (m - 1) * k, 1, m + (m - 1) * k, size - 1), outline=(0x6A, 0x6A, 0x6A, 160))
    c.line([(1, m), (size - 1, m)], (0x6A, 0x6A, 0x6A, 160))
    c.line([(m, 1), (m, size - 1)], (0x6A, 0x6A, 0x6A, 160))
    c.ellipse((1, 1, size - 1, size - 1), outline=RULE, width=1)
    return c


def globe_handle(enabled):
    """The light's handle: a ring with a dot, dimmed when the globe is disabled."""
    c = Canvas(16, 16)
    ink = LIGHT if enabled else DIM
    c.ellipse((3, 3, 13, 13), fill=WINDOW, outline=ink, width=2)
    c.ellipse((6.5, 6.5, 9.5, 9.5), fill=ACCENT if enabled else DIM)
    return c


def pictures():
    p = {}
    def states(offsets, make):
        for state, offset in enumerate(offsets):
            if offset:
                p[offset] = lambda state=state: make(state)
    # The frame stack's photo reset button and the tabs' Reset button.
    states((1, 2), lambda s: photo_reset(s == 1))
    states((3, 4), lambda s: text_button("Cancel", 72, 22, s))
    # The library's "Replace Frame" and "Add Frame".
    states((5, 6), lambda s: text_button("Replace", 72, 22, s))
    states((8, 9), lambda s: text_button("Add", 72, 22, s))
    # The slider's track caps and thumbs.
    p[12] = lambda: slider_cap(False, False)
    p[13] = lambda: slider_cap(False, True)
    p[14] = lambda: slider_cap(True, False)
    p[15] = lambda: slider_cap(True, True)
    p[16] = lambda: slider_thumb(False)
    p[17] = lambda: slider_thumb(True)
    p[10] = search_cap
    # Tree glyphs (collapsed, expanded) and the combo box's arrow (its pressed form first).
    p[19] = lambda: tree_glyph(False)
    p[20] = lambda: combo_arrow(True)
    p[21] = lambda: tree_glyph(True)
    # The favourite and rating strip, and the grid cell's hide icon.
    p[22] = lambda: favourite(True)
    p[23] = lambda: favourite(False)
    p[24] = lambda: star(True)
    p[25] = lambda: star(False)
    p[26] = hide_icon
    # Check boxes and radio buttons: box, pressed, disabled, mark.
    states((28, 29, 30), lambda s: check_box(s))
    p[31] = lambda: check_box(0, mark=True)
    states((55, 56, 57), lambda s: radio_button(s))
    p[58] = lambda: radio_button(0, mark=True)
    # The preview dialog's buttons.
    states((32, 33, 34), lambda s: text_button("Apply", 72, 22, s, face=shade(ACCENT, -60)))
    states((35, 36), lambda s: text_button("Library", 72, 22, s))
    states((37, 38, 39), lambda s: icon_button(glyph_eyedropper, s, toggled=True))
    states((40, 41, 42), lambda s: icon_button(glyph_hand, s, toggled=True))
    states((43, 44, 45), lambda s: icon_button(glyph_move, s, toggled=True))
    states((46, 47, 48), lambda s: icon_button(glyph_magnifier, s, toggled=True))
    p[51] = size_grip
    # The library's "Apply Frame", the add and remove buttons of the frame stack.
    states((52, 53, 54), lambda s: text_button("Apply", 72, 22, s, face=shade(ACCENT, -60)))
    states((59, 60), lambda s: icon_button(glyph_plus, s, 18))
    states((62, 63), lambda s: icon_button(glyph_minus, s, 18))
    # Flips and rotations of the placement tab.
    states((65, 66, 84), lambda s: icon_button(glyph_flip(True), s, toggled=True))
    states((67, 68, 85), lambda s: icon_button(glyph_flip(False), s, toggled=True))
    states((80, 81), lambda s: icon_button(glyph_rotate(True), s))
    states((82, 83), lambda s: icon_button(glyph_rotate(False), s))
    # The library's preset buttons.
    states((69, 70, 71), lambda s: text_button("Load", 72, 22, s))
    states((72, 73, 74), lambda s: text_button("Apply", 72, 22, s, face=shade(ACCENT, -60)))
    # The search field's reset button, the cancel buttons, the option panel's separator, the logo.
    states((92, 93), lambda s: search_reset(s == 1))
    states((96, 97), lambda s: text_button("Cancel", 72, 22, s))
    p[100] = separator
    p[104] = lambda: logo(96, 24)
    # The colour well (its OK and Cancel faces, the host picker's face) and the bevel's globe with
    # its handle (plain and greyed): pictures named by their resource ids, below the base.
    p[16902 - BASE] = lambda: text_button("OK", 72, 22, 0, face=shade(ACCENT, -60))
    p[16903 - BASE] = lambda: text_button("Cancel", 72, 22, 0)
    p[16904 - BASE] = lambda: colour_wheel(26)
    p[16025 - BASE] = lambda: globe_handle(True)
    p[16026 - BASE] = lambda: globe_handle(False)
    p[16036 - BASE] = lambda: light_globe(96)
    return p


# ---- The preview dialog's cursors: 32 x 32 CURSOR resources (artwork/cursors/<id>.cur, listed by
# src/Resources/PreviewDialog.rc), black glyphs with a white outline so that they read on light and
# dark pictures alike, each with its hot spot on the point the tool acts on. Written as 32-bit
# cursors with a 1-bit mask for screens without alpha.

CURSOR_OUT = os.path.join(OUT, "cursors")
CURSOR_SIZE = 32


class CursorCanvas:
    """A cursor drawn at SUPER times its size as two coverage layers: the black ink and the white
    paper beneath it; the ink also grows a one-pixel white outline of its own."""

    def __init__(self):
        n = CURSOR_SIZE * SUPER
        self.ink = Image.new("L", (n, n), 0)
        self.paper = Image.new("L", (n, n), 0)

    def _layer(self, paper):
        return ImageDraw.Draw(self.paper if paper else self.ink)

    @staticmethod
    def _at(points):
        # Pillow puts a point on the centre of the pixel it names: half a pixel back, so that a
        # stroke on a pixel centre covers whole pixels of the reduced picture.
        return [(x * SUPER - 0.5, y * SUPER - 0.5) for x, y in points]

    def line(self, points, width=1, paper=False):
        self._layer(paper).line(self._at(points), fill=255, width=int(width * SUPER), joint="curve")

    def polygon(self, points, paper=False):
        self._layer(paper).polygon(self._at(points), fill=255)

    def rect(self, box, paper=False, radius=0):
        x0, y0, x1, y1 = (v * SUPER for v in box)
        self._layer(paper).rounded_rectangle((x0, y0, x1 - 1, y1 - 1), radius * SUPER, fill=255)

    def ring(self, box, width, paper_inside=True):
        x0, y0, x1, y1 = (v * SUPER for v in box)
        if paper_inside:
            ImageDraw.Draw(self.paper).ellipse((x0, y0, x1 - 1, y1 - 1), fill=255)
        ImageDraw.Draw(self.ink).ellipse((x0, y0, x1 - 1, y1 - 1), outline=255, width=int(width * SUPER))

    def arc(self, box, start, end, width):
        x0, y0, x1, y1 = (v * SUPER for v in box)
        ImageDraw.Draw(self.ink).arc((x0, y0, x1 - 1, y1 - 1), start, end, fill=255, width=int(width * SUPER))

    def image(self):
        from PIL import ImageChops, ImageFilter
        outline = self.ink.filter(ImageFilter.MaxFilter(2 * SUPER + 1))
        white = ImageChops.lighter(outline, self.paper)
        picture = Image.new("RGBA", self.ink.size, (255, 255, 255, 0))
        picture.putalpha(white)
        black = Image.new("RGBA", self.ink.size, (0, 0, 0, 255))
        picture = Image.composite(black, picture, self.ink)
        return picture.resize((CURSOR_SIZE, CURSOR_SIZE), Image.BOX)


# Glyphs are laid out on pixel centres (c = 16.5 is the middle of pixel 16), so that odd-width
# strokes cover whole pixels and the hot spot lies on the glyph's axis.

def _arrow_head(c, tip, direction, length=5, half=4):
    import math
    dx, dy = direction
    norm = math.hypot(dx, dy)
    dx, dy = dx / norm, dy / norm
    bx, by = tip[0] - dx * length, tip[1] - dy * length
    c.polygon([tip, (bx - dy * half, by + dx * half), (bx + dy * half, by - dx * half)])


def _double_arrow(c, a, b, width=1):
    dx, dy = b[0] - a[0], b[1] - a[1]
    c.line([a, b], width)
    _arrow_head(c, b, (dx, dy))
    _arrow_head(c, a, (-dx, -dy))


def cursor_hand():
    # An open palm seen from its back: four fingers and the thumb apart, so that the white outline
    # runs between them.
    c = CursorCanvas()
    c.rect((8, 14, 23, 27), radius=5)
    for x, top in ((8, 7), (12, 4), (16, 5), (20, 8)):
        c.rect((x, top, x + 3, 17), radius=1.5)
    c.polygon([(8, 20), (4, 15), (3.5, 13.5), (5, 12.5), (9.5, 16)])
    return c, (15, 16)


def cursor_magnifier(sign):
    c = CursorCanvas()
    c.ring((4, 4, 22, 22), 2)
    c.line([(19.5, 19.5), (27, 27)], 3.5)
    if sign:
        c.line([(8.5, 13), (17.5, 13)], 2)
    if sign == "+":
        c.line([(13, 8.5), (13, 17.5)], 2)
    return c, (13, 13)


def cursor_guide(horizontal):
    # A guide's bar with arrows across it: the bar keeps the guide's direction.
    c = CursorCanvas()
    m = 16.5
    if horizontal:
        c.rect((6, m - 1.5, 27, m + 1.5))
        _double_arrow(c, (m, 4), (m, 29))
    else:
        c.rect((m - 1.5, 6, m + 1.5, 27))
        _double_arrow(c, (4, m), (29, m))
    return c, (16, 16)


def cursor_move(square=False):
    c = CursorCanvas()
    m = 16.5
    reach = 12.5
    _double_arrow(c, (m, m - reach), (m, m + reach))
    _double_arrow(c, (m - reach, m), (m + reach, m))
    if square:
        # The shadow's offset: a small square below and to the right of the centre.
        c.rect((21, 21, 29, 29))
    return c, (16, 16)


def cursor_resize(direction):
    c = CursorCanvas()
    m, reach = 16.5, 11
    dx, dy = direction
    if dx and dy:
        reach = 8.5
    _double_arrow(c, (m - dx * reach, m - dy * reach), (m + dx * reach, m + dy * reach), 1.5 if dx and dy else 1)
    return c, (16, 16)


def cursor_rotate():
    # A quarter turn with a head at each end, bent about a centre below and to the right, so that
    # the middle of the turn lies on the hot spot.
    import math
    c = CursorCanvas()
    cx = cy = 26.5
    r, width = 14, 2
    c.arc((cx - r - width / 2, cy - r - width / 2, cx + r + width / 2, cy + r + width / 2), 192, 258, width)
    for angle, turn in ((192, -1), (258, 1)):
        a = math.radians(angle)
        end = (cx + r * math.cos(a), cy + r * math.sin(a))
        tangent = (-math.sin(a) * turn, math.cos(a) * turn)
        _arrow_head(c, (end[0] + tangent[0] * 4, end[1] + tangent[1] * 4), tangent, 6, 4.5)
    return c, (16, 16)


def cursor_eyedropper():
    # The dropper leans to the upper right: a thin glass tube, a collar across it and the rubber
    # bulb; its tip, at the lower left, takes the colour.
    c = CursorCanvas()
    c.line([(3.5, 28.5), (17.5, 14.5)], 2.5)
    c.line([(14.5, 11.5), (20.5, 17.5)], 3)
    c.polygon([(16.5, 11.5), (22.5, 5.5), (26.5, 9.5), (20.5, 15.5)])
    c.ring((21.5, 2.5, 29.5, 10.5), 4, paper_inside=False)
    return c, (3, 28)


CURSORS = {
    17000: cursor_hand,
    17001: lambda: cursor_magnifier("+"),
    17002: lambda: cursor_magnifier("-"),
    17003: lambda: cursor_magnifier(None),
    17004: lambda: cursor_guide(True),
    17005: lambda: cursor_guide(False),
    16001: cursor_move,
    16002: lambda: cursor_resize((1, 0)),
    16003: lambda: cursor_resize((0, 1)),
    16004: lambda: cursor_resize((1, 0)),
    16005: lambda: cursor_resize((0, 1)),
    16006: lambda: cursor_resize((1, 1)),
    16007: lambda: cursor_resize((1, -1)),
    16008: lambda: cursor_resize((1, 1)),
    16009: lambda: cursor_resize((1, -1)),
    16010: cursor_rotate,
    16100: cursor_eyedropper,
    16430: lambda: cursor_move(square=True),
}


def write_cursor(path, picture, hot_spot):
    """A .cur file: an icon directory of type 2 whose one entry keeps the hot spot where an icon
    keeps its planes and bit count, then a 32-bit DIB of twice the height (colour rows, then the
    1-bit mask), both bottom-up."""
    import struct
    n = CURSOR_SIZE
    pixels = picture.load()
    colour = bytearray()
    mask = bytearray()
    mask_row_bytes = ((n + 31) // 32) * 4
    for y in reversed(range(n)):
        bits = bytearray(mask_row_bytes)
        for x in range(n):
            r, g, b, a = pixels[x, y]
            colour += bytes((b, g, r, a))
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    image = header + bytes(colour) + bytes(mask)
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", n, n, 0, 0, hot_spot[0], hot_spot[1], len(image), 6 + 16)
    with open(path, "wb") as out:
        out.write(directory + entry + image)


def write_cursors():
    os.makedirs(CURSOR_OUT, exist_ok=True)
    for ident, make in sorted(CURSORS.items()):
        canvas, hot_spot = make()
        write_cursor(os.path.join(CURSOR_OUT, "%d.cur" % ident), canvas.image(), hot_spot)


def main():
    os.makedirs(OUT, exist_ok=True)
    made = pictures()
    for name in os.listdir(OUT):
        if name.endswith(".png"):
            os.remove(os.path.join(OUT, name))
    lines = ["/* The interface artwork: picture n of the controls is PNG resource 16909 + n. Written by",
             "   scripts/make-interface-artwork.py. */"]
    for offset in sorted(made):
        ident = BASE + offset
        made[offset]().save(os.path.join(OUT, "%d.png" % ident))
        lines.append('%d PNG "artwork/%d.png"' % (ident, ident))
    # The frame stack's icons.
    for ident, kind in sorted(FRAME_STACK_ICONS.items()):
        name = "%d.ico" % ident
        frame_stack_icon(kind).save(os.path.join(OUT, name), format="ICO", sizes=[(16, 16)])
        lines.append('%d ICON "artwork/%s"' % (ident, name))
    # The dialogs' icon, with its small and large sizes in one file.
    icon = "%d.ico" % ICON_ID
    sizes = [dialog_icon(n) for n in (16, 32, 48)]
    sizes[-1].save(os.path.join(OUT, icon), format="ICO", sizes=[(16, 16), (32, 32), (48, 48)],
                   append_images=sizes[:-1])
    lines.append('%d ICON "artwork/%s"' % (ICON_ID, icon))
    # The layers palette's icons.
    for ident, kind in sorted(PALETTE_ICONS.items()):
        name = "%d.ico" % ident
        palette_icon(kind).save(os.path.join(OUT, name), format="ICO", sizes=[(16, 16)])
        lines.append('%d ICON "artwork/%s"' % (ident, name))
    # The preview dialog's cursors, listed by PreviewDialog.rc.
    write_cursors()
    with open(RC, "w", newline="\n") as rc:
        rc.write("\n".join(lines) + "\n")
    print("%d pictures" % len(made))


if __name__ == "__main__":
    sys.exit(main())

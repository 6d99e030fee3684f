#!/usr/bin/python3
"""Draws the artwork of the control gallery, the test dialog that shows one of each window-class
control: the tool palette's tools, the padlock's two states, the bitmap button's normal and pressed
faces and the picture buttons' icon, into tests/support/control-gallery/.

Everything is drawn pixel by pixel on the grid in the greys of the dark interface, so that edges
stay crisp at the size the controls show them. The tool palette and the padlock keep their
transparent colour (the background grey) in the top-left pixel, outside every image. Run it with
Debian's Python and Pillow (python3-pil) after changing a picture, and commit what it writes: the
build never runs it.
"""
import os
import struct

from PIL import Image, ImageDraw

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "support", "control-gallery")

# The greys of the dark interface.
BACKGROUND = (0x3F, 0x3F, 0x3F)
SURFACE = (0x2F, 0x2F, 0x2F)
TEXT = (0xBA, 0xBA, 0xBA)
FRAME = (0x8E, 0x8E, 0x8E)
PRESSED = (0x5D, 0x5D, 0x5D)
SEPARATOR = (0x56, 0x56, 0x56)

# The tool palette: tools of 24 x 20 pixels on a 25 x 21 pitch, starting one pixel in.
TOOL_W, TOOL_H = 24, 20
PITCH_X, PITCH_Y = 25, 21


def tool_pointer(d, x, y):
    """An arrow pointer, its tip at the upper left."""
    d.polygon([(x + 8, y + 2), (x + 8, y + 15), (x + 11, y + 12), (x + 13, y + 17), (x + 15, y + 16),
               (x + 13, y + 11), (x + 17, y + 11)], fill=TEXT)


def tool_crop(d, x, y):
    """Two crop corners."""
    d.line([(x + 7, y + 2), (x + 7, y + 14), (x + 19, y + 14)], fill=TEXT, width=2)
    d.line([(x + 4, y + 5), (x + 16, y + 5), (x + 16, y + 17)], fill=TEXT, width=2)


def tool_magnifier(d, x, y):
    """A lens on a handle."""
    d.ellipse([x + 5, y + 2, x + 15, y + 12], outline=TEXT, width=2)
    d.line([(x + 14, y + 11), (x + 19, y + 16)], fill=TEXT, width=3)


def tool_eyedropper(d, x, y):
    """A pipette drawn diagonally."""
    d.line([(x + 6, y + 16), (x + 15, y + 7)], fill=TEXT, width=2)
    d.rectangle([x + 15, y + 3, x + 18, y + 6], fill=TEXT)
    d.point([(x + 5, y + 17)], fill=FRAME)


TOOLS = [tool_pointer, tool_crop, tool_magnifier, tool_eyedropper]


def tool_palette():
    image = Image.new("RGB", (1 + PITCH_X * len(TOOLS), 1 + PITCH_Y), BACKGROUND)
    d = ImageDraw.Draw(image)
    for n, draw in enumerate(TOOLS):
        draw(d, 1 + n * PITCH_X, 1)
    return image


def padlock(locked):
    """A padlock of 16 x 16: the shackle closed into the body, or raised with its left leg free."""
    image = Image.new("RGB", (16, 16), BACKGROUND)
    d = ImageDraw.Draw(image)
    top = 2 if locked else 0
    left_end = 8 if locked else 4
    d.rectangle([4, top + 1, 5, left_end], fill=TEXT)
    d.rectangle([10, top + 1, 11, 8], fill=TEXT)
    d.rectangle([5, top, 10, top + 1], fill=TEXT)
    d.rectangle([2, 8, 13, 15], fill=TEXT)
    d.rectangle([7, 10, 8, 13], fill=SURFACE)
    return image


def bitmap_button(pressed):
    """A 24 x 22 button face with a plus sign: standing up, or held down one pixel."""
    image = Image.new("RGB", (24, 22), PRESSED if pressed else BACKGROUND)
    d = ImageDraw.Draw(image)
    d.rectangle([0, 0, 23, 21], outline=FRAME)
    shift = 1 if pressed else 0
    d.rectangle([11 + shift, 5 + shift, 12 + shift, 16 + shift], fill=TEXT)
    d.rectangle([6 + shift, 10 + shift, 17 + shift, 11 + shift], fill=TEXT)
    return image


def frame_icon(size):
    """A framed picture: a light frame round a dark photo with a hill, on transparency."""
    image = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(image)
    s = size // 16
    d.rectangle([0, 1 * s, size - 1, size - 1 - 1 * s], fill=TEXT + (255,))
    d.rectangle([2 * s, 3 * s, size - 1 - 2 * s, size - 1 - 3 * s], fill=SURFACE + (255,))
    d.polygon([(2 * s, size - 1 - 3 * s), (6 * s, 7 * s), (9 * s, 10 * s), (11 * s, 8 * s),
               (size - 1 - 2 * s, size - 1 - 3 * s)], fill=FRAME + (255,))
    d.rectangle([10 * s, 4 * s, 12 * s - 1, 6 * s - 1], fill=TEXT + (255,))
    return image


def write_icon(path, images):
    """An .ico of 32-bit DIB images (colour with alpha, and the AND mask) in the given sizes."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for image in images:
        w, h = image.size
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = image.load()
        colour = bytearray()
        for y in reversed(range(h)):
            for x in range(w):
                r, g, b, a = pixels[x, y]
                colour += bytes((b, g, r, a))
        mask_row = ((w + 31) // 32) * 4
        mask = bytearray()
        for y in reversed(range(h)):
            row = bytearray(mask_row)
            for x in range(w):
                if pixels[x, y][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        blob = header + bytes(colour) + bytes(mask)
        entries.append(struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(images)))
        for entry in entries:
            out.write(entry)
        for blob in blobs:
            out.write(blob)


def main():
    os.makedirs(OUT, exist_ok=True)
    tool_palette().save(os.path.join(OUT, "tools.bmp"))
    padlock(False).save(os.path.join(OUT, "padlock-open.bmp"))
    padlock(True).save(os.path.join(OUT, "padlock-locked.bmp"))
    bitmap_button(False).save(os.path.join(OUT, "button.bmp"))
    bitmap_button(True).save(os.path.join(OUT, "button-pressed.bmp"))
    write_icon(os.path.join(OUT, "frame.ico"), [frame_icon(16), frame_icon(32)])


if __name__ == "__main__":
    main()

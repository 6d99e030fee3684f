#!/usr/bin/python3
"""Draws the sample frames of samples/frames/, procedurally, with Pillow:

- "Oval Mat.jpg": a single-image frame, grey: a dark frame round a light oval opening.
- "Carved.FRR", "Carved.FRI", "Carved.FRO": a three-file frame, all JPEG data of one size: the
  colour image (carved wood round a cream mat), the inner mask (dark over the opening the frame
  surrounds) and the outer mask (dark beyond the frame's rounded outline). Where both masks are
  light, the frame lies: the wood and its mat.
- "Deckle.AFX": a container (the magic 0x89 "AFX", the embedded JPEG's offset at 284, a raw RGB
  thumbnail at 1024 after its 24-byte header, then the JPEG) of a dark frame round an opening with
  a torn, deckled edge.

The files are committed: builds and CI read them and never run this script. Running it needs
Pillow, which Debian packages as python3-pil for its own python3 (apt-get install python3-pil):

    /usr/bin/python3 scripts/make-sample-frames.py samples/frames
"""
import io
import math
import os
import random
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageOps

QUALITY = 82


def jpeg_bytes(image, quality=QUALITY):
    out = io.BytesIO()
    image.save(out, "JPEG", quality=quality, optimize=True, dpi=(300, 300))
    return out.getvalue()


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def oval_mat(width=1200, height=900):
    """A frame that covers wholly (black, which decodes as black in the JPEG's flat blocks) round a
    soft-edged light oval."""
    frame = Image.new("L", (width, height), 0)
    opening = Image.new("L", (width, height), 0)
    ImageDraw.Draw(opening).ellipse((170, 140, width - 170, height - 140), fill=255)
    opening = opening.filter(ImageFilter.GaussianBlur(4))
    light = Image.new("L", (width, height), 255)
    return Image.composite(light, frame, opening)


def grain(width, height, seed):
    """Wood grain running along the width: stretched noise, coloured from dark to light brown."""
    random.seed(seed)
    streaks = Image.effect_noise((max(width // 24, 1), height), 48).resize((width, height), Image.BICUBIC)
    streaks = streaks.filter(ImageFilter.GaussianBlur(1.2))
    return ImageOps.colorize(streaks, black=(70, 38, 18), white=(176, 118, 66), mid=(128, 78, 38))


def rounded(size, inset, radius):
    width, height = size
    return (inset, inset, width - 1 - inset, height - 1 - inset), radius


def carved(width=900, height=700, wood=110, mat=42, corner=70):
    """The three images of the carved frame."""
    size = (width, height)
    colour = Image.new("RGB", size, (236, 226, 200))  # the mat's cream, inside the wood

    # Rails run across, stiles up and down, meeting at mitres.
    across = grain(width, height, 1)
    down = grain(height, width, 2).rotate(90, expand=True)
    stiles = Image.new("L", size, 0)
    ImageDraw.Draw(stiles).polygon([(0, 0), (wood, wood), (wood, height - wood), (0, height)], fill=255)
    ImageDraw.Draw(stiles).polygon([(width, 0), (width - wood, wood), (width - wood, height - wood), (width, height)],
                                   fill=255)
    wood_image = Image.composite(down, across, stiles)

    outline = Image.new("L", size, 0)  # the frame's outline: wood and mat
    box, radius = rounded(size, 0, corner)
    ImageDraw.Draw(outline).rounded_rectangle(box, radius=radius, fill=255)
    inside_wood = Image.new("L", size, 0)
    box, radius = rounded(size, wood, 16)
    ImageDraw.Draw(inside_wood).rounded_rectangle(box, radius=radius, fill=255)
    opening = Image.new("L", size, 0)
    box, radius = rounded(size, wood + mat, 8)
    ImageDraw.Draw(opening).rounded_rectangle(box, radius=radius, fill=255)

    wood_band = Image.composite(Image.new("L", size, 0), outline, inside_wood)
    colour = Image.composite(wood_image, colour, wood_band)

    # The carving: a shadowed outer edge, a groove along the middle and a lit lip at the inner edge.
    shading = Image.new("RGBA", size, (0, 0, 0, 0))
    draw = ImageDraw.Draw(shading)
    for step, (inset, tint) in enumerate([(2, (0, 0, 0, 120)), (6, (0, 0, 0, 70)), (wood // 2 - 4, (0, 0, 0, 90)),
                                          (wood // 2, (0, 0, 0, 130)), (wood // 2 + 5, (255, 240, 210, 70)),
                                          (wood - 10, (255, 240, 210, 90)), (wood - 5, (255, 245, 220, 120))]):
        box, radius = rounded(size, inset, max(corner - inset, 10))
        draw.rounded_rectangle(box, radius=radius, outline=tint, width=3 if step in (2, 3) else 2)
    shading = shading.filter(ImageFilter.GaussianBlur(1.5))
    colour.paste(shading, (0, 0), shading)
    colour = Image.composite(colour, Image.new("RGB", size, (236, 226, 200)), outline)

    inner = ImageOps.invert(opening)  # dark over the opening
    outer = outline                   # dark beyond the outline
    return colour, inner.filter(ImageFilter.GaussianBlur(0.8)), outer.filter(ImageFilter.GaussianBlur(0.8))


def deckle(width=1000, height=750, margin=140):
    """A dark frame round an opening whose edge is torn paper."""
    random.seed(7)
    points = []

    def edge(x0, y0, x1, y1, count):
        for i in range(count):
            t = i / count
            jitter = random.uniform(-9, 9) + 6 * math.sin(t * 37.0)
            nx, ny = (y1 - y0), -(x1 - x0)
            length = math.hypot(nx, ny)
            points.append((x0 + (x1 - x0) * t + nx / length * jitter, y0 + (y1 - y0) * t + ny / length * jitter))

    left, top, right, bottom = margin, margin, width - margin, height - margin
    edge(left, top, right, top, 180)
    edge(right, top, right, bottom, 130)
    edge(right, bottom, left, bottom, 180)
    edge(left, bottom, left, top, 130)
    image = Image.new("L", (width, height), 6)
    ImageDraw.Draw(image).polygon(points, fill=238)
    return image.filter(ImageFilter.GaussianBlur(1.0))


def afx(jpeg, thumbnail):
    """The container: magic, the JPEG's offset at 284, the raw thumbnail at 1024, the JPEG."""
    width, height = thumbnail.size
    pixels = thumbnail.convert("RGB").tobytes()
    header = struct.pack(">6I", 24, width, height, 0, 0, len(pixels))
    jpeg_at = 1024 + len(header) + len(pixels)
    head = bytearray(1024)
    head[0:4] = b"\x89AFX"
    head[284:288] = struct.pack(">I", jpeg_at)
    return bytes(head) + header + pixels + jpeg


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "samples", "frames")
    os.makedirs(folder, exist_ok=True)
    write(folder, "Oval Mat.jpg", jpeg_bytes(oval_mat()))
    colour, inner, outer = carved()
    write(folder, "Carved.FRR", jpeg_bytes(colour))
    write(folder, "Carved.FRI", jpeg_bytes(inner))
    write(folder, "Carved.FRO", jpeg_bytes(outer))
    frame = deckle()
    thumbnail = frame.convert("RGB").resize((160, 120), Image.LANCZOS)
    write(folder, "Deckle.AFX", afx(jpeg_bytes(frame), thumbnail))


if __name__ == "__main__":
    main()

# make_logo.py -- draws Gloamer's logo, vis_gloamer.bmp: a twilight eye of bright shapes on pure black.
"""Uses only the Python standard library and is deterministic: the same script always writes the same bytes.
Run it from anywhere: python3 assets/make_logo.py [output.bmp] (default: vis_gloamer.bmp beside this script).

The logo is seen as sprites about twice the window's height, so a person mostly sees its wide middle band,
and the sprites show it upside down. The design is therefore symmetric top to bottom (bar the scattered
sparkles), keeps its boldest shapes in the middle band, and leans on colours with an empty or weak channel,
which stay colourful when the trails brighten them. Near-black becomes transparent, so the black between the
shapes lets the five overlapping copies show through one another.
"""
import math
import os
import struct
import sys

SIZE = 256
CENTRE = SIZE / 2.0


def clamp(value, low=0.0, high=1.0):
    return low if value < low else high if value > high else value


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def coverage(distance):
    """Anti-aliased coverage of a shape from the signed distance (pixels, negative inside) of a pixel centre."""
    return clamp(0.5 - distance)


def lens_distance(x, y, half_length, half_height):
    """Signed distance to a lens (two circular arcs meeting at the tips), centred on the middle."""
    radius = (half_length ** 2 + half_height ** 2) / (2.0 * half_height)
    offset = radius - half_height
    dx = x - CENTRE
    upper = math.hypot(dx, y - (CENTRE - offset)) - radius
    lower = math.hypot(dx, y - (CENTRE + offset)) - radius
    return max(upper, lower)


def sparkle_coverage(x, y, cx, cy, arm):
    """A four-pointed star (an astroid), supersampled 4 x 4 since it has no simple distance."""
    if abs(x - cx) > arm + 1 or abs(y - cy) > arm + 1:
        return 0.0
    inside = 0
    for i in range(4):
        for j in range(4):
            sx = abs(x - 0.5 + (i + 0.5) / 4.0 - cx) / arm
            sy = abs(y - 0.5 + (j + 0.5) / 4.0 - cy) / arm
            if sx ** (2.0 / 3.0) + sy ** (2.0 / 3.0) <= 1.0:
                inside += 1
    return inside / 16.0


CYAN = (0, 214, 255)
VIOLET = (150, 0, 255)
BLUE = (30, 80, 255)
MAGENTA = (255, 0, 170)
SUN_CORE = (255, 236, 90)
SUN_RIM = (255, 96, 0)
STAR = (190, 240, 255)

# The sun's slits, above and below its middle: (distance from the middle, thickness).
SLITS = [(8.0, 2.0), (14.5, 2.5), (20.5, 3.5)]
SPARKLES = [(40, 34, 9), (206, 48, 7), (172, 20, 5), (84, 228, 7), (226, 210, 9), (20, 196, 5),
            (124, 16, 4), (150, 242, 4)]


def layers(x, y):
    """The logo's shapes at pixel centre (x, y), back to front, as (colour, coverage)."""
    dx, dy = x - CENTRE, y - CENTRE
    r = math.hypot(dx, dy)
    across = clamp((x - 16.0) / (SIZE - 32.0))

    # Outer ripple: a wider, thinner lens in violet fading into blue toward its tips.
    outer = lens_distance(x, y, 118.0, 98.0)
    yield mix(VIOLET, BLUE, abs(across - 0.5) * 2.0), coverage(abs(outer) - 1.5)

    # The eye: a lens outline, cyan on the left turning violet on the right.
    eye = lens_distance(x, y, 104.0, 62.0)
    yield mix(CYAN, VIOLET, across), coverage(abs(eye) - 2.5)

    # The iris: a magenta ring.
    yield MAGENTA, coverage(abs(r - 46.0) - 2.5)

    # The sun: a disc from a yellow core to an orange rim, cut by slits that widen away from its middle.
    sun = coverage(r - 27.0)
    for offset, thickness in SLITS:
        sun = min(sun, 1.0 - coverage(abs(abs(dy) - offset) - thickness / 2.0))
    yield mix(SUN_CORE, SUN_RIM, clamp(r / 27.0) ** 1.5), sun

    # Sparkles in the corners that come into view as the sprites sway.
    for cx, cy, arm in SPARKLES:
        yield STAR, sparkle_coverage(x + 0.5, y + 0.5, cx, cy, arm)


def render():
    """Top-down rows of (r, g, b) bytes."""
    rows = []
    for row in range(SIZE):
        line = []
        for column in range(SIZE):
            colour = (0.0, 0.0, 0.0)
            for layer_colour, amount in layers(column + 0.5, row + 0.5):
                if amount > 0.0:
                    colour = mix(colour, layer_colour, amount)
            line.append(tuple(int(round(clamp(c, 0.0, 255.0))) for c in colour))
        rows.append(line)
    return rows


def bitmap_bytes(rows):
    """A 24-bit uncompressed bitmap with a 40-byte info header, stored bottom row first, B G R."""
    height = len(rows)
    width = len(rows[0])
    row_bytes = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for line in reversed(rows):
        stored = bytearray()
        for r, g, b in line:
            stored += bytes((b, g, r))
        stored += bytes(row_bytes - len(stored))
        pixels += stored
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, 'vis_gloamer.bmp')
    with open(output, 'wb') as out:
        out.write(bitmap_bytes(render()))


if __name__ == '__main__':
    main()

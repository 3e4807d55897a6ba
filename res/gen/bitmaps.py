"""The bitmaps: the right-click indicator (150), the function button (156, 157, 158 and the
tests' 150 % references) and the settings dialog's hand (153), and the 24-bit BMP file."""

import math
import struct

from raster import (Layer, circle, ellipse, fill, half_plane, intersect, linear, mix, opaque_rgb, outlined,
                    polygon, render, rgb, rrect, shaded, shadow, solid, stroke, tapered, union)


# ---------------------------------------------------------------------------------------------
# Bitmap 150: the right-click indicator, eight discs on a ring around the centre, on black.
# This is the ring of 100 %. For every other display scale the program draws the same ring from
# the same description (feedback/indicator_source.cpp, every length times side / 127) with clean
# edges against the colour key; keep the two in step (a Windows test compares the program's
# drawing, flattened over black as here, with this bitmap).

RING_SIZE = 127
RING_RADIUS = 46.0
DISC_RADIUS = 16.0
LEAD_DISC_RADIUS = 17.0

# Clockwise from the upper-left disc; the first one leads the spin and carries a white core.
RING_COLOURS = [0xF03A3A, 0xFF8C1A, 0xFFD21F, 0x5FD035, 0x22C7C0, 0x2E7BF0, 0x8A4DF0, 0xE845B8]


def ring_disc_centres():
    centres = []
    c = RING_SIZE / 2.0
    for k in range(8):
        phi = math.radians(315 + 45 * k)  # angle clockwise from straight up
        centres.append((c + RING_RADIUS * math.sin(phi), c - RING_RADIUS * math.cos(phi)))
    return centres


def draw_indicator():
    layers = []
    for k, (cx, cy) in enumerate(ring_disc_centres()):
        base = rgb(RING_COLOURS[k])
        r = LEAD_DISC_RADIUS if k == 0 else DISC_RADIUS
        light = mix(base, rgb(0xFFFFFF), 0.55)
        dark = mix(base, rgb(0x000000), 0.38)
        disc = circle(cx, cy, r)
        layers.append(fill(disc, shaded(base, light, dark, cx - r * 0.35, cy - r * 0.35, r * 1.45)))
        # A thin darker rim keeps the edge crisp over light and dark desktops alike.
        layers.append(fill(disc.ring(1.1), solid(mix(base, rgb(0x000000), 0.5))))
        # Gloss highlight.
        layers.append(fill(ellipse(cx - r * 0.32, cy - r * 0.42, r * 0.42, r * 0.24, -30),
                           solid(rgb(0xFFFFFF, 0.45))))
        if k == 0:
            layers.append(fill(circle(cx, cy, r * 0.42), solid(rgb(0xFFFFFF))))
            layers.append(fill(circle(cx, cy, r * 0.42).ring(1.0), solid(rgb(0xFFE0E0))))
    image = render(RING_SIZE, RING_SIZE, layers, 6)
    pixels = opaque_rgb(image)
    # Black is the colour key. Edge pixels whose coverage rounds to a faint colour become either
    # clean black (transparent) or keep a visible colour; nothing inside a disc may be black.
    out = []
    for row in pixels:
        new_row = []
        for p in row:
            if max(p) < 12:
                p = (0, 0, 0)
            new_row.append(p)
        out.append(new_row)
    return out


# ---------------------------------------------------------------------------------------------
# Bitmaps 156/157/158: the function button, a mouse on a dark-grey-to-white fade.
# button/button_picture.cpp draws the same description at the side of every other display scale,
# step for step, and must equal these bitmaps at 50 pixels: change both together.

BUTTON_SIZE = 50


def draw_mouse(red_button, framed, side=BUTTON_SIZE):
    """The picture at 50 pixels, or at another side with every length scaled (used for the tests'
    references at other display scales)."""
    s = BUTTON_SIZE
    layers = []
    outline_c = rgb(0x2A2D33)
    red = rgb(0xE32B2B)
    red_light = rgb(0xFF7A6E)
    red_dark = rgb(0xA50E12)

    body = rrect(14.0, 11.5, 36.0, 45.0, 10.5)
    # Soft shadow under the mouse.
    layers.append(shadow(ellipse(26.5, 45.0, 12.0, 2.6), rgb(0x000000, 0.35), 2.5))
    # Cord: leaves the top of the mouse and curls up out of the picture.
    cord = stroke([(25.0, 12.0), (25.0, 8.5), (26.5, 5.5), (29.5, 4.0), (31.5, 1.5), (32.0, -2.0)], 0.85)
    layers.append(fill(cord.grow(0.7), solid(rgb(0x1C1E22))))
    layers.append(fill(cord, solid(rgb(0x6A707A))))
    # Body.
    layers.extend(outlined(body, linear(14, 12, rgb(0xFFFFFF), 36, 45, rgb(0xB9BEC6)), outline_c, 1.3))
    # Buttons: the top part of the body, split down the middle.
    top = intersect(body, half_plane(0, 1, 26.0))
    left_button = intersect(top, half_plane(1, 0, 25.0))
    right_button = intersect(top, half_plane(-1, 0, -25.0))
    for button, which in ((left_button, "left"), (right_button, "right")):
        if which == red_button:
            paint = shaded(red, red_light, red_dark, 20.0 if which == "left" else 30.0, 15.0, 14.0)
        else:
            paint = linear(14, 12, rgb(0xFFFFFF), 36, 27, rgb(0xD5D9DF))
        layers.append(fill(button, paint))
    # Seams between the buttons and the body.
    layers.append(fill(intersect(body, rrect(24.45, 10.0, 25.55, 26.5, 0.5)), solid(outline_c)))
    layers.append(fill(intersect(body, rrect(13.0, 25.6, 37.0, 26.6, 0.5)), solid(outline_c)))
    # Scroll wheel.
    layers.extend(outlined(rrect(23.4, 14.5, 26.6, 21.5, 1.6),
                           linear(23, 15, rgb(0x8A919C), 27, 21, rgb(0x3D424A)), outline_c, 0.6))
    # Highlight along the body's left side.
    layers.append(fill(intersect(ellipse(18.5, 35.0, 2.0, 6.5), body), solid(rgb(0xFFFFFF, 0.55))))
    if framed:
        frame = rrect(1.5, 1.5, s - 1.5, s - 1.5, 3.0)
        layers.append(fill(frame.ring(3.0), linear(0, 0, rgb(0xF23B3B), s, s, rgb(0xC41515))))

    def background(x, y, d):
        t = y / s
        t = t * t * (3 - 2 * t) * 0.6 + t * 0.4
        return mix(rgb(0x3C3F44), rgb(0xFFFFFF), t)

    if side == s:
        return opaque_rgb(render(s, s, layers, 6, background))
    unit = s / side  # design units per pixel
    return opaque_rgb(render(side, side, [scaled_layer(L, unit) for L in layers], 6,
                             lambda x, y, d: background(x * unit, y * unit, d)))


def scaled_layer(layer, unit):
    """The layer drawn at pixel coordinates that are `unit` design units apart."""
    out = Layer.__new__(Layer)
    f, paint = layer.f, layer.paint
    out.f = lambda x, y: f(x * unit, y * unit)
    out.paint = lambda x, y, d: paint(x * unit, y * unit, d)
    out.reach = layer.reach
    out.box = tuple(v / unit for v in layer.box)
    return out


# ---------------------------------------------------------------------------------------------
# Bitmap 153: a hand touching a screen, for the settings dialog.

HAND_W, HAND_H = 104, 100


def draw_hand_picture():
    layers = []
    # Monitor.
    bezel = rrect(5.0, 7.0, 82.0, 63.0, 5.0)
    layers.append(shadow(rrect(8.0, 10.0, 85.0, 66.0, 5.0), rgb(0x000000, 0.28), 3.0))
    layers.extend(outlined(bezel, linear(0, 7, rgb(0x4A5160), 0, 63, rgb(0x23272F)), rgb(0x15181D), 0.9))
    screen = rrect(10.0, 12.0, 77.0, 57.0, 1.5)
    layers.append(fill(screen, linear(10, 12, rgb(0x2F7FD8), 60, 62, rgb(0x9FD4F7))))
    # Gloss across the upper left of the glass.
    layers.append(fill(intersect(screen, half_plane(0.55, 1.0, 40.0)), solid(rgb(0xFFFFFF, 0.14))))
    # Tiny power light.
    layers.append(fill(circle(43.5, 60.2, 0.9), solid(rgb(0x6DF07A))))
    # Stand.
    layers.extend(outlined(polygon([(37.0, 63.0), (50.0, 63.0), (53.0, 73.0), (34.0, 73.0)]),
                           linear(37, 63, rgb(0x3A404C), 53, 73, rgb(0x5C6472)), rgb(0x15181D), 0.8))
    layers.extend(outlined(rrect(24.0, 72.0, 63.0, 78.0, 3.0),
                           linear(0, 72, rgb(0x6A7382), 0, 78, rgb(0x2E333C)), rgb(0x15181D), 0.8))
    # Touch point and ripples on the glass.
    tx, ty = 46.0, 33.0
    for r, a in ((13.5, 0.35), (9.5, 0.55), (5.8, 0.8)):
        layers.append(fill(intersect(circle(tx, ty, r).ring(1.3), screen), solid(rgb(0xFFFFFF, a))))
    layers.append(fill(circle(tx, ty, 3.0), solid(rgb(0xFFFFFF, 0.6))))

    # The hand comes in from the lower right; the index finger touches the glass.
    skin = rgb(0xF6C9A4)
    skin_light = rgb(0xFFE3CC)
    skin_dark = rgb(0xD99A72)
    line = rgb(0x8A5238)

    def skin_paint(cx, cy, r):
        return shaded(skin, skin_light, skin_dark, cx, cy, r)

    sleeve = polygon([(80.0, 84.0), (95.0, 72.0), (110.0, 90.0), (110.0, 110.0), (88.0, 110.0)])
    layers.append(shadow(union(tapered(48.5, 38.0, 3.6, 62.0, 60.0, 4.6),
                               ellipse(70.0, 71.0, 12.5, 11.0, -40)).grow(0.5),
                         rgb(0x000000, 0.25), 3.5))
    # Back of the hand.
    palm = polygon([(63.0, 58.0), (78.0, 60.0), (90.0, 74.0), (84.0, 86.0), (70.0, 85.0), (64.0, 76.0)])
    palm = palm.grow(3.0)
    layers.extend(outlined(palm, skin_paint(72.0, 64.0, 24.0), line, 0.9))
    # Curled middle, ring and little fingers, folded under the index finger, and the thumb below.
    inner_line = mix(line, skin_dark, 0.35)
    for (ax, ay, bx, by, r) in ((72.0, 65.5, 61.5, 63.0, 3.6), (73.0, 71.5, 62.5, 69.5, 3.4),
                                (74.0, 77.0, 64.0, 75.5, 3.1)):
        layers.extend(outlined(stroke([(ax, ay), (bx, by)], r), skin_paint(bx + 1.0, by - 1.5, 10.0),
                               inner_line, 0.8))
    thumb = tapered(80.0, 87.0, 4.6, 67.0, 81.5, 3.3)
    layers.extend(outlined(thumb, skin_paint(69.0, 80.0, 12.0), line, 0.9))
    layers.append(fill(ellipse(66.2, 80.8, 1.2, 1.9, -70), solid(rgb(0xFBE1D6, 0.95))))
    # Index finger, pointing up and to the left.
    index = tapered(48.5, 37.0, 3.5, 63.0, 61.0, 4.5)
    layers.extend(outlined(index, linear(44, 37, skin_light, 58, 45, skin), line, 0.9))
    # Nail and knuckle creases on the index finger.
    layers.append(fill(ellipse(50.0, 39.6, 1.9, 2.9, -31), solid(rgb(0xFBE1D6))))
    layers.append(fill(ellipse(50.0, 39.6, 1.9, 2.9, -31).ring(0.5), solid(rgb(0xC98A6E, 0.8))))
    for (cx, cy) in ((54.6, 47.0), (58.2, 52.6)):
        layers.append(fill(ellipse(cx, cy, 2.4, 0.45, -31), solid(mix(skin_dark, line, 0.3))))
    # Sleeve cuff.
    layers.extend(outlined(sleeve, linear(80, 72, rgb(0x3B66B8), 104, 100, rgb(0x213E7A)), rgb(0x14264D), 0.9))
    layers.append(fill(intersect(sleeve, stroke([(80.0, 84.0), (95.0, 72.0)], 2.2)), solid(rgb(0x5B86D6))))

    def background(x, y, d):
        return mix(rgb(0xFBFCFE), rgb(0xDCE4EE), y / HAND_H)

    border = rrect(0.0, 0.0, HAND_W, HAND_H, 0.0).ring(1.0)
    layers.append(fill(border, solid(rgb(0xA7B2C2))))
    return opaque_rgb(render(HAND_W, HAND_H, layers, 5, background))

# ---------------------------------------------------------------------------------------------
# The BMP file of a bitmap resource.


def bmp24(pixels):
    """A bottom-up 24-bit BMP file from rows of (r, g, b)."""
    height = len(pixels)
    width = len(pixels[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        data += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return header + info + bytes(data)

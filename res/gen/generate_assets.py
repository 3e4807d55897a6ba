#!/usr/bin/env python3
"""Generates the bitmaps, icons and sounds of Ostinel.exe.

Usage: generate_assets.py OUTPUT_DIR

Everything is drawn and synthesised here from fixed parameters and fixed seeds, with the Python
standard library only, so every run writes the same bytes. After writing, the files are read
back and checked (headers, sizes, the ADPCM stream decoded again); any failure exits non-zero.
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------------------------------------
# Colours: sRGB components 0..1, alpha straight (not premultiplied).


def rgb(hex_value, alpha=1.0):
    return ((hex_value >> 16 & 255) / 255.0, (hex_value >> 8 & 255) / 255.0,
            (hex_value & 255) / 255.0, alpha)


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def srgb_to_linear(c):
    return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4


def linear_to_srgb(c):
    if c <= 0.0031308:
        return c * 12.92
    return 1.055 * c ** (1 / 2.4) - 0.055


def smoothstep(e0, e1, x):
    t = min(1.0, max(0.0, (x - e0) / (e1 - e0)))
    return t * t * (3 - 2 * t)


# ---------------------------------------------------------------------------------------------
# Shapes as signed distance functions (negative inside) with a bounding box.


class Shape:
    def __init__(self, f, box):
        self.f = f
        self.box = box  # x0, y0, x1, y1

    def grow(self, amount):
        f = self.f
        x0, y0, x1, y1 = self.box
        return Shape(lambda x, y: f(x, y) - amount,
                     (x0 - amount, y0 - amount, x1 + amount, y1 + amount))

    def ring(self, width):
        """The band of the given width just inside the outline."""
        f = self.f
        return Shape(lambda x, y: max(f(x, y), -width - f(x, y)), self.box)


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def ellipse(cx, cy, rx, ry, angle_deg=0.0):
    ca = math.cos(math.radians(angle_deg))
    sa = math.sin(math.radians(angle_deg))
    m = min(rx, ry)

    def f(x, y):
        dx, dy = x - cx, y - cy
        u = dx * ca + dy * sa
        v = -dx * sa + dy * ca
        return (math.hypot(u / rx, v / ry) - 1.0) * m

    e = max(rx, ry)
    return Shape(f, (cx - e, cy - e, cx + e, cy + e))


def rrect(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def f(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r

    return Shape(f, (x0, y0, x1, y1))


def segment_distance(x, y, ax, ay, bx, by):
    px, py = x - ax, y - ay
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, (px * dx + py * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - dx * t, py - dy * t)


def stroke(points, r):
    """A polyline with round caps and joins, radius r."""
    segs = list(zip(points, points[1:]))

    def f(x, y):
        return min(segment_distance(x, y, a[0], a[1], b[0], b[1]) for a, b in segs) - r

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(f, (min(xs) - r, min(ys) - r, max(xs) + r, max(ys) + r))


def tapered(ax, ay, ra, bx, by, rb):
    """A capsule whose radius runs from ra at a to rb at b (a rounded cone)."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def f(x, y):
        px, py = x - ax, y - ay
        t = max(0.0, min(1.0, (px * dx + py * dy) / length2))
        return math.hypot(px - dx * t, py - dy * t) - (ra + (rb - ra) * t)

    r = max(ra, rb)
    return Shape(f, (min(ax, bx) - r, min(ay, by) - r, max(ax, bx) + r, max(ay, by) + r))


def polygon(points):
    n = len(points)

    def f(x, y):
        d = float("inf")
        s = 1.0
        j = n - 1
        for i in range(n):
            xi, yi = points[i]
            xj, yj = points[j]
            d = min(d, segment_distance(x, y, xi, yi, xj, yj))
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                s = -s
            j = i
        return s * d

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(f, (min(xs), min(ys), max(xs), max(ys)))


def union(*shapes):
    fs = [s.f for s in shapes]
    box = (min(s.box[0] for s in shapes), min(s.box[1] for s in shapes),
           max(s.box[2] for s in shapes), max(s.box[3] for s in shapes))
    return Shape(lambda x, y: min(f(x, y) for f in fs), box)


def intersect(a, b):
    fa, fb = a.f, b.f
    box = (max(a.box[0], b.box[0]), max(a.box[1], b.box[1]),
           min(a.box[2], b.box[2]), min(a.box[3], b.box[3]))
    return Shape(lambda x, y: max(fa(x, y), fb(x, y)), box)


def half_plane(nx, ny, c):
    """Inside where nx*x + ny*y < c (n need not be normalised)."""
    k = math.hypot(nx, ny)
    big = 1e4
    return Shape(lambda x, y: (nx * x + ny * y - c) / k, (-big, -big, big, big))


# ---------------------------------------------------------------------------------------------
# Paints: functions of (x, y, d) giving an RGBA colour; d is the shape's distance at the point.


def solid(c):
    return lambda x, y, d: c


def linear(x0, y0, c0, x1, y1, c1):
    dx, dy = x1 - x0, y1 - y0
    k = dx * dx + dy * dy

    def p(x, y, d):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / k))
        return mix(c0, c1, t)

    return p


def radial(cx, cy, r, c0, c1, power=1.0):
    def p(x, y, d):
        t = min(1.0, math.hypot(x - cx, y - cy) / r) ** power
        return mix(c0, c1, t)

    return p


def soft(c, blur):
    """Colour c whose alpha fades out over `blur` pixels outside the shape (shadows, glows)."""
    def p(x, y, d):
        a = c[3] * (1.0 - smoothstep(-blur, blur, d))
        return (c[0], c[1], c[2], a)

    return p


def shaded(base, light, dark, cx, cy, r):
    """Spherical shading: light near (cx, cy), base in the middle, dark towards radius r."""
    def p(x, y, d):
        t = min(1.0, math.hypot(x - cx, y - cy) / r)
        if t < 0.5:
            return mix(light, base, t / 0.5)
        return mix(base, dark, (t - 0.5) / 0.5)

    return p


class Layer:
    def __init__(self, shape, paint, reach=0.0):
        self.f = shape.f
        self.paint = paint
        self.reach = reach
        x0, y0, x1, y1 = shape.box
        self.box = (x0 - reach, y0 - reach, x1 + reach, y1 + reach)


def fill(shape, paint):
    return Layer(shape, paint)


def outlined(shape, paint, outline, width):
    return [Layer(shape.grow(width), solid(outline)), Layer(shape, paint)]


def shadow(shape, colour, blur):
    return Layer(shape, soft(colour, blur), reach=blur)


# ---------------------------------------------------------------------------------------------
# Renderer: supersampled, samples averaged in linear light.


def render(width, height, layers, samples, background=None):
    """Returns rows of (r, g, b, a) floats, sRGB, straight alpha."""
    offsets = [(i + 0.5) / samples for i in range(samples)]
    n = samples * samples
    image = []
    for py in range(height):
        row_layers = [L for L in layers if L.box[1] <= py + 1 and L.box[3] >= py]
        row = []
        for px in range(width):
            cand = [L for L in row_layers if L.box[0] <= px + 1 and L.box[2] >= px]
            ar = ag = ab = aa = 0.0
            for oy in offsets:
                y = py + oy
                for ox in offsets:
                    x = px + ox
                    if background is not None:
                        cr, cg, cb, ca = background(x, y, 0.0)
                    else:
                        cr = cg = cb = ca = 0.0
                    for L in cand:
                        d = L.f(x, y)
                        if d > L.reach:
                            continue
                        lr, lg, lb, la = L.paint(x, y, d)
                        if la >= 1.0:
                            cr, cg, cb, ca = lr, lg, lb, 1.0
                        elif la > 0.0:
                            oa = la + ca * (1.0 - la)
                            k = ca * (1.0 - la)
                            cr = (lr * la + cr * k) / oa
                            cg = (lg * la + cg * k) / oa
                            cb = (lb * la + cb * k) / oa
                            ca = oa
                    if ca > 0.0:
                        ar += srgb_to_linear(cr) * ca
                        ag += srgb_to_linear(cg) * ca
                        ab += srgb_to_linear(cb) * ca
                        aa += ca
            if aa > 0.0:
                row.append((linear_to_srgb(ar / aa), linear_to_srgb(ag / aa),
                            linear_to_srgb(ab / aa), aa / n))
            else:
                row.append((0.0, 0.0, 0.0, 0.0))
        image.append(row)
    return image


def to_bytes(c):
    return max(0, min(255, int(round(c * 255.0))))


def opaque_rgb(image):
    """Rows of (r, g, b) bytes, flattened over black where not opaque."""
    return [[(to_bytes(p[0] * p[3]), to_bytes(p[1] * p[3]), to_bytes(p[2] * p[3])) for p in row]
            for row in image]


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
# Icons. Group 108, the program's icon: eight coloured dots ringed round a touch point, the same
# motif as the right-click indicator. Group 2: ripples spreading from a touch on a blue tile.

VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]

ICON_RING_COLOURS_VGA = [0xFF0000, 0xFFFF00, 0x00FF00, 0x008000, 0x00FFFF, 0x0000FF, 0xFF00FF, 0xC0C0C0]


def icon_tile(size):
    m = 0.0 if size <= 16 else size / 32.0
    # At least 3.5 pixels of corner radius keeps the corner pixels fully transparent.
    return rrect(m, m, size - m, size - m, max(3.5, size * 0.2))


def icon_rim(size):
    """Light inner edge of the tile; left out at 16 pixels, where it only blurs the outline."""
    return None if size <= 16 else icon_tile(size).ring(size / 32.0)


def draw_app_icon(size, flat):
    """Group 108. `flat` draws with the sixteen standard colours only, for the 4-bit images."""
    layers = []
    c = size / 2.0
    tile = icon_tile(size)
    if flat:
        layers.append(fill(tile, solid(rgb(0x000080))))
    else:
        layers.append(fill(tile, linear(0, 0, rgb(0x2B3F73), 0, size, rgb(0x0E1630))))
        if icon_rim(size):
            layers.append(fill(icon_rim(size), solid(rgb(0x6F86C2, 0.55))))
    ring_r = size * 0.315
    dot_r = size * (0.105 if size > 16 else 0.1)
    for k in range(8):
        phi = math.radians(315 + 45 * k)
        x = c + ring_r * math.sin(phi)
        y = c - ring_r * math.cos(phi)
        if size <= 16:
            # Whole-pixel centres keep the tiny dots crisp.
            x, y = math.floor(x + 0.5), math.floor(y + 0.5)
        if flat:
            layers.append(fill(circle(x, y, dot_r), solid(rgb(ICON_RING_COLOURS_VGA[k]))))
        else:
            base = rgb(RING_COLOURS[k])
            layers.append(fill(circle(x, y, dot_r), shaded(base, mix(base, rgb(0xFFFFFF), 0.5),
                                                           mix(base, rgb(0x000000), 0.3),
                                                           x - dot_r * 0.35, y - dot_r * 0.35, dot_r * 1.4)))
    # The touch point with a halo.
    if not flat:
        layers.append(fill(circle(c, c, size * 0.19), radial(c, c, size * 0.19, rgb(0x9FD0FF, 0.55),
                                                              rgb(0x9FD0FF, 0.0))))
    layers.append(fill(circle(c, c, size * 0.085 + 0.25), solid(rgb(0xFFFFFF))))
    # The sixteen-colour images are point-sampled: blends of two palette colours only add noise.
    return render(size, size, layers, 1 if flat else 8)


def draw_touch_icon(size):
    """Group 2."""
    layers = []
    c = size / 2.0
    tile = icon_tile(size)
    layers.append(fill(tile, linear(0, 0, rgb(0x3E9BF5), size * 0.4, size, rgb(0x1557B8))))
    if icon_rim(size):
        layers.append(fill(icon_rim(size), solid(rgb(0xB5DBFF, 0.5))))
    w = max(1.0, size / 20.0)
    rings = ((0.36, 0.45), (0.25, 0.75)) if size > 16 else ((0.34, 0.8),)
    for r, a in rings:
        layers.append(fill(intersect(circle(c, c, size * r).ring(w), tile), solid(rgb(0xFFFFFF, a))))
    layers.append(fill(circle(c, c, size * 0.12 + 0.2), solid(rgb(0xFFFFFF))))
    return render(size, size, layers, 8)


def nearest(palette, colour, cache):
    hit = cache.get(colour)
    if hit is None:
        r, g, b = colour
        best = None
        for i, (pr, pg, pb) in enumerate(palette):
            d = 2 * (r - pr) ** 2 + 4 * (g - pg) ** 2 + 3 * (b - pb) ** 2
            if best is None or d < best[0]:
                best = (d, i)
        hit = best[1]
        cache[colour] = hit
    return hit


def median_cut(colours, count):
    """An adaptive palette of at most `count` entries for a list of (r, g, b)."""
    unique = sorted(set(colours))
    if len(unique) <= count:
        return unique
    boxes = [sorted(colours)]
    while len(boxes) < count:
        best = None
        for i, box in enumerate(boxes):
            ranges = [max(p[ch] for p in box) - min(p[ch] for p in box) for ch in range(3)]
            spread = max(ranges)
            if spread > 0 and (best is None or spread * len(box) > best[0]):
                best = (spread * len(box), i, ranges.index(spread))
        if best is None:
            break
        _, i, ch = best
        box = sorted(boxes[i], key=lambda p: (p[ch], p))
        half = len(box) // 2
        boxes[i:i + 1] = [box[:half], box[half:]]
    palette = []
    for box in boxes:
        n = len(box)
        palette.append(tuple(int(round(sum(p[ch] for p in box) / n)) for ch in range(3)))
    return sorted(set(palette))


def icon_image(image, bits):
    """One icon image (BITMAPINFOHEADER, palette, XOR and AND bitmaps) at 4, 8 or 32 bits."""
    size = len(image)
    opaque = [[p[3] >= 0.5 for p in row] for row in image]
    straight = [[(to_bytes(p[0]), to_bytes(p[1]), to_bytes(p[2])) for p in row] for row in image]
    palette = None
    if bits == 4:
        palette = list(VGA16)
    elif bits == 8:
        used = [straight[y][x] for y in range(size) for x in range(size) if opaque[y][x]]
        # Entry 0 stays black: transparent pixels use it, so the mask leaves the screen untouched.
        palette = [(0, 0, 0)] + [c for c in median_cut(used, 255) if c != (0, 0, 0)]
        palette += [(0, 0, 0)] * (256 - len(palette))
    stride = ((size * bits + 31) // 32) * 4
    xor = bytearray()
    cache = {}
    for y in reversed(range(size)):
        line = bytearray()
        if bits == 32:
            for x in range(size):
                p = image[y][x]
                a = to_bytes(p[3])
                if a == 0:
                    line += bytes(4)
                else:
                    line += bytes((to_bytes(p[2]), to_bytes(p[1]), to_bytes(p[0]), a))
        else:
            indices = []
            for x in range(size):
                if opaque[y][x]:
                    search = palette[1:] if bits == 8 else palette
                    i = nearest(search, straight[y][x], cache) + (1 if bits == 8 else 0)
                else:
                    i = 0
                indices.append(i)
            if bits == 8:
                line += bytes(indices)
            else:
                for x in range(0, size, 2):
                    line.append(indices[x] << 4 | (indices[x + 1] if x + 1 < size else 0))
        line += bytes(stride - len(line))
        xor += line
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(size)):
        line = bytearray(mask_stride)
        for x in range(size):
            transparent = (to_bytes(image[y][x][3]) == 0) if bits == 32 else not opaque[y][x]
            if transparent:
                line[x >> 3] |= 0x80 >> (x & 7)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(mask), 0, 0, 0, 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette) if palette else b""
    return header + table + bytes(xor) + bytes(mask)


def ico_file(entries):
    """entries: list of (size, bits, image bytes)."""
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    body = b""
    for size, bits, data in entries:
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset + len(body))
        body += data
    return out + body


def app_icon():
    entries = []
    for bits in (32, 8):
        for size in (48, 32, 16):
            entries.append((size, bits, icon_image(draw_app_icon(size, False), bits)))
    for size in (32, 16):
        entries.append((size, 4, icon_image(draw_app_icon(size, True), 4)))
    return ico_file(entries)


def second_icon():
    return ico_file([(size, 32, icon_image(draw_touch_icon(size), 32)) for size in (48, 32, 24, 16)])



# ---------------------------------------------------------------------------------------------
# Sounds.

RATE = 22050
TWO_PI = 2.0 * math.pi


class Noise:
    """xorshift32 white noise in [-1, 1): the same sequence on every platform."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x / 2147483648.0 - 1.0


def attack(t, length):
    """Raised-cosine rise from 0 to 1 over `length` seconds."""
    if t >= length:
        return 1.0
    return 0.5 - 0.5 * math.cos(math.pi * t / length)


def tail_fade(buffer, seconds):
    """Raised-cosine fade to exactly zero over the last `seconds`."""
    n = len(buffer)
    m = int(seconds * RATE)
    for i in range(m):
        k = n - m + i
        buffer[k] *= 0.5 + 0.5 * math.cos(math.pi * (i + 1) / m)


def normalise(channels, peak):
    top = max(max(abs(v) for v in ch) for ch in channels)
    return [[v * peak / top for v in ch] for ch in channels]


def bell(buffer, start, freq, amp, tau, partials):
    """Adds a struck, bell-like tone: partials of (ratio, gain, decay factor)."""
    n0 = int(start * RATE)
    for ratio, gain, decay in partials:
        f = freq * ratio
        if f >= RATE * 0.45:
            continue
        w = TWO_PI * f / RATE
        t_decay = tau * decay
        for i in range(len(buffer) - n0):
            t = i / RATE
            e = math.exp(-t / t_decay)
            if e < 1e-4:
                break
            buffer[n0 + i] += amp * gain * attack(t, 0.004) * e * math.sin(w * i)


def chime_start(frames):
    """Rising four-note arpeggio (E major) with bell partials."""
    out = [0.0] * frames
    partials = ((1.0, 1.0, 1.0), (2.0, 0.3, 0.5), (3.0, 0.1, 0.3), (4.07, 0.05, 0.2))
    notes = ((0.000, 659.26, 0.70), (0.085, 830.61, 0.76), (0.170, 987.77, 0.82), (0.255, 1318.51, 0.95))
    for start, freq, amp in notes:
        bell(out, start, freq, amp, 0.30 if freq < 1300 else 0.36, partials)
    tail_fade(out, 0.12)
    return normalise([out], 0.79)


def click_left(frames):
    """A crisp tap: a bright tick over a short wooden body, both channels alike."""
    noise = Noise(0x5EED131)
    out = []
    hp_prev_in = hp_prev_out = 0.0
    for i in range(frames):
        t = i / RATE
        n = noise.next()
        # First-order high-pass keeps the noise burst crisp, without low-frequency thump.
        hp = 0.85 * (hp_prev_out + n - hp_prev_in)
        hp_prev_in, hp_prev_out = n, hp
        v = (0.55 * math.sin(TWO_PI * 3150.0 * t) * math.exp(-t / 0.0022)
             + 0.45 * math.sin(TWO_PI * 1180.0 * t) * math.exp(-t / 0.0060)
             + 0.22 * math.sin(TWO_PI * 420.0 * t) * math.exp(-t / 0.0080)
             + 0.35 * hp * math.exp(-t / 0.0011))
        out.append(v * attack(t, 0.0003))
    tail_fade(out, 0.006)
    return normalise([out, list(out)], 0.70)


def tone(buffer_l, buffer_r, start, length, freq, amp, tau, droop=0.0, detune=0.8, release=0.05):
    """A soft, slightly hollow tone (odd harmonics over a little second), a hair detuned in stereo."""
    n0 = int(start * RATE)
    n = min(int(length * RATE), len(buffer_l) - n0)
    harmonics = ((1, 1.0), (2, 0.12), (3, 0.22), (5, 0.07))
    for buffer, offset in ((buffer_l, -detune), (buffer_r, detune)):
        phase = 0.0
        for i in range(n):
            t = i / RATE
            f = (freq + offset) * (1.0 - droop * smoothstep(0.0, length, t))
            phase += TWO_PI * f / RATE
            e = attack(t, 0.010) * math.exp(-t / tau)
            remaining = length - t
            if remaining < release:
                e *= 0.5 - 0.5 * math.cos(math.pi * remaining / release)
            v = sum(g * math.sin(h * phase) for h, g in harmonics)
            buffer[n0 + i] += amp * e * v


def failure_tone(frames):
    """Three falling notes (B, G, E), the last one sagging a little."""
    left = [0.0] * frames
    right = [0.0] * frames
    tone(left, right, 0.00, 0.24, 493.88, 0.80, 0.30)
    tone(left, right, 0.20, 0.24, 392.00, 0.80, 0.30)
    tone(left, right, 0.40, frames / RATE - 0.40, 329.63, 0.95, 0.32, droop=0.03)
    tail_fade(left, 0.15)
    tail_fade(right, 0.15)
    return normalise([left, right], 0.75)


def right_click(frames):
    """A double tick, then a bright triad that swirls once round the stereo field."""
    noise = Noise(0x5EED143)
    left = [0.0] * frames
    right = [0.0] * frames
    for start, pan in ((0.0, 0.35), (0.065, 0.65)):
        n0 = int(start * RATE)
        for i in range(int(0.02 * RATE)):
            t = i / RATE
            v = (0.5 * math.sin(TWO_PI * 2100.0 * t) * math.exp(-t / 0.0025)
                 + 0.4 * math.sin(TWO_PI * 880.0 * t) * math.exp(-t / 0.0050)
                 + 0.2 * noise.next() * math.exp(-t / 0.0008)) * attack(t, 0.0003)
            left[n0 + i] += v * math.cos(pan * math.pi / 2) * 1.2
            right[n0 + i] += v * math.sin(pan * math.pi / 2) * 1.2
    swirl = [0.0] * frames
    partials = ((1.0, 1.0, 1.0), (2.0, 0.2, 0.5), (3.0, 0.06, 0.3))
    for start, freq, amp in ((0.10, 1046.50, 0.42), (0.12, 1318.51, 0.36), (0.14, 1567.98, 0.32)):
        bell(swirl, start, freq, amp, 0.30, partials)
    for i in range(frames):
        t = i / RATE
        # One turn, clockwise as seen from the front: top, right, bottom, left.
        pan = 0.5 + 0.4 * math.sin(TWO_PI * max(0.0, t - 0.10) / 0.86)
        left[i] += swirl[i] * math.cos(pan * math.pi / 2)
        right[i] += swirl[i] * math.sin(pan * math.pi / 2)
    tail_fade(left, 0.12)
    tail_fade(right, 0.12)
    return normalise([left, right], 0.75)


def pcm16(value):
    return max(-32768, min(32767, int(math.floor(value * 32767.0 + 0.5))))


# Microsoft ADPCM.

ADPCM_COEFFICIENTS = ((256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232))
ADPCM_ADAPTATION = (230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230)
ADPCM_SAMPLES_PER_BLOCK = 1012
ADPCM_BLOCK_ALIGN = 1024


def adpcm_predict(s1, s2, coef, toward_zero):
    total = s1 * coef[0] + s2 * coef[1]
    if toward_zero:
        return int(total / 256) if total >= 0 else -((-total) // 256)
    return total >> 8


def adpcm_step(nibble, delta, s1, s2, coef, toward_zero=False):
    """Decodes one nibble; returns (sample, new delta)."""
    signed = nibble - 16 if nibble & 8 else nibble
    sample = max(-32768, min(32767, adpcm_predict(s1, s2, coef, toward_zero) + signed * delta))
    delta = max(16, (ADPCM_ADAPTATION[nibble] * delta) >> 8)
    return sample, delta


def adpcm_encode_channel(samples, predictor, delta):
    """Greedy encoding of one channel of a block; returns (nibbles, squared error)."""
    coef = ADPCM_COEFFICIENTS[predictor]
    s2, s1 = samples[0], samples[1]
    nibbles = []
    error = 0
    for target in samples[2:]:
        guess = adpcm_predict(s1, s2, coef, False)
        wanted = int(math.floor((target - guess) / delta + 0.5))
        best = None
        for q in (wanted - 1, wanted, wanted + 1):
            q = max(-8, min(7, q))
            value = max(-32768, min(32767, guess + q * delta))
            e = (value - target) ** 2
            if best is None or e < best[0]:
                best = (e, q)
        e, q = best
        nibble = q & 15
        sample, delta = adpcm_step(nibble, delta, s1, s2, coef)
        s2, s1 = s1, sample
        nibbles.append(nibble)
        error += e
    return nibbles, error


def adpcm_block(channels):
    """One stereo block from two channels of exactly ADPCM_SAMPLES_PER_BLOCK samples."""
    choices = []
    for samples in channels:
        best = None
        for predictor in range(len(ADPCM_COEFFICIENTS)):
            for delta in (16, 24, 32, 48, 64, 96, 128, 192, 256, 384, 512, 768, 1024, 1536, 2048):
                nibbles, error = adpcm_encode_channel(samples, predictor, delta)
                if best is None or error < best[0]:
                    best = (error, predictor, delta, nibbles)
        choices.append(best)
    (_, p0, d0, n0), (_, p1, d1, n1) = choices
    header = struct.pack("<BBhhhhhh", p0, p1, d0, d1, channels[0][1], channels[1][1],
                         channels[0][0], channels[1][0])
    body = bytes((a << 4) | b for a, b in zip(n0, n1))
    block = header + body
    assert len(block) == ADPCM_BLOCK_ALIGN
    return block


def adpcm_decode_block(block, toward_zero=False):
    """Decodes one stereo block into two lists of samples."""
    p0, p1, d0, d1, a1, b1, a2, b2 = struct.unpack_from("<BBhhhhhh", block, 0)
    state = [[ADPCM_COEFFICIENTS[p0], d0, a1, a2], [ADPCM_COEFFICIENTS[p1], d1, b1, b2]]
    out = [[a2, a1], [b2, b1]]
    for byte in block[14:]:
        for ch, nibble in ((0, byte >> 4), (1, byte & 15)):
            coef, delta, s1, s2 = state[ch]
            sample, delta = adpcm_step(nibble, delta, s1, s2, coef, toward_zero)
            state[ch] = [coef, delta, sample, s1]
            out[ch].append(sample)
    return out


# RIFF WAVE files.


def chunk(tag, data):
    out = tag + struct.pack("<I", len(data)) + data
    return out + b"\0" if len(data) % 2 else out


def info_list(tags):
    body = b"INFO"
    for tag, text in tags:
        body += chunk(tag, text.encode("ascii") + b"\0")
    return chunk(b"LIST", body)


def riff_wave(chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def info_tags(name, comment):
    return [(b"INAM", name), (b"IPRD", "Ostinel"), (b"ICMT", comment), (b"ICOP", "Copyright Vemto"),
            (b"ISFT", "Ostinel asset generator")]


def pcm_wave(channels, info=None):
    n = len(channels[0])
    count = len(channels)
    data = bytearray()
    for i in range(n):
        for ch in channels:
            data += struct.pack("<h", pcm16(ch[i]))
    fmt = struct.pack("<HHIIHH", 1, count, RATE, RATE * count * 2, count * 2, 16)
    chunks = [chunk(b"fmt ", fmt), chunk(b"data", bytes(data))]
    if info:
        chunks.append(info_list(info))
    return riff_wave(chunks)


def adpcm_wave(channels, info):
    frames = len(channels[0])
    padded = [[pcm16(v) for v in ch] + [0] * (ADPCM_SAMPLES_PER_BLOCK - frames) for ch in channels]
    block = adpcm_block(padded)
    avg_bytes = RATE * ADPCM_BLOCK_ALIGN // ADPCM_SAMPLES_PER_BLOCK
    fmt = struct.pack("<HHIIHHHHH", 2, 2, RATE, avg_bytes, ADPCM_BLOCK_ALIGN, 4, 32,
                      ADPCM_SAMPLES_PER_BLOCK, len(ADPCM_COEFFICIENTS))
    fmt += b"".join(struct.pack("<hh", a, b) for a, b in ADPCM_COEFFICIENTS)
    return riff_wave([chunk(b"fmt ", fmt), chunk(b"fact", struct.pack("<I", frames)),
                      chunk(b"data", block), info_list(info)]), padded



# ---------------------------------------------------------------------------------------------
# File writers.


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


def write_file(directory, name, data):
    path = os.path.join(directory, name)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


# ---------------------------------------------------------------------------------------------
# Read-back checks of everything written.

WAVE_FILES = {
    # name: (format tag, channels, bits, block align, data bytes, fact samples or None, has INFO)
    "start_129.wav": (1, 1, 16, 2, 36592, None, False),
    "left_click_131.wav": (2, 2, 4, 1024, 1024, 679, True),
    "start_failed_133.wav": (1, 2, 16, 4, 96924, None, True),
    "right_click_143.wav": (1, 2, 16, 4, 80764, None, True),
}

BITMAP_FILES = {"indicator_150.bmp": (127, 127), "hand_153.bmp": (104, 100), "button_on_156.bmp": (50, 50),
                "button_off_157.bmp": (50, 50), "button_move_158.bmp": (50, 50)}
# Not linked into the program: the tests' references of the function button at 150 %.
BITMAP_FILES.update({"button_%s_75.bmp" % state: (75, 75) for state in ("idle", "armed", "move")})

ICON_FILES = {"app_108.ico": [(48, 32), (32, 32), (16, 32), (48, 8), (32, 8), (16, 8), (32, 4), (16, 4)],
              "touch_2.ico": [(48, 32), (32, 32), (24, 32), (16, 32)]}


class CheckFailed(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise CheckFailed(message)


def read_chunks(data):
    expect(data[:4] == b"RIFF" and data[8:12] == b"WAVE", "not a RIFF WAVE file")
    expect(struct.unpack_from("<I", data, 4)[0] == len(data) - 8, "RIFF size")
    chunks = []
    pos = 12
    while pos < len(data):
        tag = data[pos:pos + 4]
        size = struct.unpack_from("<I", data, pos + 4)[0]
        chunks.append((tag, data[pos + 8:pos + 8 + size]))
        pos += 8 + size + (size & 1)
    expect(pos == len(data), "chunk sizes do not add up")
    return chunks


def read_bmp(data):
    expect(data[:2] == b"BM", "not a BMP")
    offset = struct.unpack_from("<I", data, 10)[0]
    _, w, h, planes, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    expect(planes == 1 and bits == 24 and compression == 0 and h > 0, "BMP header")
    stride = (w * 3 + 3) & ~3
    expect(len(data) == offset + stride * h, "BMP size")
    rows = []
    for y in range(h):
        base = offset + (h - 1 - y) * stride
        rows.append([(data[base + 3 * x + 2], data[base + 3 * x + 1], data[base + 3 * x]) for x in range(w)])
    return w, h, rows


def check_indicator(rows):
    c = RING_SIZE // 2
    black = sum(1 for row in rows for p in row if p == (0, 0, 0))
    share = black / (RING_SIZE * RING_SIZE)
    expect(0.4 <= share <= 0.65, "indicator: black share %.2f" % share)
    for y in range(c - 20, c + 21):
        for x in range(c - 20, c + 21):
            expect(rows[y][x] == (0, 0, 0), "indicator: centre not black")
    for y, x in ((0, 0), (0, RING_SIZE - 1), (RING_SIZE - 1, 0), (RING_SIZE - 1, RING_SIZE - 1)):
        expect(rows[y][x] == (0, 0, 0), "indicator: corner not black")
    for cx, cy in ring_disc_centres():
        for y in range(int(cy - DISC_RADIUS + 3), int(cy + DISC_RADIUS - 2)):
            for x in range(int(cx - DISC_RADIUS + 3), int(cx + DISC_RADIUS - 2)):
                if math.hypot(x + 0.5 - cx, y + 0.5 - cy) < DISC_RADIUS - 1.5:
                    expect(rows[y][x] != (0, 0, 0), "indicator: black pixel inside a disc")
    return share


def snr_db(reference, decoded):
    signal = sum(v * v for v in reference)
    noise = sum((a - b) ** 2 for a, b in zip(reference, decoded)) or 1
    return 10.0 * math.log10(signal / noise)


def check_wave(name, data, source):
    tag, channels, bits, align, data_bytes, fact, has_info = WAVE_FILES[name]
    chunks = read_chunks(data)
    tags = [t for t, _ in chunks]
    wanted = [b"fmt ", b"fact", b"data"] if fact else [b"fmt ", b"data"]
    expect(tags == wanted + ([b"LIST"] if has_info else []), name + ": chunk order %r" % tags)
    body = dict(chunks)
    f_tag, f_channels, f_rate, f_avg, f_align, f_bits = struct.unpack_from("<HHIIHH", body[b"fmt "])
    expect((f_tag, f_channels, f_rate, f_align, f_bits) == (tag, channels, RATE, align, bits), name + ": fmt")
    expect(len(body[b"data"]) == data_bytes, name + ": data size")
    if has_info:
        expect(body[b"LIST"][:4] == b"INFO", name + ": LIST is not INFO")
    detail = ""
    if tag == 1:
        expect(f_avg == RATE * align, name + ": byte rate")
        values = struct.unpack("<%dh" % (data_bytes // 2), body[b"data"])
        peak = max(abs(v) for v in values)
        expect(peak < 30000, name + ": too loud")
        expect(peak > 16000, name + ": too quiet")
        expect(all(abs(v) < 64 for v in values[-channels * 4:]), name + ": does not end in silence")
        detail = "peak %.1f dBFS" % (20 * math.log10(peak / 32768.0))
    else:
        cb, per_block, ncoef = struct.unpack_from("<HHH", body[b"fmt "], 16)
        expect((cb, per_block, ncoef) == (32, ADPCM_SAMPLES_PER_BLOCK, 7), name + ": ADPCM fields")
        coefs = struct.unpack_from("<14h", body[b"fmt "], 22)
        expect(coefs == tuple(v for pair in ADPCM_COEFFICIENTS for v in pair), name + ": coefficients")
        expect(struct.unpack("<I", body[b"fact"])[0] == fact, name + ": fact")
        results = []
        for toward_zero in (False, True):
            decoded = adpcm_decode_block(body[b"data"], toward_zero)
            for ch in range(2):
                expect(len(decoded[ch]) == ADPCM_SAMPLES_PER_BLOCK, name + ": decoded length")
                results.append(snr_db(source[ch][:fact], decoded[ch][:fact]))
                expect(max(abs(v) for v in decoded[ch][fact:]) < 256, name + ": noisy tail")
        worst = min(results)
        expect(worst > 20.0, name + ": ADPCM SNR %.1f dB" % worst)
        detail = "ADPCM SNR >= %.1f dB" % worst
    return detail


def check_icon(name, data):
    expected = ICON_FILES[name]
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    expect(reserved == 0 and kind == 1 and count == len(expected), name + ": directory")
    for i, (size, bits) in enumerate(expected):
        w, h, colours, _, planes, bitcount, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        expect((w, h, planes, bitcount) == (size, size, 1, bits), name + ": entry %d" % i)
        expect(colours == (16 if bits == 4 else 0), name + ": colour count")
        _, bw, bh, _, bbits = struct.unpack_from("<IiiHH", data, offset)
        expect((bw, bh, bbits) == (size, 2 * size, bits), name + ": image header %d" % i)
        palette = 4 * (1 << bits) if bits <= 8 else 0
        stride = ((size * bits + 31) // 32) * 4
        mask = ((size + 31) // 32) * 4
        expect(length == 40 + palette + (stride + mask) * size, name + ": image length %d" % i)


def verify(out, sources):
    report = []
    for name, (w, h) in BITMAP_FILES.items():
        with open(os.path.join(out, name), "rb") as f:
            bw, bh, rows = read_bmp(f.read())
        expect((bw, bh) == (w, h), name + ": size")
        if name == "indicator_150.bmp":
            report.append("%s black %.0f%%" % (name, 100 * check_indicator(rows)))
    for name in ICON_FILES:
        with open(os.path.join(out, name), "rb") as f:
            check_icon(name, f.read())
    for name in WAVE_FILES:
        with open(os.path.join(out, name), "rb") as f:
            report.append("%s %s" % (name, check_wave(name, f.read(), sources.get(name))))
    return report


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: generate_assets.py OUTPUT_DIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    write_file(out, "indicator_150.bmp", bmp24(draw_indicator()))
    write_file(out, "hand_153.bmp", bmp24(draw_hand_picture()))
    write_file(out, "button_on_156.bmp", bmp24(draw_mouse("right", False)))
    write_file(out, "button_off_157.bmp", bmp24(draw_mouse("left", False)))
    write_file(out, "button_move_158.bmp", bmp24(draw_mouse("left", True)))
    write_file(out, "button_idle_75.bmp", bmp24(draw_mouse("left", False, 75)))
    write_file(out, "button_armed_75.bmp", bmp24(draw_mouse("right", False, 75)))
    write_file(out, "button_move_75.bmp", bmp24(draw_mouse("left", True, 75)))
    write_file(out, "app_108.ico", app_icon())
    write_file(out, "touch_2.ico", second_icon())
    write_file(out, "start_129.wav", pcm_wave(chime_start(36592 // 2)))
    click, click_source = adpcm_wave(click_left(679), info_tags("Left click", "Tap on the touch screen"))
    write_file(out, "left_click_131.wav", click)
    write_file(out, "start_failed_133.wav",
               pcm_wave(failure_tone(96924 // 4), info_tags("Start failed", "The program could not start")))
    write_file(out, "right_click_143.wav",
               pcm_wave(right_click(80764 // 4), info_tags("Right click", "Right click on the touch screen")))
    try:
        report = verify(out, {"left_click_131.wav": click_source})
    except CheckFailed as failure:
        sys.stderr.write("generate_assets.py: check failed: %s\n" % failure)
        # Leave nothing behind that a later build would take as up to date.
        for name in list(BITMAP_FILES) + list(ICON_FILES) + list(WAVE_FILES):
            path = os.path.join(out, name)
            if os.path.exists(path):
                os.remove(path)
        return 1
    for line in report:
        print("generate_assets.py: " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

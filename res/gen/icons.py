"""The icons (groups 108 and 2): their drawing, the palette quantiser of the 8- and 4-bit images
and the ICO file."""

import math
import struct

from raster import circle, fill, intersect, linear, mix, radial, render, rgb, rrect, shaded, solid, to_bytes
from bitmaps import RING_COLOURS


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

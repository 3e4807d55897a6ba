"""The drawing kit of the bitmaps and icons: colours, shapes as signed distance functions, paints,
layers and a supersampling renderer that averages in linear light."""

import math


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

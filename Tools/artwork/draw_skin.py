#!/usr/bin/env python3
"""Draws the launcher's skin artwork (the PNG pictures and game.ico of Resources/Skin).

    python3 Tools/artwork/draw_skin.py Resources/Skin [--preview OUT_DIR]

Everything is procedural (gradients, noise, polygons, blur) and seeded, so two runs
write the same bytes. Sizes and places follow the skin documents next to the
pictures: change a document and the drawing here together. --preview also composes
each window the way a player sees it, to check the pictures by eye; the previews
are not part of the pack.
"""

import argparse
import math
import os
import random
import struct
import sys

try:
    from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont
except ImportError:
    # A python3 from elsewhere on PATH may lack Debian's python3-pil; the
    # system interpreter has it.
    if os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3") and os.path.exists(
        "/usr/bin/python3"
    ):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

FONT_DIR = "/usr/share/fonts/opentype/noto"
SC_FACE = 2  # face index of Simplified Chinese in the Noto CJK collections

TITLE = "霜石纪元"

NIGHT = (11, 20, 36)
DEEP = (19, 35, 61)
STEEL = (43, 68, 102)
ICE = (143, 199, 234)
FROST = (234, 246, 255)
GOLD = (232, 199, 122)
GOLD_DEEP = (176, 132, 58)
GOLD_LIGHT = (255, 238, 190)

ICON_SIZES = [16, 24, 32, 48, 64, 128]

SS = 4  # supersampling factor for anti-aliased shapes


# ---------------------------------------------------------------- basics


def rgba(color, alpha=255):
    return (color[0], color[1], color[2], alpha)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def sample(stops, t):
    """Colour at t of a gradient given as [(t, colour), ...] with t ascending."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0) if t1 > t0 else 0)
    return stops[-1][1]


def _ramp(n, stops):
    colors = [sample(stops, i / max(1, n - 1)) for i in range(n)]
    return [c if len(c) == 4 else rgba(c) for c in colors]


def vgradient(w, h, stops):
    """Top-to-bottom gradient; stops hold RGB (opaque) or RGBA colours."""
    column = Image.new("RGBA", (1, h))
    column.putdata(_ramp(h, stops))
    return column.resize((w, h), Image.NEAREST)


def hgradient(w, h, stops):
    row = Image.new("RGBA", (w, 1))
    row.putdata(_ramp(w, stops))
    return row.resize((w, h), Image.NEAREST)


def solid(size, color, alpha=255):
    return Image.new("RGBA", size, rgba(color, alpha))


def with_mask(layer, mask):
    """layer with its alpha multiplied by mask (L)."""
    out = layer.copy()
    out.putalpha(ImageChops.multiply(layer.getchannel("A"), mask))
    return out


def paint(dst, color_or_layer, mask, alpha=255, at=(0, 0)):
    """Composites a colour (or an RGBA layer) through mask onto dst at position at."""
    if isinstance(color_or_layer, Image.Image):
        layer = color_or_layer
    else:
        layer = solid(mask.size, color_or_layer)
    if alpha != 255:
        mask = mask.point(lambda v: v * alpha // 255)
    dst.alpha_composite(with_mask(layer, mask), at)


def ss_mask(size, draw_fn, factor=SS):
    """Anti-aliased L mask: draw_fn(draw, k) draws at k times the size in white."""
    big = Image.new("L", (size[0] * factor, size[1] * factor), 0)
    draw_fn(ImageDraw.Draw(big), factor)
    return big.resize(size, Image.BOX)


def rounded_mask(size, radius, inset=0.0, factor=SS):
    w, h = size

    def draw(d, k):
        d.rounded_rectangle(
            (inset * k, inset * k, (w - inset) * k - 1, (h - inset) * k - 1),
            radius=max(0, (radius - inset)) * k, fill=255)

    return ss_mask(size, draw, factor)


def ring_mask(size, radius, width=1.0, inset=0.0):
    """A rim of the given width just inside a rounded rectangle."""
    outer = rounded_mask(size, radius, inset)
    inner = rounded_mask(size, radius, inset + width)
    return ImageChops.subtract(outer, inner)


def noise_mask(size, seed, blur=0.0):
    rng = random.Random(seed)
    noise = Image.frombytes("L", size, rng.randbytes(size[0] * size[1]))
    if blur:
        noise = noise.filter(ImageFilter.GaussianBlur(blur))
        noise = noise.point(lambda v: max(0, min(255, (v - 128) * 4 + 128)))
    return noise


def add_noise(img, seed, strength=10, blur=0.8, region_mask=None):
    """Soft grain: lightens and darkens by up to strength levels."""
    noise = noise_mask(img.size, seed, blur)
    light = noise.point(lambda v: max(0, v - 128) * strength // 128)
    dark = noise.point(lambda v: max(0, 128 - v) * strength // 128)
    if region_mask is not None:
        light = ImageChops.multiply(light, region_mask)
        dark = ImageChops.multiply(dark, region_mask)
    keep_alpha = img.getchannel("A")
    paint(img, (255, 255, 255), light)
    paint(img, (0, 0, 0), dark)
    img.putalpha(keep_alpha)


def glow(size, shapes_fn, color, radius, alpha=255):
    """A blurred glow layer from shapes drawn by shapes_fn(draw) in white."""
    mask = Image.new("L", size, 0)
    shapes_fn(ImageDraw.Draw(mask))
    mask = mask.filter(ImageFilter.GaussianBlur(radius))
    layer = solid(size, color)
    if alpha != 255:
        mask = mask.point(lambda v: v * alpha // 255)
    layer.putalpha(mask)
    return layer


def font(kind, size):
    files = {"serif": "NotoSerifCJK-Bold.ttc", "sans": "NotoSansCJK-Regular.ttc"}
    return ImageFont.truetype(os.path.join(FONT_DIR, files[kind]), size, index=SC_FACE)


def text_width(text, fnt, spacing=0):
    return sum(fnt.getlength(ch) for ch in text) + spacing * (len(text) - 1)


def text_layer(size, origin, text, fnt, spacing=0, stroke=0):
    """L mask with text drawn from origin (left, baseline-ish 'ls' anchor)."""
    mask = Image.new("L", size, 0)
    d = ImageDraw.Draw(mask)
    x, y = origin
    for ch in text:
        d.text((x, y), ch, font=fnt, fill=255, anchor="ls", stroke_width=stroke, stroke_fill=255)
        x += fnt.getlength(ch) + spacing
    return mask


def draw_title(img, center_x, baseline, size, spacing=0, outline=3, shadow=4, halo=True):
    """The game's name in gold with a dark outline, a drop shadow and a frost halo."""
    fnt = font("serif", size)
    w = text_width(TITLE, fnt, spacing)
    origin = (center_x - w / 2, baseline)
    fill = text_layer(img.size, origin, TITLE, fnt, spacing)
    edge = text_layer(img.size, origin, TITLE, fnt, spacing, stroke=outline)
    if halo:
        aura = edge.filter(ImageFilter.GaussianBlur(size * 0.18))
        paint(img, ICE, aura, alpha=110)
    if shadow:
        drop = edge.filter(ImageFilter.GaussianBlur(shadow * 0.6))
        paint(img, (0, 0, 0), drop, alpha=200, at=(0, 0))
        shifted = Image.new("L", img.size, 0)
        shifted.paste(drop, (0, shadow // 2 + 1))
        paint(img, (0, 0, 0), shifted, alpha=170)
    paint(img, (20, 14, 8), edge)
    top = baseline - size * 0.88
    bottom = baseline + size * 0.08
    grad = Image.new("RGBA", img.size, (0, 0, 0, 0))
    band = vgradient(img.size[0], int(bottom - top) + 2,
                     [(0, GOLD_LIGHT), (0.45, GOLD), (0.55, (214, 172, 92)), (1, GOLD_DEEP)])
    grad.paste(band, (0, int(top)))
    paint(img, grad, fill)
    # a thin cold highlight on the upper edges of the strokes
    upper = ImageChops.subtract(fill, ImageChops.offset(fill, 0, 1))
    paint(img, FROST, upper, alpha=120)


def draw_label(img, box, text, fnt, color=FROST, shadow=(4, 10, 20), shadow_alpha=200, dy=0):
    """A centred one-line label with a one-pixel dark shadow under it."""
    x0, y0, x1, y1 = box
    cx = (x0 + x1) / 2
    cy = (y0 + y1) / 2 + dy
    d = ImageDraw.Draw(img)
    if shadow is not None:
        layer = Image.new("L", img.size, 0)
        ImageDraw.Draw(layer).text((cx, cy + 1), text, font=fnt, fill=255, anchor="mm")
        paint(img, shadow, layer, alpha=shadow_alpha)
    d.text((cx, cy), text, font=fnt, fill=rgba(color), anchor="mm")


# ---------------------------------------------------------------- crystals


def crystal_points(cx, cy, w, h, angle=0.0, ridge=-0.12, tip=0.22, foot=0.16):
    """Outline and ridge points of one elongated six-sided crystal (screen coordinates)."""
    top = (0.0, -h / 2)
    bottom = (0.0, h / 2)
    ul = (-w / 2, -h / 2 + h * tip)
    ur = (w / 2, -h / 2 + h * tip * 0.85)
    ll = (-w / 2, h / 2 - h * foot)
    lr = (w / 2, h / 2 - h * foot * 1.1)
    rt = (w * ridge, -h / 2 + h * tip * 1.05)
    rb = (w * ridge, h / 2 - h * foot * 1.05)
    ca, sa = math.cos(angle), math.sin(angle)

    def tr(p):
        return (cx + p[0] * ca - p[1] * sa, cy + p[0] * sa + p[1] * ca)

    return {k: tr(v) for k, v in dict(top=top, bottom=bottom, ul=ul, ur=ur, ll=ll, lr=lr,
                                      rt=rt, rb=rb).items()}


def crystal_facets(p):
    return [
        (("top", "ul", "rt"), 0),  # lit from the upper left
        (("top", "rt", "ur"), 1),
        (("ul", "ll", "rb", "rt"), 2),
        (("rt", "rb", "lr", "ur"), 3),
        (("ll", "bottom", "rb"), 4),
        (("rb", "bottom", "lr"), 5),
    ]


FACET_COLORS = [
    (226, 243, 255),
    (150, 204, 238),
    (112, 170, 218),
    (44, 84, 132),
    (70, 118, 170),
    (24, 46, 80),
]


def draw_crystal(layer, k, cx, cy, w, h, angle=0.0, fade=1.0, edge_alpha=170, colors=FACET_COLORS, tip=0.22):
    """Draws one crystal on an RGBA layer that is k times the target size."""
    p = crystal_points(cx * k, cy * k, w * k, h * k, angle, tip=tip)
    d = ImageDraw.Draw(layer)
    for names, shade in crystal_facets(p):
        c = colors[shade]
        d.polygon([p[n] for n in names], fill=rgba(c, int(255 * fade)))
    # a highlight streak along the lit body facet
    streak = [mix(p["ul"], p["rt"], 0.25), mix(p["ul"], p["rt"], 0.5),
              mix(p["ll"], p["rb"], 0.55), mix(p["ll"], p["rb"], 0.3)]
    d.polygon(streak, fill=rgba(FROST, int(70 * fade)))
    edge = rgba(FROST, int(edge_alpha * fade))
    width = max(1, int(k * 0.9))
    outline = [p[n] for n in ("top", "ur", "lr", "bottom", "ll", "ul")]
    d.line(outline + [outline[0]], fill=edge, width=width, joint="curve")
    d.line([p["top"], p["rt"], p["rb"], p["bottom"]], fill=rgba(FROST, int(edge_alpha * 0.7 * fade)),
           width=width)
    d.line([p["ul"], p["rt"], p["ur"]], fill=rgba(FROST, int(edge_alpha * 0.6 * fade)), width=width)
    d.line([p["ll"], p["rb"], p["lr"]], fill=rgba(FROST, int(edge_alpha * 0.4 * fade)), width=width)
    return p


def shade_crystals(layer, top=70, bottom=110):
    """Light from above and shadow towards the foot, over everything drawn on layer."""
    w, h = layer.size
    alpha = layer.getchannel("A")
    box = alpha.getbbox()
    if not box:
        return
    y0, y1 = box[1], box[3]
    light = Image.new("L", (1, h), 0)
    dark = Image.new("L", (1, h), 0)
    light.putdata([int(max(0.0, 1 - (y - y0) / max(1, (y1 - y0) * 0.45)) * top) for y in range(h)])
    dark.putdata([int(max(0.0, ((y - y0) / max(1, y1 - y0) - 0.4) / 0.6) * bottom) for y in range(h)])
    light = ImageChops.multiply(light.resize((w, h)), alpha)
    dark = ImageChops.multiply(dark.resize((w, h)), alpha)
    keep = alpha.copy()
    paint(layer, FROST, light)
    paint(layer, NIGHT, dark)
    layer.putalpha(keep)


def draw_stone(layer, k, cx, top, s):
    """The frost-covered rock the crystals grow from."""
    d = ImageDraw.Draw(layer)

    def pts(rel):
        return [((cx + x * s) * k, (top + y * s) * k) for x, y in rel]

    ridge = [(-104, 30), (-86, 10), (-54, -2), (-20, 6), (16, -4), (56, 4), (88, 14), (106, 32)]
    foot = [(96, 50), (48, 60), (-8, 62), (-66, 56), (-96, 46)]
    d.polygon(pts(ridge + foot), fill=rgba((34, 44, 60)))
    # the lit upper face: a band under the ridge
    upper = ridge + [(x * 0.9, y + 18) for x, y in reversed(ridge[1:-1])]
    d.polygon(pts(upper), fill=rgba((74, 92, 116)))
    # a darker face on the right, turned away from the light
    d.polygon(pts([(16, 14), (56, 22), (88, 30), (106, 32), (96, 50), (48, 60), (10, 61)]),
              fill=rgba((24, 32, 46)))
    d.line(pts([(-54, 16), (-40, 57)]), fill=rgba((22, 30, 42)), width=max(1, int(2 * s * k)))
    # snow along the ridge
    d.line(pts(ridge), fill=rgba(FROST, 235), width=int(3 * s * k), joint="curve")
    d.line(pts([(x, y + 4) for x, y in ridge[1:-1]]), fill=rgba(ICE, 120), width=int(2 * s * k), joint="curve")


def emblem(size, scale=1.0, ring=True, sparkle=True, stone=True):
    """The frost-stone emblem: a crystal cluster in a frost ring, centred in size."""
    w, h = size
    cx, cy = w / 2, h / 2
    big = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
    s = scale
    out = Image.new("RGBA", size, (0, 0, 0, 0))
    # glow behind the cluster
    halo = glow(size, lambda d: d.ellipse((cx - 95 * s, cy - 120 * s, cx + 95 * s, cy + 120 * s), fill=255),
                ICE, 38 * s, 150)
    halo.putalpha(ImageChops.multiply(halo.getchannel("A"), edge_fade(size, 40 * s)))
    out.alpha_composite(halo)
    if ring:
        ring_layer = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
        rd = ImageDraw.Draw(ring_layer)
        r = 118 * s * SS
        rd.ellipse((cx * SS - r, cy * SS - r, cx * SS + r, cy * SS + r),
                   outline=rgba(ICE, 150), width=int(2.2 * s * SS))
        r2 = r - 9 * s * SS
        rd.ellipse((cx * SS - r2, cy * SS - r2, cx * SS + r2, cy * SS + r2),
                   outline=rgba(FROST, 60), width=max(SS, int(1 * s * SS)))
        # four ticks on the ring, like a compass of frost
        for a in range(0, 360, 45):
            t = math.radians(a)
            long = 16 if a % 90 == 0 else 8
            r0, r1 = r - long * s * SS, r + long * 0.6 * s * SS
            rd.line((cx * SS + r0 * math.cos(t), cy * SS + r0 * math.sin(t),
                     cx * SS + r1 * math.cos(t), cy * SS + r1 * math.sin(t)),
                    fill=rgba(FROST, 170 if a % 90 == 0 else 110), width=max(SS, int(2 * s * SS)))
        out.alpha_composite(ring_layer.resize(size, Image.BOX))
    # side shards first, the tall one in front
    shards = [(-62, 40, 46, 150, -0.42), (64, 46, 44, 140, 0.40), (-104, 70, 26, 84, -0.75),
              (100, 78, 24, 74, 0.78), (-30, 80, 30, 96, -0.18), (34, 84, 28, 90, 0.2)]
    for dx, dy, sw, sh, a in shards:
        draw_crystal(big, SS, cx + dx * s, cy + dy * s, sw * s, sh * s, a, fade=0.96)
    draw_crystal(big, SS, cx, cy - 6 * s, 74 * s, 250 * s, 0.0)
    if stone:
        draw_stone(big, SS, cx, cy + 96 * s, s)
    small = big.resize(size, Image.BOX)
    shade_crystals(small)
    out.alpha_composite(small)
    if sparkle:
        sp = Image.new("RGBA", size, (0, 0, 0, 0))
        sd = ImageDraw.Draw(sp)
        for x, y, r in [(cx - 20 * s, cy - 112 * s, 9 * s), (cx + 58 * s, cy - 28 * s, 6 * s),
                        (cx - 70 * s, cy - 6 * s, 5 * s)]:
            sd.line((x - r, y, x + r, y), fill=rgba(FROST, 230), width=1)
            sd.line((x, y - r, x, y + r), fill=rgba(FROST, 230), width=1)
            sd.ellipse((x - 1.5, y - 1.5, x + 1.5, y + 1.5), fill=rgba((255, 255, 255), 255))
        out.alpha_composite(sp.filter(ImageFilter.GaussianBlur(0.4)))
        out.alpha_composite(sp)
    return out


# ---------------------------------------------------------------- scenery


def ridge_line(width, seed, base, amplitude, roughness=0.55, points=65):
    """Heights of a mountain ridge by midpoint displacement, one per x."""
    rng = random.Random(seed)
    ys = [0.0] * points
    ys[0], ys[-1] = rng.uniform(-1, 1), rng.uniform(-1, 1)
    step, scale = points - 1, 1.0
    while step > 1:
        half = step // 2
        for i in range(half, points - 1, step):
            ys[i] = (ys[i - half] + ys[i + half]) / 2 + rng.uniform(-scale, scale)
        step, scale = half, scale * roughness
    # use the whole amplitude whatever the dice gave
    low, high = min(ys), max(ys)
    ys = [(y - low) / (high - low) * 2 - 1 for y in ys]
    out = []
    for x in range(width):
        t = x / max(1, width - 1) * (points - 1)
        i = min(int(t), points - 2)
        f = t - i
        out.append(base - amplitude * (ys[i] * (1 - f) + ys[i + 1] * f))
    return out


def mountains(size, seed, layers):
    """Layered mountain silhouettes; layers = [(base, amplitude, colour top, colour bottom, rim alpha)]."""
    w, h = size
    out = Image.new("RGBA", size, (0, 0, 0, 0))
    for n, (base, amp, top_color, bottom_color, rim) in enumerate(layers):
        ys = ridge_line(w, seed * 31 + n, base, amp)
        mask = ss_mask(size, lambda d, k: d.polygon(
            [(x * k, ys[x] * k) for x in range(w)] + [(w * k, h * k), (0, h * k)], fill=255))
        top = int(min(ys))
        body = Image.new("RGBA", size, (0, 0, 0, 0))
        body.paste(vgradient(w, h - top, [(0, top_color), (1, bottom_color)]), (0, top))
        paint(out, body, mask)
        if rim:
            # snow light on slopes that face the upper left
            rim_mask = ImageChops.subtract(mask, ImageChops.offset(mask, 0, 2))
            slope = [max(0, min(255, int((ys[max(0, x - 1)] - ys[min(w - 1, x + 1)]) * -60 + 80)))
                     for x in range(w)]
            slope_img = Image.new("L", (w, 1))
            slope_img.putdata(slope)
            slope_img = slope_img.resize(size, Image.NEAREST)
            paint(out, FROST, ImageChops.multiply(rim_mask, slope_img), alpha=rim)
    return out


def snow(size, seed, count, region=None, max_alpha=200, big=0.08):
    """Faint snow particles."""
    w, h = size
    rng = random.Random(seed)
    layer = Image.new("RGBA", (w * 2, h * 2), (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    x0, y0, x1, y1 = region or (0, 0, w, h)
    for _ in range(count):
        x, y = rng.uniform(x0, x1) * 2, rng.uniform(y0, y1) * 2
        r = rng.uniform(0.6, 1.3) * (2.6 if rng.random() < big else 1.0)
        a = int(rng.uniform(0.25, 1.0) * max_alpha)
        d.ellipse((x - r, y - r, x + r, y + r), fill=rgba(FROST, a))
    return layer.resize(size, Image.BOX)


def aurora(size, seed, color, alpha):
    """A soft band of cold light across the sky."""
    w, h = size
    rng = random.Random(seed)
    mask = Image.new("L", size, 0)
    d = ImageDraw.Draw(mask)
    phase = rng.uniform(0, math.tau)
    for x in range(0, w, 3):
        y = h * 0.45 + math.sin(x / w * math.pi * 2.2 + phase) * h * 0.18
        d.line((x, y - h * 0.10, x, y + h * 0.08), fill=int(150 + 100 * math.sin(x / w * 9 + phase) ** 2), width=3)
    mask = mask.filter(ImageFilter.GaussianBlur(h * 0.12 + 4))
    layer = solid(size, color)
    layer.putalpha(mask.point(lambda v: v * alpha // 255))
    return layer


# ---------------------------------------------------------------- main frame


MAIN_SIZE = (1280, 829)
PANEL = (450, 150, 1230, 760)
PANEL_RADIUS = 10
LOGIN = (474, 305, 700, 380)
TITLE_X = 262
HEADER_BOTTOM = 296
FOOTER_TOP = 697


def edge_fade(size, margin):
    """255 inside, falling smoothly to 0 at the picture's edges, so glows never end in a cut."""
    fade = Image.new("L", size, 0)
    ImageDraw.Draw(fade).rectangle((margin, margin, size[0] - 1 - margin, size[1] - 1 - margin), fill=255)
    return fade.filter(ImageFilter.GaussianBlur(margin / 2.5))


def draw_background():
    W, H = MAIN_SIZE
    x0, y0, x1, y1 = PANEL
    pw, ph = x1 - x0, y1 - y0
    img = Image.new("RGBA", MAIN_SIZE, (0, 0, 0, 0))

    # soft shadow and frost glow around the panel (the desktop shows through)
    shade = Image.new("L", MAIN_SIZE, 0)
    ImageDraw.Draw(shade).rounded_rectangle((x0 + 2, y0 + 8, x1 - 2, y1 + 8), PANEL_RADIUS, fill=150)
    shade = shade.filter(ImageFilter.GaussianBlur(9))
    paint(img, (0, 0, 0), shade)
    rim_glow = Image.new("L", MAIN_SIZE, 0)
    ImageDraw.Draw(rim_glow).rounded_rectangle((x0, y0, x1 - 1, y1 - 1), PANEL_RADIUS, outline=255, width=2)
    paint(img, ICE, rim_glow.filter(ImageFilter.GaussianBlur(4)), alpha=90)

    # the key illustration's haze, behind the panel on the left
    haze = Image.new("L", MAIN_SIZE, 0)
    ImageDraw.Draw(haze).ellipse((70, 40, 520, 540), fill=255)
    haze = haze.filter(ImageFilter.GaussianBlur(50))
    paint(img, NIGHT, ImageChops.multiply(haze, edge_fade(MAIN_SIZE, 80)), alpha=200)

    # panel body
    panel = vgradient(pw, ph, [(0, (24, 43, 72)), (0.22, DEEP), (0.6, (14, 26, 46)), (1, NIGHT)])
    sky = aurora((pw, 150), 7, ICE, 46)
    panel.alpha_composite(sky, (0, 0))
    ridge = mountains((pw, 150), 3, [
        (100, 46, (58, 88, 126), (28, 48, 78), 120),
        (126, 30, (32, 56, 90), (19, 35, 61), 90),
        (146, 12, (17, 31, 54), (16, 29, 50), 0),
    ])
    panel.alpha_composite(ridge, (0, 0))
    # the header fades into the body under it
    panel.alpha_composite(vgradient(pw, 60, [(0, rgba(DEEP, 0)), (1, rgba((16, 29, 50), 255))]), (0, 148))
    panel.alpha_composite(snow((pw, 150), 11, 160, max_alpha=150), (0, 0))
    add_noise(panel, 21, strength=9)

    # separators under the header and above the footer
    sep = hgradient(pw - 40, 1, [(0, rgba(ICE, 0)), (0.5, rgba(ICE, 120)), (1, rgba(ICE, 0))])
    panel.alpha_composite(sep, (20, HEADER_BOTTOM - y0))
    panel.alpha_composite(sep, (20, FOOTER_TOP - y0))

    # the login page's well
    lx, ly, lw, lh = LOGIN
    wx, wy = lx - x0, ly - y0
    well = vgradient(lw + 2, lh + 2, [(0, (8, 15, 28)), (1, (10, 19, 34))])
    inner = Image.new("L", (lw + 2, lh + 2), 0)
    ImageDraw.Draw(inner).rectangle((0, 0, lw + 1, lh + 1), outline=255, width=10)
    paint(well, (0, 0, 0), inner.filter(ImageFilter.GaussianBlur(6)), alpha=120)
    mark = emblem((300, 300), scale=0.9, ring=True, sparkle=False)
    mark.putalpha(mark.getchannel("A").point(lambda v: v * 22 // 255))
    well.alpha_composite(mark, ((lw + 2 - 300) // 2, (lh + 2 - 300) // 2))
    ImageDraw.Draw(well).rectangle((0, 0, lw + 1, lh + 1), outline=rgba(STEEL))
    panel.alpha_composite(well, (wx - 1, wy - 1))
    d = ImageDraw.Draw(panel)
    for cx, cy, sx, sy in [(wx - 1, wy - 1, 1, 1), (wx + lw, wy - 1, -1, 1),
                           (wx - 1, wy + lh, 1, -1), (wx + lw, wy + lh, -1, -1)]:
        d.line((cx, cy, cx + 14 * sx, cy), fill=rgba(ICE, 230))
        d.line((cx, cy, cx, cy + 14 * sy), fill=rgba(ICE, 230))

    # the strip right of the well: a frost line with three crystals, so the margin reads as designed
    sx = (wx + lw + pw) // 2
    strip = vgradient(1, lh - 40, [(0, rgba(ICE, 0)), (0.5, rgba(ICE, 150)), (1, rgba(ICE, 0))])
    panel.alpha_composite(strip, (sx, wy + 20))
    gems = Image.new("RGBA", (pw * SS, ph * SS), (0, 0, 0, 0))
    for gy, gh in ((wy + lh // 2, 30), (wy + lh // 2 - 70, 16), (wy + lh // 2 + 70, 16)):
        draw_crystal(gems, SS, sx + 0.5, gy, gh * 0.42, gh, 0.0, edge_alpha=200)
    gems = gems.resize((pw, ph), Image.BOX)
    panel.alpha_composite(glow((pw, ph), lambda dd: dd.ellipse((sx - 8, wy + lh // 2 - 18, sx + 9, wy + lh // 2 + 18),
                                                               fill=255), ICE, 8, 120))
    panel.alpha_composite(gems)

    # footer: the health advisory every game of this market shows
    small = font("sans", 11)
    advice = ["抵制不良游戏，拒绝盗版游戏。注意自我保护，谨防受骗上当。",
              "适度游戏益脑，沉迷游戏伤身。合理安排时间，享受健康生活。"]
    for i, line in enumerate(advice):
        d.text((wx + 2, FOOTER_TOP - y0 + 14 + i * 17), line, font=small, fill=rgba((120, 146, 178)), anchor="lt")

    mask = rounded_mask((pw, ph), PANEL_RADIUS)
    paint(img, panel, mask, at=(x0, y0))
    # the rim: ice light with a darker line inside it
    paint(img, ICE, ring_mask((pw, ph), PANEL_RADIUS, 1.0), alpha=200, at=(x0, y0))
    paint(img, NIGHT, ring_mask((pw, ph), PANEL_RADIUS, 1.0, inset=1.0), alpha=160, at=(x0, y0))
    top_light = hgradient(pw - 2 * PANEL_RADIUS, 1,
                          [(0, rgba(FROST, 0)), (0.35, rgba(FROST, 200)), (1, rgba(FROST, 0))])
    img.alpha_composite(top_light, (x0 + PANEL_RADIUS, y0))

    # the key illustration: emblem rising over the panel's upper-left corner, title under it
    em = emblem((420, 420), scale=1.25)
    em.putalpha(ImageChops.multiply(em.getchannel("A"), edge_fade(em.size, 6)))
    img.alpha_composite(em, (52, -8))
    draw_title(img, TITLE_X, 474, 84, spacing=6)
    sub = font("serif", 15)
    line = "F R O S T S T O N E   E R A"
    d = ImageDraw.Draw(img)
    sw = d.textlength(line, font=sub)
    d.text((TITLE_X - sw / 2 + 1, 503), line, font=sub, fill=(0, 0, 0, 200), anchor="ls")
    d.text((TITLE_X - sw / 2, 502), line, font=sub, fill=rgba(ICE, 235), anchor="ls")
    flank = hgradient(70, 1, [(0, rgba(ICE, 0)), (1, rgba(ICE, 200))])
    img.alpha_composite(flank, (int(TITLE_X - sw / 2 - 82), 497))
    img.alpha_composite(flank.transpose(Image.FLIP_LEFT_RIGHT), (int(TITLE_X + sw / 2 + 12), 497))
    return img


# ---------------------------------------------------------------- buttons


def plate(size, radius, top, bottom, border, border_alpha=255, highlight=50, inner_glow=None):
    """A button plate: vertical gradient, rounded, with a rim and a top highlight."""
    w, h = size
    img = Image.new("RGBA", size, (0, 0, 0, 0))
    paint(img, vgradient(w, h, [(0, top), (1, bottom)]), rounded_mask(size, radius))
    if inner_glow:
        glow_mask = ring_mask(size, radius, 3.0, 1.0).filter(ImageFilter.GaussianBlur(1.5))
        paint(img, inner_glow, glow_mask, alpha=140)
    if highlight:
        line = hgradient(w - 2 * radius, 1, [(0, rgba(FROST, 0)), (0.5, rgba(FROST, highlight)),
                                             (1, rgba(FROST, 0))])
        img.alpha_composite(line, (radius, 1))
    paint(img, border, ring_mask(size, radius, 1.0), alpha=border_alpha)
    return img


def shifted_down(img, pixels=1):
    out = Image.new("RGBA", img.size, (0, 0, 0, 0))
    out.paste(img.crop((0, 0, img.size[0], img.size[1] - pixels)), (0, pixels))
    return out


def text_button(size, label, fnt, state, gold=False, radius=4, plate_top=0, plate_h=None):
    """A labelled plate; the plate may fill only rows plate_top .. plate_top + plate_h of the face."""
    w, h = size
    plate_h = plate_h or h
    if gold:
        looks = {
            "normal": ((240, 214, 146), (196, 152, 72), (255, 236, 186), 230, 90, None, (44, 28, 6)),
            "hover": ((255, 236, 180), (222, 180, 96), ICE, 255, 130, FROST, (36, 22, 4)),
            "pressed": ((206, 170, 98), (160, 118, 52), (236, 210, 150), 230, 40, None, (40, 26, 6)),
        }
    else:
        looks = {
            "normal": ((36, 60, 94), (20, 36, 60), (72, 104, 144), 255, 50, None, FROST),
            "hover": ((58, 98, 146), (34, 64, 104), ICE, 255, 110, ICE, (255, 255, 255)),
            "pressed": ((22, 38, 62), (14, 26, 44), (58, 86, 122), 255, 20, None, (200, 220, 236)),
        }
    top, bottom, border, border_alpha, hl, inner, text_color = looks[state]
    img = Image.new("RGBA", size, (0, 0, 0, 0))
    img.alpha_composite(plate((w, plate_h), radius, top, bottom, border, border_alpha, hl, inner), (0, plate_top))
    shadow = (255, 240, 200) if gold else (4, 10, 20)
    draw_label(img, (0, plate_top, w, plate_top + plate_h), label, fnt, text_color, shadow=shadow,
               shadow_alpha=90 if gold else 200, dy=-0.5)
    if state == "pressed":
        img = shifted_down(img)
    return img


def glyph_layer(size, kind, scale, k=SS, stroke=2.0, offset=(0, 0)):
    """A window-button glyph as an anti-aliased mask, centred; scale = glyph box in px."""
    w, h = size
    cx, cy = w / 2 + offset[0], h / 2 + offset[1]
    s = scale / 2

    def draw(d, k):
        sw = stroke * k

        def line(x0, y0, x1, y1):
            d.line((x0 * k, y0 * k, x1 * k, y1 * k), fill=255, width=int(round(sw)))

        def box(x0, y0, x1, y1):
            # outline drawn inside the box so that stroke widths stay exact
            d.rectangle((x0 * k, y0 * k, x1 * k - 1, y1 * k - 1), outline=255, width=int(round(sw)))

        if kind == "min":
            y = round(cy + s * 0.55)
            d.rectangle(((cx - s) * k, y * k, (cx + s) * k - 1, (y + stroke) * k - 1), fill=255)
        elif kind == "close":
            line(cx - s, cy - s, cx + s, cy + s)
            line(cx - s, cy + s, cx + s, cy - s)
        elif kind == "max":
            x0, y0 = round(cx - s), round(cy - s)
            box(x0, y0, x0 + scale, y0 + scale)
            d.rectangle((x0 * k, y0 * k, (x0 + scale) * k - 1, (y0 + stroke) * k - 1), fill=255)
        elif kind == "restore":
            x0, y0 = round(cx - s), round(cy - s)
            o = max(2, round(scale * 0.3))
            # back window: only its visible top and right edges
            d.rectangle(((x0 + o) * k, y0 * k, (x0 + scale) * k - 1, (y0 + stroke * 0.8) * k - 1), fill=255)
            d.rectangle(((x0 + scale - stroke * 0.8) * k, y0 * k, (x0 + scale) * k - 1,
                         (y0 + scale - o) * k - 1), fill=255)
            box(x0, y0 + o, x0 + scale - o, y0 + scale)

    return ss_mask(size, draw, k)


def window_button(size, kind, state, scale, stroke, plate_inset, radius, danger=False):
    w, h = size
    img = Image.new("RGBA", size, (0, 0, 0, 0))
    px0, py0 = plate_inset
    psize = (w - 2 * px0, h - 2 * py0)
    if state != "normal":
        if state == "hover":
            looks = ((168, 52, 62), (120, 30, 42)) if danger else ((60, 100, 148), (34, 62, 102))
            p = plate(psize, radius, looks[0], looks[1], ICE, 255, 90, FROST if danger else ICE)
        else:
            looks = ((98, 26, 34), (70, 18, 26)) if danger else ((20, 36, 60), (12, 22, 40))
            p = plate(psize, radius, looks[0], looks[1], (70, 100, 138), 255, 0)
        img.alpha_composite(p, (px0, py0))
    color = {"normal": (214, 230, 244), "hover": (255, 255, 255), "pressed": (178, 198, 218)}[state]
    mask = glyph_layer(size, kind, scale, stroke=stroke)
    if state == "normal":
        halo = mask.filter(ImageFilter.GaussianBlur(1.2))
        paint(img, (0, 0, 0), halo, alpha=200)
    paint(img, color, mask)
    if state == "pressed":
        img = shifted_down(img)
    return img


def draw_buttons(out):
    link = font("sans", 15)
    for name, label in [("mainpage", "主页"), ("charge", "充值"), ("forum", "论坛"), ("service", "客服")]:
        gold = name == "charge"
        # the documents put 充值 one pixel lower than the other three: its plate sits one
        # row higher in its face, so all four plates line up on screen (y 253 to 282)
        top = 0 if name == "charge" else 1
        out[name + "01.png"] = text_button((90, 31), label, link, "normal", gold, plate_top=top, plate_h=30)
        out[name + "02.png"] = text_button((90, 31), label, link, "hover", gold, plate_top=top, plate_h=30)
    cache = font("sans", 13)
    for n, state in (("01", "normal"), ("02", "hover"), ("03", "pressed")):
        out["clearcache%s.png" % n] = text_button((87, 25), "清除缓存", cache, state, radius=3)
        out["bosskey%s.png" % n] = text_button((60, 23), "老板键", font("sans", 12), state, radius=3)
        out["minimize%s.png" % n] = window_button((55, 56), "min", state, 16, 2.0, (8, 8), 6)
        out["close%s.png" % n] = window_button((55, 56), "close", state, 15, 2.2, (8, 8), 6, danger=True)
        out["mini%s.png" % n] = window_button((25, 24), "min", state, 10, 1.5, (1, 1), 3)
        out["max%s.png" % n] = window_button((25, 24), "max", state, 10, 1.25, (1, 1), 3)
        out["restore%s.png" % n] = window_button((25, 24), "restore", state, 10, 1.25, (1, 1), 3)
        out["gameclose%s.png" % n] = window_button((25, 24), "close", state, 9, 1.5, (1, 1), 3, danger=True)


# ---------------------------------------------------------------- splash


SPLASH_SIZE = (591, 304)
BAR_AT = (87, 175)
BAR_SIZE = (415, 7)


def crystal_cluster(layer, k, cx, base, height, lean=1.0, fade=1.0):
    """Crystals fanning out of one foot point; the tallest stands in the middle."""
    parts = [(-0.55, 0.55, -0.55), (0.6, 0.5, 0.6), (-0.28, 0.78, -0.25), (0.3, 0.7, 0.3), (0.0, 1.0, 0.05 * lean)]
    for dx, hs, angle in parts:
        h = height * hs
        a = angle * lean
        # the foot stays near the base point, the crystal leans out from it
        cx_i = cx + dx * height * 0.18 + math.sin(a) * h / 2
        cy_i = base - math.cos(a) * h / 2
        draw_crystal(layer, k, cx_i, cy_i, h * 0.3, h, a, fade=fade, edge_alpha=150)


def draw_splash():
    W, H = SPLASH_SIZE
    img = vgradient(W, H, [(0, (26, 46, 78)), (0.35, DEEP), (0.7, (14, 26, 46)), (1, NIGHT)])
    img.alpha_composite(aurora((W, 130), 17, ICE, 60), (0, 0))
    img.alpha_composite(snow((W, 180), 19, 90, max_alpha=150), (0, 0))
    # two crystal clusters rising behind the far range, framing the bar; clear of the
    # groove (y 172-185 from x 84) and of the status line (x 440 on, y 200-220)
    gems = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    crystal_cluster(gems, SS, 46, 290, 108, lean=1.0)
    crystal_cluster(gems, SS, 548, 298, 70, lean=-0.9)
    gems = gems.resize((W, H), Image.BOX)
    shade_crystals(gems, 60, 140)
    img.alpha_composite(glow((W, H), lambda d: (d.ellipse((0, 200, 100, 320), fill=255),
                                                d.ellipse((505, 235, 595, 320), fill=255)), ICE, 26, 110))
    far = mountains((W, H), 43, [(248, 22, (40, 64, 98), (24, 42, 70), 40)])
    far.putalpha(far.getchannel("A").point(lambda v: v * 150 // 255))
    img.alpha_composite(far)
    img.alpha_composite(gems)
    ranges = mountains((W, H), 29, [
        (262, 34, (48, 76, 112), (26, 44, 72), 120),
        (280, 20, (26, 46, 76), (16, 29, 50), 90),
        (296, 8, (13, 24, 42), (11, 20, 36), 0),
    ])
    img.alpha_composite(ranges)
    img.alpha_composite(snow((W, 80), 37, 50, max_alpha=120), (0, 224))
    add_noise(img, 41, strength=8)

    # the title, flanked by frost lines that end in small crystals
    fnt = font("serif", 44)
    tw = text_width(TITLE, fnt, 4)
    img.alpha_composite(glow((W, H), lambda d: d.ellipse((W / 2 - tw / 2 - 40, -30, W / 2 + tw / 2 + 40, 70),
                                                         fill=255), ICE, 30, 60))
    draw_title(img, W // 2, 60, 44, spacing=4, outline=2, shadow=3)
    flank = hgradient(86, 1, [(0, rgba(ICE, 0)), (1, rgba(ICE, 210))])
    left_end = int(W / 2 - tw / 2 - 16)
    right_start = int(W / 2 + tw / 2 + 16)
    img.alpha_composite(flank, (left_end - 86, 42))
    img.alpha_composite(flank.transpose(Image.FLIP_LEFT_RIGHT), (right_start, 42))
    tips = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    for x in (left_end - 92, right_start + 92):
        draw_crystal(tips, SS, x, 42.5, 6, 14, math.pi / 2, edge_alpha=200)
    img.alpha_composite(tips.resize((W, H), Image.BOX))

    # the bar's groove
    bx, by = BAR_AT
    bw, bh = BAR_SIZE
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((bx - 3, by - 3, bx + bw + 2, by + bh + 2), 4, fill=rgba((6, 11, 20), 220),
                        outline=rgba((74, 108, 148), 170))
    d.rectangle((bx, by, bx + bw - 1, by + bh - 1), fill=rgba((3, 7, 14)))
    d.line((bx, by, bx + bw - 1, by), fill=rgba((0, 0, 0)))
    d.line((bx - 2, by + bh + 3, bx + bw + 1, by + bh + 3), fill=rgba(ICE, 50))

    # frame: rounded corners, ice rim
    mask = rounded_mask((W, H), 5)
    out = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    paint(out, img, mask)
    paint(out, ICE, ring_mask((W, H), 5, 1.0), alpha=210)
    top_light = hgradient(W - 40, 1, [(0, rgba(FROST, 0)), (0.5, rgba(FROST, 180)), (1, rgba(FROST, 0))])
    out.alpha_composite(top_light, (20, 0))
    return out


def draw_bar():
    w, h = BAR_SIZE
    body = hgradient(w, h, [(0, (58, 132, 196)), (0.55, (130, 196, 238)), (0.93, (214, 238, 255)),
                            (1, (255, 255, 255))])
    shade = vgradient(w, h, [(0, (255, 255, 255, 110)), (0.3, (255, 255, 255, 30)), (0.6, (0, 0, 0, 0)),
                             (1, (0, 20, 50, 90))])
    body.alpha_composite(shade)
    sheen = glow((w, h), lambda d: d.ellipse((w - 22, -4, w + 10, h + 4), fill=255), (255, 255, 255), 3, 220)
    body.alpha_composite(sheen)
    return body


# ---------------------------------------------------------------- game frame


TOP_H = 32


def draw_frame_pieces(out):
    top = vgradient(8, TOP_H, [(0, (30, 52, 84)), (0.5, (18, 33, 57)), (1, (11, 20, 36))])
    d = ImageDraw.Draw(top)
    d.line((0, 0, 7, 0), fill=rgba((70, 104, 146)))
    d.line((0, TOP_H - 2, 7, TOP_H - 2), fill=rgba((98, 150, 196)))
    d.line((0, TOP_H - 1, 7, TOP_H - 1), fill=rgba((6, 11, 20)))
    out["top.png"] = top

    side = hgradient(4, 8, [(0, (6, 11, 20)), (0.34, (26, 44, 70)), (0.67, (18, 32, 54)), (1, (8, 14, 26))])
    out["left.png"] = side
    bottom = vgradient(8, 4, [(0, (8, 14, 26)), (0.34, (18, 32, 54)), (0.67, (26, 44, 70)), (1, (6, 11, 20))])
    out["bottom.png"] = bottom

    # logo: a small crystal and the title, on a transparent ground
    w, h = 128, TOP_H
    logo = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    logo.alpha_composite(glow((w, h), lambda dd: dd.ellipse((4, 6, 21, 27), fill=255), ICE, 4, 70))
    big = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
    draw_crystal(big, SS, 6.5, 19, 6, 14, -0.5, edge_alpha=90)
    draw_crystal(big, SS, 18.5, 19.5, 6, 13, 0.5, edge_alpha=90)
    draw_crystal(big, SS, 12.5, 15.5, 10, 27, 0.0, edge_alpha=120)
    gems = big.resize((w, h), Image.BOX)
    shade_crystals(gems, 50, 90)
    logo.alpha_composite(gems)
    draw_title_small(logo, 30, 23, 18)
    out["logo.png"] = logo.crop((0, 0, logo.getbbox()[2] + 2, h))


def draw_title_small(img, x, baseline, size):
    fnt = font("serif", size)
    spacing = 2
    fill = text_layer(img.size, (x, baseline), TITLE, fnt, spacing)
    edge = text_layer(img.size, (x, baseline), TITLE, fnt, spacing, stroke=1)
    paint(img, (0, 0, 0), ImageChops.offset(edge, 0, 1).filter(ImageFilter.GaussianBlur(0.8)), alpha=220)
    paint(img, (24, 16, 6), edge, alpha=230)
    band = Image.new("RGBA", img.size, (0, 0, 0, 0))
    band.paste(vgradient(img.size[0], size, [(0, GOLD_LIGHT), (0.5, GOLD), (1, GOLD_DEEP)]),
               (0, int(baseline - size * 0.88)))
    paint(img, band, fill)


# ---------------------------------------------------------------- icon


def icon_image(n):
    """The emblem on a dark rounded square, drawn for n x n pixels."""
    k = 8
    big = Image.new("RGBA", (n * k, n * k), (0, 0, 0, 0))
    radius = max(2, round(n * 0.2))
    ground = vgradient(n * k, n * k, [(0, (34, 62, 100)), (0.55, DEEP), (1, NIGHT)])
    mask = Image.new("L", (n * k, n * k), 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, n * k - 1, n * k - 1), radius * k, fill=255)
    big.paste(ground, (0, 0), mask)
    d = ImageDraw.Draw(big)
    rim_w = k if n < 48 else int(k * 1.5)
    d.rounded_rectangle((0, 0, n * k - 1, n * k - 1), radius * k, outline=rgba(ICE, 200 if n >= 24 else 150),
                        width=rim_w)
    c = n * k / 2
    if n >= 48:
        glow_layer = Image.new("L", (n * k, n * k), 0)
        ImageDraw.Draw(glow_layer).ellipse((c - n * k * 0.28, c - n * k * 0.36, c + n * k * 0.28,
                                            c + n * k * 0.36), fill=200)
        glow_layer = glow_layer.filter(ImageFilter.GaussianBlur(n * k * 0.1))
        paint(big, ICE, ImageChops.multiply(glow_layer, mask), alpha=120)
    if n <= 16:
        # four facets only; edges on whole pixels so it stays crisp
        top, bottom = (c, 2 * k), (c, n * k - 2 * k)
        left, right = (c - 5 * k, c - 1 * k), (c + 5 * k, c - 1 * k)
        mid = (c - 1 * k, c - 1 * k)
        d.polygon([top, left, mid], fill=rgba((226, 243, 255)))
        d.polygon([top, mid, right], fill=rgba((143, 199, 234)))
        d.polygon([left, bottom, mid], fill=rgba((96, 156, 208)))
        d.polygon([mid, bottom, right], fill=rgba((40, 78, 124)))
    elif n <= 24:
        draw_crystal(big, k, n / 2, n / 2, n * 0.5, n * 0.8, 0.0, edge_alpha=90, tip=0.3)
    else:
        if n >= 32:
            draw_crystal(big, k, n * 0.30, n * 0.58, n * 0.17, n * 0.46, -0.45, fade=1.0,
                         edge_alpha=160 if n >= 48 else 0)
            draw_crystal(big, k, n * 0.70, n * 0.60, n * 0.16, n * 0.42, 0.45, fade=1.0,
                         edge_alpha=160 if n >= 48 else 0)
        draw_crystal(big, k, n / 2, n * 0.49, n * 0.30, n * 0.80, 0.0, edge_alpha=200 if n >= 48 else 110)
    img = big.resize((n, n), Image.BOX)
    if n >= 64:
        sp = ImageDraw.Draw(img)
        x, y, r = n * 0.40, n * 0.20, n * 0.07
        sp.line((x - r, y, x + r, y), fill=rgba(FROST, 220))
        sp.line((x, y - r, x, y + r), fill=rgba(FROST, 220))
    return img


def icon_entry(img):
    """One 32-bit DIB icon image: header, bottom-up BGRA rows, then the AND mask
    (set where the pixel is fully transparent) that old readers still expect."""
    w, h = img.size
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    mask_rows = []
    stride = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):
        row = img.crop((0, y, w, y + 1)).tobytes()
        bgra = bytearray(row)
        bgra[0::4], bgra[2::4] = row[2::4], row[0::4]
        rows.append(bytes(bgra))
        bits = bytearray(stride)
        for x in range(w):
            if row[x * 4 + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(bits))
    return header + b"".join(rows) + b"".join(mask_rows)


def write_icon(path):
    images = [icon_image(n) for n in ICON_SIZES]
    entries = [icon_entry(im) for im in images]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for im, data in zip(images, entries):
        w, h = im.size
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(entries))


# ---------------------------------------------------------------- output


def draw_all():
    out = {}
    out["bg.png"] = draw_background()
    out["loading_bg.png"] = draw_splash()
    out["loading_bar.png"] = draw_bar()
    draw_buttons(out)
    draw_frame_pieces(out)
    return out


def save_png(img, path):
    # optimize makes the files small; no metadata goes in, so the bytes repeat
    img.save(path, format="PNG", optimize=True)


# ---------------------------------------------------------------- previews


def desktop(size, seed=1):
    """A stand-in desktop: a muted wallpaper gradient with a few blurry shapes."""
    w, h = size
    img = vgradient(w, h, [(0, (92, 112, 128)), (0.5, (128, 138, 140)), (1, (168, 156, 132))])
    rng = random.Random(seed)
    shapes = Image.new("RGBA", size, (0, 0, 0, 0))
    d = ImageDraw.Draw(shapes)
    for _ in range(14):
        x, y, r = rng.uniform(0, w), rng.uniform(0, h), rng.uniform(60, 220)
        c = (rng.randint(150, 230), rng.randint(150, 220), rng.randint(120, 200), 90)
        d.ellipse((x - r, y - r, x + r, y + r), fill=c)
    img.alpha_composite(shapes.filter(ImageFilter.GaussianBlur(40)))
    for i in range(6):
        d2 = ImageDraw.Draw(img)
        d2.rounded_rectangle((24, 24 + i * 86, 72, 72 + i * 86), 8, fill=(235, 235, 235, 200))
    return img


def place(dst, img, xy):
    dst.alpha_composite(img, (int(xy[0]), int(xy[1])))


MAIN_BUTTONS = [  # id, x, y, faces
    ("min", 1106, 166, "minimize"), ("close", 1161, 166, "close"), ("mainpage", 554, 252, "mainpage"),
    ("charge", 701, 253, "charge"), ("forum", 845, 252, "forum"), ("service", 989, 252, "service"),
    ("clear", 1054, 709, "clearcache"),
]
GAME_BUTTONS = [("bosskey", 160), ("mini", 92), ("max", 62), ("gameclose", 32)]


def status_text(img, xy, text, width):
    """White status text as the launcher draws it: 12 px, left-aligned, vertically centred in 20 px."""
    x, y = xy
    layer = Image.new("RGBA", img.size, (0, 0, 0, 0))
    ImageDraw.Draw(layer).text((x, y + 10), text, font=font("sans", 12), fill=(255, 255, 255, 255), anchor="lm")
    clip = Image.new("L", img.size, 0)
    ImageDraw.Draw(clip).rectangle((x, y, min(img.size[0], x + width) - 1, y + 19), fill=255)
    layer.putalpha(ImageChops.multiply(layer.getchannel("A"), clip))
    img.alpha_composite(layer)


def previews(pics, skin_dir, outdir):
    os.makedirs(outdir, exist_ok=True)
    # main frame on a desktop, buttons idle; a second copy with hover on every button
    for variant, face in (("main", "01"), ("main_hover", "02")):
        scene = desktop((1480, 1000))
        frame = pics["bg.png"].copy()
        for _, x, y, name in MAIN_BUTTONS:
            place(frame, pics[name + face + ".png"], (x, y))
        place(scene, frame, (100, 85))
        scene.convert("RGB").save(os.path.join(outdir, variant + ".png"))

    # splash: update layout at 70 %, and the self-update layout at 50 %
    bar = pics["loading_bar.png"]
    scene = desktop((1400, 420), 2)
    for i, (mode, frac) in enumerate((("update", 0.7), ("self", 0.5))):
        win = pics["loading_bg.png"].copy()
        d = max(1, min(bar.size[0], int(bar.size[0] * frac)))
        if mode == "update":
            place(win, bar.crop((0, 0, d, bar.size[1])), BAR_AT)
            status_text(win, (440, 200), "正在下载更新… 70%", 500)
        else:
            place(win, bar.crop((0, 0, d, bar.size[1])), (64, 71))
            fnt = font("sans", 12)
            for text, y in (("下载进度 50 %", 116), ("正在更新微端", 136)):
                x = int((win.size[0] - fnt.getlength(text)) / 2)
                status_text(win, (x, y), text, 500)
        place(scene, win, (60 + i * 680, 58))
    scene.convert("RGB").save(os.path.join(outdir, "splash.png"))
    big = scene.crop((60, 58, 60 + 591, 58 + 304)).resize((591 * 2, 304 * 2), Image.NEAREST)
    big.convert("RGB").save(os.path.join(outdir, "splash_x2.png"))

    # game frame, 1380 x 820, not maximised
    W, H = 1380, 820
    frame = Image.new("RGBA", (W, H), (0, 0, 0, 255))
    top, left, bottom = pics["top.png"], pics["left.png"], pics["bottom.png"]
    th, bh, sw = top.size[1], bottom.size[1], left.size[0]
    frame.alpha_composite(top.resize((W, th), Image.BILINEAR), (0, 0))
    frame.alpha_composite(pics["logo.png"], (10, 0))
    frame.alpha_composite(bottom.resize((W, bh), Image.BILINEAR), (0, H - bh))
    side = left.resize((sw, H - th - bh), Image.BILINEAR)
    frame.alpha_composite(side, (0, th))
    frame.alpha_composite(side, (W - sw, th))
    game = vgradient(W - 2 * sw, H - th - bh, [(0, (60, 70, 60)), (1, (30, 34, 30))])
    frame.alpha_composite(game, (sw, th))
    for name, pos in GAME_BUTTONS:
        frame.alpha_composite(pics[name + "01.png"], (W - pos, 4))
    frame.convert("RGB").save(os.path.join(outdir, "gameframe.png"))
    left_end = frame.crop((0, 0, 420, 40)).resize((420 * 3, 120), Image.NEAREST)
    left_end.convert("RGB").save(os.path.join(outdir, "gameframe_left_x3.png"))
    right = frame.crop((W - 420, 0, W, 40)).resize((420 * 3, 120), Image.NEAREST)
    right.convert("RGB").save(os.path.join(outdir, "gameframe_right_x3.png"))

    # every face side by side on its own background, 1x and 3x
    rows = []
    bg = pics["bg.png"]
    for _, x, y, name in MAIN_BUTTONS:
        faces = [pics.get("%s%02d.png" % (name, i)) for i in (1, 2, 3)]
        faces = [f for f in faces if f is not None]
        w, h = faces[0].size
        ground = bg.crop((x - 8, y - 8, x + w + 8, y + h + 8))
        tiles = []
        for f in faces:
            t = ground.copy()
            t.alpha_composite(f, (8, 8))
            tiles.append(t)
        rows.append(tiles)
    topbar = top.resize((120, th), Image.BILINEAR)
    for name, _ in GAME_BUTTONS + [("restore", 62)]:
        faces = [pics["%s%02d.png" % (name, i)] for i in (1, 2, 3)]
        tiles = []
        for f in faces:
            t = topbar.copy()
            t = t.crop((0, 0, f.size[0] + 16, th))
            t.alpha_composite(f, (8, 4))
            tiles.append(t)
        rows.append(tiles)
    scale = 3
    sheet_w = max(sum(t.size[0] * scale + 12 for t in r) for r in rows) + 12
    sheet_h = sum(max(t.size[1] for t in r) * scale + 12 for r in rows) + 12
    sheet = Image.new("RGBA", (sheet_w, sheet_h), (40, 40, 44, 255))
    y = 12
    for r in rows:
        x = 12
        for t in r:
            sheet.alpha_composite(t.resize((t.size[0] * scale, t.size[1] * scale), Image.NEAREST), (x, y))
            x += t.size[0] * scale + 12
        y += max(t.size[1] for t in r) * scale + 12
    sheet.convert("RGB").save(os.path.join(outdir, "faces_x3.png"))

    # the icon's six sizes, actual size and 4x
    ico = Image.open(os.path.join(skin_dir, "game.ico"))
    icons = []
    for n in ICON_SIZES:
        ico.size = (n, n)
        icons.append(ico.copy().convert("RGBA"))
    sheet = Image.new("RGBA", (1200, 560), (210, 214, 220, 255))
    x = 12
    for im in icons:
        sheet.alpha_composite(im, (x, 12))
        sheet.alpha_composite(im.resize((im.size[0] * 4 if im.size[0] < 128 else 128 * 3,) * 2, Image.NEAREST),
                              (x, 160))
        x += max(im.size[0] * 4, 60) + 10 if im.size[0] < 128 else 0
    sheet.convert("RGB").save(os.path.join(outdir, "icon.png"))


def main():
    parser = argparse.ArgumentParser(description="Draws the launcher's skin pictures and icon.")
    parser.add_argument("skin_dir", help="the skin folder, Resources/Skin")
    parser.add_argument("--preview", metavar="OUT_DIR", help="also compose each window into OUT_DIR")
    args = parser.parse_args()

    pics = draw_all()
    for name, img in sorted(pics.items()):
        save_png(img, os.path.join(args.skin_dir, name))
    write_icon(os.path.join(args.skin_dir, "game.ico"))
    if args.preview:
        previews(pics, args.skin_dir, args.preview)


if __name__ == "__main__":
    main()

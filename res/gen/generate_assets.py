#!/usr/bin/env python3
"""Generates the bitmaps, icons and sounds of Ostinel.exe.

Usage: generate_assets.py OUTPUT_DIR

Everything is drawn and synthesised from fixed parameters and fixed seeds, with the Python standard
library only, so every run writes the same bytes: raster.py is the drawing kit, bitmaps.py and
icons.py draw the pictures (icons.py also makes the palettes of the 8- and 4-bit icon images),
sounds.py synthesises and encodes the sounds; this driver writes the files. After writing, the files are read
back and checked (headers, sizes, the ADPCM stream decoded again); any failure exits non-zero.
"""

import math
import os
import struct
import sys

# The sibling modules are imported from the script's folder; no bytecode is left in the sources.
sys.dont_write_bytecode = True

from bitmaps import (DISC_RADIUS, RING_SIZE, bmp24, draw_hand_picture, draw_indicator, draw_mouse,
                     ring_disc_centres)
from icons import app_icon, second_icon
from sounds import (ADPCM_COEFFICIENTS, ADPCM_SAMPLES_PER_BLOCK, RATE, adpcm_decode_block, adpcm_wave,
                    chime_start, click_left, failure_tone, info_tags, pcm_wave, right_click)


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

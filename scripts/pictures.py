#!/usr/bin/env python3
"""Helpers of scripts/make-pictures.sh and scripts/run.sh: screen frames and recorded sound cues.

  pictures.py frames FB X Y W H SECONDS OUTDIR
      Reads the screen of an Xvfb started with -fbdir (FB is its Xvfb_screen0 file) as fast as it
      can for SECONDS and keeps the W x H area at (X, Y) each time it changes. Writes each screen
      state that lasted at least 5 ms as OUTDIR/frame-NNN.ppm and prints one line per state kept:
      file name, start and duration in ms. Shorter states are the X server half-way through
      redrawing a layered window (the new frame drawn before the old one's shape is taken away);
      their time is added to the frame before.
      Prints "polling" on stderr once it reads, so the caller knows when to start the action.
  pictures.py join OUT GAP_MS IN...
      Joins 16-bit PCM WAV files of one sample rate into OUT (stereo), GAP_MS of silence between.
  pictures.py check WAV
      Prints the length, the peak and the sounding stretches of a 16-bit PCM WAV file; exits 1
      when it holds no sound.
"""
import array
import mmap
import os
import struct
import sys
import time
import wave

STABLE_MS = 5.0
SILENCE = 300  # sample magnitude under which a 10 ms window counts as silent


def xwd_layout(fb):
    """Offset of the pixels, bytes per line and size of an Xvfb -fbdir screen (32 bits per pixel)."""
    header = struct.unpack(">25I", fb[:100])
    header_size, width, height, bits, line, ncolors = header[0], header[4], header[5], header[11], header[12], header[19]
    if bits != 32 or header[7] != 0:
        sys.exit("frames: expected a 32-bit little-endian screen (Xvfb -screen 0 WxHx24)")
    return header_size + ncolors * 12, line, width, height


def grab(fb, offset, line, x, y, w, h):
    return b"".join(fb[offset + (y + row) * line + x * 4: offset + (y + row) * line + (x + w) * 4] for row in range(h))


def write_ppm(path, raw, w, h):
    rgb = bytearray(w * h * 3)
    rgb[0::3] = raw[2::4]
    rgb[1::3] = raw[1::4]
    rgb[2::3] = raw[0::4]
    with open(path, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (w, h))
        f.write(rgb)


def frames(args):
    path, x, y, w, h, seconds, outdir = args[0], *map(int, args[1:5]), float(args[5]), args[6]
    os.makedirs(outdir, exist_ok=True)
    with open(path, "rb") as f:
        fb = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
    offset, line, width, height = xwd_layout(fb)
    if x < 0 or y < 0 or x + w > width or y + h > height:
        sys.exit("frames: the area lies outside the %dx%d screen" % (width, height))
    states = []  # [start seconds, pixels]
    start = time.monotonic()
    print("polling", file=sys.stderr, flush=True)
    while True:
        now = time.monotonic()
        if now - start > seconds:
            break
        pixels = grab(fb, offset, line, x, y, w, h)
        if not states or states[-1][1] != pixels:
            states.append([now, pixels])
    end = time.monotonic()
    kept = []  # [start seconds, pixels] of the states that lasted
    for (t0, pixels), t1 in zip(states, [t for t, _ in states[1:]] + [end]):
        if (t1 - t0) * 1000 >= STABLE_MS and (not kept or kept[-1][1] != pixels):
            kept.append([t0, pixels])
    # Each frame stays until the next one kept, so the half-drawn states' time goes to the frame before.
    for i, (t0, pixels) in enumerate(kept):
        t1 = kept[i + 1][0] if i + 1 < len(kept) else end
        name = "frame-%03d.ppm" % i
        write_ppm(os.path.join(outdir, name), pixels, w, h)
        print("%s %.1f %.1f" % (name, (t0 - start) * 1000, (t1 - t0) * 1000))
    print("frames: %d screen states, %d kept" % (len(states), len(kept)), file=sys.stderr)


def read_wave(path):
    with wave.open(path) as w:
        if w.getsampwidth() != 2:
            sys.exit("%s: not 16-bit PCM" % path)
        samples = array.array("h", w.readframes(w.getnframes()))
        if sys.byteorder == "big":
            samples.byteswap()
        return w.getframerate(), w.getnchannels(), samples


def join(args):
    out, gap_ms, inputs = args[0], int(args[1]), args[2:]
    rate = None
    stereo = array.array("h")
    for path in inputs:
        r, channels, samples = read_wave(path)
        if rate is None:
            rate = r
        elif r != rate:
            sys.exit("join: %s has %d Hz, the first file %d Hz" % (path, r, rate))
        if stereo:
            stereo.extend([0] * (rate * gap_ms // 1000 * 2))
        if channels == 1:
            both = array.array("h", [0]) * (len(samples) * 2)
            both[0::2] = samples
            both[1::2] = samples
            stereo.extend(both)
        elif channels == 2:
            stereo.extend(samples)
        else:
            sys.exit("join: %s has %d channels" % (path, channels))
    if sys.byteorder == "big":
        stereo.byteswap()
    with wave.open(out, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate or 22050)
        w.writeframes(stereo.tobytes())


def check(args):
    rate, channels, samples = read_wave(args[0])
    window = rate * channels // 100
    loud = [max(map(abs, samples[i:i + window]), default=0) > SILENCE for i in range(0, len(samples), window)]
    stretches, begin = [], None
    for i, on in enumerate(loud + [False]):
        if on and begin is None:
            begin = i
        elif not on and begin is not None:
            stretches.append("%d-%d ms" % (begin * 10, i * 10))
            begin = None
    length = len(samples) / channels / rate
    peak = max(map(abs, samples), default=0)
    print("%.2f s, %d Hz, %d channel(s), peak %d, sound at %s" %
          (length, rate, channels, peak, ", ".join(stretches) or "nowhere"))
    sys.exit(0 if stretches else 1)


if __name__ == "__main__":
    commands = {"frames": frames, "join": join, "check": check}
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        sys.exit(__doc__)
    commands[sys.argv[1]](sys.argv[2:])

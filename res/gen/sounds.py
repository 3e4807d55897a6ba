"""The sounds: synthesis from fixed seeds, the MS ADPCM encoder (and the decoder the checks use)
and the RIFF WAVE files."""

import math
import struct

from raster import smoothstep

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

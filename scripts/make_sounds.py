#!/usr/bin/env python3
"""Synthesises the ten capture sounds into Templates/.

camera.snd, camera.wav and camera2.wav .. camera9.wav: short shutter-like
sounds built from clicks, noise bursts and decaying tones, 16-bit PCM mono at
22050 Hz. camera.snd is a WAV file too (the player reads the contents, not the
name). Only the standard library is used and the noise generator is seeded,
so running the script again reproduces the same files byte for byte.

    python3 scripts/make_sounds.py [output-folder]
"""
import math
import os
import random
import struct
import sys
import wave

RATE = 22050


def silence(seconds):
    return [0.0] * int(seconds * RATE)


def mix(base, part, at):
    """Adds `part` into `base` starting at `at` seconds, growing base as needed."""
    start = int(at * RATE)
    end = start + len(part)
    if end > len(base):
        base.extend([0.0] * (end - len(base)))
    for i, v in enumerate(part):
        base[start + i] += v
    return base


def envelope(samples, attack, decay):
    """Linear attack then exponential decay (time constant `decay` seconds)."""
    a = max(1, int(attack * RATE))
    out = []
    for i, v in enumerate(samples):
        if i < a:
            g = i / a
        else:
            g = math.exp(-(i - a) / (decay * RATE))
        out.append(v * g)
    return out


def noise(rng, seconds):
    return [rng.uniform(-1.0, 1.0) for _ in range(int(seconds * RATE))]


def lowpass(samples, cutoff):
    k = 1.0 - math.exp(-2.0 * math.pi * cutoff / RATE)
    y, out = 0.0, []
    for v in samples:
        y += k * (v - y)
        out.append(y)
    return out


def highpass(samples, cutoff):
    low = lowpass(samples, cutoff)
    return [v - l for v, l in zip(samples, low)]


def tone(freq, seconds, sweep_to=None):
    n = int(seconds * RATE)
    out, phase = [], 0.0
    for i in range(n):
        f = freq if sweep_to is None else freq + (sweep_to - freq) * i / n
        phase += 2.0 * math.pi * f / RATE
        out.append(math.sin(phase))
    return out


def click(rng, level=1.0, length=0.006, bright=4000.0):
    return [v * level for v in envelope(highpass(noise(rng, length), bright), 0.0003, length / 4)]


def burst(rng, seconds, cutoff_low, cutoff_high, level, decay):
    band = lowpass(highpass(noise(rng, seconds), cutoff_low), cutoff_high)
    return [v * level for v in envelope(band, 0.002, decay)]


def scaled(samples, peak=0.85):
    top = max(abs(v) for v in samples) or 1.0
    return [v * peak / top for v in samples]


def write_wav(path, samples):
    data = b"".join(struct.pack("<h", max(-32767, min(32767, int(round(v * 32767)))))
                    for v in scaled(samples))
    tmp = path + ".tmp"
    with wave.open(tmp, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data)
    os.replace(tmp, path)


def classic(rng):  # mirror up, curtain, mirror down
    s = silence(0.30)
    mix(s, click(rng, 1.0), 0.0)
    mix(s, burst(rng, 0.08, 300, 5000, 0.6, 0.02), 0.004)
    mix(s, click(rng, 0.9), 0.11)
    mix(s, burst(rng, 0.10, 200, 3000, 0.5, 0.03), 0.114)
    return s


def slr(rng):  # heavier mirror slap with a low thump
    s = silence(0.32)
    mix(s, [v * 0.8 for v in envelope(tone(90, 0.12), 0.001, 0.025)], 0.0)
    mix(s, click(rng, 1.0, bright=2500), 0.0)
    mix(s, burst(rng, 0.12, 150, 2500, 0.7, 0.035), 0.002)
    mix(s, click(rng, 0.8, bright=2500), 0.16)
    return s


def digital(rng):  # short beep, then a dry click
    s = silence(0.25)
    mix(s, [v * 0.5 for v in envelope(tone(2200, 0.06), 0.003, 0.03)], 0.0)
    mix(s, click(rng, 1.0, bright=6000), 0.08)
    return s


def leaf(rng):  # two quick light clicks of a leaf shutter
    s = silence(0.22)
    mix(s, click(rng, 1.0, 0.004, 6000), 0.0)
    mix(s, click(rng, 0.7, 0.004, 6000), 0.045)
    mix(s, burst(rng, 0.05, 2000, 8000, 0.25, 0.01), 0.046)
    return s


def wind(rng):  # shutter followed by a film-advance ratchet
    s = silence(0.45)
    mix(s, click(rng, 1.0), 0.0)
    mix(s, burst(rng, 0.06, 300, 4000, 0.5, 0.015), 0.003)
    t = 0.12
    for i in range(9):
        mix(s, click(rng, 0.55 - i * 0.04, 0.004, 3000), t)
        t += 0.032
    return s


def thump(rng):  # soft, low and short
    s = silence(0.24)
    mix(s, burst(rng, 0.14, 60, 900, 1.0, 0.04), 0.0)
    mix(s, [v * 0.6 for v in envelope(tone(140, 0.1, 70), 0.002, 0.03)], 0.0)
    return s


def ping(rng):  # click with a metallic ring
    s = silence(0.40)
    mix(s, click(rng, 1.0, bright=5000), 0.0)
    ring = [0.5 * a + 0.3 * b for a, b in zip(tone(3150, 0.38), tone(4730, 0.38))]
    mix(s, [v * 0.6 for v in envelope(ring, 0.001, 0.09)], 0.002)
    return s


def soft_pair(rng):  # muffled double click
    s = silence(0.26)
    mix(s, lowpass(click(rng, 1.0, 0.01, 800), 1800), 0.0)
    mix(s, lowpass(click(rng, 0.8, 0.01, 800), 1800), 0.09)
    mix(s, burst(rng, 0.12, 100, 1500, 0.2, 0.04), 0.0)
    return s


def motor(rng):  # three frames of a motor drive
    s = silence(0.42)
    for i in range(3):
        t = i * 0.13
        mix(s, click(rng, 1.0 - i * 0.1), t)
        mix(s, burst(rng, 0.09, 400, 3500, 0.5, 0.025), t + 0.003)
        mix(s, [v * 0.25 for v in envelope(tone(180, 0.08, 240), 0.01, 0.03)], t + 0.04)
    return s


def sweep(rng):  # falling chirp into a noise hiss
    s = silence(0.34)
    mix(s, [v * 0.6 for v in envelope(tone(3000, 0.12, 800), 0.002, 0.05)], 0.0)
    mix(s, click(rng, 0.9, bright=3500), 0.12)
    mix(s, burst(rng, 0.18, 1000, 7000, 0.45, 0.05), 0.122)
    return s


SOUNDS = [
    ("camera.snd", classic),
    ("camera.wav", slr),
    ("camera2.wav", digital),
    ("camera3.wav", leaf),
    ("camera4.wav", wind),
    ("camera5.wav", thump),
    ("camera6.wav", ping),
    ("camera7.wav", soft_pair),
    ("camera8.wav", motor),
    ("camera9.wav", sweep),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "Templates")
    os.makedirs(out, exist_ok=True)
    for index, (name, make) in enumerate(SOUNDS):
        write_wav(os.path.join(out, name), make(random.Random(1000 + index)))


if __name__ == "__main__":
    main()

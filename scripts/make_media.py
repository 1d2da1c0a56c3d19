#!/usr/bin/env python3
"""Makes the default new-mail animation and chime shipped in assets/media.

Usage: make_media.py OUTDIR   (needs gst-launch-1.0 with the -good plugins)
The animation is an envelope under a turning weather vane, MJPEG in AVI;
the chime is a two-note bell, 16-bit mono WAV.
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave

W, H, FPS, SECONDS, SS = 200, 150, 12, 3, 2


def sky(y):
    t = y / (H - 1)
    return (110 + 90 * t, 165 + 60 * t, 225 + 25 * t)


class Canvas:
    def __init__(self):
        self.w, self.h = W * SS, H * SS
        self.px = []
        for y in range(self.h):
            c = sky(y / SS)
            self.px.append([c] * self.w)

    def fill(self, x0, y0, x1, y1, inside, colour):
        for y in range(max(0, int(y0 * SS)), min(self.h, int(y1 * SS) + 1)):
            fy = (y + 0.5) / SS
            row = self.px[y]
            for x in range(max(0, int(x0 * SS)), min(self.w, int(x1 * SS) + 1)):
                if inside((x + 0.5) / SS, fy):
                    row[x] = colour

    def polygon(self, pts, colour):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]

        def inside(x, y):
            odd = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    odd = not odd
                j = i
            return odd

        self.fill(min(xs), min(ys), max(xs), max(ys), inside, colour)

    def line(self, a, b, width, colour):
        (ax, ay), (bx, by) = a, b
        dx, dy = bx - ax, by - ay
        ll = dx * dx + dy * dy or 1e-9
        r = width / 2

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
            px, py = ax + t * dx - x, ay + t * dy - y
            return px * px + py * py <= r * r

        self.fill(min(ax, bx) - r, min(ay, by) - r, max(ax, bx) + r, max(ay, by) + r, inside, colour)

    def disc(self, cx, cy, r, colour):
        self.fill(cx - r, cy - r, cx + r, cy + r, lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour)

    def rgb(self):
        out = bytearray()
        n = SS * SS
        for y in range(H):
            rows = self.px[y * SS:(y + 1) * SS]
            for x in range(W):
                r = g = b = 0.0
                for row in rows:
                    for c in row[x * SS:(x + 1) * SS]:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                out += bytes((int(r / n), int(g / n), int(b / n)))
        return bytes(out)


def frame(i, total):
    c = Canvas()
    angle = 2 * math.pi * i / total
    # ground
    c.fill(0, 128, W, H, lambda x, y: True, (120, 175, 95))
    # envelope with its flap
    ex0, ey0, ex1, ey1 = 52, 78, 148, 136
    bob = 2 * math.sin(angle * 2)
    ey0 += bob
    ey1 += bob
    c.fill(ex0 - 1, ey0 - 1, ex1 + 1, ey1 + 1, lambda x, y: True, (150, 140, 120))
    c.fill(ex0, ey0, ex1, ey1, lambda x, y: True, (252, 249, 238))
    c.polygon([(ex0, ey0), (ex1, ey0), (100, ey0 + 34)], (236, 228, 205))
    c.line((ex0, ey0), (100, ey0 + 34), 1.2, (150, 140, 120))
    c.line((ex1, ey0), (100, ey0 + 34), 1.2, (150, 140, 120))
    c.line((ex0, ey1), (88, ey0 + 28), 1.0, (190, 180, 160))
    c.line((ex1, ey1), (112, ey0 + 28), 1.0, (190, 180, 160))
    c.disc(100, ey0 + 34, 5, (200, 40, 40))
    # vane: pole, compass arms, then the turning arrow seen from the side
    c.line((100, ey0), (100, 20), 2.5, (70, 70, 80))
    c.line((84, 50), (116, 50), 1.5, (70, 70, 80))
    s = math.cos(angle)
    head = 100 + 34 * s
    tail = 100 - 34 * s
    c.line((tail, 32), (head, 32), 2.5, (40, 40, 50))
    c.polygon([(head + 9 * s, 32), (head - 3 * s, 25), (head - 3 * s, 39)], (220, 60, 40))
    c.polygon([(tail, 32), (tail - 10 * s, 22), (tail - 16 * s, 22), (tail - 8 * s, 32),
               (tail - 16 * s, 42), (tail - 10 * s, 42)], (230, 160, 30))
    c.disc(100, 32, 3, (40, 40, 50))
    c.disc(100, 18, 2.5, (230, 190, 40))
    return c.rgb()


def make_avi(path):
    total = FPS * SECONDS
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "frames.rgb")
        with open(raw, "wb") as f:
            for i in range(total):
                f.write(frame(i, total))
        subprocess.run(["gst-launch-1.0", "-q", "filesrc", "location=" + raw, "!",
                        "rawvideoparse", "width=%d" % W, "height=%d" % H, "format=rgb",
                        "framerate=%d/1" % FPS, "!", "videoconvert", "!", "jpegenc", "quality=80", "!",
                        "avimux", "!", "filesink", "location=" + path], check=True)


def make_wav(path):
    rate = 22050
    notes = [(0.0, 1318.5), (0.28, 987.8)]
    length = 1.6
    samples = []
    for n in range(int(rate * length)):
        t = n / rate
        v = 0.0
        for start, f in notes:
            if t >= start:
                u = t - start
                env = math.exp(-u * 3.2) * min(1.0, u * 400)
                v += env * (math.sin(2 * math.pi * f * u) + 0.35 * math.sin(2 * math.pi * 2.76 * f * u) * math.exp(-u * 6)
                            + 0.2 * math.sin(2 * math.pi * 5.4 * f * u) * math.exp(-u * 10))
        samples.append(int(max(-1.0, min(1.0, v * 0.38)) * 32767))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    make_wav(os.path.join(out, "Mailvane.wav"))
    make_avi(os.path.join(out, "Mailvane.avi"))

#!/usr/bin/env python3
"""Checks listen-analyze.py on recordings made here, whose answers are known: a benchmark
that misreads a recording would report a gap that is not there, or miss one that is.
listen-bench.sh runs it before it measures anything.

  listen-analyze-test.py      prints one line per case and exits 1 if any fails
"""
import array
import contextlib
import importlib.util
import io
import math
import os
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("analyze", os.path.join(HERE, "listen-analyze.py"))
analyze = importlib.util.module_from_spec(spec)
spec.loader.exec_module(analyze)

RATE = analyze.RATE


def tone(seconds, freq=440.0, amplitude=0.5, phase=0.0):
    n = int(round(seconds * RATE))
    return [amplitude * math.sin(phase + 2 * math.pi * freq * i / RATE) for i in range(n)]


def sweep(start, end, f0=200.0, slope=100.0):
    """The part [start, end) seconds of a linear sweep f0 + slope * t."""
    first, last = int(round(start * RATE)), int(round(end * RATE))
    return [0.5 * math.sin(2 * math.pi * (f0 * i / RATE + slope * (i / RATE) ** 2 / 2))
            for i in range(first, last)]


def silence(seconds):
    return [0.0] * int(round(seconds * RATE))


def write_raw(samples, path):
    data = array.array("h")
    for s in samples:
        v = max(-32768, min(32767, int(round(s * 32767))))
        data.extend((v, v))
    if sys.byteorder != "little":
        data.byteswap()
    with open(path, "wb") as f:
        f.write(data.tobytes())


def values(function, *args):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        function(*args)
    for line in out.getvalue().splitlines():
        if line.startswith("values: "):
            return line[len("values: "):]
    return ""


def join_values(samples, path):
    write_raw(samples, path)
    fields = dict(f.split("=") for f in values(analyze.join, path).split())
    return {k: float(v) for k, v in fields.items()}


# name, recording, expected gap (ms), expected tone heard (s), whether a click is expected
JOINS = [
    ("whole tone", silence(0.5) + tone(6.0) + silence(0.5), 0, 6.0, False),
    ("two halves, 1.5 s apart",
     silence(0.5) + tone(3.0) + silence(1.5) + tone(3.0, phase=2 * math.pi * 440 * 3.0) +
     silence(0.5), 1500, 6.0, False),
    ("a 20 ms hole", silence(0.2) + tone(3.0) + silence(0.02) + tone(3.0) + silence(0.2), 20, 6.0,
     False),
    ("joined, a quarter period out of phase: a click",
     silence(0.2) + tone(3.0) + tone(3.0, phase=math.pi / 2 + 2 * math.pi * 440 * 3.0) +
     silence(0.2), 0, 6.0, True),
    ("the second half cut short", silence(0.2) + tone(3.0) + tone(2.4, phase=2 * math.pi * 440 *
                                                                  3.0) + silence(0.2), 0, 5.4,
     False),
]

# name, recording, expected stretches as (song start, song end), seconds
SWEEPS = [
    ("played through", silence(0.5) + sweep(0, 10) + silence(0.5), [(0, 10)]),
    ("paused at 4 s, on from there",
     silence(0.5) + sweep(0, 4) + silence(2) + sweep(4, 8) + silence(0.5), [(0, 4), (4, 8)]),
    ("paused at 4 s, started again", silence(0.5) + sweep(0, 4) + silence(2) + sweep(0, 3) +
     silence(0.5), [(0, 4), (0, 3)]),
    ("a jump from 6 s to 15 s without a gap", sweep(0, 6) + sweep(15, 18), [(0, 6), (15, 18)]),
]

# name, recording, expected ratio of the last second's RMS to the first's
GAINS = [
    ("halved", silence(0.3) + tone(3.0) + [0.5 * s for s in tone(3.0)] + silence(0.3), 0.5),
    ("halved after a gap", silence(0.3) + tone(3.0) + silence(2.0) +
     [0.5 * s for s in tone(3.0)] + silence(0.3), 0.5),
    ("untouched", silence(0.3) + tone(6.0) + silence(0.3), 1.0),
]


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "case.raw")
        for name, samples, gap, heard, click in JOINS:
            v = join_values(samples, path)
            ok = (abs(v["gap_ms"] - gap) <= 2 and abs(v["heard_s"] - heard) <= 0.001 and
                  (v["step_ratio"] > 3) == click)
            failures += not ok
            print("%s join: %s: %s" % ("ok  " if ok else "FAIL", name, v))
        for name, samples, expected in SWEEPS:
            write_raw(samples, path)
            got = [tuple(float(x) for x in s.split(":"))
                   for s in values(analyze.sweep, path, 200.0, 100.0).split()]
            ok = len(got) == len(expected) and all(
                abs(g[0] - e[0]) <= 0.1 and abs(g[1] - e[1]) <= 0.1 for g, e in zip(got, expected))
            failures += not ok
            print("%s sweep: %s: %s" % ("ok  " if ok else "FAIL", name, got))
        for name, samples, expected in GAINS:
            write_raw(samples, path)
            ratio = float(values(analyze.gain, path).split("=")[1])
            ok = abs(ratio - expected) <= 0.001
            failures += not ok
            print("%s gain: %s: %.4f" % ("ok  " if ok else "FAIL", name, ratio))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

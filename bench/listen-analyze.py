#!/usr/bin/env python3
"""The measuring half of listen-bench.sh: reads what the null sink's monitor recorded
(raw signed 16-bit little-endian stereo, 44.1 kHz) and what /proc says about a process.

  listen-analyze.py join FILE          the sound's span, the silences inside it, the tone heard
  listen-analyze.py sweep FILE F0 SLOPE  where in a sweep (F0 Hz + SLOPE Hz a second) each
                                       stretch of sound lies: recording time against song time
  listen-analyze.py gain FILE          RMS of the sound's first second against its last second
  listen-analyze.py sample PID...      one line per PID: cpu ticks and context switches so far
  listen-analyze.py usage BEFORE AFTER SECONDS   from two samples: % of a core, wake-ups a
                                                second, % of a core from run times in ns
  listen-analyze.py navy FILE W H      the box of navy pixels in a raw RGB picture: x y w h

Plain Python, no numpy: the recordings are seconds long.
"""
import array
import glob
import math
import os
import sys

RATE = 44100
# A window of 44 samples (1 ms): at 440 Hz its largest sample is at least 98 % of the tone's peak wherever
# it falls, so a window below the threshold is silence, not a zero crossing.
WINDOW = RATE // 1000
# 1 % of full scale: far above the codecs' noise in silence, far below the tone (about 50 %).
THRESHOLD = 328


def left_channel(path):
    samples = array.array("h")
    with open(path, "rb") as f:
        samples.frombytes(f.read())
    if sys.byteorder != "little":
        samples.byteswap()
    return samples[0::2]


def loud_windows(left):
    """Per window of 44 samples (1 ms): whether any sample reaches the threshold."""
    loud = []
    for start in range(0, len(left) - WINDOW + 1, WINDOW):
        chunk = left[start:start + WINDOW]
        loud.append(max(max(chunk), -min(chunk)) >= THRESHOLD)
    return loud


def join(path):
    left = left_channel(path)
    loud = loud_windows(left)
    if not any(loud):
        print("join: no sound recorded (%.1f s of silence)" % (len(left) / RATE))
        return 1
    first = loud.index(True)
    last = len(loud) - 1 - loud[::-1].index(True)

    # Edges to the sample: the first and last loud sample of a loud window.
    def first_loud(window):
        start = window * WINDOW
        return next(i for i in range(start, start + WINDOW) if abs(left[i]) >= THRESHOLD)

    def last_loud(window):
        start = window * WINDOW
        return next(i for i in range(start + WINDOW - 1, start - 1, -1)
                    if abs(left[i]) >= THRESHOLD)

    start_sample = first_loud(first)
    end_sample = last_loud(last)
    gaps = []  # (start in seconds from the first sound, length in samples)
    run_start = None
    for i in range(first, last + 1):
        if not loud[i] and run_start is None:
            run_start = i
        elif loud[i] and run_start is not None:
            before = last_loud(run_start - 1)
            gaps.append(((before + 1 - start_sample) / RATE, first_loud(i) - before - 1))
            run_start = None
    span_ms = (end_sample - start_sample + 1) * 1000.0 / RATE
    silent_ms = sum(g[1] for g in gaps) * 1000.0 / RATE
    gaps = [(at, n * 1000.0 / RATE) for at, n in gaps]
    # A click is a step between neighbouring samples far larger than the tone ever makes
    # (about 6 % of its peak at 440 Hz); compared with the largest step of the first second.
    # The sound's own first and last 10 ms, where a cut tone may step to silence, are left out.
    lo = start_sample + RATE // 100
    hi = end_sample + 1 - RATE // 100
    steps = [abs(left[i] - left[i - 1]) for i in range(lo + 1, hi)]
    ref = max(steps[:RATE]) or 1
    worst = max(range(len(steps)), key=steps.__getitem__)
    worst_at = (lo + 1 + worst - start_sample) / RATE
    ratio = steps[worst] / ref
    longest = max(gaps, key=lambda g: g[1]) if gaps else None
    heard = (span_ms - silent_ms) / 1000.0
    print("join: silence at the join %s; tone heard %.3f s of a %.3f s span%s; largest step "
          "between samples %.1f x the first second's, at %.3f s%s"
          % ("%.0f ms (at %.3f s)" % (longest[1], longest[0]) if longest else "0 ms",
             heard, span_ms / 1000.0,
             "" if len(gaps) < 2 else " (%d silent stretches, %.0f ms in all)" % (len(gaps), silent_ms),
             ratio, worst_at, ": a click" if ratio > 3 else ""))
    print("values: gap_ms=%.1f heard_s=%.4f span_s=%.4f step_ratio=%.2f"
          % (longest[1] if longest else 0, heard, span_ms / 1000.0, ratio))
    return 0


def frequency(chunk):
    """The frequency of a sine in `chunk` from its first and last upward zero crossings,
    each placed between its two samples: finer than counting crossings."""
    ups = []
    for i in range(1, len(chunk)):
        a, b = chunk[i - 1], chunk[i]
        if a < 0 <= b:
            ups.append(i - 1 + (-a) / float(b - a))
    if len(ups) < 3:
        return None
    return (len(ups) - 1) * RATE / (ups[-1] - ups[0])


def sweep(path, f0, slope):
    """Stretches of continuous sound: where each starts and ends in the recording and in the
    song (song time = (frequency - f0) / slope). A new stretch begins after a silence or
    where the song time jumps."""
    left = left_channel(path)
    step = RATE // 20  # 50 ms
    stretches = []  # [rec_start, rec_end, song_start, song_end]
    last = None
    for start in range(0, len(left) - step + 1, step):
        chunk = left[start:start + step]
        loud = min(max(chunk), -min(chunk)) >= THRESHOLD
        f = frequency(chunk) if loud else None
        if f is None:
            last = None
            continue
        rec = (start + step / 2.0) / RATE
        song = (f - f0) / slope
        if last is not None and abs(song - (last + 0.05)) < 0.25:
            stretches[-1][1] = rec
            stretches[-1][3] = song
        else:
            stretches.append([rec, rec, song, song])
        last = song
    # Leave out blips shorter than 150 ms: a window across a join or a pause's edge.
    stretches = [s for s in stretches if s[1] - s[0] >= 0.15]
    for s in stretches:
        print("stretch: recording %.2f-%.2f s, song %.2f-%.2f s" % tuple(s))
    print("values: " + " ".join("%.2f:%.2f" % (s[2], s[3]) for s in stretches))
    return 0


def rms(samples):
    return math.sqrt(sum(s * s for s in samples) / len(samples)) if samples else 0.0


def gain(path):
    left = left_channel(path)
    loud = loud_windows(left)
    if not any(loud):
        print("gain: no sound recorded")
        return 1
    # The first and last second of sound, 100 ms in from each edge of it.
    first = loud.index(True) * WINDOW + RATE // 10
    last = (len(loud) - loud[::-1].index(True)) * WINDOW - RATE // 10
    a = rms(left[first:first + RATE])
    b = rms(left[last - RATE:last])
    ratio = b / a if a else float("nan")
    print("gain: RMS first second %.1f, last second %.1f: ratio %.4f (%.2f dB)"
          % (a, b, ratio, 20 * math.log10(ratio) if ratio > 0 else float("-inf")))
    print("values: rms_ratio=%.4f" % ratio)
    return 0


def sample(pids):
    """pid cpu_ticks switches: utime+stime of the whole process (its dead threads included)
    and the voluntary and involuntary context switches of every live thread, by thread id."""
    for pid in pids:
        try:
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            ticks = int(fields[11]) + int(fields[12])  # utime, stime
            switches = []
            for status in glob.glob("/proc/%s/task/*/status" % pid):
                tid = status.split("/")[4]
                total = 0
                try:
                    with open(status) as f:
                        for line in f:
                            if line.startswith(("voluntary_ctxt_switches",
                                                "nonvoluntary_ctxt_switches")):
                                total += int(line.split()[1])
                except OSError:
                    continue  # the thread ended meanwhile
                try:
                    with open(status.replace("/status", "/schedstat")) as f:
                        run_ns = int(f.read().split()[0])
                except (OSError, ValueError, IndexError):
                    run_ns = 0
                try:
                    with open(status.replace("/status", "/comm")) as f:
                        name = "".join(c if c.isalnum() or c in "-_.[]" else "_"
                                       for c in f.read().strip()) or "_"
                except OSError:
                    name = "_"
                switches.append("%s:%d:%d:%s" % (tid, total, run_ns, name))
            print(pid, ticks, ",".join(switches))
        except OSError:
            print(pid, "gone")
    return 0


def read_samples(path):
    result = {}
    for line in open(path):
        parts = line.split()
        if len(parts) == 3:
            threads = {}
            for t in parts[2].split(","):
                if t:
                    tid, switches, run_ns, name = t.split(":")
                    threads[tid] = (int(switches), int(run_ns), name)
            result[parts[0]] = (int(parts[1]), threads)
    return result


def usage(before_path, after_path, seconds):
    """Per PID: the share of one core (from utime+stime, in clock ticks), the wake-ups a second,
    and the share of one core again from the threads' run times in nanoseconds (schedstat),
    which a 20 s window resolves far finer than 100 ticks a second. A thread
    that was born in between counts with all its switches; one that died loses only its last
    switches (its stretch is short: the threads here live for the whole song)."""
    hz = os.sysconf("SC_CLK_TCK")
    before = read_samples(before_path)
    after = read_samples(after_path)
    for pid, (ticks, threads) in after.items():
        if pid not in before:
            print(pid, "nan nan nan")
            continue
        ticks0, threads0 = before[pid]
        by_name = {}
        for tid, (n, ns, name) in threads.items():
            n0, ns0, _ = threads0.get(tid, (0, 0, name))
            if tid == pid:
                name += "(main)"  # the process's first thread: a GUI program's window thread
            total = by_name.setdefault(name, [0, 0])
            total[0] += n - n0
            total[1] += ns - ns0
        switches = sum(t[0] for t in by_name.values())
        run_ns = sum(t[1] for t in by_name.values())
        print(pid, "%.3f %.1f %.3f" % (100.0 * (ticks - ticks0) / hz / seconds,
                                        switches / seconds, 100.0 * run_ns / 1e9 / seconds))
        # By thread name, the busiest first: which thread wakes how often.
        ranked = sorted(by_name.items(), key=lambda kv: -kv[1][0])
        print("threads", pid, " ".join("%s=%.0f/s,%.2f%%" % (name, n / seconds,
                                                             100.0 * ns / 1e9 / seconds)
                                      for name, (n, ns) in ranked if n > 0))
    return 0


def navy(path, width, height):
    data = open(path, "rb").read()
    xs, ys = [], []
    for y in range(height):
        row = data[3 * width * y:3 * width * (y + 1)]
        for x in range(width):
            r, g, b = row[3 * x], row[3 * x + 1], row[3 * x + 2]
            if r < 16 and g < 16 and 112 <= b <= 144:
                xs.append(x)
                ys.append(y)
    if not xs:
        print("none")
        return 1
    print(min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)
    return 0


def main(argv):
    if len(argv) >= 2 and argv[1] == "join":
        return join(argv[2])
    if len(argv) == 5 and argv[1] == "sweep":
        return sweep(argv[2], float(argv[3]), float(argv[4]))
    if len(argv) >= 2 and argv[1] == "gain":
        return gain(argv[2])
    if len(argv) >= 2 and argv[1] == "sample":
        return sample(argv[2:])
    if len(argv) == 5 and argv[1] == "usage":
        return usage(argv[2], argv[3], float(argv[4]))
    if len(argv) == 5 and argv[1] == "navy":
        return navy(argv[2], int(argv[3]), int(argv[4]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))

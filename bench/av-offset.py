#!/usr/bin/env python3
"""How far a video's pictures are from its sound, measured outside the program.

    bench/av-offset.py FRAME_LOG RECORDING.raw TIMES [--rate 48000] [--fps 30] [--every 1]
                       [--each] [--most-ms MS]

The video flashes white on its first frame of every second (`--every`) while a beep starts at
the same moment of its sound. The frame log (TESSARIN_FRAME_LOG) gives the monotonic time each
picture was painted; RECORDING.raw is the sound device's monitor (16-bit mono), and TIMES the
monotonic arrival time of each chunk of it ("ns end_sample" lines, written by --record). The
sample's own time is the earliest arrival less the samples after it. For each flash, the offset
is the paint of its picture minus the start of its beep: positive when the picture is late.
--each prints every offset; --most-ms fails (exit 1) when one is larger, or a flash has no beep.

    bench/av-offset.py --record MONITOR RECORDING.raw TIMES SECONDS

records the monitor with parec for SECONDS, noting the arrival times.
"""
import subprocess
import sys
import time


def record(monitor, raw_path, times_path, seconds):
    proc = subprocess.Popen(["parec", "--raw", "--rate=48000", "--channels=1", "--format=s16le",
                             "--latency-msec=10", "-d", monitor], stdout=subprocess.PIPE)
    total = 0
    end = time.monotonic() + seconds
    with open(raw_path, "wb") as raw, open(times_path, "w") as times:
        while time.monotonic() < end:
            chunk = proc.stdout.read1(4096)
            if not chunk:
                break
            now = time.monotonic_ns()
            raw.write(chunk)
            total += len(chunk)
            times.write(f"{now} {total // 2}\n")
    proc.terminate()
    proc.wait()


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, max(0, int(round(fraction * (len(ordered) - 1)))))]


def main():
    args = sys.argv[1:]
    if args and args[0] == "--record":
        record(args[1], args[2], args[3], float(args[4]))
        return 0
    if len(args) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    log_path, raw_path, times_path = args[:3]
    rate = int(args[args.index("--rate") + 1]) if "--rate" in args else 48000
    fps = float(args[args.index("--fps") + 1]) if "--fps" in args else 30.0
    every = float(args[args.index("--every") + 1]) if "--every" in args else 1.0

    # The recording's time line: sample 0 at the earliest arrival less what came with it.
    origin = None
    with open(times_path) as f:
        for line in f:
            ns, end_sample = (int(x) for x in line.split())
            start = ns - end_sample * 1e9 / rate
            origin = start if origin is None else min(origin, start)
    with open(raw_path, "rb") as f:
        data = f.read()
    samples = [int.from_bytes(data[i:i + 2], "little", signed=True) for i in range(0, len(data) - 1, 2)]
    onsets = []
    quiet = int(rate * 0.3)
    last = -quiet
    for i, s in enumerate(samples):
        if abs(s) > 3000 and i - last >= quiet:
            onsets.append(origin + i * 1e9 / rate)
        if abs(s) > 3000:
            last = i

    # The flash pictures: the first pass's steps every `every` seconds, at their first paint.
    paints = {}
    with open(log_path) as f:
        for line in f:
            parts = line.split()
            if line.startswith("#") or len(parts) != 5:
                continue
            paint, _, item, step, section = (int(p) for p in parts)
            if section == 0 and step not in paints:
                paints[step] = paint
    stride = round(fps * every)
    flashes = [paints[s] for s in sorted(paints) if s % stride == 0 and s > 0]
    offsets = []
    for flash in flashes:
        near = min(onsets, key=lambda o: abs(o - flash), default=None)
        if near is not None and abs(near - flash) < 0.5e9 * every:
            offsets.append((flash - near) / 1e6)
    if not offsets:
        print("av-offset: no flash met its beep", file=sys.stderr)
        return 1
    if "--each" in args:
        print(" ".join(f"{o:+.1f}" for o in offsets))
    magnitudes = [abs(o) for o in offsets]
    print(f"flashes: {len(flashes)}, beeps: {len(onsets)}, matched: {len(offsets)}")
    print(f"picture minus sound ms: p50 {percentile(offsets, 0.5):+.1f}, "
          f"min {min(offsets):+.1f}, max {max(offsets):+.1f}; |offset| p99 "
          f"{percentile(magnitudes, 0.99):.1f}")
    if "--most-ms" in args:
        most = float(args[args.index("--most-ms") + 1])
        if max(magnitudes) > most or len(offsets) < len(flashes) - 1:
            print(f"av-offset: an offset beyond {most:g} ms, or flashes without a beep",
                  file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Several real players in one sync group, side by side on one X screen, their clocks moved
seconds apart, on a Mosquitto broker of their own. Measures how far apart they start each page's
transition and paint each marquee step (from their frame logs, all on this PC's one monotonic
clock) and, from grabs of the whole screen, whether they change pictures in the same grab.
Optionally kills the leader half-way (its last will) and measures the walls after the takeover.

Usage: sync-walls.py PROGRAM TOOL [--players N] [--seconds S] [--kill] [--stress]
                     [--most-skew-ms MS] [--marquee]
Prints the figures; exits 1 when a skew is beyond --most-skew-ms (or nothing was measured).
Runs under tests/support/with-xvfb (DISPLAY set, XVFB_SCREEN its size): the walls stand in a
column at the left, their control windows beside them.
"""
import argparse
import os
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

WALL_W, WALL_H, GAP = 96, 32, 8
SHIFTS_MS = [0, 3700, -2200, 5000, -4100, 1300, -5000, 2600]
COLOURS = ["red", "lime", "blue", "yellow"]
PICTURE_RGB = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def now_ns():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC)


def grab():
    """One grab of the root window: rows of 0xRRGGBB values, and when it was taken."""
    before = now_ns()
    data = subprocess.run(["xwd", "-root", "-silent"], capture_output=True, check=True).stdout
    after = now_ns()
    header = struct.unpack(">25I", data[:100])
    size, width, height = header[0], header[4], header[5]
    byte_order, bpp, bpl, ncolors = header[7], header[11], header[12], header[19]
    if bpp not in (24, 32):
        raise RuntimeError(f"{bpp} bits a pixel")
    start = size + ncolors * 12
    return (before + after) // 2, bpp // 8, bpl, byte_order == 0, data[start:]


def pixel(shot, x, y):
    _, size, bpl, lsb_first, pixels = shot
    at = y * bpl + x * size
    value = pixels[at:at + size]
    return int.from_bytes(value, "little" if lsb_first else "big") & 0xFFFFFF


def read_frames(path):
    rows = []
    with open(path, encoding="ascii", errors="replace") as f:
        for line in f:
            parts = line.split()
            if line.startswith("#") or len(parts) != 5:
                continue
            rows.append(tuple(int(p) for p in parts))
    return rows


def transition_starts(rows, marquee_item):
    """(paint ns, item) of each entry's first paint: a row of another item than the row before,
    or of the same item after a pause of over 200 ms or with its steps counted again."""
    starts = []
    last = None
    for paint, _, item, step, _ in rows:
        if item == marquee_item:
            last = None
            continue
        if last is None or item != last[1] or paint - last[0] > 200_000_000 or step < last[2]:
            starts.append((paint, item))
        last = (paint, item, step)
    return starts


def skews_between(leader, follower, since, until):
    """For each of the leader's starts in [since, until), the follower's start of the same item
    nearest to it (within a second): follower minus leader, ns."""
    out = []
    for at, item in leader:
        if not since <= at < until:
            continue
        near = [f - at for f, i in follower if i == item and abs(f - at) < 1_000_000_000]
        if near:
            out.append(min(near, key=abs))
        else:
            out.append(None)
    return out


def marquee_skews(leader_rows, follower_rows, item, since, until):
    """For each marquee step the leader painted in [since, until), the follower's paint of the
    same step nearest to it (within half a second)."""
    steps = {}
    for paint, _, it, step, _ in follower_rows:
        if it == item:
            steps.setdefault(step, []).append(paint)
    out = []
    for paint, _, it, step, _ in leader_rows:
        if it != item or not since <= paint < until:
            continue
        near = [p - paint for p in steps.get(step, []) if abs(p - paint) < 500_000_000]
        if near:
            out.append(min(near, key=abs))
    return out


def figures(values):
    ms = sorted(abs(v) / 1e6 for v in values)
    if not ms:
        return "none"
    p99 = ms[min(len(ms) - 1, int(len(ms) * 0.99))]
    return (f"{len(ms)} measured, |skew| p50 {statistics.median(ms):.2f} ms, p99 {p99:.2f} ms, "
            f"worst {ms[-1]:.2f} ms")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("program")
    ap.add_argument("tool")
    ap.add_argument("--players", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=8)
    ap.add_argument("--kill", action="store_true")
    ap.add_argument("--stress", action="store_true")
    ap.add_argument("--marquee", action="store_true")
    ap.add_argument("--most-skew-ms", type=float, default=16.7)
    ap.add_argument("--no-screen", action="store_true", help="frame logs only (long runs)")
    args = ap.parse_args()
    n = args.players
    work = tempfile.mkdtemp(prefix="sync-walls-")
    procs = []
    broker = stress = None
    try:
        port = free_port()
        with open(f"{work}/mosquitto.conf", "w") as f:
            f.write(f"listener {port} 127.0.0.1\nallow_anonymous true\n")
        broker = subprocess.Popen(["/usr/sbin/mosquitto", "-c", f"{work}/mosquitto.conf"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for i, colour in enumerate(COLOURS):
            subprocess.run(["convert", "-size", f"{WALL_W}x{WALL_H}", f"xc:{colour}",
                            f"{work}/p{i}.png"], check=True)
        with open(f"{work}/ticker.txt", "w", encoding="utf-8") as f:
            f.write("Sync 同步 ticker across the walls\n")
        items = [
            {"class": "CPropImage", "filePath": f"{work}/p{i}.png", "effect": 1, "speed": 3,
             "holdTime": 5, "clearEffect": 1} for i in range(len(COLOURS))]
        marquee_item = -1
        if args.marquee:
            marquee_item = len(items)
            items.append({"class": "CPropText", "filePath": f"{work}/ticker.txt", "fontSize": 14,
                          "textColor": 16777215, "reservedText":
                          '{"marquee": {"direction": "left", "pixelsPerSecond": 240, '
                          '"repeat": 1}}'})
        time.sleep(0.3)  # the broker listens
        screen = os.environ.get("XVFB_SCREEN", "1280x1024x24").rsplit("x", 1)[0]
        for k in range(n):
            name = f"wall-{chr(ord('a') + k)}"
            cfg = f"{work}/{name}/config/Morvo"
            os.makedirs(cfg)
            os.makedirs(f"{work}/{name}/runtime", mode=0o700)
            project = f"{work}/{name}/p.zpm"
            import json
            top = k * (WALL_H + GAP)
            layout = {"area": {"ledWidth": WALL_W, "ledHeight": WALL_H},
                    "items": items, "sections": [{"sectionLength": WALL_W}]}
            with open(f"{work}/{name}/p.json", "w") as f:
                json.dump(layout, f)
            subprocess.run([args.tool, "make", f"{work}/{name}/p.json", project], check=True,
                           stdout=subprocess.DEVNULL)
            with open(f"{cfg}/Tessarin.conf", "w") as f:
                f.write(f"[Tessarin]\nAutoPlay=true\n\n[open]\nResent%20file={project}\n\n"
                        f"[Mqtt]\nUrl=mqtt://127.0.0.1:{port}\nName={name}\n\n"
                        f"[Sync]\nGroup=walls\n\n"
                        # The control windows beside the column of walls, not over one.
                        f"[Window]\nControl%20screen%20{screen}=\"{WALL_W + 200},0\"\n"
                        f"XY={top}\nWidth={WALL_W}\nHight={WALL_H}\n")
            env = dict(os.environ, XDG_CONFIG_HOME=f"{work}/{name}/config",
                       XDG_RUNTIME_DIR=f"{work}/{name}/runtime",
                       TESSARIN_FRAME_LOG=f"{work}/{name}/frames",
                       TESSARIN_SYNC_CLOCK_SHIFT_MS=str(SHIFTS_MS[k % len(SHIFTS_MS)]))
            log = open(f"{work}/{name}/log", "w")
            procs.append((name, subprocess.Popen([args.program], env=env, stdout=log,
                                                 stderr=subprocess.STDOUT)))
        if args.stress:
            stress = subprocess.Popen(["stress-ng", "--cpu", "2", "--quiet"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(4)  # windows up, clocks reckoned
        shots = []
        stop = threading.Event()

        def grabbing():
            try:
                while not stop.is_set():
                    try:
                        shots.append(grab())
                    except subprocess.CalledProcessError:
                        pass  # a window went while it was read (the killed leader's)
                    time.sleep(0.002)
            except BaseException as e:  # told, and the screen check then fails
                print(f"sync-walls: a grab failed: {e}", file=sys.stderr)

        grabber = threading.Thread(target=grabbing)
        if not args.no_screen:
            grabber.start()
        start = now_ns()
        killed_at = None
        if args.kill:
            time.sleep(args.seconds / 2)
            procs[0][1].send_signal(signal.SIGKILL)
            killed_at = now_ns()
            time.sleep(args.seconds / 2)
        else:
            time.sleep(args.seconds)
        end = now_ns()
        stop.set()
        if not args.no_screen:
            grabber.join()
        for name, p in procs:
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
        for name, p in procs:
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
        for name, p in procs[1 if args.kill else 0:]:
            if p.returncode != 0:
                print(f"sync-walls: {name} ended with {p.returncode}", file=sys.stderr)
                os.system(f"tail -5 {work}/{name}/log >&2")
                return 1

        frames = [read_frames(f"{work}/{name}/frames") for name, _ in procs]
        starts = [transition_starts(rows, marquee_item) for rows in frames]
        ok = True
        most = args.most_skew_ms * 1e6
        if killed_at:
            after = [at for at, _ in starts[1] if at > killed_at]
            if after:
                print(f"takeover: {procs[1][0]} started its first entry "
                      f"{(after[0] - killed_at) / 1e6:.0f} ms after {procs[0][0]} was killed")
        phases = [("in step", 0, start, killed_at or end)]
        if killed_at:
            phases.append(("after the takeover", 1, killed_at + 1_500_000_000, end))
        for label, lead, since, until in phases:
            all_t, all_m, missing = [], [], 0
            for k in range(lead + 1, n):
                t = skews_between(starts[lead], starts[k], since, until)
                missing += sum(1 for v in t if v is None)
                all_t += [v for v in t if v is not None]
                if args.marquee:
                    all_m += marquee_skews(frames[lead], frames[k], marquee_item, since, until)
            print(f"{label}: transitions: {figures(all_t)}; unmatched {missing}")
            if args.marquee:
                print(f"{label}: marquee steps: {figures(all_m)}")
            if not all_t or missing or any(abs(v) > most for v in all_t + all_m):
                ok = False

        # The screen: the centre of each wall in every grab; for each change of the leader's,
        # the grab in which each other wall shows the same colour first.
        centres = [(WALL_W // 2, k * (WALL_H + GAP) + WALL_H // 2) for k in range(n)]
        seq = [[pixel(s, x, y) for x, y in centres] for s in shots]
        if os.environ.get("SYNC_DEBUG"):
            for k in range(n):
                print("wall", k, [hex(row[k]) for row in seq][:80], file=sys.stderr)
        same, apart, worst = 0, 0, 0
        for i in range(1, len(seq)):
            before, colour = seq[i - 1][0], seq[i][0]
            # The leader going from one picture to the next (not the ticker's ink).
            if before == colour or before not in PICTURE_RGB or colour not in PICTURE_RGB:
                continue
            if killed_at and shots[i][0] >= killed_at:
                continue
            for k in range(1, n):
                first = next((j for j in range(max(1, i - 20), min(len(seq), i + 20))
                              if seq[j][k] == colour and seq[j - 1][k] != colour), None)
                if first is None:
                    continue
                if first == i:
                    same += 1
                else:
                    apart += 1
                    worst = max(worst, abs(first - i))
        grab_ms = (shots[-1][0] - shots[0][0]) / max(1, len(shots) - 1) / 1e6 if shots else 0
        print(f"screen: {len(shots)} grabs ({grab_ms:.1f} ms apart); changes seen in the same "
              f"grab on every wall: {same}, a grab apart: {apart}, most grabs apart: {worst}")
        if not args.no_screen and (same == 0 or worst > 1):
            ok = False
        print("sync-walls: " + ("passed" if ok else "FAILED"))
        return 0 if ok else 1
    finally:
        for _, p in procs:
            if p.poll() is None:
                p.kill()
        for p in (broker, stress):
            if p and p.poll() is None:
                p.kill()
        if not os.environ.get("SYNC_KEEP"):
            subprocess.run(["rm", "-rf", work])
        else:
            print(f"kept {work}", file=sys.stderr)


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env bash
# The real program under Xvfb playing three zones on a 1920 x 1080 area (one section): left
# covers of two pictures in a main zone of 1440 x 952 (speed 10: 5 ms a column, 7200 ms each), a
# live clock in a zone of 480 x 952 beside it, and the 120 px/s ticker of marquee-bench.sh in a
# zone of 1920 x 128 below. Prints the program's CPU time a second and peak resident memory
# (from /proc), and from the frame log the marquee's paints, lateness, dropped steps and visible
# stalls, and how long each whole transition took on the screen against its nominal length.
#
#   bench/zones-bench.sh [BUILD_DIR] [SECONDS]      (defaults: build, 60)
#
# ZONES_BENCH_STRESS_SECONDS (0) is the length of a second run beside `stress-ng --cpu 2`, 0 to
# leave it out. ZONES_BENCH_SCREENSHOT=FILE.png keeps a picture of the screen from the middle
# of the first run; ZONES_BENCH_KEEP=1 keeps the work folder (project, frame logs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-60}
stressSeconds=${ZONES_BENCH_STRESS_SECONDS:-0}

# Items in project order: the frame log names them by this index.
mainItems="0 1"
marqueeItem=3
mainWidth=1440
coverSpeed=10

if [[ -z "${ZONES_BENCH_INSIDE:-}" ]]; then
    work=$(mktemp -d)
    if [[ -n "${ZONES_BENCH_KEEP:-}" ]]; then
        echo "== kept: $work"
    else
        trap 'rm -rf "$work"' EXIT
    fi
    export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}
    convert -size ${mainWidth}x952 gradient:'#0040ff-#ff4000' "$work/a.png"
    convert -size ${mainWidth}x952 gradient:'#ffe000-#008040' "$work/b.png"
    printf '{date} {weekday}\n{time}\n' >"$work/clock.txt"
    printf '%s\n' "Tessarin 滚动字幕 — a ticker that runs across the whole wall, seamless through the joins." \
        >"$work/ticker.txt"
    cat >"$work/p.json" <<JSON
{"area": {"ledWidth": 1920, "ledHeight": 1080},
 "zones": [{"name": "main", "rect": [0, 0, $mainWidth, 952]},
           {"name": "clock", "rect": [$mainWidth, 0, $((1920 - mainWidth)), 952]},
           {"name": "ticker", "rect": [0, 952, 1920, 128]}],
 "items": [{"class": "CPropImage", "filePath": "$work/a.png", "effect": 2, "speed": $coverSpeed,
            "holdTime": 1, "clearEffect": 1},
           {"class": "CPropImage", "filePath": "$work/b.png", "effect": 2, "speed": $coverSpeed,
            "holdTime": 1, "clearEffect": 1},
           {"class": "CPropText", "filePath": "$work/clock.txt", "zone": 1, "fontSize": 32,
            "textColor": 65535, "alignCenter": 1, "alignVCenter": 1, "effect": 1,
            "holdTime": 600, "reservedText": "{\"fields\": true}"},
           {"class": "CPropText", "filePath": "$work/ticker.txt", "zone": 2, "fontSize": 48,
            "textColor": 65535, "reservedText":
            "{\"marquee\": {\"direction\": \"left\", \"pixelsPerSecond\": 120, \"repeat\": 1000}}"}],
 "sections": [{"sectionLength": 1920}]}
JSON
    "$build/tools/tessarin-tool" make "$work/p.json" "$work/p.zpm" >/dev/null
    mkdir -p "$work/config/Morvo"
    printf '[Tessarin]\nAutoPlay=1\n\n[open]\nResent%%20file=%s\n' "$work/p.zpm" \
        >"$work/config/Morvo/Tessarin.conf"
    # The screen has room for the 1920 x 1080 window and nothing else on it.
    ZONES_BENCH_INSIDE=$work XVFB_SCREEN=2560x1440x24 "$root/tests/support/with-xvfb" \
        "$0" "$build" "$seconds"
    exit
fi
work=$ZONES_BENCH_INSIDE
hz=$(getconf CLK_TCK)

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peakKb() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }
nowNs() { date +%s%N; }

# The frame log's figures: the marquee's through frame-stats, and the main zone's transitions.
analyse() {
    local log=$1
    awk -v item="$marqueeItem" '!/^#/ && NF == 5 && $3 == item' "$log" >"$log.marquee"
    echo "   marquee (item $marqueeItem):"
    python3 "$root/bench/frame-stats" "$log.marquee" --skip-seconds 3 | sed 's/^/     /'
    python3 - "$log" "$mainItems" "$mainWidth" "$coverSpeed" "$marqueeItem" <<'PY'
import sys
log, items, width, speed = sys.argv[1], {int(i) for i in sys.argv[2].split()}, int(sys.argv[3]), int(sys.argv[4])
# A left cover: one step a column, each drawn at its deadline, then a wait (coverDurationMs).
per_column = speed - 5 if speed >= 6 else None
steps = width
nominal_ms = (steps - 1) * per_column  # from the first column's deadline to the last's
counts = {}
runs, current = [], []
for line in open(log):
    if line.startswith("#"):
        continue
    fields = line.split()
    if len(fields) != 5:
        continue  # the last line, cut by the end of the program
    paint, deadline, item, step, section = map(int, fields)
    counts[item] = counts.get(item, 0) + 1
    if item not in items:
        continue
    if current and (item != current[-1][2] or step <= current[-1][3]):
        runs.append(current)
        current = []
    current.append((paint, deadline, item, step))
if current:
    runs.append(current)
print("   log lines by item: " + ", ".join(f"{k}: {v}" for k, v in sorted(counts.items())))
whole, partial, ratios = 0, [], []
for run in runs[1:-1]:  # the first and the last may be cut by the start and the end
    first, last = run[0], run[-1]
    if first[3] != 0 or last[3] != steps - 1:
        partial.append((first[2], first[3], last[3], len(run)))
        continue
    dropped = sum(b[3] - a[3] - 1 for a, b in zip(run, run[1:]))
    nominal = (last[1] - first[1]) / 1e6
    measured = (last[0] - first[0]) / 1e6
    allowed = nominal * 1.01 + 2
    ratios.append((measured / nominal, measured - nominal, measured - allowed, nominal,
                   dropped, (last[0] - last[1]) / 1e6, (first[0] - first[1]) / 1e6))
print(f"   transitions: left cover of {width} columns at speed {speed}, nominal "
      f"{nominal_ms} ms from the first column's deadline to the last's")
if ratios:
    off = [r for r in ratios if abs(r[3] - nominal_ms) > 0.5]
    print(f"     whole: {len(ratios)}, measured/nominal {min(r[0] for r in ratios):.4f}.."
          f"{max(r[0] for r in ratios):.4f} (measured - nominal {min(r[1] for r in ratios):.1f}.."
          f"{max(r[1] for r in ratios):.1f} ms)")
    print(f"     beyond 1 % + 2 ms of nominal: {sum(r[2] > 0 for r in ratios)}, worst excess "
          f"{max(0.0, max(r[2] for r in ratios)):.1f} ms")
    print(f"     on the screen after its deadline: first column "
          f"{min(r[6] for r in ratios):.2f}..{max(r[6] for r in ratios):.2f} ms, last "
          f"{min(r[5] for r in ratios):.2f}..{max(r[5] for r in ratios):.2f} ms; columns painted "
          f"with the next: {sum(r[4] for r in ratios)} of {len(ratios) * steps}")
    if off:
        print(f"     deadline spans not {nominal_ms} ms: " + ", ".join(f"{r[3]:.1f}" for r in off))
else:
    print("     whole: none")
if partial:
    print("     not whole (item, first step, last step, lines): " +
          ", ".join(str(p) for p in partial))
# Where the marquee's steps went missing: between two transitions (the hold, then the next
# picture read, decoded and composed on the main zone's play thread) or during one.
marquee = int(sys.argv[5])
between = [(a[-1][0], b[0][0]) for a, b in zip(runs, runs[1:])]
inside = lambda t: any(lo <= t <= hi for lo, hi in between)
rows = [tuple(map(int, l.split())) for l in open(log) if not l.startswith("#") and len(l.split()) == 5]
rows = [r for r in rows if r[2] == marquee]
skip = rows[0][0] + 3e9 if rows else 0
gaps = [(b[3] - a[3] - 1, b[0]) for a, b in zip(rows, rows[1:]) if a[0] >= skip and b[3] > a[3] + 1]
span = sum(hi - lo for lo, hi in between if lo >= skip)
if rows and rows[-1][0] > skip:
    print(f"   marquee steps dropped between two transitions ({100 * span / (rows[-1][0] - skip):.0f} % "
          f"of the time): {sum(n for n, t in gaps if inside(t))} of {sum(n for n, _ in gaps)}")
PY
}

# Plays the project for LENGTH seconds after a start of 3 s; prints CPU, memory and the frame
# log's figures. SHOT: a picture of the screen halfway through.
run() {
    local length=$1 tag=$2 shot=${3:-} log pid t0 w0 t1 w1 kb
    log=$work/$tag.frames
    echo "   (load average before: $(cut -d' ' -f1-3 /proc/loadavg))"
    rm -f "$log"
    XDG_CONFIG_HOME=$work/config TESSARIN_FRAME_LOG=$log "$build/src/tessarin" >/dev/null 2>&1 &
    pid=$!
    sleep 3 # started and playing
    t0=$(ticks "$pid") w0=$(nowNs)
    if [[ -n $shot ]]; then
        sleep $((length / 2))
        import -window root -crop 1920x1080+0+0 +repage "$shot"
        sleep $((length - length / 2))
    else
        sleep "$length"
    fi
    t1=$(ticks "$pid") w1=$(nowNs) kb=$(peakKb "$pid")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    awk -v t=$((t1 - t0)) -v hz="$hz" -v ns=$((w1 - w0)) -v kb="$kb" -v tag="$tag" \
        'BEGIN { printf "== %s, %.0f s: cpu %.1f %% of one core (%.2f s), peak resident %.0f MB\n",
                 tag, ns / 1e9, 100 * t / hz / (ns / 1e9), t / hz, kb / 1024 }'
    analyse "$log"
}

run "$seconds" alone "${ZONES_BENCH_SCREENSHOT:-}"

if ((stressSeconds > 0)); then
    if ! command -v stress-ng >/dev/null 2>&1; then
        echo "== stress-ng is not installed: no run under load"
        exit 0
    fi
    stress-ng --cpu 2 --timeout "$((stressSeconds + 5))s" >/dev/null 2>&1 &
    stress=$!
    echo "-- with stress-ng --cpu 2 beside:"
    run "$stressSeconds" stress
    kill "$stress" 2>/dev/null || true
    wait "$stress" 2>/dev/null || true
fi

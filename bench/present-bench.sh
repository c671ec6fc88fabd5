#!/usr/bin/env bash
# The present path under load: the real program under Xvfb playing a 1920 x 128 marquee at
# 120 px/s (one step per 60 Hz refresh), alone and with `stress-ng --cpu 2` beside it, and a
# reference that puts the same window's rows to the same X server through MIT-SHM at the same
# rate (bench/shm-reference.cpp). For each run: the frame log's dropped steps a minute, paint
# lateness p50/p99 and visible stalls; the CPU % of one core of the program (or the reference)
# and of the X server, from /proc/PID/stat.
#
#   bench/present-bench.sh [BUILD_DIR] [SECONDS] [REFERENCE_ROWS]   (defaults: build, 60, 128)
#
# Needs stress-ng (apt-get install stress-ng) for the loaded runs; without it they are left out.
# XSERVER_NICE=N runs the X server at nice N (as a display manager may start Xorg), to tell the
# program's share of the lateness from the server's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${2:-60}
refRows=${3:-128}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

g++ -O2 -o "$work/shm-reference" "$root/bench/shm-reference.cpp" -lX11 -lXext

. "$root/bench/marquee-project.sh"
marquee_project "$work" "$build/tools/tessarin-tool"

# One run on its own X server: $1 = program | reference, $2 = alone | stress.
cat >"$work/run.sh" <<'RUN'
#!/usr/bin/env bash
set -euo pipefail
what=$1 load=$2 work=$3 build=$4 seconds=$5 refRows=$6
xserver=$(pgrep -P "$PPID" -x Xvfb)
if [ -n "${XSERVER_NICE:-}" ]; then
    renice -n "$XSERVER_NICE" -p "$xserver" >/dev/null
fi
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
stress=
if [ "$load" = stress ]; then
    stress-ng --cpu 2 --timeout $((seconds + 10))s >/dev/null 2>&1 &
    stress=$!
    sleep 1
fi
if [ "$what" = program ]; then
    export XDG_CONFIG_HOME=$work/config
    export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}
    export TESSARIN_FRAME_LOG=$work/frames-$load.log
    export QT_LOGGING_RULES="tessarin.base.info=true"
    "$build/src/tessarin" >"$work/program-$load.out" 2>&1 &
    pid=$!
    sleep 3 # started and playing
else
    "$work/shm-reference" 1920 128 "$refRows" $((seconds + 2)) &
    pid=$!
    sleep 1
fi
before=$(ticks "$pid") xBefore=$(ticks "$xserver")
sleep "$seconds"
after=$(ticks "$pid") xAfter=$(ticks "$xserver")
if [ "$what" = program ]; then
    kill "$pid"
fi
wait "$pid" 2>/dev/null || true
if [ -n "$stress" ]; then
    kill "$stress" 2>/dev/null || true
    wait "$stress" 2>/dev/null || true
fi
hz=$(getconf CLK_TCK)
awk -v t=$((after - before)) -v x=$((xAfter - xBefore)) -v hz="$hz" -v s="$seconds" \
    'BEGIN { printf "cpu: %.2f %% of one core, X server %.2f %%\n", 100 * t / hz / s, 100 * x / hz / s }'
RUN
chmod +x "$work/run.sh"

loads=(alone)
if command -v stress-ng >/dev/null 2>&1; then
    loads+=(stress)
else
    echo "present-bench: stress-ng is not installed; the loaded runs are left out" >&2
fi
for load in "${loads[@]}"; do
    for what in program reference; do
        echo "== $what, $load ($([ "$load" = stress ] && echo 'stress-ng --cpu 2 beside' || echo 'nothing beside'))"
        XVFB_SCREEN=2560x1440x24 "$root/tests/support/with-xvfb" \
            "$work/run.sh" "$what" "$load" "$work" "$build" "$seconds" "$refRows"
        if [ "$what" = program ]; then
            python3 "$root/bench/frame-stats" "$work/frames-$load.log" --skip-seconds 3
            grep -i "thread runs" "$work/program-$load.out" | head -2 || true
        fi
    done
done

#!/usr/bin/env bash
# The real program under Xvfb playing a 1920 x 128 marquee at 120 px/s: the program's CPU time
# per second (from /proc) and, from its frame log, how late the steps reach the screen and how
# many never do.
#
#   bench/marquee-bench.sh [BUILD_DIR] [SECONDS]      (defaults: build, 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$root/bench/marquee-project.sh"
marquee_project "$work" "$build/tools/tessarin-tool"

cat >"$work/run.sh" <<RUN
#!/usr/bin/env bash
set -euo pipefail
export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=\${XDG_RUNTIME_DIR:-$work}
export TESSARIN_FRAME_LOG=$work/frames.log
"$build/src/tessarin" >/dev/null 2>&1 &
pid=\$!
sleep 3 # started and playing
ticks() { awk '{print \$14 + \$15}' /proc/\$pid/stat; }
before=\$(ticks)
sleep $seconds
after=\$(ticks)
kill \$pid
wait \$pid 2>/dev/null || true
hz=\$(getconf CLK_TCK)
awk -v t=\$((after - before)) -v hz=\$hz -v s=$seconds \
    'BEGIN { printf "cpu: %.1f %% of one core (%.2f s in %d s)\n", 100 * t / hz / s, t / hz, s }'
RUN
chmod +x "$work/run.sh"
XVFB_SCREEN=2560x1440x24 "$root/tests/support/with-xvfb" "$work/run.sh"
python3 "$root/bench/frame-stats" "$work/frames.log" --skip-seconds 3

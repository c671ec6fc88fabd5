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

printf '%s\n' "Tessarin 滚动字幕 — a ticker that runs across the whole wall, seamless through the joins." \
    >"$work/ticker.txt"
cat >"$work/p.json" <<JSON
{"area": {"ledWidth": 1920, "ledHeight": 128},
 "items": [{"class": "CPropText", "filePath": "$work/ticker.txt", "fontSize": 48,
            "textColor": 65535, "reservedText":
            "{\"marquee\": {\"direction\": \"left\", \"pixelsPerSecond\": 120, \"repeat\": 1000}}"}],
 "sections": [{"sectionLength": 1920}]}
JSON
"$build/tools/tessarin-tool" make "$work/p.json" "$work/p.zpm" >/dev/null
mkdir -p "$work/config/Morvo"
printf '[Tessarin]\nAutoPlay=1\n\n[open]\nResent%%20file=%s\n' "$work/p.zpm" \
    >"$work/config/Morvo/Tessarin.conf"

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

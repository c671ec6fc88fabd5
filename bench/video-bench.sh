#!/usr/bin/env bash
# The real program under Xvfb playing a 1920 x 1080 30 fps H.264 file on a 1920 x 1080 area and
# on a 1920 x 128 LED (zoomed to fit, with bars), each beside ffplay playing the same file in
# software on the same screen: CPU time a second and peak resident memory (from /proc), and from
# the frame log the frames that never reach the screen and how late the others do. Then the
# 1080p video and the marquee again with `stress-ng --cpu 2` beside them, when it is installed.
#
#   bench/video-bench.sh [BUILD_DIR]
#
# VIDEO_BENCH_SECONDS (60) is the length of the video and of each run; VIDEO_BENCH_STRESS_SECONDS
# (the same) that of the runs under load, 0 to leave them out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${VIDEO_BENCH_SECONDS:-60}
stressSeconds=${VIDEO_BENCH_STRESS_SECONDS:-$seconds}

if [[ -z "${VIDEO_BENCH_INSIDE:-}" ]]; then
    work=$(mktemp -d)
    if [[ -n "${VIDEO_BENCH_KEEP:-}" ]]; then
        echo "== kept: $work"
    else
        trap 'rm -rf "$work"' EXIT
    fi
    export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}
    longest=$((seconds > stressSeconds ? seconds : stressSeconds))
    ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30" \
        -t "$longest" -c:v libx264 -preset medium -pix_fmt yuv420p "$work/video.mp4"
    # The screen has room for the 1920 x 1080 windows and nothing else on it.
    VIDEO_BENCH_INSIDE=$work XVFB_SCREEN=2560x1440x24 "$root/tests/support/with-xvfb" "$0" "$build"
    exit
fi
work=$VIDEO_BENCH_INSIDE
hz=$(getconf CLK_TCK)

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peakKb() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }
nowNs() { date +%s%N; }

# CPU and memory of a running process over [2 s, length - 1 s] after its start: the steady part,
# the same window for both players. Prints "cpu% peakMB".
measure() {
    local pid=$1 length=$2 t0 w0 t1 w1 kb
    sleep 2
    t0=$(ticks "$pid") w0=$(nowNs)
    sleep $((length - 3))
    t1=$(ticks "$pid") w1=$(nowNs) kb=$(peakKb "$pid")
    awk -v t=$((t1 - t0)) -v hz="$hz" -v ns=$((w1 - w0)) -v kb="$kb" \
        'BEGIN { printf "%.1f %.0f\n", 100 * t / hz / (ns / 1e9), kb / 1024 }'
}

# A project of one item on one section of WIDTH x HEIGHT, made into NAME.zpm, and a settings
# folder NAME.config that plays it at start.
project() {
    local name=$1 width=$2 height=$3 item=$4
    cat >"$work/$name.json" <<JSON
{"area": {"ledWidth": $width, "ledHeight": $height}, "items": [$item],
 "sections": [{"sectionLength": $width}]}
JSON
    "$build/tools/tessarin-tool" make "$work/$name.json" "$work/$name.zpm" >/dev/null
    mkdir -p "$work/$name.config/Morvo"
    printf '[Tessarin]\nAutoPlay=1\n\n[open]\nResent%%20file=%s\n' "$work/$name.zpm" \
        >"$work/$name.config/Morvo/Tessarin.conf"
}

# The first pass of the video only: the playlist starts it again after its end.
firstPass() {
    awk '!/^#/ && NF == 5 { if (($5 in last) && $4 < last[$5]) exit; last[$5] = $4; print }' "$1"
}

# Plays project NAME in the program for LENGTH seconds; prints CPU, memory and the frame log's
# figures. The frame log is NAME.frames, NAME-TAG.frames with a TAG.
ours() {
    local name=$1 length=$2 log=$1${3:+-$3} pid figures
    echo "   (load average before: $(cut -d' ' -f1-3 /proc/loadavg))"
    rm -f "$work/$log.frames"
    XDG_CONFIG_HOME=$work/$name.config TESSARIN_FRAME_LOG=$work/$log.frames \
        "$build/src/tessarin" >/dev/null 2>&1 &
    pid=$!
    figures=$(measure "$pid" "$length")
    sleep 1.5 # the video's last second: it started after the program did
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    if [[ $name == marquee* ]]; then
        cp "$work/$log.frames" "$work/$log.pass"
    else
        firstPass "$work/$log.frames" >"$work/$log.pass"
    fi
    read -r cpu mb <<<"$figures"
    echo "== tessarin, $name, $length s: cpu $cpu % of one core, peak resident $mb MB"
    python3 "$root/bench/frame-stats" "$work/$log.pass" --skip-seconds 1 | sed 's/^/   /'
}

# ffplay on a WIDTH x HEIGHT window, SDL's software renderer; its own count of dropped frames.
reference() {
    local width=$1 height=$2 length=$3 pid figures drops
    echo "   (load average before: $(cut -d' ' -f1-3 /proc/loadavg))"
    SDL_RENDER_DRIVER=software ffplay -hide_banner -an -autoexit -stats -x "$width" -y "$height" \
        -left 0 -top 0 "$work/video.mp4" 2>"$work/ffplay.log" >/dev/null &
    pid=$!
    figures=$(measure "$pid" "$length")
    wait "$pid" 2>/dev/null || true
    drops=$(tr '\r' '\n' <"$work/ffplay.log" | sed -n 's/.*fd= *\([0-9]*\).*/\1/p' | tail -1)
    read -r cpu mb <<<"$figures"
    echo "== ffplay ${width}x$height, $length s: cpu $cpu % of one core, peak resident $mb MB," \
        "dropped frames (its fd) ${drops:-n/a}"
}

video='{"class": "CPropVideo", "filePath": "'"$work"'/video.mp4", "effect": 99, "fitMode": 1,
        "clearEffect": 1, "reservedText": "{\"loops\": 1, \"volume\": 0}"}'
project video1080 1920 1080 "$video"
project video128 1920 128 "$video"
printf '%s\n' "Tessarin 滚动字幕 — a ticker that runs across the whole wall, seamless through the joins." \
    >"$work/ticker.txt"
project marquee 1920 128 '{"class": "CPropText", "filePath": "'"$work"'/ticker.txt", "fontSize": 48,
    "textColor": 65535, "reservedText":
    "{\"marquee\": {\"direction\": \"left\", \"pixelsPerSecond\": 120, \"repeat\": 1000}}"}'

ours video1080 "$seconds"
reference 1920 1080 "$seconds"
ours video128 "$seconds"
reference 1920 128 "$seconds"

if ((stressSeconds > 0)); then
    if ! command -v stress-ng >/dev/null 2>&1; then
        echo "== stress-ng is not installed: no runs under load"
        exit 0
    fi
    for name in video1080 marquee; do
        stress-ng --cpu 2 --timeout "$((stressSeconds + 5))s" >/dev/null 2>&1 &
        stress=$!
        echo "-- with stress-ng --cpu 2 beside:"
        ours "$name" "$stressSeconds" stress
        kill "$stress" 2>/dev/null || true
        wait "$stress" 2>/dev/null || true
    done
fi

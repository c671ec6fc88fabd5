#!/usr/bin/env bash
# How far the real program's video pictures are from its sound, from outside: under Xvfb, with a
# sound server of its own whose device is a null sink (tests/support/with-null-sound). The video
# flashes white at each second while a beep starts; the frame log says when each flash was
# painted, the sink's monitor (recorded with parec) when each beep was played.
#
#   bench/av-offset.sh [BUILD_DIR]        AV_BENCH_SECONDS (20): the video's length
#
# AV_BENCH_MOST_MS fails the run when an offset is larger (the end-to-end test uses it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${AV_BENCH_SECONDS:-20}

if [[ -z "${AV_BENCH_INSIDE:-}" ]]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    ffmpeg -hide_banner -loglevel error -y \
        -f lavfi -i "color=c=black:s=320x180:r=30:d=$seconds" \
        -f lavfi -i "aevalsrc='if(lt(mod(t,1),0.05),0.5*sin(2*PI*1000*t),0)':s=48000:d=$seconds" \
        -vf "format=yuv420p,geq=lum='if(eq(mod(N,30),0),235,16)':cb=128:cr=128" \
        -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$work/flash.mp4"
    cat >"$work/av.json" <<JSON
{"area": {"ledWidth": 320, "ledHeight": 180}, "sections": [{"sectionLength": 320}],
 "items": [{"class": "CPropVideo", "filePath": "$work/flash.mp4", "effect": 99, "fitMode": 2,
            "clearEffect": 1, "reservedText": "{\"loops\": 1, \"volume\": 100}"}]}
JSON
    "$build/tools/tessarin-tool" make "$work/av.json" "$work/av.zpm" >/dev/null
    mkdir -p "$work/config/Morvo"
    printf '[Tessarin]\nAutoPlay=1\n\n[open]\nResent%%20file=%s\n' "$work/av.zpm" \
        >"$work/config/Morvo/Tessarin.conf"
    AV_BENCH_INSIDE=$work "$root/tests/support/with-null-sound" \
        "$root/tests/support/with-xvfb" "$0" "$build"
    exit
fi
work=$AV_BENCH_INSIDE
if [[ -n "${TESSARIN_NO_SOUND_SERVER:-}" ]]; then
    echo "== no sound server (pulseaudio) to play into: nothing measured"
    exit 0
fi
export XDG_RUNTIME_DIR=$work
XDG_CONFIG_HOME=$work/config TESSARIN_FRAME_LOG=$work/av.frames "$build/src/tessarin" \
    >"$work/program.log" 2>&1 &
pid=$!
python3 "$root/bench/av-offset.py" --record "$TESSARIN_SOUND_MONITOR" "$work/monitor.raw" \
    "$work/monitor.times" "$((seconds + 2))"
kill "$pid"
wait "$pid" 2>/dev/null || true
# The first pass only: the playlist starts the video again after its end.
awk '!/^#/ && NF == 5 { if (($5 in last) && $4 < last[$5]) exit; last[$5] = $4; print }' \
    "$work/av.frames" >"$work/av.pass"
echo "== tessarin, a ${seconds} s video with sound on a null sink"
status=0
python3 "$root/bench/av-offset.py" "$work/av.pass" "$work/monitor.raw" "$work/monitor.times" --each \
    ${AV_BENCH_MOST_MS:+--most-ms "$AV_BENCH_MOST_MS"} || status=$?
grep -i "sound" "$work/program.log" | sort | uniq -c | head -5 || true
exit "$status"

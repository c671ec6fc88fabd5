#!/usr/bin/env bash
# The real program under Xvfb playing left covers (480 x 360 at speed 10: 2400 ms each) while
# bench/remote-load.py asks for its status and its LED picture 25 times a second each (50 in
# all) for SECONDS. Prints the answer times, and from the frame log how long each transition
# took on the screen against its nominal length.
#
#   bench/remote-bench.sh [BUILD_DIR] [SECONDS]      (defaults: build, 30)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${2:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
token=$(head -c 32 /dev/urandom | od -An -tx1 | tr -d ' \n')

convert -size 480x360 gradient:'#0040ff-#ff4000' "$work/a.png"
convert -size 480x360 gradient:'#ffe000-#008040' "$work/b.png"
cat >"$work/p.json" <<JSON
{"area": {"ledWidth": 480, "ledHeight": 360},
 "items": [{"class": "CPropImage", "filePath": "$work/a.png", "effect": 2, "speed": 10,
            "holdTime": 1, "clearEffect": 1},
           {"class": "CPropImage", "filePath": "$work/b.png", "effect": 2, "speed": 10,
            "holdTime": 1, "clearEffect": 1}],
 "sections": [{"sectionLength": 480}]}
JSON
"$build/tools/tessarin-tool" make "$work/p.json" "$work/p.zpm" >/dev/null
mkdir -p "$work/config/Morvo"
cat >"$work/config/Morvo/Tessarin.conf" <<INI
[Tessarin]
AutoPlay=1

[open]
Resent%20file=$work/p.zpm

[Remote]
Enabled=1
Address=127.0.0.1
Port=$port
Token=$token
INI
cat >"$work/run.sh" <<RUN
#!/usr/bin/env bash
set -euo pipefail
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work TESSARIN_FRAME_LOG=$work/frames.log
"$build/src/tessarin" >/dev/null 2>&1 &
pid=\$!
sleep 3
python3 "$root/bench/remote-load.py" "http://127.0.0.1:$port" "$token" "$seconds" 25
kill \$pid
wait \$pid 2>/dev/null || true
RUN
chmod +x "$work/run.sh"
"$root/tests/support/with-xvfb" "$work/run.sh"
python3 - "$work/frames.log" <<'PY'
import sys
runs, current = [], []
for line in open(sys.argv[1]):
    if line.startswith("#"):
        continue
    fields = line.split()
    if len(fields) != 5:
        continue  # the last line, cut by the end of the program
    paint, deadline, item, step, section = map(int, fields)
    if current and step <= current[-1][3]:
        runs.append(current)
        current = []
    current.append((paint, deadline, item, step))
runs.append(current)
ratios = []
for run in runs[1:-1]:  # whole transitions only
    if len(run) < 400:
        continue
    first, last = run[0], run[-1]
    nominal = (last[1] - first[1]) / 1e6
    measured = (last[0] - first[0]) / 1e6
    ratios.append((measured / nominal, measured - nominal))
if ratios:
    print(f"transitions: {len(ratios)}, measured/nominal {min(r for r, _ in ratios):.4f}.."
          f"{max(r for r, _ in ratios):.4f}, most over {max(o for _, o in ratios):.1f} ms")
PY

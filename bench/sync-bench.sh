#!/usr/bin/env bash
# A sync group of real players on one Xvfb screen for a while, their clocks off by up to 5 s, on
# a Mosquitto broker with its default settings: how far apart they start each transition and
# paint each marquee step (from their frame logs, on this PC's one monotonic clock).
# Usage: bench/sync-bench.sh BUILD_DIR [PLAYERS [SECONDS [stress]]]
#   defaults: 4 players, 600 s; "stress" runs stress-ng --cpu 2 beside them.
set -euo pipefail
build=${1:?usage: sync-bench.sh BUILD_DIR [PLAYERS [SECONDS [stress]]]}
players=${2:-4}
seconds=${3:-600}
extra=()
[ "${4:-}" = stress ] && extra+=(--stress)
here=$(cd "$(dirname "$0")" && pwd)
echo "sync-bench: $players players, $seconds s${4:+, beside stress-ng --cpu 2}"
XVFB_SCREEN=1024x400x24 "$here/../tests/support/with-xvfb" "$here/../tests/e2e/sync-walls.py" \
    "$build/src/tessarin" "$build/tools/tessarin-tool" --players "$players" \
    --seconds "$seconds" --marquee --no-screen --most-skew-ms 33.4 "${extra[@]}"

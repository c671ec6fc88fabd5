#!/usr/bin/env bash
# Starts a Mosquitto broker on 127.0.0.1 and a free port and runs bench_fleet against it.
#   bench/fleet-bench.sh [BUILD_DIR] [PLAYERS] [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nset_tcp_nodelay true\n' "$port" >"$work/mosquitto.conf"
PATH=$PATH:/usr/sbin mosquitto -c "$work/mosquitto.conf" >/dev/null 2>&1 &
broker=$!
trap 'kill $broker 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 0.5
"$build/bench/bench_fleet" "$port" "${2:-20}" "${3:-40}"

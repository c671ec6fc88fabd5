# Sourced by the end-to-end tests: ends the program under test the orderly way (SIGTERM, it then
# writes its state), and for good after five seconds, so that its folder can go.
stop_program() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
}

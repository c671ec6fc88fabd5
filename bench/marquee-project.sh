# Sourced by the marquee benchmarks: marquee_project WORK TOOL writes the 1920 x 128 ticker
# project (120 px/s, a thousand passes) into WORK/p.zpm and a settings store in WORK/config that
# opens and plays it at start.
marquee_project() {
    local work=$1 tool=$2
    printf '%s\n' "Tessarin 滚动字幕 — a ticker that runs across the whole wall, seamless through the joins." \
        >"$work/ticker.txt"
    cat >"$work/p.json" <<JSON
{"area": {"ledWidth": 1920, "ledHeight": 128},
 "items": [{"class": "CPropText", "filePath": "$work/ticker.txt", "fontSize": 48,
            "textColor": 65535, "reservedText":
            "{\"marquee\": {\"direction\": \"left\", \"pixelsPerSecond\": 120, \"repeat\": 1000}}"}],
 "sections": [{"sectionLength": 1920}]}
JSON
    "$tool" make "$work/p.json" "$work/p.zpm" >/dev/null
    mkdir -p "$work/config/Morvo"
    printf '[Tessarin]\nAutoPlay=1\n\n[open]\nResent%%20file=%s\n' "$work/p.zpm" \
        >"$work/config/Morvo/Tessarin.conf"
}

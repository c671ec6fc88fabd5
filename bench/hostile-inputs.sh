#!/usr/bin/env bash
# Peak memory and time of tessarin-tool on the inputs an unattended wall meets: a reference bomb,
# a file larger than memory, a device, a pipe and a huge sparse file as items. Prints a Markdown
# table. Usage: bench/hostile-inputs.sh [build folder]
set -euo pipefail
build=${1:-build}
tool=$(realpath "$build/tools/tessarin-tool")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# 12 KB that would make nine million text blocks: one GIF item holding one block and 2,999
# references to it, then 2,999 references to the item.
echo '{"area": {}, "items": [{"class": "CPropGif", "filePath": "x.gif", "texts": [{"content": ""}]}], "sections": []}' >gif.json
"$tool" make gif.json gif.zpm 2>/dev/null
python3 - <<'PY'
data = bytearray(open("gif.zpm", "rb").read())
block = data.index(b"\xff\xff\x00\x00\x07\x00CMyText")
item = data.index(b"\xff\xff\x00\x00\x08\x00CPropGif")
end = len(data) - 2  # the section count closes the file
n = 3000
data[block - 2:block] = n.to_bytes(2, "little")
data[item - 2:item] = n.to_bytes(2, "little")
refs = b"\x04\x00" * (n - 1) + b"\x02\x00" * (n - 1)
data[end:end] = refs
open("bomb.zpm", "wb").write(bytes(data))
PY
truncate -s 3G huge.zpm
truncate -s 2G huge.txt
mkfifo pipe.txt
for item in /dev/zero "$work/pipe.txt" "$work/huge.txt"; do
    name=$(basename "$item")
    echo "{\"area\": {\"ledWidth\": 64, \"ledHeight\": 16}, \"items\": [{\"class\": \"CPropText\", \"filePath\": \"$item\", \"holdTime\": 0}], \"sections\": [{\"sectionLength\": 64}]}" >"item-$name.json"
    "$tool" make "item-$name.json" "item-$name.zpm" 2>/dev/null
done

measure() {
    local label=$1
    shift
    /usr/bin/time -f '%M %e' -o time.txt "$@" >/dev/null 2>&1 || true
    read -r kb seconds < <(tail -n 1 time.txt)
    printf '| %s | %s | %d MB | %s s |\n' "$label" "$(stat -c %s "${FILE:-/dev/null}" 2>/dev/null | numfmt --to=iec)" $((kb / 1024)) "$seconds"
}

echo '| input | size | peak memory | time |'
echo '|---|---|---|---|'
FILE=bomb.zpm measure "reference bomb, dump" "$tool" dump bomb.zpm
FILE=huge.zpm measure "3 GB sparse project, dump" "$tool" dump huge.zpm
FILE=/dev/null measure "/dev/zero as a text item, render" "$tool" render item-zero.zpm out-zero --fast --loops 1
FILE=pipe.txt measure "a pipe as a text item, render" "$tool" render item-pipe.txt.zpm out-pipe --fast --loops 1
FILE=huge.txt measure "2 GB sparse text item, render" "$tool" render item-huge.txt.zpm out-huge --fast --loops 1

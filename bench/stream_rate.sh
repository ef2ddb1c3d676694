#!/usr/bin/env bash
# stream_rate.sh -- how many new pictures a second gloamer stream draws and sends at each size on this machine:
# the demo streamed to standard output (MPEG-TS, thrown away) for a few seconds at 30 fps, with the rates from its
# last --progress line. Where drawn_fps falls under 30, frames repeat the last picture: the machine is too slow.
# Usage: bench/stream_rate.sh [SECONDS] [SIZE...]   (defaults: 10 s; 640x360 854x480 1280x720 1920x1080)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/linux}
seconds=${1:-10}
shift || true
[ $# -gt 0 ] && sizes=("$@") || sizes=(640x360 854x480 1280x720 1920x1080)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); $seconds s of the demo at 30 fps per size"
printf '%-10s %10s %10s %10s\n' size sent_fps drawn_fps "Mb/s"
for size in "${sizes[@]}"; do
  "$build/gloamer" stream --to - --size "$size" --fps 30 --duration "$seconds" --quiet \
    --progress "$work/progress.jsonl" >/dev/null 2>"$work/err.txt" || { cat "$work/err.txt"; exit 1; }
  tail -1 "$work/progress.jsonl" | python3 -c '
import json, sys
line = json.loads(sys.stdin.read())
print("%-10s %10.1f %10.1f %10.2f" % (sys.argv[1], line["fps"], line["drawn_fps"], line["bytes"] * 8 / line["elapsed"] / 1e6))
' "$size"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

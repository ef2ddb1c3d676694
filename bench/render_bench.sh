#!/usr/bin/env bash
# render_bench.sh -- times gloamer render against the plug-in's drawing alone and against ffmpeg's showcqt,
# on the same audio at the same size, codec and preset. Prints the times, b / a and b's speed against real time.
#   (a) the plug-in's frames drawn through the host's render loop: no analysis, read-back or encoding
#   (b) the full gloamer render to MP4
#   (c) ffmpeg's showcqt filter rendering the same audio, for the record
# Usage: bench/render_bench.sh [SECONDS] [SIZE...]   (defaults: 30 s; 590x430 and 1280x720)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/linux}
seconds=${1:-30}
shift || true

[ $# -gt 0 ] && sizes=("$@") || sizes=(590x430 1280x720)
fps=30
frames=$((seconds * fps))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=offscreen

timed() { # prints the seconds a command took
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null || { echo "render_bench: failed: $*" >&2; exit 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'); GL: Mesa llvmpipe offscreen"
echo "audio: the demo track's first $seconds s at $fps fps ($frames frames)"
for size in "${sizes[@]}"; do
  width=${size%x*}
  height=${size#*x}
  a=$(timed "$build/bench/render_loop_bench" "$width" "$height" "$frames" "$fps" "$build/vis_gloamer.so")
  b=$(timed "$build/gloamer" render --duration "$seconds" --size "$size" --fps "$fps" -o "$work/b.mp4" --overwrite --quiet)
  c=$(timed ffmpeg -v error -y -i "$work/b.mp4" -filter_complex "[0:a]showcqt=s=${size}:r=${fps}[v]" \
        -map "[v]" -map 0:a -c:v libx264 -preset veryfast -crf 20 -c:a aac "$work/c.mp4")
  printf '%s: (a) drawing alone %.1f s, (b) gloamer render %.1f s, (c) showcqt %.1f s; b/a = %.3f; b runs at %.2fx real time\n' \
    "$size" "$a" "$b" "$c" "$(echo "$b / $a" | bc -l)" "$(echo "$seconds / $b" | bc -l)"
done

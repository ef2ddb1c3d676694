#!/usr/bin/env bash
# Counts the frames of a render whose mean brightness jumps by more than 25/255 from the frame before, without and
# with --calm: how often the picture flashes. Usage: bench/flash_count.sh MUSIC [SIZE] (gloamer built in build/linux).
set -euo pipefail
music=$1
size=${2:-320x240}
gloamer=${GLOAMER:-build/linux/gloamer}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for calm in "" --calm; do
  "$gloamer" render "$music" -q --size "$size" --fps 30 --crf 0 $calm -o "$scratch/out.mkv" --overwrite
  # Each frame's pixels as 8-bit luma, one frame after another.
  ffmpeg -v error -i "$scratch/out.mkv" -f rawvideo -pix_fmt gray - |
    python3 -c '
import sys
width, height = map(int, sys.argv[1].split("x"))
data = sys.stdin.buffer.read()
frame = width * height
means = [sum(data[i:i + frame]) / frame for i in range(0, len(data) - frame + 1, frame)]
jumps = sum(1 for a, b in zip(means, means[1:]) if abs(b - a) > 25)
largest = max(abs(b - a) for a, b in zip(means, means[1:]))
print(f"{sys.argv[2]:>8}: {jumps} flashes (mean brightness jumps over 25/255) in {len(means)} frames; largest jump "
      f"{largest:.1f}, mean brightness {min(means):.0f} to {max(means):.0f}")
' "$size" "${calm:-default}"
done

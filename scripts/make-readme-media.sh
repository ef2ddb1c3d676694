#!/usr/bin/env bash
# Renders the README's pictures with gloamer render from the demo track: a still and a short looping animated WebP.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null
cmake --build --preset linux --target gloamer vis_gloamer >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/gloamer-media.XXXXXX")
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=offscreen

# Both start 10 s into the demo track and run a few seconds first, so that the trail has built up.
start=10

# The still: the last of five seconds of frames at 800x450.
mkdir "$work/still"
build/linux/gloamer render --start "$start" --duration 5 --size 800x450 --fps 30 --quiet -o "$work/still/%04d.png"
last=$(ls "$work/still" | sort | tail -n 1)
ffmpeg -v error -y -i "$work/still/$last" -compression_level 9 docs/gloamer-still.png

# The preview: seconds 3 to 7 of a render at 400x225, drawn at 30 fps and shown at 15, looping.
mkdir "$work/clip"
build/linux/gloamer render --start "$start" --duration 7 --size 400x225 --fps 30 --quiet -o "$work/clip/%04d.png"
ffmpeg -v error -y -framerate 30 -start_number 91 -i "$work/clip/%04d.png" -vf fps=15 \
  -c:v libwebp_anim -lossless 0 -quality 70 -compression_level 6 -loop 0 docs/gloamer-preview.webp

ls -l docs/gloamer-still.png docs/gloamer-preview.webp

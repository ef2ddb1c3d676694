#!/usr/bin/env bash
# Renders the README's pictures with gloamer render from the demo track: a still, a short looping animated WebP,
# and a picture made into the logo beside a frame where it dances.
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

# Your own logo: a ring on black (black is see-through), and a frame of the demo drawn with it as the logo.
mkdir "$work/logo"
ring='hypot(X-200,Y-150)'
hue() { echo "if(between($ring,60,110),128+127*sin(atan2(Y-150,X-200)+$1),if(lt($ring,30),$2,0))"; }
ffmpeg -v error -y -f lavfi -i "color=black:s=400x300,format=rgb24" \
  -vf "geq=r='$(hue 0 255)':g='$(hue 2.09 220)':b='$(hue 4.19 60)'" -frames:v 1 "$work/logo/picture.png"
build/linux/gloamer render --logo "$work/logo/picture.png" --start 8 --duration 3 --size 590x430 --quiet \
  -o "$work/logo/%03d.png"
ffmpeg -v error -y -i "$work/logo/picture.png" -i "$work/logo/080.png" \
  -filter_complex "[0]pad=400:430:0:65:black[a];[a][1]hstack=inputs=2" -frames:v 1 -compression_level 9 docs/gloamer-logo.png

ls -l docs/gloamer-still.png docs/gloamer-preview.webp docs/gloamer-logo.png

#!/usr/bin/env bash
# video_quality.sh -- the size and the picture quality (SSIM against a lossless render) of gloamer's videos at a few
# CRF and preset choices, per size and per kind of music: the measurement behind --quality's steps.
# Each size and track is rendered once losslessly (--crf 0); that master is then encoded again as render encodes
# (libx264, yuv420p, BT.709 TV range, a keyframe every 2 s) at each choice, and compared with it frame by frame;
# last, render's own default (--quality good: CRF 23 capped at the size's upload rate, "23c"), video stream only.
# Usage: bench/video_quality.sh [SECONDS] [SIZE...]   (defaults: 4 s; 590x430 1280x720 1920x1080)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/linux}
seconds=${1:-4}
shift || true
[ $# -gt 0 ] && sizes=("$@") || sizes=(590x430 1280x720 1920x1080)
crfs=(18 20 23 26 28)
# Each CRF at render's default preset, and the middle one at a slower preset for comparison.
choices=()
for crf in "${crfs[@]}"; do choices+=("veryfast $crf"); done
choices+=("medium 23")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SDL_VIDEODRIVER=offscreen

# A song of our own making: a kick on every half second, a bass line, a chord that comes and goes, some noise.
ffmpeg -loglevel error -f lavfi -i "aevalsrc='0.55*sin(2*PI*50*t)*exp(-8*mod(t,0.5))+0.25*sin(2*PI*(110+55*floor(mod(t,4))) *t)+0.15*(sin(2*PI*440*t)+sin(2*PI*554*t)+sin(2*PI*659*t))*lt(mod(t,2),1)+0.05*(random(0)-0.5)|0.55*sin(2*PI*50*t)*exp(-8*mod(t,0.5))+0.25*sin(2*PI*(110+55*floor(mod(t,4)))*t)+0.15*(sin(2*PI*440*t)+sin(2*PI*554*t)+sin(2*PI*659*t))*lt(mod(t,2),1)+0.05*(random(1)-0.5)':s=44100:d=$seconds" \
  -c:a pcm_s16le "$work/song.wav"

echo "machine: $(nproc) cores; $seconds s at 30 fps per run; SSIM of the whole picture (1 = the lossless render)"
printf '%-10s %-6s %-9s %4s %10s %8s\n' size track preset crf "Mb/s" SSIM
for size in "${sizes[@]}"; do
  for track in demo song; do
    input=()
    [ "$track" = song ] && input=("$work/song.wav")
    master="$work/master-$size-$track.mp4" # MP4, whose frame times are exact (Matroska rounds them to milliseconds)
    "$build/gloamer" render "${input[@]}" --duration "$seconds" --size "$size" --crf 0 -q -o "$master"
    for choice in "${choices[@]}"; do
      read -r preset crf <<<"$choice"
      {
        out="$work/$size-$track-$preset-$crf.mp4"
        ffmpeg -loglevel error -y -i "$master" -an -c:v libx264 -preset "$preset" -crf "$crf" -g 60 -pix_fmt yuv420p \
          -color_range tv -colorspace bt709 -color_primaries bt709 -color_trc bt709 "$out"
        rate=$(echo "scale=2; $(stat -c %s "$out") * 8 / $seconds / 1000000" | bc)
        ssim=$(ffmpeg -loglevel info -i "$out" -i "$master" -lavfi ssim -f null - 2>&1 |
          sed -n 's/.*SSIM.* All:\([0-9.]*\).*/\1/p' | tail -n 1)
        printf '%-10s %-6s %-9s %4s %10s %8s\n' "$size" "$track" "$preset" "$crf" "$rate" "$ssim"
      }
    done
    # What render itself writes by default: --quality good, CRF 23 under the upload ceiling of the size.
    out="$work/$size-$track-good.mp4"
    "$build/gloamer" render "${input[@]}" --duration "$seconds" --size "$size" --quality good -q -o "$out"
    rate=$(echo "scale=2; $(ffprobe -v error -select_streams v -show_entries stream=bit_rate -of csv=p=0 "$out") / 1000000" | bc)
    ssim=$(ffmpeg -loglevel info -i "$out" -i "$master" -lavfi ssim -f null - 2>&1 |
      sed -n 's/.*SSIM.* All:\([0-9.]*\).*/\1/p' | tail -n 1)
    printf '%-10s %-6s %-9s %4s %10s %8s\n' "$size" "$track" "good" "23c" "$rate" "$ssim"
  done
done

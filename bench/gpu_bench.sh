#!/usr/bin/env bash
# gpu_bench.sh -- frames a second on this machine's GPU at 1280x720, 1920x1080 and 3840x2160, drawing alone and for
# the whole render, and how far the GPU's frames are from the software renderer's (mean of at most 2/255).
# Where no GPU draws offscreen it says so and measures nothing.
# Usage: bench/gpu_bench.sh [SECONDS]   (default 10 s of the demo per size; BUILD=build/linux)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/linux}
seconds=${1:-10}
fps=30
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

devices=$("$build/gloamer" devices | sed -n '/^Devices that draw offscreen/,$p')
# The first device listed as a GPU that draws ("  N  GPU, renderer (vendor)..."), as --gpu auto would take it.
gpu=$(printf '%s\n' "$devices" | awk '$2 == "GPU," && $3 != "cannot" { print $1; exit }')
if [ -z "$gpu" ]; then
  echo "gpu_bench: no GPU draws offscreen on this machine, so nothing was measured. EGL's devices here:"
  printf '%s\n' "$devices" | tail -n +2
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "gpu_bench: device $gpu: $(printf '%s\n' "$devices" | awk -v n="$gpu" '$1 == n { $1 = ""; print; exit }')"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "the demo's first $seconds s at $fps fps, each size:"

# The frame rate of a render's last --progress line (timed from its first frame, not from start-up).
render_fps() { # SIZE GPU
  "$build/gloamer" render --gpu "$2" --duration "$seconds" --size "$1" --fps "$fps" -o "$work/r.mp4" -y -q \
    --progress - | tail -n 1 | sed 's/.*"fps":\([0-9.]*\).*/\1/'
}

for size in 1280x720 1920x1080 3840x2160; do
  frames=$((seconds * fps))
  # The platform layer's offscreen windows take their EGL device from SDL's hint, as render --gpu sets it.
  drawn=$(SDL_HINT_EGL_DEVICE=$gpu "$build/bench/render_loop_bench" "${size%x*}" "${size#*x}" "$frames" "$fps" \
            "$build/vis_gloamer.so" | sed 's/.*(\([0-9.]*\) ms a frame).*/\1/')
  whole=$(render_fps "$size" "$gpu")
  printf '  %-9s  drawing alone %7.1f fps   whole render %7.1f fps\n' "$size" "$(echo "1000 / $drawn" | bc -l)" "$whole"
done

# The same two seconds as pictures from the GPU and from the software renderer, compared value by value.
for device in "$gpu" software; do
  mkdir -p "$work/$device"
  "$build/gloamer" render --gpu "$device" --duration 2 --size 1280x720 --fps "$fps" -o "$work/$device/%05d.png" -q
done
python3 - "$work/$gpu" "$work/software" <<'PY'
import operator, os, subprocess, sys
gpu, soft = sys.argv[1], sys.argv[2]
def rgb(path):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                          check=True, capture_output=True).stdout
worst, total, count = 0.0, 0, 0
for name in sorted(os.listdir(soft))[9::10]:  # every tenth frame: pure Python is slow
    a, b = rgb(os.path.join(gpu, name)), rgb(os.path.join(soft, name))
    difference = sum(map(abs, map(operator.sub, a, b)))
    worst = max(worst, difference / len(a))
    total += difference
    count += len(a)
mean = total / count
verdict = "within" if mean <= 2.0 else "BEYOND"
print(f"GPU against llvmpipe, 1280x720, every tenth frame of 2 s: mean difference {mean:.3f}/255 (worst frame {worst:.3f}/255): {verdict} 2/255")
sys.exit(0 if mean <= 2.0 else 1)
PY

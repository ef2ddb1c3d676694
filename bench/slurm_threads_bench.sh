#!/usr/bin/env bash
# slurm_threads_bench.sh -- how to spend a node's cores on a catalogue: one task whose renderer uses every core
# (LP_NUM_THREADS=N) against N tasks of one core each, both as gloamer batch --emit slurm writes them, on a private
# single-node Slurm on localhost. Prints each one's wall time from submission to an empty queue, and their ratio.
# Usage (as root): bench/slurm_threads_bench.sh [SONGS] [SECONDS] [SIZE]   (defaults: 6 songs of 4 s at 590x430)
set -euo pipefail
cd "$(dirname "$0")/.."
gloamer=$(realpath "${BUILD:-build/linux}/gloamer")
songs=${1:-6}
seconds=${2:-4}
size=${3:-590x430}
cores=$(nproc)
source tests/batch/local_slurm.sh
missing=$(local_slurm_missing)
[ -z "$missing" ] || { echo "slurm_threads_bench: $missing" >&2; exit 1; }

work=$(mktemp -d /tmp/gloamer-slurm-bench.XXXXXX)
chmod 755 "$work"
trap 'stop_local_slurm; rm -rf "$work"' EXIT
start_local_slurm "$work" >&2 || exit 1

mkdir -p "$work/music"
for i in $(seq "$songs"); do
  ffmpeg -v error -f lavfi -i "sine=frequency=$((200 + 40 * i)):duration=$seconds" "$work/music/song$i.wav"
done

# run NAME TASKS CPUS: submits the catalogue as TASKS array tasks of CPUS cores each and prints its wall time.
run() {
  local out=$work/$1 start end job
  "$gloamer" batch "$work/music" -o "$out" --size "$size" --shards "$2" --cpus-per-task "$3" --speed 1 \
    --emit slurm >"$work/$1.sh"
  start=$(date +%s.%N)
  job=$(submit "$work/$1.sh")
  await "$job" >&2
  end=$(date +%s.%N)
  local done
  done=$("$gloamer" batch "$work/music" -o "$out" --size "$size" --status | tail -n1)
  case $done in "$songs done, 0 failed, 0 pending") ;; *) echo "slurm_threads_bench: $1: $done" >&2; exit 1 ;; esac
  echo "$end - $start" | bc
}

echo "machine: $cores cores; $songs songs of $seconds s at $size, 30 fps"
wide=$(run wide 1 "$cores")
narrow=$(run narrow "$cores" 1)
printf '1 task x %d threads:  %6.1f s\n' "$cores" "$wide"
printf '%d tasks x 1 thread:  %6.1f s\n' "$cores" "$narrow"
printf 'ratio (1 task / %d tasks): %.2f\n' "$cores" "$(echo "$wide / $narrow" | bc -l)"

#!/usr/bin/env bash
# A real single-node Slurm on localhost runs the job that gloamer batch --emit slurm writes: the videos must be
# those of one-machine renders, the bad file a failed item with its reason, and a task cancelled mid-render must
# leave nothing that counts as done, so that submitting again finishes it and leaves the others untouched; and a
# recording cut in 3 parts by the array and joined by the job after it is the one-machine render, frame for frame.
# usage: slurm_test.sh GLOAMER   (exit 77: skipped)
set -euo pipefail
gloamer=$(realpath "$1")

here=$(dirname "$(realpath "$0")")
source "$here/local_slurm.sh"
missing=$(local_slurm_missing)
[ -z "$missing" ] || exec "$here/../support/skipped.sh" "batch jobs on a private Slurm" "$missing"

work=$(mktemp -d /tmp/gloamer-slurm.XXXXXX)
chmod 755 "$work"
stop() {
  stop_local_slurm
  rm -rf "$work"
}
trap stop EXIT
fail() { echo "FAIL: $*"; for log in "$work"/*.log "$work"/*/.gloamer-batch/logs/*; do [ -f "$log" ] && { echo "== $log"; tail -n 20 "$log"; }; done; exit 1; }
start_local_slurm "$work" || fail "no private Slurm"

# Three songs of a second, one long enough to be cancelled mid-render, and a file that is not an audio file.
mkdir -p "$work/music" "$work/reference"
for tone in 220 330 440; do
  ffmpeg -v error -f lavfi -i "sine=frequency=$tone:duration=1" "$work/music/song$tone.wav"
done
ffmpeg -v error -f lavfi -i "sine=frequency=550:duration=40" "$work/music/long.wav"
head -c 5000 /dev/urandom >"$work/music/bad.wav"
printf '# the catalogue\nsong220.wav\nsong330.wav\n\nbad.wav\nsong440.wav\n' >"$work/music/list.txt"
printf 'song220.wav\nlong.wav\n' >"$work/music/second.txt"
options=(--size 160x120)
for song in song220 song330 song440 long; do
  "$gloamer" render "$work/music/$song.wav" -o "$work/reference/$song.mp4" -q "${options[@]}"
done


# The speed is measured on a file, never on a pipe first in the list, which would wait for a writer.
mkfifo "$work/music/live.fifo"
printf 'live.fifo\nsong220.wav\n' >"$work/music/piped.txt"
timeout 120 "$gloamer" batch "$work/music/piped.txt" -o "$work/piped" "${options[@]}" --emit slurm >/dev/null 2>"$work/speed.txt" ||
  fail "--emit slurm did not measure past the pipe: $(cat "$work/speed.txt")"
grep -q 'on song220' "$work/speed.txt" || fail "the speed was not measured on the file: $(cat "$work/speed.txt")"
"$gloamer" batch "$work/music/list.txt" -o "$work/out" "${options[@]}" --emit slurm --shards 2 >"$work/job.sh"
grep -q '^#SBATCH --array=0-1$' "$work/job.sh" || fail "the array is not 0-1: $(grep array "$work/job.sh")"
job=$(submit "$work/job.sh")
[ -n "$job" ] || fail "sbatch took no job"
await "$job" || fail "job $job never ended"
for song in song220 song330 song440; do
  cmp "$work/out/$song.mp4" "$work/reference/$song.mp4" || fail "$song.mp4 is not the one-machine render"
done
[ ! -e "$work/out/bad.mp4" ] || fail "the bad file has a video"
status=$("$gloamer" batch "$work/music/list.txt" -o "$work/out" "${options[@]}" --status)
echo "$status" | grep -q '^failed   bad.mp4: .*not an audio file' || fail "bad.wav did not fail with its reason: $status"
echo "$status" | tail -n1 | grep -qx '3 done, 1 failed, 0 pending' || fail "statuses: $status"

# An output folder whose name holds a space, %, quotes, # and $(...): the log lands there under that name (Slurm
# reads an unquoted space as the directive's end and % as a pattern), and the task asks for the node's pretend GPU.
odd="$work/odd out %j %%A #1 \"q\" 'x' \$(false)"
printf 'song220.wav\n' >"$work/music/one.txt"
"$gloamer" batch "$work/music/one.txt" -o "$odd" "${options[@]}" --emit slurm --speed 1 --gpus-per-task 1 >"$work/odd.sh"
job=$(submit "$work/odd.sh")
[ -n "$job" ] || fail "sbatch took no job for the folder $odd"
await "$job" || fail "job $job never ended"
cmp "$odd/song220.mp4" "$work/reference/song220.mp4" || fail "song220.mp4 in the odd folder is not the one-machine render"
grep -q 'rendered song220.mp4' "$odd/.gloamer-batch/logs/${job}_0.log" ||
  fail "no task log under the folder's own name: $(ls -A "$odd/.gloamer-batch/logs")"
scontrol show job "$job" | grep -Eq 'TresPerTask=gres[:/]gpu:1' || fail "the task was given no GPU: $(scontrol show job "$job")"
# The scheduler reads the GPU directives: one GPU fits the node, two do not.
for gres in gpu:1 gpu:2; do
  "$gloamer" batch "$work/music/one.txt" -o "$odd" "${options[@]}" --emit slurm --speed 1 --gres "$gres" >"$work/gres.sh"
  fits=yes; sbatch --test-only "$work/gres.sh" >"$work/gres.txt" 2>&1 || fits=no
  case "$gres $fits" in
    "gpu:1 no") fail "--gres gpu:1 does not fit: $(cat "$work/gres.txt")" ;;
    "gpu:2 yes") fail "--gres gpu:2 fits a node of one GPU: the directive was not read" ;;
  esac
done

# One task, cancelled while it renders the long song; then the same job again.
"$gloamer" batch "$work/music/second.txt" -o "$work/out" "${options[@]}" --emit slurm --speed 1 >"$work/second.sh"
before=$(stat -c '%i %Y' "$work/out/song220.mp4")
job=$(submit "$work/second.sh")
for try in $(seq 1500); do compgen -G "$work/out/.gloamer-batch/work/.gloamer-*" >/dev/null && break; sleep 0.2; done
compgen -G "$work/out/.gloamer-batch/work/.gloamer-*" >/dev/null || fail "the long song's render never began"
scancel "$job"
await "$job" || fail "job $job never ended"
[ ! -e "$work/out/long.mp4" ] || fail "a cancelled render left a video at the item's name"
"$gloamer" batch "$work/music/second.txt" -o "$work/out" "${options[@]}" --status | grep -q '^pending  long.mp4$' ||
  fail "the cancelled item is not pending"
job=$(submit "$work/second.sh")
await "$job" || fail "job $job never ended"
cmp "$work/out/long.mp4" "$work/reference/long.mp4" || fail "the resubmitted long.mp4 is not the one-machine render"
[ "$(stat -c '%i %Y' "$work/out/song220.mp4")" = "$before" ] || fail "a finished video was touched"
grep -q 'skipped  song220.mp4' "$work/out/.gloamer-batch/logs/${job}_0.log" || fail "song220 was not skipped"

# One recording in 3 parts: an array task each, then the join job. Lossless, so that the frames compare exactly.
ffmpeg -v error -f lavfi -i "sine=frequency=660:duration=13" "$work/music/set.wav"
printf 'set.wav\n' >"$work/music/set.txt"
lossless=(--size 160x120 --fps 10 --crf 0)
"$gloamer" render "$work/music/set.wav" -o "$work/reference/set.mp4" -q "${lossless[@]}"
"$gloamer" batch "$work/music/set.txt" -o "$work/parted" "${lossless[@]}" --parts 3 --emit slurm --speed 1 >"$work/set.sh"
grep -q '^#SBATCH --array=0-2$' "$work/set.sh" || fail "the parts' array is not 0-2: $(grep array "$work/set.sh")"
read -r -d '' array join < <(submit "$work/set.sh") || true
[ -n "$join" ] || fail "no join job was submitted after the array $array"
await "$join" || fail "job $join never ended"
grep -q 'joined   set.mp4: 3 parts' "$work/parted/.gloamer-batch/logs/${join}_join.log" || fail "the join did not join"
frames() { ffmpeg -v error -i "$1" -an -f framemd5 - | grep -v '^#'; }
[ "$(frames "$work/parted/set.mp4")" = "$(frames "$work/reference/set.mp4")" ] ||
  fail "the joined set.mp4 is not frame for frame the one-machine render"
[ -z "$(ls -A "$work/parted/.gloamer-batch/parts")" ] || fail "parts were left: $(ls -R "$work/parted/.gloamer-batch/parts")"
echo "PASS"

#!/usr/bin/env bash
# gloamer batch on one machine: an item whose input never sends data is stopped at --item-timeout and the next
# renders (the limit is ten times what that item needs on a loaded machine); what a batch and its render killed
# outright left in the work folder goes with the next batch, but never another machine's or a live process's.
# usage: local_test.sh GLOAMER
set -euo pipefail
gloamer=$(realpath "$1")
work=$(mktemp -d /tmp/gloamer-batch-local.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkfifo "$work/stalled.wav" # no writer: opening it never returns
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=1" "$work/song.wav"
printf 'stalled.wav\nsong.wav\n' >"$work/list.txt"
/bin/true & ended=$!
wait "$ended"
host=$(hostname | tr -c 'A-Za-z0-9.\n-' _ | cut -c1-64)
litter="$work/out/.gloamer-batch/work"

# A batch and its render killed outright mid-render, as a lost node would leave them: the render's temporary stays.
ffmpeg -v error -f lavfi -i "sine=frequency=550:duration=60" "$work/long.wav"
echo long.wav >"$work/long.txt"
setsid "$gloamer" batch "$work/long.txt" -o "$work/out" --size 160x120 >/dev/null &
batch=$!
for try in $(seq 600); do compgen -G "$litter/.gloamer-*" >/dev/null && break; sleep 0.2; done
stray=$(compgen -G "$litter/.gloamer-*") || fail "the long render never began"
kill -KILL -- "-$batch"
wait "$batch" || true
[ -e "$stray" ] || fail "the killed render left no temporary"

for name in "batch-$host-$ended-0.mp4" ".gloamer-$host-$ended-3.part" "batch-$host-$$-0.mp4" "batch-other-$ended-0.mp4" \
            "batch-$host-$ended-1-0.mp4"; do
  echo x >"$litter/$name"
done

status=0
"$gloamer" batch "$work/list.txt" -o "$work/out" --size 160x120 --duration 0.5 --item-timeout 20 >"$work/log" || status=$?
[ "$status" -eq 1 ] || fail "status $status, not 1: $(cat "$work/log")"
grep -q 'failed   stalled.mp4: took longer than 20 s' "$work/log" || fail "the stalled item: $(cat "$work/log")"
grep -q 'rendered song.mp4' "$work/log" || fail "the item after it: $(cat "$work/log")"
[ -s "$work/out/song.mp4" ] || fail "song.mp4 was not written"
left=$(cd "$litter" && ls -A | sort)
kept=$(printf '%s\n' "batch-$host-$$-0.mp4" "batch-$host-$ended-1-0.mp4" "batch-other-$ended-0.mp4" | sort)
[ "$left" = "$kept" ] || fail "left in the work folder: $left"
[ ! -e "$stray" ] || fail "the killed render's temporary was kept"
echo PASS

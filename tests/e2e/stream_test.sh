#!/usr/bin/env bash
# stream_test.sh GLOAMER PLUGIN CASE -- gloamer stream against real servers on 127.0.0.1 (FFmpeg listening for
# RTMP or SRT, a Python HTTP server in front of HLS), live --to, and the refusals. CASE: rtmp, srt, hls, loop, live
# or errors.
# Every wait is bounded; nothing asserts on timing, only on what was received. Exit 77: skipped, with the reason.
set -u
GLOAMER=$1 PLUGIN=$2 CASE=$3
WORK=$(mktemp -d /tmp/gloamer-stream-test.XXXXXX)
PIDS=()
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
skip() { echo "SKIPPED: $*"; exit 77; }
for tool in ffmpeg ffprobe python3; do command -v $tool >/dev/null || skip "$tool is not installed"; done

# A port nothing listens on now: bound to 0, read back, let go (TCP, or UDP for SRT).
free_port() { python3 -c "import socket,sys; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM if sys.argv[1]=='udp' else socket.SOCK_STREAM); s.bind(('127.0.0.1',0)); print(s.getsockname()[1]); s.close()" "$1"; }
# Waits up to $2 seconds for the command in $1 to succeed.
wait_for() { local i; for ((i = 0; i < $2 * 5; i++)); do eval "$1" && return 0; sleep 0.2; done; return 1; }
# Waits up to $2 seconds for process $1 to end; then its status is in $STATUS (124 when it had to be killed).
wait_pid() {
  local i
  for ((i = 0; i < $2 * 5; i++)); do kill -0 "$1" 2>/dev/null || { wait "$1"; STATUS=$?; return 0; }; sleep 0.2; done
  kill -INT "$1" 2>/dev/null; sleep 2; kill -KILL "$1" 2>/dev/null; wait "$1"; STATUS=124; return 1
}
tone() { ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=frequency=$2:duration=$3:sample_rate=44100" -ac 2 "$1"; }
file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }
# One value of the first stream of kind $1 (v or a): probe KIND ENTRY FILE (MPEG-TS lists its streams twice).
probe() { ffprobe -v error -select_streams "$1" -show_entries "$2" -of default=nw=1:nk=1 "$3" | head -1; }

# A received recording: decodes whole, has H.264 and AAC, runs at the rate gloamer announced, and its sound is
# the tone sent ($2 Hz: the zero crossings of its first channel, and a level well above silence).
check_recording() { # FILE HZ FPS
  local file=$1 hz=$2 fps=$3
  [ -s "$file" ] || { fail "$file is empty or missing"; return; }
  ffmpeg -nostdin -v error -i "$file" -f null - 2>"$WORK/decode.err" || fail "$file does not decode: $(head -3 "$WORK/decode.err")"
  local codecs; codecs=$(ffprobe -v error -show_entries stream=codec_name -of default=nw=1:nk=1 "$file" | sort -u | tr '\n' ' ')
  [ "$codecs" = "aac h264 " ] || fail "$file has streams '$codecs', not aac and h264"
  local rate; rate=$(probe v stream=r_frame_rate "$file")
  [ "$rate" = "$fps/1" ] || fail "$file runs at $rate frames a second; gloamer said $fps"
  local counted; counted=$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets -of default=nw=1:nk=1 "$file" | head -1)
  local span; span=$(ffprobe -v error -select_streams v -show_entries packet=pts_time -of default=nw=1:nk=1 "$file" | sed -n '1p;$p' | tr '\n' ' ')
  python3 - "$counted" $span "$fps" <<'EOF' || fail "$file: its frames are not evenly $fps a second ($counted frames over $span)"
import sys
count, first, last, fps = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4])
sys.exit(0 if count > fps and abs((count - 1) / (last - first) - fps) < 0.05 * fps else 1)
EOF
  # Picture and sound begin together: a connection's first keyframe and the sound from that moment.
  local starts; starts="$(probe v stream=start_time "$file") $(probe a stream=start_time "$file")"
  python3 -c "import sys; a, b = map(float, sys.argv[1:3]); sys.exit(0 if abs(a - b) < 0.1 else 1)" $starts ||
    fail "$file: its streams start at $starts, apart"
  ffmpeg -nostdin -v error -i "$file" -map 0:a -ac 1 -ar 48000 -f s16le "$WORK/sound.raw" -y || fail "no sound in $file"
  python3 - "$WORK/sound.raw" "$hz" <<'EOF' || fail "the sound of $file is not the $hz Hz tone sent"
import array, math, sys
samples = array.array("h", open(sys.argv[1], "rb").read())
samples = samples[48000:]  # past the first second, where a connection may start
if len(samples) < 24000:
    print("only %d samples of sound" % len(samples)); sys.exit(1)
rms = math.sqrt(sum(s * s for s in samples) / len(samples))
crossings = sum(1 for a, b in zip(samples, samples[1:]) if (a < 0) != (b < 0))
hz = crossings / 2 / (len(samples) / 48000)
print("sound: %.0f Hz, level %.0f" % (hz, rms))
sys.exit(0 if rms > 1000 and abs(hz - float(sys.argv[2])) < 0.05 * float(sys.argv[2]) else 1)
EOF
}

# The frames a second gloamer said it streams at, from its first line.
announced_fps() { sed -n 's/^Streaming [0-9]*x[0-9]* at \([0-9]*\) frames a second.*/\1/p' "$1" | head -1; }

case_rtmp() {
  tone "$WORK/tone.wav" 1000 30
  local port; port=$(free_port tcp)
  local url="rtmp://127.0.0.1:$port/live/secretkey"
  ffmpeg -nostdin -loglevel error -listen 1 -i "$url" -c copy -y "$WORK/first.flv" & local listener=$!; PIDS+=($listener)
  sleep 1
  "$GLOAMER" stream "$WORK/tone.wav" --to "$url" --plugin "$PLUGIN" --size 320x180 --fps 15 --duration 16 \
    --retry 8 --title-file "$WORK/title.txt" >"$WORK/out.txt" 2>"$WORK/err.txt" & local gloamer=$!; PIDS+=($gloamer)
  wait_for '[ $(file_size "$WORK/first.flv") -gt 30000 ]' 40 || fail "the first listener received nothing"
  kill -INT $listener; wait_pid $listener 20
  ffmpeg -nostdin -loglevel error -listen 1 -i "$url" -c copy -y "$WORK/second.flv" & listener=$!; PIDS+=($listener)
  wait_pid $gloamer 120; local status=$STATUS
  wait_pid $listener 30
  [ $status -eq 0 ] || fail "gloamer ended with $status: $(cat "$WORK/err.txt")"
  grep -q "lost the stream to rtmp://127.0.0.1:$port/live/" "$WORK/err.txt" || fail "no word of the lost connection: $(cat "$WORK/err.txt")"
  [ $(grep -c "^Streaming to" "$WORK/out.txt") -ge 2 ] || fail "no second connection: $(cat "$WORK/out.txt")"
  grep -q secretkey "$WORK/out.txt" "$WORK/err.txt" && fail "the stream key was printed"
  local fps; fps=$(announced_fps "$WORK/out.txt")
  [ "$fps" = 15 ] || fail "gloamer announced '$fps' frames a second"
  grep -q "^Sent 1[45]\.[0-9] frames a second" "$WORK/out.txt" || echo "note: $(grep ^Sent "$WORK/out.txt")"
  check_recording "$WORK/first.flv" 1000 15
  check_recording "$WORK/second.flv" 1000 15
  [ "$(ffprobe -v error -show_entries format_tags=title -of csv=p=0 "$WORK/first.flv")" = "tone.wav" ] ||
    fail "the FLV stream carries no title"
  [ "$(cat "$WORK/title.txt")" = "tone.wav" ] || fail "the title file holds '$(cat "$WORK/title.txt")'"
}

case_srt() {
  ffmpeg -hide_banner -protocols 2>/dev/null | grep -qx '  srt' || skip "this FFmpeg has no SRT (libsrt)"
  tone "$WORK/tone.wav" 750 30
  local port; port=$(free_port udp)
  ffmpeg -nostdin -loglevel error -i "srt://127.0.0.1:$port?mode=listener" -c copy -y -f mpegts "$WORK/got.ts" &
  local listener=$!; PIDS+=($listener)
  sleep 1
  "$GLOAMER" stream "$WORK/tone.wav" --to "srt://127.0.0.1:$port" --plugin "$PLUGIN" --size 320x180 --fps 12 \
    --duration 6 --retry 5 >"$WORK/out.txt" 2>"$WORK/err.txt" & local gloamer=$!; PIDS+=($gloamer)
  wait_pid $gloamer 90; local status=$STATUS
  wait_pid $listener 20
  [ $status -eq 0 ] || fail "gloamer ended with $status: $(cat "$WORK/err.txt")"
  check_recording "$WORK/got.ts" 750 "$(announced_fps "$WORK/out.txt")"
}

case_hls() {
  tone "$WORK/tone.wav" 500 60
  local port; port=$(free_port tcp)
  mkdir "$WORK/site"
  "$GLOAMER" stream "$WORK/tone.wav" --to "$WORK/site/" --plugin "$PLUGIN" --size 320x180 --fps 10 --duration 50 \
    --progress "$WORK/progress.jsonl" >"$WORK/out.txt" 2>"$WORK/err.txt" & local gloamer=$!; PIDS+=($gloamer)
  python3 -m http.server --bind 127.0.0.1 --directory "$WORK/site" "$port" >/dev/null 2>&1 & PIDS+=($!)
  wait_for '[ $(grep -c "^stream-.*\.ts$" "$WORK/site/stream.m3u8" 2>/dev/null || echo 0) -ge 2 ]' 60 ||
    fail "no playlist of two segments came: $(cat "$WORK/err.txt")"
  ffmpeg -nostdin -loglevel error -i "http://127.0.0.1:$port/stream.m3u8" -t 5 -c copy -y "$WORK/watched.ts" ||
    fail "the HLS stream does not play over http"
  kill -0 $gloamer 2>/dev/null || fail "the stream had ended before it was watched"
  check_recording "$WORK/watched.ts" 500 10
  kill -TERM $gloamer; wait_pid $gloamer 60; local status=$STATUS
  [ $status -eq 143 ] || fail "after SIGTERM gloamer ended with $status, not 143: $(cat "$WORK/err.txt")"
  tail -1 "$WORK/site/stream.m3u8" | grep -q '^#EXT-X-ENDLIST' || fail "the playlist was not ended: $(tail -3 "$WORK/site/stream.m3u8")"
  ls "$WORK/site" | grep -q '\.tmp$' && fail "temporaries were left: $(ls "$WORK/site")"
  local listed on_disk
  listed=$(grep -c '^stream-.*\.ts$' "$WORK/site/stream.m3u8"); on_disk=$(ls "$WORK/site" | grep -c '\.ts$')
  [ "$on_disk" -le $((listed + 2)) ] || fail "old segments stayed: $on_disk on disk, $listed listed"
  tail -1 "$WORK/progress.jsonl" | python3 -c 'import json,sys; l=json.loads(sys.stdin.read()); sys.exit(0 if l["state"]=="stopped" and l["frame"]>0 and l["fps"]>0 else 1)' ||
    fail "the last progress line is not a stopped stream's: $(tail -1 "$WORK/progress.jsonl")"
}

case_loop() {
  tone "$WORK/a.wav" 300 1; tone "$WORK/b.wav" 600 1; tone "$WORK/c.wav" 900 1
  printf '%s\n' a.wav b.wav c.wav >"$WORK/list.m3u"
  timeout 120 "$GLOAMER" stream "$WORK/list.m3u" --loop --tracks 6 --to - --plugin "$PLUGIN" --size 160x90 --fps 10 \
    --title-file "$WORK/title.txt" >"$WORK/out.ts" 2>"$WORK/err.txt"
  local status=$?
  [ $status -eq 0 ] || fail "gloamer ended with $status: $(cat "$WORK/err.txt")"
  local order; order=$(sed -n 's/^Playing \([0-9]\)\/3 .*/\1/p' "$WORK/err.txt" | tr -d '\n')
  [ "$order" = 123123 ] || fail "the tracks played in the order '$order', not 123123: $(cat "$WORK/err.txt")"
  local seconds; seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$WORK/out.ts")
  python3 -c "import sys; sys.exit(0 if 5.5 < float(sys.argv[1]) < 6.7 else 1)" "$seconds" 2>/dev/null ||
    fail "six one-second tracks made a stream of '$seconds' s"
  [ "$(cat "$WORK/title.txt")" = "c.wav" ] || fail "the title file holds '$(cat "$WORK/title.txt")', not the last track"
}

# live --to: a capture (SDL's disk driver reading a file of 48 kHz stereo, as if from a sound card) streamed.
case_live() {
  ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=600:duration=30:sample_rate=48000" -ac 2 -f s16le "$WORK/in.raw"
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN="$WORK/in.raw" SDL_DISKAUDIOFILE="$WORK/out.raw" timeout 120 \
    "$GLOAMER" live --device 1 --to - --plugin "$PLUGIN" --size 320x180 --fps 12 --duration 5 \
    >"$WORK/live.ts" 2>"$WORK/err.txt"
  local status=$?
  [ $status -eq 0 ] || fail "gloamer live --to ended with $status: $(cat "$WORK/err.txt")"
  check_recording "$WORK/live.ts" 600 "$(announced_fps "$WORK/err.txt")"
}

case_errors() {
  tone "$WORK/tone.wav" 440 5
  local port; port=$(free_port tcp)
  touch "$WORK/file"
  local -a cases=(
    "2|unknown scheme|--to http://127.0.0.1:$port/live|http://"
    "1|nobody listening, no retry|--to rtmp://127.0.0.1:$port/live/key --retry 0|cannot stream to rtmp://127.0.0.1:$port/live/"
    "1|a folder that cannot be made|--to $WORK/file/sub/|cannot make the folder"
    "1|a size the encoder refuses|--to $WORK/site/ --size 161x91|refuses the size 161x91"
    "2|a retry count that is not one|--to - --retry many|many"
  )
  local entry
  for entry in "${cases[@]}"; do
    IFS='|' read -r want what args words <<<"$entry"
    timeout 60 "$GLOAMER" stream "$WORK/tone.wav" --plugin "$PLUGIN" $args >"$WORK/out.bin" 2>"$WORK/err.txt"
    local status=$?
    [ $status -eq "$want" ] || fail "$what: status $status, not $want: $(cat "$WORK/err.txt")"
    [ $(wc -l <"$WORK/err.txt") -eq 1 ] || fail "$what: not one line: $(cat "$WORK/err.txt")"
    grep -q "^gloamer: .*$words" "$WORK/err.txt" || fail "$what: the line does not say '$words': $(cat "$WORK/err.txt")"
  done
}

case "$CASE" in
  rtmp | srt | hls | loop | live | errors) "case_$CASE" ;;
  *) echo "unknown case $CASE"; exit 2 ;;
esac
[ $failed -eq 0 ] && echo "passed: $CASE"
exit $failed

#!/usr/bin/env bash
# x11_window_test.sh GLOAMER PLUGIN -- on an Xvfb of its own: the title in UTF-8 in both of X11's title properties,
# and --fullscreen covering the whole 1280x800 screen.
set -u
gloamer=$1 plugin=$2
work=$(mktemp -d) && trap 'kill $player $xvfb 2>/dev/null; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null & xvfb=$!
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
python3 -c "import wave; w=wave.open('$work/Café — ünï.wav','wb'); w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000); w.writeframes(bytes(2 * 8000 * 60))"
env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy "$gloamer" play "$work/Café — ünï.wav" --fullscreen --plugin "$plugin" >/dev/null & player=$!
window=
for _ in $(seq 600); do  # waits for the window, however slow the machine
  window=$(xwininfo -root -tree | awk '/ \/ 1:00 — Gloamer"/ {print $1; exit}')
  [ -n "$window" ] && break; sleep 0.1
done
[ -n "$window" ] || { echo "no window titled with the track and its length"; exit 1; }
failed=0
for property in WM_NAME _NET_WM_NAME; do
  value=$(xprop -id "$window" "$property")
  [[ $value == "$property(UTF8_STRING) = \"Café — ünï.wav — "*" / 1:00 — Gloamer\"" ]] || { echo "wrong $value"; failed=1; }
done
for _ in $(seq 600); do
  geometry=$(xwininfo -id "$window" | awk '/Absolute upper-left [XY]|Width|Height/ {printf "%s ", $NF}')
  [ "$geometry" = "0 0 1280 800 " ] && break; sleep 0.1
done
[ "$geometry" = "0 0 1280 800 " ] || { echo "fullscreen is not the screen: x y w h = $geometry"; failed=1; }
exit $failed

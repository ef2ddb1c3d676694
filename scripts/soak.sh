#!/usr/bin/env bash
# Soak runs: 100 000 frames at 320x240 checked for memory growth (long: hours here), or 2 000 under ASan, UBSan and LSan.
#   scripts/soak.sh [FRAMES]       the linux build; resident memory after frame 1 000 and after FRAMES within 1 MiB
#   scripts/soak.sh --asan [FRAMES] the asan build, 2 000 frames by default; any sanitizer report or leak fails it
set -euo pipefail
cd "$(dirname "$0")/.."
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

if [ "${1:-}" = "--asan" ]; then
  frames=${2:-2000}
  cmake --preset asan >/dev/null
  cmake --build --preset asan --target soak >/dev/null
  # Leaks are looked for at exit; Mesa's and SDL's own are named in the suppressions, ours never are.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  log=build/asan/soak.log
  echo "Soak under ASan + UBSan + LSan: $frames frames at 320x240 (log: $log)"
  if ! build/asan/bench/soak "$frames" 1000 0 >"$log" 2>&1; then
    tail -n 80 "$log"
    echo "soak.sh: the sanitizer soak failed; see $log" >&2
    exit 1
  fi
  if grep -qE "ERROR: (Address|Leak)Sanitizer|runtime error:" "$log"; then
    grep -E -A 30 "ERROR: (Address|Leak)Sanitizer|runtime error:" "$log" | head -n 80
    echo "soak.sh: the sanitizers reported a problem; see $log" >&2
    exit 1
  fi
  grep -E "^soak: [0-9]+ frames at|Suppressions used|^ *[0-9]+ +[0-9]+ +(leak|[a-z])" "$log" || true
  echo "soak.sh: no sanitizer report and no leak"
  exit 0
fi

frames=${1:-100000}
cmake --preset linux >/dev/null
cmake --build --preset linux --target soak >/dev/null
echo "Soak: $frames frames at 320x240, resident memory after frame 1000 and after frame $frames"
build/linux/bench/soak "$frames" 1000 1024

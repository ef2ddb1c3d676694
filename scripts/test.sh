#!/usr/bin/env bash
# Sets up, builds (Linux and the Windows DLL) and runs the whole test suite, plainly and under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test

# The page first (the web preset and the Node modules of its browser test): the Linux build registers that test
# only where the site exists. emcc's JavaScript optimiser needs Debian's Node modules and a writable cache.
export NODE_PATH=/usr/share/nodejs
[ -w /usr/share/emscripten/cache ] || export EM_CACHE="$PWD/build/emscripten-cache"
cmake --preset web
cmake --build --preset web
npm ci --prefix tests/web --no-audit --no-fund
npm ci --prefix tests/batch --no-audit --no-fund

cmake --preset linux
cmake --build --preset linux

# The bitmap reader's fuzz target for about a minute; any finding fails the run and leaves its input in build/linux/fuzz/.
fuzz=build/linux/fuzz
mkdir -p "$fuzz/corpus"
echo "Fuzzing the bitmap reader for 60 seconds"
if ! "$fuzz/bitmap_reader_fuzz" -max_total_time=60 -timeout=10 -artifact_prefix="$fuzz/" \
    "$fuzz/corpus" "$fuzz/seeds" >"$fuzz/fuzz.log" 2>&1; then
  tail -n 60 "$fuzz/fuzz.log"
  echo "test.sh: fuzzing the bitmap reader found a problem; the input is in $fuzz/" >&2
  exit 1
fi
tail -n 2 "$fuzz/fuzz.log"

# The suite again under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, then 2 000 frames of soak.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j2
scripts/soak.sh --asan

# Last, so that the suite's summary closes the output.
ctest --preset linux

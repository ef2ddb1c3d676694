#!/usr/bin/env bash
# Sets up, builds (Linux and the Windows DLL) and runs the whole test suite, plainly and under the sanitizers.
# Ends with the suite's summary and one line for each part that could not be checked here, and why.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each phase says how long it took, so that a slow set-up or CI log shows where the time went.
phase_start=$SECONDS
phase_name=""
phase() {
  [ -z "$phase_name" ] || echo "test.sh: $phase_name took $((SECONDS - phase_start)) s"
  phase_name=$1
  phase_start=$SECONDS
  [ -z "$phase_name" ] || echo "test.sh: $phase_name"
}

# ccache (where installed) keys files by their path below this clone, so that another clone's build is reused.
export CCACHE_BASEDIR="$PWD"
# Precompiled headers are cacheable only with these.
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

phase "installing what the build and the tests need"
scripts/install-deps.sh test

# The suite needs line numbers in backtraces and sanitizer reports, not variables: line tables alone (-g1) spare a
# fifth of the compiler's time against full debug information.
lines_only="-g1"

phase "building for Linux and Windows"
cmake --preset linux -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 $lines_only -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 $lines_only -DNDEBUG"
cmake --build --preset linux

# The bitmap reader's fuzz target for about a minute, on one core, while the page is built on the other; any finding
# fails the run and leaves its input in build/linux/fuzz/.
fuzz=build/linux/fuzz
fuzz_pid=""
fuzz_skipped=""
if [ -x "$fuzz/bitmap_reader_fuzz" ]; then
  mkdir -p "$fuzz/corpus"
  "$fuzz/bitmap_reader_fuzz" -max_total_time=60 -timeout=10 -artifact_prefix="$fuzz/" \
    "$fuzz/corpus" "$fuzz/seeds" >"$fuzz/fuzz.log" 2>&1 &
  fuzz_pid=$!
  trap '[ -z "$fuzz_pid" ] || kill "$fuzz_pid" 2>/dev/null || true' EXIT
  phase "building the page while the bitmap reader is fuzzed for 60 seconds"
else
  fuzz_skipped="skipped: a minute of fuzzing the bitmap reader — its fuzz target was not built (clang and libclang-rt-14-dev)"
  phase "building the page"
fi

# The web preset and the Node modules of the browser and cluster tests. emcc's JavaScript optimiser needs Debian's
# Node modules and a writable cache.
export NODE_PATH=/usr/share/nodejs
[ -w /usr/share/emscripten/cache ] || export EM_CACHE="$PWD/build/emscripten-cache"
cmake --preset web
cmake --build --preset web
npm ci --prefix tests/web --no-audit --no-fund
npm ci --prefix tests/batch --no-audit --no-fund
# Configured again, the Linux build registers the tests that need the page and the Node modules.
cmake --preset linux >/dev/null

if [ -n "$fuzz_pid" ]; then
  fuzz_status=0
  wait "$fuzz_pid" || fuzz_status=$?
  fuzz_pid=""
  if [ "$fuzz_status" -ne 0 ]; then
    tail -n 60 "$fuzz/fuzz.log"
    echo "test.sh: fuzzing the bitmap reader found a problem; the input is in $fuzz/" >&2
    exit 1
  fi
  tail -n 2 "$fuzz/fuzz.log"
fi

# Under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer: the tests of the plug-in (its bitmap reader
# included), the audio decoder, the video writer and the batch records, in process; then 2 000 frames of soak.
phase "building under the sanitizers"
cmake --preset asan -DCMAKE_C_FLAGS_DEBUG="$lines_only" -DCMAKE_CXX_FLAGS_DEBUG="$lines_only"
cmake --build --preset asan --target unit_tests platform_tests core_gl_tests host_tests video_tests soak
phase "the sanitizer suite"
ctest --preset asan -j2 -L sanitized
phase "the sanitizer soak"
scripts/soak.sh --asan

# Last, so that the suite's summary closes the output; then what could not be checked here.
phase "the whole suite"
rm -rf build/linux/skipped
status=0
ctest --preset linux -j2 || status=$?
[ -z "$fuzz_skipped" ] || echo "$fuzz_skipped"
if [ -d build/linux/skipped ]; then
  sort build/linux/skipped/* | sed 's/^/skipped: /'
fi
exit "$status"

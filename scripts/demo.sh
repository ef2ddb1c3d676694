#!/usr/bin/env bash
# Sets up and builds only gloamer and the plug-in, then runs gloamer: in a window where a display exists; without
# one gloamer renders its demo to a video in the current folder instead.
set -euo pipefail
caller="$PWD"
cd "$(dirname "$0")/.."
root="$PWD"

scripts/install-deps.sh run
# A build folder of its own, without the tests: the test suite's build/linux keeps its settings.
cmake --preset linux -B build/demo -DGLOAMER_BUILD_TESTS=OFF -DGLOAMER_WITH_WIN32=OFF >/dev/null
cmake --build build/demo --target gloamer vis_gloamer
# From the folder it was called in, so that a video made without a display lands there.
cd "$caller"
exec "$root/build/demo/gloamer" "$@"

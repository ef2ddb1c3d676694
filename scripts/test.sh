#!/usr/bin/env bash
# Sets up, builds (Linux and the Windows DLL) and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

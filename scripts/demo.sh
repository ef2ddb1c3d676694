#!/usr/bin/env bash
# Sets up, builds and runs gloamer on its built-in default; in a window where a display exists, offscreen otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  export SDL_VIDEODRIVER=offscreen
  echo "No display found: running offscreen."
fi
exec build/linux/gloamer "$@"
